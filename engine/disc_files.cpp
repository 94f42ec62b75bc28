#include "engine/disc_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/paths.h"
#include "engine/stream.h"

namespace qf {

namespace {

[[noreturn]] void refuse(const std::string& disc, const std::string& path, const char* reason) {
    throw Error("Cannot open disc \"" + disc + "\". \"" + path + "\": " + reason);
}

bool isDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// VIDEO_TS.IFO/BUP/VOB and VTS_nn_n.IFO/BUP/VOB, upper-cased: what libdvdread may open.
bool isDiscFileName(const std::string& upper) {
    const size_t dot = upper.size() >= 4 ? upper.size() - 4 : 0;
    const std::string ext = upper.substr(dot), stem = upper.substr(0, dot);
    if (ext != ".IFO" && ext != ".BUP" && ext != ".VOB") return false;
    if (stem == "VIDEO_TS") return true;
    return stem.size() == 8 && stem.compare(0, 4, "VTS_") == 0 && isDigit(stem[4]) &&
           isDigit(stem[5]) && stem[6] == '_' && isDigit(stem[7]);
}

// Opening succeeds or tells why not; a regular file's open cannot block.
int openError(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return errno;
    ::close(fd);
    return 0;
}

bool holdsTitleSet(const std::map<std::string, std::string>& found) {
    for (const auto& [name, path] : found)
        if (name.size() == 12 && name.compare(0, 4, "VTS_") == 0 &&
            name.compare(6, 3, "_0.") == 0 && name.compare(9, 3, "VOB") != 0)
            return true;
    return false;
}

} // namespace

std::string infoName(int set, const char* ext) {
    char name[16];
    if (set == 0)
        std::snprintf(name, sizeof name, "VIDEO_TS.%s", ext);
    else
        std::snprintf(name, sizeof name, "VTS_%02d_0.%s", set, ext);
    return name;
}

DiscFiles checkDiscFiles(const std::string& disc) {
    DiscFiles files;
    struct stat st {};
    if (::stat(disc.c_str(), &st) != 0) return files; // libdvdread says what is missing
    if (!S_ISDIR(st.st_mode)) {
        if (!S_ISREG(st.st_mode)) refuse(disc, disc, "Not a regular file");
        return files;
    }
    // libdvdread takes the first name matching in any case, in the folder itself, then in
    // its VIDEO_TS, then in its video_ts.
    std::map<std::string, std::string> found; // upper-cased name -> path
    for (const std::string& dir : {disc, disc + "/VIDEO_TS", disc + "/video_ts"}) {
        DIR* d = ::opendir(dir.c_str());
        if (!d) continue;
        std::vector<std::string> names;
        while (const dirent* e = ::readdir(d)) names.emplace_back(e->d_name);
        ::closedir(d);
        for (const std::string& name : names) {
            const std::string upper = asciiUpper(name);
            if (!isDiscFileName(upper)) continue;
            const std::string path = dir + "/" + name;
            // Followed: a link to a regular file is one.
            if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
                refuse(disc, path, "Not a regular file");
            found.emplace(upper, path);
        }
    }
    for (int set = 0; set <= 99; ++set) {
        const auto ifo = found.find(infoName(set, "IFO")), bup = found.find(infoName(set, "BUP"));
        const int ifoError = ifo == found.end() ? ENOENT : openError(ifo->second);
        if (ifoError == 0) continue;
        const int bupError = bup == found.end() ? ENOENT : openError(bup->second);
        if (bupError == 0) continue;
        // The IFO's reason, unless only the BUP is there.
        const bool named = ifo != found.end() || bup == found.end();
        const std::string path =
            named ? (ifo != found.end() ? ifo->second : disc + "/VIDEO_TS/" + infoName(set, "IFO"))
                  : bup->second;
        const std::string reason = std::strerror(named ? ifoError : bupError);
        // Title sets without the disc's own IFO are a partial copy, read set by set.
        const bool partial = ifo == found.end() && bup == found.end() && holdsTitleSet(found);
        if (set == 0 && !partial) refuse(disc, path, reason.c_str());
        if (ifo != found.end() || bup != found.end())
            files.unopenable[set] = "\"" + path + "\": " + reason;
    }
    return files;
}

} // namespace qf
