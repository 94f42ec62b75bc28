#pragma once
// ffmpeg and ffprobe as outside judges: they make the test streams and say what a written
// file holds.
#include <string>

namespace qf::test {

// What a shell command prints on standard output; its wait status in `status` if given
// (-1 when it could not be started).
std::string commandOutput(const std::string& cmd, int* status = nullptr);
// Is an ffmpeg with the encoders the tests use installed?
bool haveFfmpeg();
// Runs "ffmpeg ARGS" quietly in `dir`; true when it succeeded.
bool ffmpeg(const std::string& dir, const std::string& args);
// What "ffprobe -v error ARGS" prints on standard output, run in `dir`.
std::string ffprobe(const std::string& dir, const std::string& args);
// Does ffmpeg decode the whole file without an error message?
bool decodesCleanly(const std::string& path);

} // namespace qf::test
