// A disc's IFO files, as mutated as the fuzzer likes, through what the disc reader's child
// does: the checks of their bytes, libdvdread's parse of the files that pass, the titles
// taken from it; then the answer through its serialised form, which must read back. Run in
// this process, so that a fault of libdvdread on bytes the checks let through shows.
// An input that begins as an answer does ("QFD1") is read as the program reads the child's
// answer instead.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "engine/disc_reader.h"
#include "fuzz/ifo_set.h"

namespace {

std::string folder() {
    static const std::string path = [] {
        char name[] = "/tmp/quillfen-ifo-fuzz-XXXXXX";
        if (!mkdtemp(name)) abort();
        const std::string dir = std::string(name) + "/VIDEO_TS";
        if (mkdir(dir.c_str(), 0755) != 0) abort();
        // VOBs of the seed disc's sizes, so that the titles' claims are weighed against
        // them; they hold no data, the IFO files are what is read.
        for (const auto& [vob, size] :
             {std::pair{"/VTS_01_1.VOB", 3858432}, {"/VTS_02_1.VOB", 229376}}) {
            FILE* f = std::fopen((dir + vob).c_str(), "wb");
            if (!f) abort();
            std::fclose(f);
            if (truncate((dir + vob).c_str(), size) != 0) abort();
        }
        return std::string(name);
    }();
    return path;
}

void put(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) abort();
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) abort();
    std::fclose(f);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size >= 4 && std::memcmp(data, "QFD1", 4) == 0) {
        const std::string_view answer(reinterpret_cast<const char*>(data), size);
        if (const auto reading = qf::decodeReading(answer))
            if (qf::encodeReading(*reading) != answer) abort();
        return 0;
    }
    const qf::fuzz::IfoSet set = qf::fuzz::splitIfoSet(data, size);
    const std::string disc = folder();
    put(disc + "/VIDEO_TS/VIDEO_TS.IFO", set.vmg);
    put(disc + "/VIDEO_TS/VTS_01_0.IFO", set.vts1);
    put(disc + "/VIDEO_TS/VTS_02_0.IFO", set.vts2);
    // As a whole disc with its menus, and as the partial copy that reads each title set's IFO
    // alone.
    for (const bool setsOnly : {false, true}) {
        const qf::DiscSource source{disc, 0, setsOnly, true};
        qf::DiscReading reading = qf::parseDiscTitles(source, qf::checkDiscFiles(disc));
        if (reading.outcome == qf::DiscReading::Outcome::Titles)
            qf::parseDiscMenus(source, reading);
        if (!qf::decodeReading(qf::encodeReading(reading))) abort();
    }
    return 0;
}
