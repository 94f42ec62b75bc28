#pragma once
// Folders of a given size or mode for the tests of full disks and read-only folders.
#include <sys/mount.h>

#include <filesystem>
#include <string>

namespace qf::test {

// A tmpfs mounted on a fresh folder for the life of the object; needs the right to mount.
class Mount {
public:
    Mount(const std::string& dir, const char* options, unsigned long flags = 0) : path_(dir) {
        std::filesystem::create_directories(dir);
        mounted_ = ::mount("tmpfs", dir.c_str(), "tmpfs", flags, options) == 0;
    }
    ~Mount() {
        if (mounted_ && ::umount2(path_.c_str(), 0) != 0) ::umount2(path_.c_str(), MNT_DETACH);
    }
    Mount(const Mount&) = delete;
    Mount& operator=(const Mount&) = delete;
    bool mounted() const { return mounted_; }

private:
    std::string path_;
    bool mounted_ = false;
};

} // namespace qf::test
