#include "jobs/mkv_mux.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "engine/markup.h"
#include "engine/paths.h"
#include "engine/stream.h"
#include "engine/timefmt.h"
#include "jobs/outputs.h"
#include "jobs/runner.h"

extern char** environ;

namespace qf {

namespace {

// mkvmerge writes the MKV through this descriptor: the file our outputs are created as.
constexpr int kOutputFd = 3;

bool executable(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

// The text of a file of the job's output folder, read as the job created it.
std::string readOutput(const JobRunner& ctx, const std::string& name) {
    const int fd =
        ::openat(ctx.outputFolder->fd(), namePart(name).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) throw Error("Cannot open file \"" + name + "\". " + std::strerror(errno));
    std::string text;
    char buf[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buf, sizeof buf);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        text.append(buf, static_cast<size_t>(got));
    }
    ::close(fd);
    return text;
}

int64_t outputSize(const JobRunner& ctx, const std::string& name) {
    struct stat st {};
    return ::fstatat(ctx.outputFolder->fd(), namePart(name).c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0
               ? st.st_size
               : 0;
}

// Removes a file the job created, when it is still a regular file of ours with no other
// name (as a stale hand-over file is removed).
bool removeOutput(const JobRunner& ctx, const std::string& name) {
    const int at = ctx.outputFolder->fd();
    const std::string entry = namePart(name);
    struct stat st {};
    if (::fstatat(at, entry.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
        st.st_uid != ::geteuid() || st.st_nlink != 1)
        return false;
    return ::unlinkat(at, entry.c_str(), 0) == 0;
}

// mkvmerge as a child process: its arguments as given (no shell), standard output and
// error through one pipe read line by line, its working folder the job's output folder
// (the options file names the files relative to it), the output file as descriptor 3.
class Mkvmerge {
public:
    Mkvmerge(const std::string& program, const std::vector<std::string>& args, int folderFd,
             int outputFd) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) throw Error(spawnError(errno));
        readFd_ = fds[0];
        // The output's descriptor somewhere above 3, so that the move to 3 clears its
        // close-on-exec flag whatever number it had.
        const int moved = ::fcntl(outputFd, F_DUPFD_CLOEXEC, 10);
        if (moved < 0) {
            const int err = errno;
            ::close(fds[1]);
            throw Error(spawnError(err));
        }
        posix_spawn_file_actions_t actions;
        posix_spawnattr_t attr;
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attr);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
        posix_spawn_file_actions_adddup2(&actions, moved, kOutputFd);
        posix_spawn_file_actions_addfchdir_np(&actions, folderFd);
        // The job may run on a thread with signals blocked, and the command line catches
        // SIGINT and SIGTERM: the child starts with neither.
        sigset_t none, defaults;
        sigemptyset(&none);
        sigemptyset(&defaults);
        for (int sig : {SIGINT, SIGTERM, SIGPIPE, SIGQUIT, SIGHUP}) sigaddset(&defaults, sig);
        posix_spawnattr_setsigmask(&attr, &none);
        posix_spawnattr_setsigdefault(&attr, &defaults);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        std::vector<std::string> copy = args;
        std::vector<char*> argv;
        std::string name = program;
        argv.push_back(name.data());
        for (std::string& a : copy) argv.push_back(a.data());
        argv.push_back(nullptr);
        const int err =
            ::posix_spawn(&pid_, program.c_str(), &actions, &attr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
        ::close(fds[1]);
        ::close(moved);
        if (err != 0) {
            pid_ = -1;
            throw Error(spawnError(err));
        }
    }
    ~Mkvmerge() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            wait();
        }
        if (readFd_ >= 0) ::close(readFd_);
    }
    Mkvmerge(const Mkvmerge&) = delete;
    Mkvmerge& operator=(const Mkvmerge&) = delete;

    // The next whole line (without its end), waiting at most `ms`; false when none came
    // in that time or the output has ended (ended() then).
    bool nextLine(std::string& line, int ms) {
        for (;;) {
            const size_t end = pending_.find_first_of("\r\n");
            if (end != std::string::npos) {
                line = pending_.substr(0, end);
                pending_.erase(0, end + 1);
                return true;
            }
            if (readFd_ < 0) {
                if (pending_.empty()) return false;
                line.swap(pending_);
                pending_.clear();
                return true;
            }
            pollfd p{readFd_, POLLIN, 0};
            const int ready = ::poll(&p, 1, ms);
            if (ready < 0 && errno == EINTR) return false;
            if (ready <= 0) return false;
            char buf[4096];
            const ssize_t got = ::read(readFd_, buf, sizeof buf);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {
                ::close(readFd_);
                readFd_ = -1;
                continue;
            }
            pending_.append(buf, static_cast<size_t>(got));
        }
    }
    bool ended() const { return readFd_ < 0 && pending_.empty(); }
    void kill() {
        if (pid_ > 0) ::kill(pid_, SIGKILL);
    }
    // Its wait status, once it has ended.
    int wait() {
        int status = 0;
        while (pid_ > 0 && ::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        return status;
    }

private:
    static std::string spawnError(int err) {
        return "Cannot start mkvmerge. " + std::string(std::strerror(err));
    }

    pid_t pid_ = -1;
    int readFd_ = -1;
    std::string pending_;
};

bool startsWith(const std::string& s, std::string_view prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

// The files the options file names, among those the job created: the muxed files, and
// with them what mkvmerge took besides (a VobSub's .sub beside its .idx) or what says
// nothing the MKV does not (the OGM chapters beside the Matroska ones).
std::vector<std::string> muxedFiles(const JobRunner& ctx, const std::vector<std::string>& args) {
    auto named = [&](const std::string& file) {
        const std::string n = namePart(file);
        return std::find_if(args.begin(), args.end(), [&](const std::string& a) {
                   return a == n || a == "./" + n;
               }) != args.end();
    };
    auto swapped = [](const std::string& file, std::string_view from, std::string_view to) {
        if (file.size() < from.size() || file.compare(file.size() - from.size(), from.size(), from))
            return std::string();
        return file.substr(0, file.size() - from.size()) + std::string(to);
    };
    std::vector<std::string> files;
    for (const std::string& file : ctx.CreatedFiles) {
        const std::string idx = swapped(file, ".sub", ".idx");
        const std::string xml = swapped(file, ".chapters.txt", ".chapters.xml");
        const std::string timed = swapped(file, ".timestamps.txt", "");
        if (named(file) || (!idx.empty() && named(idx)) || (!xml.empty() && named(xml)) ||
            (!timed.empty() && named(timed)))
            files.push_back(file);
    }
    return files;
}

std::string joined(const std::vector<std::string>& names) {
    std::string list;
    for (const std::string& n : names) list += (list.empty() ? "" : ", ") + namePart(n);
    return list;
}

} // namespace

std::string noMkvmergeText(std::string_view without) {
    return "mkvmerge was not found: install the mkvtoolnix package, or " + std::string(without);
}

std::string findMkvmerge() {
    const char* path = std::getenv("PATH");
    const std::string dirs = path ? path : "";
    for (size_t from = 0; from <= dirs.size();) {
        const size_t end = std::min(dirs.find(':', from), dirs.size());
        std::string dir = dirs.substr(from, end - from);
        from = end + 1;
        if (dir.empty()) continue; // an empty entry would be whatever folder we run in
        const std::string candidate = dir + (dir.back() == '/' ? "" : "/") + "mkvmerge";
        if (executable(candidate)) return candidate;
    }
    return "";
}

void prepareMkv(JobRunner& ctx) {
    if (ctx.job.output.mkv == OutputChoices::Mkv::Off) return;
    if (findMkvmerge().empty()) throw Error(noMkvmergeText("untick Make MKV"));
    ctx.job.output.mkvmergeOptions = true;
}

bool makeMkv(JobRunner& ctx, const std::string& prefix) {
    const std::string options = prefix + ".mkvmerge.json";
    const std::string mkv = prefix + ".mkv";
    if (!ctx.outputFolder || std::find(ctx.CreatedFiles.begin(), ctx.CreatedFiles.end(), options) ==
                                 ctx.CreatedFiles.end())
        throw Error("Cannot make " + namePart(mkv) + ": there is no stream file for mkvmerge");
    std::vector<std::string> args;
    for (const auto& a : nlohmann::json::parse(readOutput(ctx, options)))
        args.push_back(a.get<std::string>());
    const std::vector<std::string> muxed = muxedFiles(ctx, args);
    // The MKV is the job's output, made as the others are; mkvmerge writes into it.
    const auto out = std::find(args.begin(), args.end(), "--output");
    if (out == args.end() || out + 1 == args.end())
        throw Error("Cannot make " + namePart(mkv) + ": " + namePart(options) + " names no output");
    *(out + 1) = "/dev/fd/" + std::to_string(kOutputFd);
    args.insert(args.begin(), "--gui-mode"); // progress, warnings and errors as tagged lines

    int64_t total = 0; // what mkvmerge reads, for its progress in bytes as ours is
    for (const std::string& file : muxed) total += outputSize(ctx, file);
    const std::string program = findMkvmerge();
    if (program.empty()) throw Error(noMkvmergeText("untick Make MKV"));

    std::unique_ptr<Stream> made = createOutput(ctx, mkv);
    auto* file = dynamic_cast<FileStream*>(made.get());
    ctx.tell(FileCreated{mkv, std::nullopt});
    // What is left of the MKV when mkvmerge does not finish it is of no use.
    auto drop = [&] {
        file->discard();
        ctx.CreatedFiles.erase(std::remove(ctx.CreatedFiles.begin(), ctx.CreatedFiles.end(), mkv),
                               ctx.CreatedFiles.end());
    };
    ctx.slog("Muxing " + namePart(mkv), 0);
    ctx.events->passRunning(true); // Cancel stops it
    struct Idle {
        JobRunner& c;
        ~Idle() { c.events->passRunning(false); }
    } idle{ctx};

    std::vector<std::string> warnings, errors;
    std::string lastOther;
    int status = 0;
    bool stopped = false;
    try {
        Mkvmerge child(program, args, ctx.outputFolder->fd(), file->descriptor());
        const auto start = std::chrono::steady_clock::now();
        std::string line;
        while (!child.ended()) {
            // Where a front end turns its user's Cancel (or a signal) into a stop.
            ctx.events->processEvents();
            if (ctx.control.stopRequested() && !stopped) {
                child.kill();
                stopped = true;
            }
            if (!child.nextLine(line, 100)) continue;
            if (startsWith(line, "#GUI#progress ")) {
                const int percent = std::clamp(std::atoi(line.c_str() + 14), 0, 100);
                const int64_t done = total * percent / 100;
                using Seconds = std::chrono::duration<double>;
                const Seconds elapsed = std::chrono::steady_clock::now() - start;
                // A second more, so that the text never shows 0:00:00 while mkvmerge runs.
                const Seconds remaining =
                    percent > 0 ? elapsed * (100 - percent) / percent + Seconds(1) : Seconds(0);
                ctx.tell(Progress{done, total, remaining, ""});
            } else if (startsWith(line, "#GUI#warning ")) {
                warnings.push_back(line.substr(13));
                ctx.log("mkvmerge warns: " + escapeMarkup(warnings.back()));
            } else if (startsWith(line, "#GUI#error ")) {
                errors.push_back(line.substr(11));
            } else if (!line.empty() && !startsWith(line, "#GUI#")) {
                // An error's further lines follow it untagged (its reason); mkvmerge ends then.
                if (!errors.empty()) errors.back() += " " + line;
                lastOther = line;
            }
        }
        status = child.wait();
    } catch (...) {
        drop();
        throw;
    }
    if (stopped) {
        drop();
        ctx.log("mkvmerge was stopped: the incomplete " + escapeMarkup(namePart(mkv)) +
                " is removed, the other files stay.");
        return false;
    }
    // 0: done; 1: done with warnings; 2 or a signal: failed.
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (code != 0 && code != 1) {
        drop();
        std::string why;
        for (const std::string& e : errors) why += (why.empty() ? "" : " ") + e;
        if (why.empty()) why = lastOther;
        if (why.empty())
            why = WIFSIGNALED(status) ? "it was ended by signal " + std::to_string(WTERMSIG(status))
                                      : "exit status " + std::to_string(code);
        throw Error("mkvmerge could not make " + mkv + ": " + why);
    }
    made->close();
    ctx.slog("", 1);
    if (code == 1 || !warnings.empty()) {
        ctx.log("The files muxed into " + escapeMarkup(namePart(mkv)) +
                " are kept: mkvmerge warned.");
        return true;
    }
    if (ctx.job.output.mkv == OutputChoices::Mkv::MakeKeepingStreams) return true;
    std::vector<std::string> removed, done = muxed;
    done.push_back(options);
    for (const std::string& f : done)
        if (removeOutput(ctx, f)) removed.push_back(f);
    for (const std::string& f : removed)
        ctx.CreatedFiles.erase(std::remove(ctx.CreatedFiles.begin(), ctx.CreatedFiles.end(), f),
                               ctx.CreatedFiles.end());
    if (!removed.empty())
        ctx.log("Removed the files muxed into " + escapeMarkup(namePart(mkv)) + ": " +
                escapeMarkup(joined(removed)));
    return true;
}

} // namespace qf
