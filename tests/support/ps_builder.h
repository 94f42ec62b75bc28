#pragma once
// Test helpers: the program-stream writer of the core plus file and folder helpers.
#include <filesystem>
#include <map>
#include <set>
#include <string>

#include "samples/pswriter.h"

namespace qf::test {

using qf::Bytes;
using qf::kPackSize;
using qf::navPack;
using qf::packHeader;
using qf::paddingPacket;
using qf::Pes;
using qf::pesBytes;
using qf::PsMuxer;
using qf::putTimestamp;
using qf::subHeaderAudio;
using qf::subHeaderLpcm;
using qf::subHeaderSub;
using qf::subHeaderTrueHD;
using qf::systemHeader;

// The 10-byte header of a subpicture record: "SP", the PTS little-endian, a zero DTS.
Bytes spHeader(uint32_t pts);

// The plain frame counter: how often four consecutive bytes of data[0, n) are
// 00 00 01 `code`. The reference the engine's counter is checked against.
int32_t slidingWindowCount(const uint8_t* data, size_t n, uint8_t code);

// A file name as a test-case name: letters and digits kept, everything else "_".
std::string caseName(const std::string& file);

// Helpers for files in tests.
Bytes readFile(const std::string& path);
void writeFile(const std::string& path, const Bytes& data);
// The names of the entries of a folder, sorted.
std::vector<std::string> folderNames(const std::string& folder);
// A fresh empty folder under the system's temporary folder, removed by the destructor.
struct TempDir {
    std::string path;
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string operator/(const std::string& name) const { return path + "/" + name; }
};

// Every regular file under a folder with its size and modification time, to tell which
// files a run wrote.
using Snapshot = std::map<std::string, std::pair<uintmax_t, std::filesystem::file_time_type>>;
Snapshot snapshot(const std::string& root);
// The files that are new or changed.
std::set<std::string> touched(const Snapshot& before, const Snapshot& after);

} // namespace qf::test
