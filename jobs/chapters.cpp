#include "jobs/chapters.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "jobs/utf8.h"

namespace qf {

namespace {

std::string twoDigits(size_t k) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%02zu", k);
    return buf;
}

// Seconds as HH:MM:SS plus `digits` decimals, rounded once, so that both files agree.
std::string clock(double seconds, int digits) {
    const double scale = digits == 9 ? 1e9 : 1e3;
    const auto units = static_cast<int64_t>(std::llround(std::max(seconds, 0.0) * scale));
    const auto perSecond = static_cast<int64_t>(scale);
    const int64_t s = units / perSecond;
    char buf[48];
    std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld.%0*lld", static_cast<long long>(s / 3600),
                  static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60), digits,
                  static_cast<long long>(units % perSecond));
    return buf;
}

// Text as XML 1.0 takes it: markup escaped, control characters (which it forbids) as
// spaces, and what is no character (bytes that are no UTF-8, U+FFFE, U+FFFF) as U+FFFD, so
// that the file is always well-formed.
std::string xmlText(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        uint32_t cp = 0;
        const size_t n = utf8Char(text, i, cp);
        if (n == 0 || cp == 0xFFFE || cp == 0xFFFF) {
            out += "\uFFFD";
            i += n == 0 ? 1 : n;
            continue;
        }
        switch (cp) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            if (cp < 32 && cp != '\t')
                out += ' ';
            else
                out.append(text, i, n);
        }
        i += n;
    }
    return out;
}

// One line of the OGM file: a line break in a name would start another entry.
std::string oneLine(std::string text) {
    for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
    return text;
}

} // namespace

std::string chapterName(const std::vector<ChapterMark>& chapters, size_t k) {
    const std::string& name = chapters[k].name;
    return name.empty() ? "Chapter " + twoDigits(k + 1) : name;
}

std::string matroskaChapters(const std::vector<ChapterMark>& chapters) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<!DOCTYPE Chapters SYSTEM \"matroskachapters.dtd\">\n"
                      "<Chapters>\n  <EditionEntry>\n";
    for (size_t k = 0; k < chapters.size(); ++k) {
        xml += "    <ChapterAtom>\n      <ChapterTimeStart>" + clock(chapters[k].start, 9) +
               "</ChapterTimeStart>\n      <ChapterDisplay>\n        <ChapterString>" +
               xmlText(chapterName(chapters, k)) +
               "</ChapterString>\n        <ChapterLanguage>eng</ChapterLanguage>\n"
               "      </ChapterDisplay>\n    </ChapterAtom>\n";
    }
    return xml + "  </EditionEntry>\n</Chapters>\n";
}

std::string ogmChapters(const std::vector<ChapterMark>& chapters) {
    std::string text;
    for (size_t k = 0; k < chapters.size(); ++k) {
        const std::string n = "CHAPTER" + twoDigits(k + 1);
        text += n + "=" + clock(chapters[k].start, 3) + "\n";
        text += n + "NAME=" + oneLine(chapterName(chapters, k)) + "\n";
    }
    return text;
}

} // namespace qf
