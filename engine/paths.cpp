#include "engine/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "engine/stream.h"

namespace qf {

namespace {
constexpr char kSep = '/';

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// "09" -> "10", "9" -> "10", "099" -> "100": the number plus one, as wide as before or
// wider, without any limit on its size.
std::string plusOne(std::string digits) {
    for (size_t i = digits.size(); i-- > 0;) {
        if (digits[i] != '9') {
            ++digits[i];
            return digits;
        }
        digits[i] = '0';
    }
    return "1" + digits;
}

// Where the number of a stem ending in "_" and a number starts; npos without such an ending.
size_t partNumberAt(const std::string& stem) {
    size_t first = stem.size();
    while (first > 0 && isDigit(stem[first - 1])) --first;
    if (first == stem.size() || first == 0 || stem[first - 1] != '_') return std::string::npos;
    return first;
}

// The next name by the digit after the first "_", or else before it; 9 has no successor.
std::string nextByFirstUnderscore(const std::string& name) {
    auto us = name.find('_');
    if (us == std::string::npos) return "";
    auto bumpable = [](char c) { return c >= '0' && c <= '8'; };
    if (us + 1 < name.size() && bumpable(name[us + 1]))
        return name.substr(0, us + 1) + static_cast<char>(name[us + 1] + 1) +
               name.substr(us + 2, 255);
    if (us > 0 && bumpable(name[us - 1]))
        return name.substr(0, us - 1) + static_cast<char>(name[us - 1] + 1) + name.substr(us, 255);
    return "";
}
} // namespace

std::string folderPart(const std::string& path) {
    auto sep = path.rfind(kSep);
    return sep == std::string::npos ? std::string() : path.substr(0, sep + 1);
}

std::string namePart(const std::string& path) {
    auto sep = path.rfind(kSep);
    return sep == std::string::npos ? path : path.substr(sep + 1);
}

std::string CutExt(const std::string& name) {
    auto dot = name.rfind('.');
    auto sep = name.rfind(kSep);
    if (dot == std::string::npos || (sep != std::string::npos && dot < sep)) return name;
    return name.substr(0, dot);
}

std::string upperExt(const std::string& path) {
    return asciiUpper(std::string_view(path).substr(CutExt(path).size()));
}

std::string nextPart(const std::string& path) {
    const std::string name = namePart(path), stem = CutExt(name), ext = name.substr(stem.size());
    std::string next;
    if (const size_t at = partNumberAt(stem); at != std::string::npos) {
        const std::string number = stem.substr(at);
        // The menus of a DVD title set (VTS_nn_0.VOB) come before its parts, not with them.
        if (number.find_first_not_of('0') == std::string::npos && asciiUpper(ext) == ".VOB")
            return "";
        next = stem.substr(0, at) + plusOne(number) + ext;
    } else {
        next = nextByFirstUnderscore(name);
        if (next.empty()) return "";
    }
    const std::string candidate = folderPart(path) + next;
    return fileExists(candidate) ? candidate : "";
}

Title titleOf(const std::string& source, bool allParts) {
    Title title;
    title.parts.push_back(source);
    while (allParts && title.parts.size() < kMaxTitleParts) {
        std::string next = nextPart(title.parts.back());
        if (next.empty()) break;
        title.parts.push_back(std::move(next));
    }
    title.baseName = CutExt(namePart(source));
    if (title.parts.size() > 1) {
        title.baseName += '_';
        title.baseName += CutExt(namePart(title.parts.back()));
    }
    return title;
}

std::string sourcePath(std::string path) {
    auto isFolder = [](const std::string& p) {
        struct stat st {};
        return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    };
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    if (isFolder(path) && isFolder(path + "/HVDVD_TS") && isFolder(path + "/ADV_OBJ"))
        return path + "/HVDVD_TS/FEATURE_1.EVO";
    return path;
}

void checkOutputFolder(std::string path, bool named) {
    if (path.empty()) path = ".";
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    int err = 0;
    const auto folder = OutputFolder::open(path, named, err);
    if (folder && ::faccessat(folder->fd(), ".", W_OK | X_OK, 0) != 0) err = errno;
    if (err)
        throw Error("Cannot write to folder \"" + path + "\". " +
                    (err == ELOOP ? "It is a symbolic link" : std::strerror(err)));
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

int64_t fileSize(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

char asciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string asciiUpper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = asciiUpper(c);
    return out;
}

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    return true;
}

} // namespace qf
