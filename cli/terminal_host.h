#pragma once
// The command line's host: log lines to standard output, progress to standard error,
// Ctrl-C and SIGTERM as "Cancel".
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/events.h"

namespace qf {
class RunControl;
}

namespace qf::cli {

// A marked-up log line with its "[b]" runs bold and "[bl]" runs blue bold as ANSI
// escape sequences (italic, underline and colour runs too); no line break.
std::string ansiLine(std::string_view marked);

// The text with every control character shown as "?", so that a file name can neither
// split a line nor send the terminal a command.
std::string printable(std::string_view text);

// Whether to style the log (bold, colours) and to show progress, from the environment:
// only on a terminal, no styles when NO_COLOR is set, neither on a dumb terminal.
bool wantStyles(int outFd);
bool wantProgress(int errFd);

// SIGINT and SIGTERM set a flag instead of ending the program; a second one ends it at once.
void installCancelHandlers();
// The signal that asked to cancel (SIGINT or SIGTERM), 0 when none came.
int cancelSignal();

class TerminalHost : public JobEvents {
public:
    // styles: format log lines for a terminal; progress: show status panel 1 on err.
    TerminalHost(std::FILE* out, std::FILE* err, bool styles, bool progress);
    TerminalHost(const TerminalHost&) = delete;
    TerminalHost& operator=(const TerminalHost&) = delete;
    ~TerminalHost() override;

    // The run a signal stops.
    void attach(RunControl& control) { control_ = &control; }
    // The log's marked-up lines, shown or not, for the --json report.
    const std::vector<std::string>& lines() const { return lines_; }

    void logAppended(const std::string& markedLine) override;
    void statusChanged(int panel, const std::string& text) override;
    void processEvents() override;
    // Nothing is asked on the command line: a signal cancels without a question.

    // A plain line on standard output (outlines and listings after the log).
    void printLine(std::string_view line);
    // Keeps the log off standard output (a report takes its place there).
    void hideLog() { showLog_ = false; }
    // Text of the program's own making, written to standard output as it is.
    void printDocument(std::string_view text);
    // A line on standard error, after taking the progress line away; to `sink` instead
    // once one is set.
    void message(std::string_view line);
    void sendMessagesTo(std::function<void(std::string_view)> sink) { sink_ = std::move(sink); }
    // Takes the progress line away (before exiting).
    void clearProgress();

private:
    std::FILE* out_;
    std::FILE* err_;
    bool styles_, progress_;
    bool showLog_ = true;
    std::vector<std::string> lines_;
    bool progressShown_ = false;
    std::chrono::steady_clock::time_point lastDraw_{};
    RunControl* control_ = nullptr;
    std::function<void(std::string_view)> sink_;
};

} // namespace qf::cli
