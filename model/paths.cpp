#include "model/paths.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>

namespace qf {

namespace {
constexpr char kSep = '/';
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
    std::string ext = path.substr(CutExt(path).size());
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return ext;
}

std::string getsecond(const std::string& path) {
    const std::string dir = folderPart(path), name = namePart(path);
    auto us = name.find('_');
    if (us == std::string::npos) return "";
    auto bumpable = [](char c) { return c >= '0' && c <= '8'; };
    std::string candidate;
    if (us + 1 < name.size() && bumpable(name[us + 1])) {
        candidate = dir + name.substr(0, us + 1) + static_cast<char>(name[us + 1] + 1) +
                    name.substr(us + 2, 255);
    } else if (us > 0 && bumpable(name[us - 1])) {
        candidate = dir + name.substr(0, us - 1) + static_cast<char>(name[us - 1] + 1) +
                    name.substr(us, 255);
    } else {
        return "";
    }
    return fileExists(candidate) ? candidate : "";
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

} // namespace qf
