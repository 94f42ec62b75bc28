#include "support/ffmpeg.h"

#include <cstdio>
#include <cstdlib>

namespace qf::test {

namespace {

std::string quoted(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

} // namespace

std::string commandOutput(const std::string& cmd, int* status) {
    std::string out;
    if (FILE* p = ::popen(cmd.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        const int rc = ::pclose(p);
        if (status) *status = rc;
    } else if (status) {
        *status = -1;
    }
    return out;
}

bool haveFfmpeg() {
    static const bool have =
        std::system("ffmpeg -hide_banner -encoders 2>/dev/null | grep -q libx264 && "
                    "ffprobe -version >/dev/null 2>&1") == 0;
    return have;
}

bool ffmpeg(const std::string& dir, const std::string& args) {
    const std::string cmd = "cd " + quoted(dir) +
                            " && ffmpeg -hide_banner -loglevel fatal -nostdin -y " + args +
                            " >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

std::string ffprobe(const std::string& dir, const std::string& args) {
    return commandOutput("cd " + quoted(dir) + " && ffprobe -v error " + args + " 2>/dev/null");
}

bool decodesCleanly(const std::string& path) {
    int status = 0;
    const std::string errors = commandOutput(
        "ffmpeg -hide_banner -nostdin -v error -i " + quoted(path) + " -f null - 2>&1", &status);
    return status == 0 && errors.empty();
}

} // namespace qf::test
