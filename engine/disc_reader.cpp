#include "engine/disc_reader.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "engine/sanitized.h"

namespace qf {

namespace {

// A real drive spinning up takes seconds; a reader that takes this long is stuck.
constexpr int kReaderSeconds = 60;

// The child's memory beyond what it starts with: far more than the largest disc needs.
constexpr uint64_t kReaderMemory = uint64_t{1} << 30;

DiscReading failed(const std::string& why) {
    DiscReading r;
    r.outcome = DiscReading::Outcome::Failed;
    r.failure = "Reading its IFO files failed (" + why + ")";
    return r;
}

// What the tests make the child do: "segv" stops it on that signal, "hang" never lets it
// answer (QUILLFEN_DISC_READER_SECONDS then shortens the wait), "oom" has its memory run
// out. Only in test builds.
struct TestHooks {
    std::string fault;
    int seconds = kReaderSeconds;
};

TestHooks testHooks() {
    TestHooks hooks;
#ifdef QUILLFEN_TEST_HOOKS
    if (const char* f = std::getenv("QUILLFEN_DISC_READER_FAULT")) hooks.fault = f;
    if (const char* s = std::getenv("QUILLFEN_DISC_READER_SECONDS"))
        hooks.seconds = std::clamp(std::atoi(s), 1, kReaderSeconds);
#endif
    return hooks;
}

// The child's address space may grow by kReaderMemory over what the parent had: a runaway
// allocation fails there instead of taking the machine's memory. Not under AddressSanitizer,
// whose shadow memory is reserved up front.
void limitMemory() {
    if (kSanitized) return;
    FILE* statm = std::fopen("/proc/self/statm", "r");
    if (!statm) return;
    unsigned long pages = 0;
    const bool got = std::fscanf(statm, "%lu", &pages) == 1;
    std::fclose(statm);
    if (!got) return;
    const uint64_t limit = pages * static_cast<uint64_t>(::sysconf(_SC_PAGESIZE)) + kReaderMemory;
    const rlimit r{limit, limit};
    ::setrlimit(RLIMIT_AS, &r);
}

bool writeAll(int fd, const std::string& s) {
    size_t done = 0;
    while (done < s.size()) {
        const ssize_t n = ::write(fd, s.data() + done, s.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// The child: no output file of the program's, no stdout; answers on fd 3 and ends.
[[noreturn]] void child(int answerFd, const DiscSource& source, const DiscFiles& files,
                        const TestHooks& hooks) {
    if (answerFd != 3) {
        ::dup2(answerFd, 3);
        ::close(answerFd);
    }
    ::close_range(4, ~0U, 0);
    const int null = ::open("/dev/null", O_WRONLY);
    if (null >= 0) ::dup2(null, STDOUT_FILENO);
    if (null > STDERR_FILENO) ::close(null);
    if (hooks.fault == "segv") {
        ::signal(SIGSEGV, SIG_DFL); // a sanitizer's handler would turn it into an exit status
        ::raise(SIGSEGV);
    }
    if (hooks.fault == "hang")
        for (;;) ::pause();
    limitMemory();
    std::string answer;
    try {
        if (hooks.fault == "oom") throw std::bad_alloc();
        DiscReading reading = parseDiscTitles(source, files);
        if (source.menus && reading.outcome == DiscReading::Outcome::Titles)
            parseDiscMenus(source, reading);
        answer = encodeReading(reading);
    } catch (const std::bad_alloc&) {
        DiscReading r;
        r.outcome = DiscReading::Outcome::OutOfMemory;
        answer = encodeReading(r);
    }
    ::_exit(writeAll(3, answer) ? 0 : 1);
}

std::string signalName(int sig) {
    return "the reader stopped on signal " + std::to_string(sig);
}

// The child is reaped and the pipe closed whatever ends the wait, an exception too.
struct Child {
    pid_t pid;
    int fd; // the pipe's end the answer is read from
    int status = 0;
    bool reaped = false;
    void reap(bool kill) {
        if (reaped) return;
        ::close(fd);
        if (kill) ::kill(pid, SIGKILL);
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        reaped = true;
    }
    ~Child() { reap(true); }
};

} // namespace

DiscReading readInChild(const DiscSource& source, const DiscFiles& files) {
    const TestHooks hooks = testHooks();
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return failed(std::string("no pipe to a reader: ") + std::strerror(errno));
    const pid_t pid = ::fork();
    if (pid < 0) {
        const int err = errno;
        ::close(fds[0]);
        ::close(fds[1]);
        return failed(std::string("no reader could be started: ") + std::strerror(err));
    }
    if (pid == 0) {
        ::close(fds[0]);
        child(fds[1], source, files, hooks);
    }
    ::close(fds[1]);
    Child reader{pid, fds[0]};

    // The answer, read within its bound and the time allowed.
    const size_t most = maxReadingBytes();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(hooks.seconds);
    std::string answer;
    std::string problem;
    char buf[65536];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        pollfd p{fds[0], POLLIN, 0};
        const int ready = left > 0 ? ::poll(&p, 1, static_cast<int>(left)) : 0;
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) {
            problem = "the reader gave no answer within " + std::to_string(hooks.seconds) + " s";
            break;
        }
        const ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        if (answer.size() + static_cast<size_t>(n) > most) {
            problem = "the reader's answer is too long";
            break;
        }
        answer.append(buf, static_cast<size_t>(n));
    }
    reader.reap(!problem.empty());
    const int status = reader.status;
    if (!problem.empty()) return failed(problem);
    if (WIFSIGNALED(status)) return failed(signalName(WTERMSIG(status)));
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return failed("the reader ended with status " + std::to_string(WEXITSTATUS(status)));
    auto reading = decodeReading(answer);
    if (!reading) return failed("the reader's answer is malformed");
    return std::move(*reading);
}

} // namespace qf
