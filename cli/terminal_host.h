#pragma once
// The command line's host: log lines to standard output, progress to standard error,
// Ctrl-C as "Cancel".
#include <cstdio>
#include <string>
#include <string_view>

#include "engine/host.h"

namespace qf {
class Context;
}

namespace qf::cli {

// A marked-up log line with its "[b]" runs bold and "[bl]" runs blue bold as ANSI
// escape sequences (italic, underline and colour runs too); no line break.
std::string ansiLine(std::string_view marked);

// Ctrl-C sets a flag instead of ending the program; a second Ctrl-C ends it at once.
void installInterruptHandler();
bool interruptRequested();

class TerminalHost : public Host {
public:
    // ansi: format log lines for a terminal; progress: show status panel 1 on err.
    TerminalHost(std::FILE* out, std::FILE* err, bool ansi, bool progress);
    TerminalHost(const TerminalHost&) = delete;
    TerminalHost& operator=(const TerminalHost&) = delete;
    ~TerminalHost() override;

    // The context whose CancelFlag Ctrl-C sets.
    void attach(Context& ctx) { ctx_ = &ctx; }

    void logAppended(const std::string& markedLine) override;
    void statusChanged(int panel, const std::string& text) override;
    void processEvents() override;
    // Nothing is asked on the command line: Ctrl-C cancels without a question.
    bool askYesNo(const std::string&) override { return false; }

    // A plain line on standard output (outlines and listings after the log).
    void printLine(std::string_view line);
    // A line on standard error, after taking the progress line away.
    void message(std::string_view line);
    // Takes the progress line away (before exiting).
    void clearProgress();

private:
    void drawProgress();

    std::FILE* out_;
    std::FILE* err_;
    bool ansi_, progress_;
    bool progressShown_ = false;
    std::string progressText_;
    Context* ctx_ = nullptr;
};

} // namespace qf::cli
