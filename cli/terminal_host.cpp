#include "cli/terminal_host.h"

#include <csignal>
#include <cstdint>
#include <vector>

#include "engine/context.h"
#include "engine/markup.h"

namespace qf::cli {

namespace {

volatile std::sig_atomic_t gInterrupted = 0;

extern "C" void onInterrupt(int) {
    gInterrupted = 1;
}

constexpr uint32_t kBlue = 0xFF0000; // blue-green-red order, as the log markup has it

struct Attr {
    bool bold = false, italic = false, underline = false;
    bool coloured = false;
    uint32_t colour = 0;
    bool operator==(const Attr&) const = default;
};

std::string sgr(const Attr& a) {
    std::string codes;
    auto add = [&](const std::string& c) { codes += (codes.empty() ? "" : ";") + c; };
    if (a.bold) add("1");
    if (a.italic) add("3");
    if (a.underline) add("4");
    if (a.coloured) {
        if (a.colour == kBlue) {
            add("34");
        } else {
            add("38;2;" + std::to_string(a.colour & 0xFF) + ";" +
                std::to_string((a.colour >> 8) & 0xFF) + ";" +
                std::to_string((a.colour >> 16) & 0xFF));
        }
    }
    return codes.empty() ? std::string() : "\x1b[" + codes + "m";
}

} // namespace

std::string ansiLine(std::string_view marked) {
    const MarkedLine ml = parseMarkup(marked);
    const size_t n = ml.plain.size();
    std::vector<Attr> attrs(n);
    for (const Span& s : ml.spans) {
        const size_t end = std::min(n, s.start + s.length);
        for (size_t i = s.start; i < end; ++i) {
            Attr& a = attrs[i];
            switch (s.kind) {
            case Span::Kind::ClearStyles:
                a.bold = a.italic = a.underline = false;
                break;
            case Span::Kind::AddBold:
                a.bold = true;
                break;
            case Span::Kind::AddItalic:
                a.italic = true;
                break;
            case Span::Kind::AddUnderline:
                a.underline = true;
                break;
            case Span::Kind::Size: // a terminal has one size
                break;
            case Span::Kind::Colour:
                a.coloured = true;
                a.colour = s.value;
                break;
            case Span::Kind::BlueBold:
                a.coloured = true;
                a.colour = kBlue;
                a.bold = true;
                break;
            case Span::Kind::Normal:
                a = Attr{};
                break;
            }
        }
    }
    std::string out;
    const Attr plain;
    Attr current;
    for (size_t i = 0; i < n; ++i) {
        if (!(attrs[i] == current)) {
            if (!(current == plain)) out += "\x1b[0m";
            out += sgr(attrs[i]);
            current = attrs[i];
        }
        out += ml.plain[i];
    }
    if (!(current == plain)) out += "\x1b[0m";
    return out;
}

void installInterruptHandler() {
    struct sigaction sa {};
    sa.sa_handler = onInterrupt;
    sigemptyset(&sa.sa_mask);
    // Reads and writes carry on after the signal; the next Ctrl-C acts as usual.
    sa.sa_flags = SA_RESTART | SA_RESETHAND;
    sigaction(SIGINT, &sa, nullptr);
}

bool interruptRequested() {
    return gInterrupted != 0;
}

TerminalHost::TerminalHost(std::FILE* out, std::FILE* err, bool ansi, bool progress)
    : out_(out), err_(err), ansi_(ansi), progress_(progress) {}

TerminalHost::~TerminalHost() {
    clearProgress();
}

void TerminalHost::logAppended(const std::string& markedLine) {
    const bool redraw = progressShown_;
    clearProgress();
    const std::string text = ansi_ ? ansiLine(markedLine) : plainText(markedLine);
    std::fwrite(text.data(), 1, text.size(), out_);
    std::fputc('\n', out_);
    // Line by line, so that a script reading the pipe sees each message as it comes.
    std::fflush(out_);
    if (redraw) drawProgress();
}

void TerminalHost::statusChanged(int panel, const std::string& text) {
    if (panel != 1 || !progress_) return;
    progressText_ = text;
    if (text.empty())
        clearProgress();
    else
        drawProgress();
}

void TerminalHost::processEvents() {
    if (interruptRequested() && ctx_) ctx_->CancelFlag = true;
}

void TerminalHost::printLine(std::string_view line) {
    clearProgress();
    std::fwrite(line.data(), 1, line.size(), out_);
    std::fputc('\n', out_);
    std::fflush(out_);
}

void TerminalHost::message(std::string_view line) {
    clearProgress();
    std::fflush(out_);
    std::fwrite(line.data(), 1, line.size(), err_);
    std::fputc('\n', err_);
    std::fflush(err_);
}

void TerminalHost::clearProgress() {
    if (!progressShown_) return;
    std::fputs("\r\x1b[K", err_);
    std::fflush(err_);
    progressShown_ = false;
}

void TerminalHost::drawProgress() {
    if (progressText_.empty()) return;
    std::fputs("\r", err_);
    std::fwrite(progressText_.data(), 1, progressText_.size(), err_);
    std::fputs("\x1b[K", err_);
    std::fflush(err_);
    progressShown_ = true;
}

} // namespace qf::cli
