#pragma once
// Runs quillfen-cli as a child process with its output captured, optionally on a
// pseudo-terminal, and gives the tests a sample disc and the log the core itself writes.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/ps_builder.h"

namespace qf::test {

// Far beyond the longest normal run (a few seconds for a read of 300 MB; some tens of
// seconds under the sanitizers on a busy machine): only a hang comes near it.
inline constexpr std::chrono::seconds kHangGuard{300};

struct CliResult {
    int status = -1; // exit status, or minus the signal that ended the process
    std::string out, err;
    double seconds = 0; // from start to exit
    long peakKiB = 0;   // the most memory the process held at once
    bool timedOut = false;
};

// One run of the program. Standard input is /dev/null. Without a terminal, standard
// output and standard error are separate pipes; on a terminal both go to one
// pseudo-terminal, whose output is collected in `out`. The child sees the given
// environment settings ("NAME=value") on top of a plain one: no NO_COLOR, TERM=xterm.
// A run still going after kHangGuard is taken to hang: it is killed and marked as timed
// out.
class CliProcess {
public:
    explicit CliProcess(const std::vector<std::string>& args, bool terminal = false,
                        std::vector<std::string> env = {}) {
        int outPipe[2] = {-1, -1}, errPipe[2] = {-1, -1};
        std::string slaveName;
        if (terminal) {
            outFd_ = posix_openpt(O_RDWR | O_NOCTTY);
            if (outFd_ < 0 || grantpt(outFd_) != 0 || unlockpt(outFd_) != 0)
                throw std::runtime_error("no pseudo-terminal");
            slaveName = ptsname(outFd_);
        } else if (pipe(outPipe) != 0 || pipe(errPipe) != 0) {
            throw std::runtime_error("pipe failed");
        }
        std::vector<char*> argv;
        std::string program = QUILLFEN_CLI_PATH;
        argv.push_back(program.data());
        std::vector<std::string> copy = args;
        for (auto& a : copy) argv.push_back(a.data());
        argv.push_back(nullptr);

        start_ = std::chrono::steady_clock::now();
        pid_ = fork();
        if (pid_ < 0) throw std::runtime_error("fork failed");
        if (pid_ == 0) {
            unsetenv("NO_COLOR");
            setenv("TERM", "xterm", 1);
            for (std::string& e : env) putenv(e.data());
            int in = open("/dev/null", O_RDONLY);
            dup2(in, 0);
            if (terminal) {
                setsid();
                int slave = open(slaveName.c_str(), O_RDWR);
                dup2(slave, 1);
                dup2(slave, 2);
            } else {
                dup2(outPipe[1], 1);
                dup2(errPipe[1], 2);
            }
            // The test runner's own handling of Ctrl-C must not be inherited.
            signal(SIGINT, SIG_DFL);
            execv(argv[0], argv.data());
            _exit(127);
        }
        if (!terminal) {
            close(outPipe[1]);
            close(errPipe[1]);
            outFd_ = outPipe[0];
            errFd_ = errPipe[0];
        }
    }
    ~CliProcess() {
        if (pid_ > 0 && !waited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (outFd_ >= 0) close(outFd_);
        if (errFd_ >= 0) close(errFd_);
    }
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    // Waits until standard output holds a line containing `text`; false at its end.
    bool waitForOutput(const std::string& text) {
        while (result_.out.find(text) == std::string::npos)
            if (!pump()) return false;
        return true;
    }
    void interrupt(int sig = SIGINT) { kill(pid_, sig); }

    CliResult finish() {
        while (pump()) {
        }
        int st = 0;
        rusage usage{};
        if (result_.timedOut) kill(pid_, SIGKILL);
        wait4(pid_, &st, 0, &usage);
        waited_ = true;
        result_.status = WIFEXITED(st) ? WEXITSTATUS(st) : -WTERMSIG(st);
        result_.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        result_.peakKiB = usage.ru_maxrss;
        return result_;
    }

private:
    // Reads what is available; false once every stream has ended.
    bool pump() {
        pollfd fds[2];
        int n = 0;
        if (outFd_ >= 0) fds[n++] = {outFd_, POLLIN, 0};
        if (errFd_ >= 0) fds[n++] = {errFd_, POLLIN, 0};
        if (n == 0) return false;
        const auto left = kHangGuard - (std::chrono::steady_clock::now() - start_);
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(left).count();
        if (ms <= 0 || poll(fds, static_cast<nfds_t>(n), static_cast<int>(ms)) <= 0) {
            result_.timedOut = true;
            return false;
        }
        for (int i = 0; i < n; ++i) {
            if (!fds[i].revents) continue;
            char buf[65536];
            const ssize_t got = read(fds[i].fd, buf, sizeof buf);
            const bool isOut = fds[i].fd == outFd_;
            if (got > 0) {
                (isOut ? result_.out : result_.err).append(buf, static_cast<size_t>(got));
            } else if (got == 0 || errno != EINTR) { // a pseudo-terminal ends with EIO
                close(fds[i].fd);
                (isOut ? outFd_ : errFd_) = -1;
            }
        }
        return true;
    }

    pid_t pid_ = -1;
    std::chrono::steady_clock::time_point start_;
    int outFd_ = -1, errFd_ = -1;
    bool waited_ = false;
    CliResult result_;
};

inline CliResult runCli(const std::vector<std::string>& args, bool terminal = false,
                        const std::vector<std::string>& env = {}) {
    return CliProcess(args, terminal, env).finish();
}

// A sample disc written by `quillfen-cli sample`, and an empty output folder.
class SampleDiscTest : public ::testing::Test {
protected:
    TempDir tmp;
    std::string disc = tmp / "disc";
    std::string part1 = disc + "/HVDVD_TS/FEATURE_1.EVO";
    std::string part2 = disc + "/HVDVD_TS/FEATURE_2.EVO";
    std::string playlist = disc + "/ADV_OBJ/VPLST000.XPL";
    std::string out = tmp / "out";

    void SetUp() override {
        const CliResult r = runCli({"sample", disc});
        ASSERT_EQ(r.status, 0) << r.err;
        ASSERT_EQ(mkdir(out.c_str(), 0777), 0);
    }
    std::string outFile(const std::string& name) const { return out + "/" + name; }
    static bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }
    // The names of the files in the output folder, sorted.
    std::vector<std::string> outputs() const { return folderNames(out); }
};

} // namespace qf::test
