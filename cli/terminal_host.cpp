#include "cli/terminal_host.h"

#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/markup.h"
#include "engine/run_control.h"

namespace qf::cli {

namespace {

volatile std::sig_atomic_t gCancelSignal = 0;

extern "C" void onCancelSignal(int sig) {
    gCancelSignal = sig;
}

constexpr auto kProgressInterval = std::chrono::milliseconds(100); // ten redraws a second

bool envSet(const char* name) {
    const char* v = std::getenv(name);
    return v && *v;
}

bool dumbTerminal() {
    const char* term = std::getenv("TERM");
    return term && std::strcmp(term, "dumb") == 0;
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
    const std::string text = printable(ml.plain);
    std::string out;
    const Attr plain;
    Attr current;
    for (size_t i = 0, t = 0; i < n && t < text.size(); ++i) {
        if (!(attrs[i] == current)) {
            if (!(current == plain)) out += "\x1b[0m";
            out += sgr(attrs[i]);
            current = attrs[i];
        }
        // A control character of two bytes is shown as one "?".
        if (text[t] == '?' && ml.plain[i] != '?') {
            out += '?';
            ++t;
            if (static_cast<unsigned char>(ml.plain[i]) == 0xC2) ++i;
            continue;
        }
        out += text[t++];
    }
    if (!(current == plain)) out += "\x1b[0m";
    return out;
}

std::string printable(std::string_view text) {
    std::string out(text);
    for (size_t i = 0; i < out.size(); ++i) {
        const auto c = static_cast<unsigned char>(out[i]);
        if (c < 0x20 || c == 0x7F) {
            out[i] = '?';
        } else if (c == 0xC2 && i + 1 < out.size() &&
                   static_cast<unsigned char>(out[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(out[i + 1]) <= 0x9F) {
            out.replace(i, 2, "?"); // a C1 control character, which terminals obey too
        }
    }
    return out;
}

bool wantStyles(int outFd) {
    return isatty(outFd) == 1 && !envSet("NO_COLOR") && !dumbTerminal();
}

bool wantProgress(int errFd) {
    // The progress line is redrawn with a carriage return and an erase sequence.
    return isatty(errFd) == 1 && !dumbTerminal();
}

void installCancelHandlers() {
    struct sigaction sa {};
    sa.sa_handler = onCancelSignal;
    sigemptyset(&sa.sa_mask);
    // Reads and writes carry on after the signal; the next one acts as usual.
    sa.sa_flags = SA_RESTART | SA_RESETHAND;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

int cancelSignal() {
    return gCancelSignal;
}

TerminalHost::TerminalHost(std::FILE* out, std::FILE* err, bool styles, bool progress)
    : out_(out), err_(err), styles_(styles), progress_(progress) {}

TerminalHost::~TerminalHost() {
    clearProgress();
}

void TerminalHost::logAppended(const std::string& markedLine) {
    lines_.push_back(markedLine);
    if (!showLog_) return;
    // The progress line goes before the log goes on; the next progress shows it again.
    clearProgress();
    const std::string text = styles_ ? ansiLine(markedLine) : printable(plainText(markedLine));
    std::fwrite(text.data(), 1, text.size(), out_);
    std::fputc('\n', out_);
    // Line by line, so that a script reading the pipe sees each message as it comes.
    std::fflush(out_);
}

void TerminalHost::statusChanged(int panel, const std::string& text) {
    if (panel != 1 || !progress_) return;
    if (text.empty()) {
        clearProgress();
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now - lastDraw_ < kProgressInterval) return;
    lastDraw_ = now;
    const std::string shown = printable(text);
    std::fputs("\r", err_);
    std::fwrite(shown.data(), 1, shown.size(), err_);
    std::fputs("\x1b[K", err_);
    std::fflush(err_);
    progressShown_ = true;
}

void TerminalHost::processEvents() {
    if (cancelSignal() && control_) control_->requestStop(StopReason::Cancel);
}

void TerminalHost::printLine(std::string_view line) {
    clearProgress();
    const std::string text = printable(line);
    std::fwrite(text.data(), 1, text.size(), out_);
    std::fputc('\n', out_);
    std::fflush(out_);
}

void TerminalHost::printDocument(std::string_view text) {
    clearProgress();
    std::fwrite(text.data(), 1, text.size(), out_);
    std::fflush(out_);
}

void TerminalHost::message(std::string_view line) {
    if (sink_) return sink_(line);
    clearProgress();
    std::fflush(out_);
    const std::string text = printable(line);
    std::fwrite(text.data(), 1, text.size(), err_);
    std::fputc('\n', err_);
    std::fflush(err_);
}

void TerminalHost::clearProgress() {
    if (!progressShown_) return;
    std::fputs("\r\x1b[K", err_);
    std::fflush(err_);
    progressShown_ = false;
}

} // namespace qf::cli
