#include "playlist/playlist.h"

#include <array>
#include <memory>

#include "engine/context.h"
#include "engine/markup.h"
#include "engine/stream.h"
#include "jobs/window.h"

namespace qf {

namespace {

constexpr size_t kTail = 255; // at most this many characters are looked at after each find
constexpr int32_t kAttrCount = 8;

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

std::string slotNumber(int32_t n) {
    return (n < 10 ? "0" : "") + std::to_string(n);
}

void logOutOfRange(Context& ctx, const char* element, const char* attr, int32_t value,
                   size_t limit) {
    ctx.log(std::string(element) + " skipped: " + attr + " " + std::to_string(value) +
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

void attributeItem(Context& ctx, const std::string& line, const char* element,
                   std::array<std::string, 9>& table, bool withChannels) {
    const std::string text = GetAttr(line, "index");
    int32_t index = 0;
    if (!parseInt32(text, index)) throw Error("'" + text + "' is not a valid integer value");
    if (index < 1 || index > kAttrCount) {
        logOutOfRange(ctx, element, "index", index, kAttrCount);
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
    explicit Scanner(Context& ctx) : ctx_(ctx) {}

    void feed(const uint8_t* p, size_t n) {
        for (size_t i = 0; i < n; ++i) byte(static_cast<char>(p[i]));
    }
    const std::string& title() const { return title_; }

private:
    void byte(char c) {
        if (c == '<') {
            inTag_ = true;
            ++depth_;
        }
        if (inTag_) {
            if (static_cast<unsigned char>(c) >= 32)
                line_ += c;
            else if (line_.empty() || line_.back() != ' ')
                line_ += ' ';
        }
        if (c == '/' && last_ == '<') { // a closing tag goes back to its opening tag's level
            depth_ -= 2;
            line_.erase(0, 2);
        }
        if (c == '>') endOfTag();
        beforeLast_ = last_;
        last_ = c;
    }

    void endOfTag() {
        inTag_ = false;
        ctx_.ui.mXPL.push_back(line_);
        if (contains(line_, "Playlist")) GetAttr(line_, "displayName", title_);
        if (isDefiningTag(line_)) {
            if (contains(line_, "VideoAttributeItem"))
                attributeItem(ctx_, line_, "VideoAttributeItem", ctx_.VideoAttrs, false);
            if (contains(line_, "AudioAttributeItem"))
                attributeItem(ctx_, line_, "AudioAttributeItem", ctx_.AudioAttrs, true);
            if (contains(line_, "SubpictureAttributeItem"))
                attributeItem(ctx_, line_, "SubpictureAttributeItem", ctx_.SubAttrs, false);
        }
        line_.clear();
        // Empty elements and processing instructions close themselves, so do comments.
        if (last_ == '/' || last_ == '?') --depth_;
        if (last_ == '-' && beforeLast_ == '-') --depth_;
        if (depth_ > 0) line_.assign(static_cast<size_t>(depth_) * 2, ' ');
    }

    Context& ctx_;
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

void addChild(TreeNode* parent, std::string text) {
    if (parent) parent->children.push_back({std::move(text), {}});
}

template <size_t N>
void listStream(Context& ctx, const std::string& line, const char* element,
                std::array<int32_t, N>& slots, const std::array<std::string, 9>& attrs,
                TreeNode* node, std::array<CheckBox, 16>& boxes) {
    const int32_t s = GetAttrInt(line, "streamNumber");
    if (s < 1 || static_cast<size_t>(s) > N) {
        logOutOfRange(ctx, element, "streamNumber", s, N);
        return;
    }
    const auto slot = static_cast<size_t>(s - 1);
    if (slots[slot] != -1) return; // only the first line of a stream number counts
    const int32_t m = GetAttrInt(line, "mediaAttr");
    if (m < 1 || m > kAttrCount) {
        logOutOfRange(ctx, element, "mediaAttr", m, kAttrCount);
        return;
    }
    slots[slot] = 1;
    const std::string name = attrs[static_cast<size_t>(m)] + ".stream." + slotNumber(s - 1) + "." +
                             GetAttr(line, "description");
    addChild(node, name);
    ctx.log(escapeMarkup(name) + " found!");
    if (slot < boxes.size()) {
        auto& box = boxes[slot];
        box.enabled = true;
        box.checked = true;
        box.caption = name;
        box.hint = name;
        cbVideoClick(ctx);
    }
}

void listVideo(Context& ctx, const std::string& line, TreeNode* node) {
    const int32_t t = GetAttrInt(line, "track");
    if (t < 1 || static_cast<size_t>(t) > ctx.VideoSlots.size()) {
        logOutOfRange(ctx, "Video", "track", t, ctx.VideoSlots.size());
        return;
    }
    const auto slot = static_cast<size_t>(t - 1);
    if (ctx.VideoSlots[slot] != -1) return;
    const int32_t m = GetAttrInt(line, "mediaAttr");
    if (m < 1 || m > kAttrCount) {
        logOutOfRange(ctx, "Video", "mediaAttr", m, kAttrCount);
        return;
    }
    ctx.VideoSlots[slot] = 1;
    const std::string name =
        ctx.VideoAttrs[static_cast<size_t>(m)] + ".stream." + std::to_string(t - 1);
    addChild(node, name);
    ctx.log(escapeMarkup(name) + " found!");
    if (t == 1) {
        auto& box = ctx.ui.cbVideo[0];
        box.enabled = true;
        box.checked = true;
        box.caption = name;
        cbVideoClick(ctx);
    }
}

// Keeps only the title that plays `source` in the text view, replaces the selection with
// its streams and lists it. False, with the listing and the selection untouched, when no
// title mentions `source`.
bool listTitle(Context& ctx, const std::string& source, const std::string& playlistTitle) {
    auto& lines = ctx.ui.mXPL;
    size_t found = 0;
    while (found < lines.size() && lines[found].find(source) == std::string::npos) ++found;
    if (found == lines.size() || found == 0) return false;
    Resetcbs(ctx);
    ctx.resetCatalogue();
    ctx.Slots.clear(); // the streams get their slots anew when a pass meets them

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
    if (!playlistTitle.empty()) addChild(info, "Title: " + playlistTitle);

    for (const std::string& line : lines) {
        const std::string up = upperCase(line);
        if (contains(up, "<TITLE ")) {
            addChild(info, "Name: " + GetAttr(line, "displayName"));
            addChild(info, "Duration: " + GetAttr(line, "titleDuration"));
        }
        if (contains(up, "<VIDEO ")) listVideo(ctx, line, video);
        if (contains(up, "<AUDIO "))
            listStream(ctx, line, "Audio", ctx.AudioSlots, ctx.AudioAttrs, audio, ctx.ui.cbAudio);
        if (contains(up, "<SUBTITLE "))
            listStream(ctx, line, "Subtitle", ctx.SubSlots, ctx.SubAttrs, subtitle, ctx.ui.cbSub);
        if (contains(up, "<CHAPTER "))
            addChild(chapter,
                     GetAttr(line, "titleTimeBegin") + ": " + GetAttr(line, "displayName"));
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
    result = end == std::string::npos ? std::string() : rest.substr(0, end);
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

std::string ScanXPL(Context& ctx, Stream& in) {
    if (ctx.ReadBuffer.size() < kBlockSize) ctx.ReadBuffer.resize(kBlockSize);
    const int64_t size = in.size();
    Scanner scanner(ctx);
    while (in.position() < size) {
        const size_t n = in.read(ctx.ReadBuffer.data(), kBlockSize);
        if (n == 0) throw Error(in.failure("Stream read error"));
        ctx.slog(std::to_string(in.position()) + "/" + std::to_string(size) + " bytes", 1);
        scanner.feed(ctx.ReadBuffer.data(), n);
    }
    return scanner.title();
}

void bReadXPLClick(Context& ctx) {
    if (ctx.busy) return; // the running pass owns SourceStream and ReadBuffer
    auto& ui = ctx.ui;
    ui.bReadXPL = false;
    ui.page = 4;
    try {
        ctx.SourceStream = std::make_unique<FileStream>(ui.eXPLfile, FileStream::Mode::Read);
        ctx.log("Open " + escapeMarkup(ctx.XPLname));
        ctx.log("Filesize: " + std::to_string(ctx.SourceStream->size()) + " bytes");
        ui.mXPL.clear();
        ui.mXPLVisible = false; // shown once at the end, not redrawn per line
        const std::string title = ScanXPL(ctx, *ctx.SourceStream);
        ctx.SourceStream.reset();
        // The title is found by the source file itself: a Read job that went on to the
        // second part has joined both names in BaseName, and no playlist line holds that.
        const std::string source = CutExt(ctx.EVOname);
        if (!listTitle(ctx, source, title) && !source.empty())
            ctx.log("No title in the playlist plays " + escapeMarkup(source));
    } catch (...) {
        ctx.SourceStream.reset();
        ui.mXPLVisible = true;
        ui.bReadXPL = playlistChosen(ctx);
        throw;
    }
    ui.mXPLVisible = true;
    ctx.log("Done.");
    ctx.log("");
    ctx.slog("Ready", 0);
    ctx.slog("", 1);
    ui.bReadXPL = playlistChosen(ctx);
}

void ReadPlaylist(Context& ctx, const std::string& playlist, const std::string& source) {
    if (!source.empty()) {
        ctx.ui.eEVOfile = source;
        EVOadj(ctx);
    }
    ctx.ui.eXPLfile = playlist;
    XPLadj(ctx);
    bReadXPLClick(ctx);
}

} // namespace qf
