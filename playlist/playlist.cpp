#include "playlist/playlist.h"

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

#include "analysers/report.h"
#include "engine/markup.h"
#include "engine/paths.h"
#include "engine/stream.h"
#include "jobs/runner.h"
#include "model/session.h"
#include "model/window.h"

namespace qf {

namespace {

constexpr size_t kTail = 255; // at most this many characters are looked at after each find
constexpr int32_t kAttrCount = 8;

// Bounds that keep any input, however hostile, to a listing of a few times its size:
// real playlists are well below each of them.
constexpr int64_t kMaxPlaylistSize = 16 << 20; // bytes of the file
constexpr int kMaxIndentDepth = 64;            // deeper tags are indented as at this depth
constexpr size_t kMaxTagLine = 1 << 20;        // characters of one tag line
// Every line of the listing, the tree and the reader's log costs its characters plus
// this much for its own bookkeeping. All of them together may cost 4 bytes per byte
// read (plus a little for the fixed texts), and never more than kMaxCost, which keeps
// the whole reading within 64 MB.
constexpr int64_t kLineCost = 64;
constexpr int64_t kMaxCost = 28 << 20;
constexpr int64_t kFixedCost = 64 << 10;

[[noreturn]] void notAPlaylist(const Session& ctx) {
    throw Error("File \"" + ctx.ui.eXPLfile + "\" is not a playlist");
}

// What one reading may still produce; spending beyond it ends the reading.
class Budget {
public:
    Budget(const Session& ctx, int64_t inputSize)
        : ctx_(ctx), left_(std::min(4 * inputSize + kFixedCost, kMaxCost)) {}
    void spend(size_t characters) {
        left_ -= static_cast<int64_t>(characters) + kLineCost;
        if (left_ < 0) notAPlaylist(ctx_);
    }

private:
    const Session& ctx_;
    int64_t left_;
};

char upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

std::string upperCase(std::string s) {
    for (char& c : s) c = upper(c);
    return s;
}

bool contains(const std::string& s, const char* part) {
    return s.find(part) != std::string::npos;
}

size_t findNoCase(const std::string& hay, const std::string& needle) {
    return upperCase(hay).find(upperCase(needle));
}

// Optional sign and decimal digits, nothing else, within 32 bits.
bool parseInt32(const std::string& s, int32_t& out) {
    size_t i = 0;
    bool negative = false;
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
        negative = s[0] == '-';
        i = 1;
    }
    if (i == s.size()) return false;
    int64_t v = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        v = v * 10 + (s[i] - '0');
        if (v > int64_t{1} << 31) return false;
    }
    if (negative) v = -v;
    if (v > INT32_MAX || v < INT32_MIN) return false;
    out = static_cast<int32_t>(v);
    return true;
}

void appendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// The character a reference between "&" and ";" stands for; false for anything else,
// and for control characters, which would split a log line or a file name.
bool referencedChar(std::string_view name, uint32_t& cp) {
    static constexpr std::pair<std::string_view, char> kNamed[] = {
        {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}};
    for (const auto& [n, c] : kNamed)
        if (name == n) {
            cp = static_cast<uint32_t>(c);
            return true;
        }
    if (name.size() < 2 || name[0] != '#') return false;
    const bool hex = name[1] == 'x';
    const std::string_view digits = name.substr(hex ? 2 : 1);
    if (digits.empty() || digits.size() > 8) return false;
    cp = 0;
    for (char c : digits) {
        int d = -1;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        if (d < 0) return false;
        cp = cp * (hex ? 16 : 10) + static_cast<uint32_t>(d);
    }
    const bool control = cp < 0x20 || (cp >= 0x7F && cp <= 0x9F);
    const bool surrogate = cp >= 0xD800 && cp <= 0xDFFF;
    return !control && !surrogate && cp != 0xFFFE && cp != 0xFFFF && cp <= 0x10FFFF;
}

// Character references and the five predefined entities decoded; anything else that
// looks like one is kept as it stands.
std::string decodeReferences(const std::string& text) {
    if (text.find('&') == std::string::npos) return text;
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        const size_t semi = text[i] == '&' ? text.find(';', i + 1) : std::string::npos;
        uint32_t cp = 0;
        if (semi != std::string::npos && semi - i <= 11 &&
            referencedChar(std::string_view(text).substr(i + 1, semi - i - 1), cp)) {
            appendUtf8(out, cp);
            i = semi + 1;
        } else {
            out += text[i++];
        }
    }
    return out;
}

std::string slotNumber(int32_t n) {
    std::string s = std::to_string(n);
    if (n < 10) s.insert(s.begin(), '0');
    return s;
}

void logLine(Session& ctx, Budget& budget, const std::string& line) {
    budget.spend(line.size());
    ctx.log(line);
}

void logOutOfRange(Session& ctx, Budget& budget, const char* element, const char* attr,
                   int32_t value, size_t limit) {
    logLine(ctx, budget,
            std::string(element) + " skipped: " + attr + " " + std::to_string(value) +
                " is out of range (1 to " + std::to_string(limit) + ")");
}

// Closing tags, comments, declarations and processing instructions only mention names;
// they never define an attribute item.
bool isDefiningTag(const std::string& line) {
    size_t p = line.find_first_not_of(' ');
    if (p == std::string::npos || line[p] != '<') return true;
    char next = p + 1 < line.size() ? line[p + 1] : '\0';
    return next != '/' && next != '!' && next != '?';
}

void attributeItem(Session& ctx, Budget& budget, const std::string& line, const char* element,
                   std::array<std::string, 9>& table, bool withChannels) {
    const std::string text = GetAttr(line, "index");
    int32_t index = 0;
    if (!parseInt32(text, index)) throw Error("'" + text + "' is not a valid integer value");
    if (index < 1 || index > kAttrCount) {
        logOutOfRange(ctx, budget, element, "index", index, kAttrCount);
        return;
    }
    std::string value = GetAttr(line, "codec");
    if (withChannels) {
        const std::string channels = GetAttr(line, "channels");
        if (!channels.empty()) value += "." + channels + "ch";
    }
    table[static_cast<size_t>(index)] = value;
}

// The tag scanner's state for one reading.
class Scanner {
public:
    Scanner(Session& ctx, Budget& budget) : ctx_(ctx), budget_(budget) {}

    void feed(const uint8_t* p, size_t n) {
        for (size_t i = 0; i < n; ++i) byte(static_cast<char>(p[i]));
    }
    const std::string& title() const { return title_; }

private:
    void byte(char c) {
        if (c == '\0') notAPlaylist(ctx_); // a text file never holds one
        if (c == '<') {
            inTag_ = true;
            ++depth_;
        }
        if (inTag_) {
            if (line_.size() >= kMaxTagLine) notAPlaylist(ctx_);
            if (static_cast<unsigned char>(c) >= 32)
                line_ += c;
            else if (line_.empty() || line_.back() != ' ')
                line_ += ' ';
        }
        if (c == '/' && last_ == '<') { // a closing tag goes back to its opening tag's level
            depth_ -= 2;
            if (depth_ + 1 <= kMaxIndentDepth) line_.erase(0, 2);
        }
        if (c == '>') endOfTag();
        beforeLast_ = last_;
        last_ = c;
    }

    void endOfTag() {
        inTag_ = false;
        budget_.spend(line_.size());
        ctx_.ui.mXPL.push_back(line_);
        if (contains(line_, "Playlist")) GetAttr(line_, "displayName", title_);
        if (isDefiningTag(line_)) {
            if (contains(line_, "VideoAttributeItem"))
                attributeItem(ctx_, budget_, line_, "VideoAttributeItem", ctx_.VideoAttrs, false);
            if (contains(line_, "AudioAttributeItem"))
                attributeItem(ctx_, budget_, line_, "AudioAttributeItem", ctx_.AudioAttrs, true);
            if (contains(line_, "SubpictureAttributeItem"))
                attributeItem(ctx_, budget_, line_, "SubpictureAttributeItem", ctx_.SubAttrs,
                              false);
        }
        line_.clear();
        // Empty elements and processing instructions close themselves, so do comments.
        if (last_ == '/' || last_ == '?') --depth_;
        if (last_ == '-' && beforeLast_ == '-') --depth_;
        if (depth_ > 0)
            line_.assign(static_cast<size_t>(std::min(depth_, kMaxIndentDepth)) * 2, ' ');
    }

    Session& ctx_;
    Budget& budget_;
    std::string line_;
    std::string title_;
    int depth_ = 0;
    bool inTag_ = false;
    char last_ = '\0', beforeLast_ = '\0';
};

TreeNode* root(std::vector<TreeNode>& tree, const char* name) {
    for (auto& n : tree)
        if (n.text == name) return &n;
    return nullptr;
}

void addChild(Budget& budget, TreeNode* parent, std::string text) {
    budget.spend(text.size());
    if (parent) parent->children.push_back({std::move(text), {}});
}

template <size_t N>
void listStream(Session& ctx, Budget& budget, const std::string& line, const char* element,
                std::array<int32_t, N>& slots, const std::array<std::string, 9>& attrs,
                TreeNode* node, std::array<CheckBox, 16>& boxes) {
    const int32_t s = GetAttrInt(line, "streamNumber");
    if (s < 1 || static_cast<size_t>(s) > N) {
        logOutOfRange(ctx, budget, element, "streamNumber", s, N);
        return;
    }
    const auto slot = static_cast<size_t>(s - 1);
    if (slots[slot] != -1) return; // only the first line of a stream number counts
    const int32_t m = GetAttrInt(line, "mediaAttr");
    if (m < 1 || m > kAttrCount) {
        logOutOfRange(ctx, budget, element, "mediaAttr", m, kAttrCount);
        return;
    }
    slots[slot] = 1;
    const std::string name = attrs[static_cast<size_t>(m)] + ".stream." + slotNumber(s - 1) + "." +
                             GetAttr(line, "description");
    addChild(budget, node, name);
    logLine(ctx, budget, escapeMarkup(name) + " found!");
    if (slot < boxes.size()) {
        auto& box = boxes[slot];
        box.enabled = true;
        box.checked = true;
        box.caption = name;
        box.hint = name;
        cbVideoClick(ctx.ui);
    }
}

void listVideo(Session& ctx, Budget& budget, const std::string& line, TreeNode* node) {
    const int32_t t = GetAttrInt(line, "track");
    if (t < 1 || static_cast<size_t>(t) > ctx.VideoSlots.size()) {
        logOutOfRange(ctx, budget, "Video", "track", t, ctx.VideoSlots.size());
        return;
    }
    const auto slot = static_cast<size_t>(t - 1);
    if (ctx.VideoSlots[slot] != -1) return;
    const int32_t m = GetAttrInt(line, "mediaAttr");
    if (m < 1 || m > kAttrCount) {
        logOutOfRange(ctx, budget, "Video", "mediaAttr", m, kAttrCount);
        return;
    }
    ctx.VideoSlots[slot] = 1;
    const std::string name =
        ctx.VideoAttrs[static_cast<size_t>(m)] + ".stream." + std::to_string(t - 1);
    addChild(budget, node, name);
    logLine(ctx, budget, escapeMarkup(name) + " found!");
    if (t == 1) {
        auto& box = ctx.ui.cbVideo[0];
        box.enabled = true;
        box.checked = true;
        box.caption = name;
        cbVideoClick(ctx.ui);
    }
}

// A "timeBase" such as "60fps" or "24000/1001fps" in frames per second; 0 when unreadable.
double framesPerSecond(const std::string& text) {
    double rate = 0;
    size_t i = 0;
    auto number = [&] {
        double v = 0;
        bool any = false;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, any = true)
            v = v * 10 + (text[i] - '0');
        return any ? v : -1;
    };
    rate = number();
    if (rate > 0 && i < text.size() && text[i] == '/') {
        ++i;
        const double d = number();
        rate = d > 0 ? rate / d : 0;
    }
    return rate > 0 ? rate : 0;
}

// A title time "HH:MM:SS:FF" in seconds, its frames counted at `rate`; nullopt when it
// is not written so.
std::optional<double> titleSeconds(const std::string& text, double rate) {
    int32_t parts[4] = {};
    size_t from = 0;
    for (int k = 0; k < 4; ++k) {
        const size_t colon = k < 3 ? text.find(':', from) : text.size();
        if (colon == std::string::npos || !parseInt32(text.substr(from, colon - from), parts[k]) ||
            parts[k] < 0)
            return std::nullopt;
        from = colon + 1;
    }
    return parts[0] * 3600.0 + parts[1] * 60.0 + parts[2] + parts[3] / rate;
}

// Keeps only the title that plays `source` in the text view, replaces the selection with
// its streams and lists it. False, with the listing and the selection untouched, when no
// title mentions `source`.
bool listTitle(Session& ctx, Budget& budget, const std::string& source,
               const std::string& playlistTitle) {
    auto& lines = ctx.ui.mXPL;
    size_t found = 0;
    while (found < lines.size() && lines[found].find(source) == std::string::npos) ++found;
    if (found == lines.size() || found == 0) return false;
    Resetcbs(ctx.ui);
    ctx.resetCatalogue();
    ctx.Slots.clear(); // the streams get their slots anew when a pass meets them
    ctx.fastCheckStop = -1;

    // The search starts at the mentioning line itself: when that is the title's own
    // opening tag, the title before it must not be taken instead.
    for (size_t i = found + 1; i-- > 0;) {
        if (contains(upperCase(lines[i]), "<TITLE ")) {
            lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
    }
    for (size_t i = 0; i < lines.size(); ++i) {
        if (contains(upperCase(lines[i]), "</TITLE")) {
            lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i + 1), lines.end());
            break;
        }
    }

    auto& tree = ctx.ui.tvXPL;
    tree.assign({{"Info", {}}, {"Video", {}}, {"Audio", {}}, {"Subtitle", {}}, {"Chapter", {}}});
    TreeNode* info = root(tree, "Info");
    TreeNode* video = root(tree, "Video");
    TreeNode* audio = root(tree, "Audio");
    TreeNode* subtitle = root(tree, "Subtitle");
    TreeNode* chapter = root(tree, "Chapter");
    if (!playlistTitle.empty()) addChild(budget, info, "Title: " + playlistTitle);

    // Chapter times count frames at the title's time base, else at the video's rate.
    ctx.titleFacts.chapters.clear();
    ctx.titleFacts.source = ctx.ui.eEVOfile;
    double rate = ctx.VideoFacts[0].number(key::FrameRate);
    if (rate <= 0) rate = 24000.0 / 1001;
    for (const std::string& line : lines) {
        const std::string up = upperCase(line);
        if (contains(up, "<TITLE ")) {
            addChild(budget, info, "Name: " + GetAttr(line, "displayName"));
            addChild(budget, info, "Duration: " + GetAttr(line, "titleDuration"));
            if (const double base = framesPerSecond(GetAttr(line, "timeBase")); base > 0)
                rate = base;
        }
        if (contains(up, "<VIDEO ")) listVideo(ctx, budget, line, video);
        if (contains(up, "<AUDIO "))
            listStream(ctx, budget, line, "Audio", ctx.AudioSlots, ctx.AudioAttrs, audio,
                       ctx.ui.cbAudio);
        if (contains(up, "<SUBTITLE "))
            listStream(ctx, budget, line, "Subtitle", ctx.SubSlots, ctx.SubAttrs, subtitle,
                       ctx.ui.cbSub);
        if (contains(up, "<CHAPTER ")) {
            const std::string begin = GetAttr(line, "titleTimeBegin");
            const std::string name = GetAttr(line, "displayName");
            addChild(budget, chapter, begin + ": " + name);
            if (const auto start = titleSeconds(begin, rate))
                ctx.titleFacts.chapters.push_back({*start, name});
        }
    }
    for (TreeNode& node : tree) node.expanded = true;
    return true;
}

} // namespace

bool GetAttr(const std::string& line, const std::string& name, std::string& result) {
    const size_t at = findNoCase(line, name);
    if (at == std::string::npos) return false;
    std::string rest = line.substr(at + name.size(), kTail);
    if (size_t eq = rest.find('='); eq != std::string::npos) rest = rest.substr(eq + 1, kTail);
    if (size_t q = rest.find('"'); q != std::string::npos) rest = rest.substr(q + 1, kTail);
    const size_t end = rest.find('"');
    result = end == std::string::npos ? std::string() : decodeReferences(rest.substr(0, end));
    return true;
}

std::string GetAttr(const std::string& line, const std::string& name) {
    std::string value;
    GetAttr(line, name, value);
    return value;
}

int32_t GetAttrInt(const std::string& line, const std::string& name) {
    int32_t v = 0;
    return parseInt32(GetAttr(line, name), v) ? v : 0;
}

namespace {

std::string scan(Session& ctx, Stream& in, Budget& budget) {
    if (ctx.ReadBuffer.size() < kBlockSize) ctx.ReadBuffer.resize(kBlockSize);
    const int64_t size = in.size();
    if (size > kMaxPlaylistSize) notAPlaylist(ctx);
    Scanner scanner(ctx, budget);
    while (in.position() < size) {
        const size_t n = in.read(ctx.ReadBuffer.data(), kBlockSize);
        if (n == 0) throw Error(in.failure("Stream read error"));
        ctx.slog(std::to_string(in.position()) + "/" + std::to_string(size) + " bytes", 1);
        scanner.feed(ctx.ReadBuffer.data(), n);
    }
    return scanner.title();
}

void readPlaylist(Session& ctx) {
    auto& ui = ctx.ui;
    ui.bReadXPL = false;
    ui.page = 4;
    {
        openSource(ctx, ui.eXPLfile);
        ctx.log("Open " + escapeMarkup(ctx.ui.XPLname));
        ctx.log("Filesize: " + std::to_string(ctx.SourceStream->size()) + " bytes");
        ui.mXPL.clear();
        ui.mXPLVisible = false; // shown once at the end, not redrawn per line
        Budget budget(ctx, ctx.SourceStream->size());
        const std::string title = scan(ctx, *ctx.SourceStream, budget);
        ctx.SourceStream.reset();
        // The title is found by the source file itself: a Read job that went on to the
        // second part has joined both names in BaseName, and no playlist line holds that.
        const std::string source = CutExt(ctx.ui.EVOname);
        if (!listTitle(ctx, budget, source, title) && !source.empty())
            ctx.log("No title in the playlist plays " + escapeMarkup(source));
    }
    ui.mXPLVisible = true;
    finishLog(ctx);
    ui.bReadXPL = playlistChosen(ui);
}

} // namespace

std::string ScanXPL(Session& ctx, Stream& in) {
    Budget budget(ctx, in.size());
    return scan(ctx, in, budget);
}

void bReadXPLClick(Session& ctx) {
    auto& ui = ctx.ui;
    // A running pass owns SourceStream and ReadBuffer: the reading waits for the next click.
    try {
        runJob(ctx, jobRequest(ui), [&] { readPlaylist(ctx); });
    } catch (...) {
        ui.mXPLVisible = true;
        ui.bReadXPL = playlistChosen(ui);
        throw;
    }
}

void ReadPlaylist(Session& ctx, const std::string& playlist, const std::string& source) {
    if (!source.empty()) {
        ctx.ui.eEVOfile = source;
        EVOadj(ctx.ui);
    }
    ctx.ui.eXPLfile = playlist;
    XPLadj(ctx.ui);
    bReadXPLClick(ctx);
}

} // namespace qf
