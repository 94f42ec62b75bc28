#include "support/ps_builder.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace qf::test {

Bytes spHeader(uint32_t pts) {
    return {'S',
            'P',
            static_cast<uint8_t>(pts),
            static_cast<uint8_t>(pts >> 8),
            static_cast<uint8_t>(pts >> 16),
            static_cast<uint8_t>(pts >> 24),
            0,
            0,
            0,
            0};
}

int32_t slidingWindowCount(const uint8_t* data, size_t n, uint8_t code) {
    uint32_t w = 0;
    int32_t c = 0;
    for (size_t i = 0; i < n; ++i) {
        w = (w << 8) | data[i];
        if (i >= 3 && w == (0x100u | code)) ++c;
    }
    return c;
}

std::string caseName(const std::string& file) {
    std::string name = file.substr(0, file.rfind('.'));
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

Bytes readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) throw std::runtime_error("cannot read " + path);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}

void writeFile(const std::string& path, const Bytes& data) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    if (!f) throw std::runtime_error("cannot write " + path);
}

std::vector<std::string> folderNames(const std::string& folder) {
    std::vector<std::string> found;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        found.push_back(e.path().filename().string());
    std::sort(found.begin(), found.end());
    return found;
}

TempDir::TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "quillfen-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
}

Snapshot snapshot(const std::string& root) {
    Snapshot s;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root))
        if (e.is_regular_file()) s[e.path().string()] = {e.file_size(), e.last_write_time()};
    return s;
}

std::set<std::string> touched(const Snapshot& before, const Snapshot& after) {
    std::set<std::string> t;
    for (const auto& [path, stamp] : after) {
        auto it = before.find(path);
        if (it == before.end() || it->second != stamp) t.insert(path);
    }
    return t;
}

} // namespace qf::test
