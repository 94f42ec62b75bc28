#include "playlist/playlist.h"

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "analysers/report.h"
#include "engine/markup.h"
#include "engine/paths.h"
#include "engine/stream.h"
#include "jobs/runner.h"
#include "playlist/attributes.h"

namespace qf {

namespace {

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

[[noreturn]] void notAPlaylist(const std::string& path) {
    throw Error("File \"" + path + "\" is not a playlist");
}

// What one reading may still produce; spending beyond it ends the reading.
class Budget {
public:
    Budget(const std::string& path, int64_t inputSize)
        : path_(path), left_(std::min(4 * inputSize + kFixedCost, kMaxCost)) {}
    void spend(size_t characters) {
        left_ -= static_cast<int64_t>(characters) + kLineCost;
        if (left_ < 0) notAPlaylist(path_);
    }
    const std::string& path() const { return path_; }

private:
    const std::string& path_;
    int64_t left_;
};

std::string slotNumber(int32_t n) {
    std::string s = std::to_string(n);
    if (n < 10) s.insert(s.begin(), '0');
    return s;
}

void logLine(JobRunner& ctx, Budget& budget, const std::string& line) {
    budget.spend(line.size());
    ctx.log(line);
}

void logOutOfRange(JobRunner& ctx, Budget& budget, const char* element, const char* attr,
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

void attributeItem(JobRunner& ctx, Budget& budget, const std::string& line, const char* element,
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
    Scanner(JobRunner& ctx, Budget& budget, std::vector<std::string>& listing)
        : ctx_(ctx), budget_(budget), listing_(listing) {}

    void feed(const uint8_t* p, size_t n) {
        for (size_t i = 0; i < n; ++i) byte(static_cast<char>(p[i]));
    }
    const std::string& title() const { return title_; }

private:
    void byte(char c) {
        if (c == '\0') notAPlaylist(budget_.path()); // a text file never holds one
        if (c == '<') {
            inTag_ = true;
            ++depth_;
        }
        if (inTag_) {
            if (line_.size() >= kMaxTagLine) notAPlaylist(budget_.path());
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
        listing_.push_back(line_);
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

    JobRunner& ctx_;
    Budget& budget_;
    std::vector<std::string>& listing_;
    std::string line_;
    std::string title_;
    int depth_ = 0;
    bool inTag_ = false;
    char last_ = '\0', beforeLast_ = '\0';
};

// What the listing does with the stream lines of the title it lists: the catalogue slot
// each marks and the streams it has listed.
// The track and stream numbers a playlist may give: as many as the catalogue has slots.
constexpr size_t kPlaylistVideoTracks = std::tuple_size_v<decltype(Catalogue::VideoSlots)>;
constexpr size_t kPlaylistAudioStreams = std::tuple_size_v<decltype(Catalogue::AudioSlots)>;
constexpr size_t kPlaylistSubStreams = std::tuple_size_v<decltype(Catalogue::SubSlots)>;

struct Lister {
    JobRunner& ctx;
    Budget& budget;
    PlaylistTitle* title = nullptr; // where the lines go; made on the first that needs one
    Playlist& out;
    // The track and stream numbers listed so far: only the first line of one counts.
    std::array<bool, kPlaylistVideoTracks> videoSeen{};
    std::array<bool, kPlaylistAudioStreams> audioSeen{};
    std::array<bool, kPlaylistSubStreams> subSeen{};

    PlaylistTitle& current() {
        if (!title) {
            out.titles.emplace_back();
            out.titles.back().tagged = false;
            title = &out.titles.back();
        }
        return *title;
    }

    void add(PlaylistStream stream) {
        budget.spend(stream.name.size());
        logLine(ctx, budget, escapeMarkup(stream.name) + " found!");
        current().streams.push_back(std::move(stream));
    }
};

// "langcode" without its extension: "en" of "en:00".
std::string language(const std::string& line) {
    std::string code = GetAttr(line, "langcode");
    if (const size_t colon = code.find(':'); colon != std::string::npos) code.resize(colon);
    return code;
}

template <size_t N>
void listStream(Lister& lister, const std::string& line, PlaylistStream::Kind kind,
                const char* element, std::array<bool, N>& seen,
                const std::array<std::string, 9>& attrs) {
    JobRunner& ctx = lister.ctx;
    const int32_t s = GetAttrInt(line, "streamNumber");
    if (s < 1 || static_cast<size_t>(s) > N) {
        logOutOfRange(ctx, lister.budget, element, "streamNumber", s, N);
        return;
    }
    const auto slot = static_cast<size_t>(s - 1);
    if (seen[slot]) return; // only the first line of a stream number counts
    const int32_t m = GetAttrInt(line, "mediaAttr");
    if (m < 1 || m > kAttrCount) {
        logOutOfRange(ctx, lister.budget, element, "mediaAttr", m, kAttrCount);
        return;
    }
    seen[slot] = true;
    PlaylistStream stream;
    stream.kind = kind;
    stream.track = s;
    stream.language = language(line);
    stream.description = GetAttr(line, "description");
    stream.codec = attrs[static_cast<size_t>(m)];
    stream.name = stream.codec + ".stream." + slotNumber(s - 1) + "." + stream.description;
    lister.add(std::move(stream));
}

void listVideo(Lister& lister, const std::string& line) {
    JobRunner& ctx = lister.ctx;
    const int32_t t = GetAttrInt(line, "track");
    if (t < 1 || static_cast<size_t>(t) > lister.videoSeen.size()) {
        logOutOfRange(ctx, lister.budget, "Video", "track", t, lister.videoSeen.size());
        return;
    }
    const auto slot = static_cast<size_t>(t - 1);
    if (lister.videoSeen[slot]) return;
    const int32_t m = GetAttrInt(line, "mediaAttr");
    if (m < 1 || m > kAttrCount) {
        logOutOfRange(ctx, lister.budget, "Video", "mediaAttr", m, kAttrCount);
        return;
    }
    lister.videoSeen[slot] = true;
    PlaylistStream stream;
    stream.kind = PlaylistStream::Kind::Video;
    stream.track = t;
    stream.language = language(line);
    stream.codec = ctx.VideoAttrs[static_cast<size_t>(m)];
    stream.name = stream.codec + ".stream." + std::to_string(t - 1);
    lister.add(std::move(stream));
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

// The EVO file a clip plays: its "src" names the clip's time map, which has the same name.
std::string clipObject(const std::string& line) {
    const std::string map = namePart(GetAttr(line, "src"));
    return map.empty() ? map : CutExt(map) + ".EVO";
}

// Whether the line is a clip's tag (PrimaryAudioVideoClip, SecondaryAudioVideoClip ...)
// whose time map is `source`'s: the map's name without its extension, compared whole and
// in any letter case, as copies of a disc do not always keep its capitals.
bool playsSource(const std::string& line, const std::string& source) {
    const size_t open = line.find('<'), end = line.find(' ', open);
    if (source.empty() || end == std::string::npos || !isDefiningTag(line)) return false;
    const std::string tag = upperCase(line.substr(open, end - open));
    std::string src;
    return tag.size() > 4 && tag.compare(tag.size() - 4, 4, "CLIP") == 0 &&
           GetAttr(line, "src", src) && upperCase(CutExt(namePart(src))) == upperCase(source);
}

// Keeps only the title that plays `source` in the listing and models it. False, with the
// listing untouched, when no title has a clip of `source`.
bool listTitle(JobRunner& ctx, Budget& budget, const std::string& source, Playlist& out) {
    auto& lines = out.listing;
    size_t found = 0;
    while (found < lines.size() && !playsSource(lines[found], source)) ++found;
    if (found == lines.size() || found == 0) return false;
    out.listed = true;

    for (size_t i = found; i-- > 0;) {
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

    // What the listing shows costs as much as its lines.
    if (!out.title.empty()) budget.spend(out.title.size() + 7);

    // Chapter times count frames at the title's time base, else at the video's rate.
    double rate = ctx.cat.VideoFacts[0].frameRate().value_or(0);
    if (rate <= 0) rate = 24000.0 / 1001;
    Lister lister{ctx, budget, nullptr, out};
    for (const std::string& line : lines) {
        const std::string up = upperCase(line);
        if (contains(up, "<TITLE ")) {
            out.titles.emplace_back();
            lister.title = &out.titles.back();
            lister.title->id = GetAttr(line, " id");
            lister.title->name = GetAttr(line, "displayName");
            lister.title->duration = GetAttr(line, "titleDuration");
            budget.spend(lister.title->name.size() + 6);
            budget.spend(lister.title->duration.size() + 10);
            if (const double base = framesPerSecond(GetAttr(line, "timeBase")); base > 0)
                rate = base;
        }
        if (contains(up, "<PRIMARYAUDIOVIDEOCLIP"))
            if (std::string clip = clipObject(line); !clip.empty())
                lister.current().clips.push_back(std::move(clip));
        if (contains(up, "<VIDEO ")) listVideo(lister, line);
        if (contains(up, "<AUDIO "))
            listStream(lister, line, PlaylistStream::Kind::Audio, "Audio", lister.audioSeen,
                       ctx.AudioAttrs);
        if (contains(up, "<SUBTITLE "))
            listStream(lister, line, PlaylistStream::Kind::Subtitle, "Subtitle", lister.subSeen,
                       ctx.SubAttrs);
        if (contains(up, "<CHAPTER ")) {
            PlaylistChapter chapter;
            chapter.start = GetAttr(line, "titleTimeBegin");
            chapter.name = GetAttr(line, "displayName");
            chapter.seconds = titleSeconds(chapter.start, rate);
            budget.spend(chapter.start.size() + 2 + chapter.name.size());
            if (chapter.seconds) out.chapterMarks.push_back({*chapter.seconds, chapter.name});
            lister.current().chapters.push_back(std::move(chapter));
        }
    }
    return true;
}

std::string scan(JobRunner& ctx, Stream& in, Budget& budget, std::vector<std::string>& listing) {
    if (ctx.io.ReadBuffer.size() < kBlockSize) ctx.io.ReadBuffer.resize(kBlockSize);
    const int64_t size = in.size();
    if (size > kMaxPlaylistSize) notAPlaylist(budget.path());
    Scanner scanner(ctx, budget, listing);
    while (in.position() < size) {
        const size_t n = in.read(ctx.io.ReadBuffer.data(), kBlockSize);
        if (n == 0) throw Error(in.failure("Stream read error"));
        ctx.slog(std::to_string(in.position()) + "/" + std::to_string(size) + " bytes", 1);
        scanner.feed(ctx.io.ReadBuffer.data(), n);
    }
    return scanner.title();
}

} // namespace

std::string ScanXPL(JobRunner& ctx, Stream& in, const std::string& path,
                    std::vector<std::string>& listing) {
    Budget budget(path, in.size());
    return scan(ctx, in, budget, listing);
}

void readPlaylist(JobRunner& ctx, const PlaylistRequest& request, Playlist& into) {
    into = Playlist{};
    openSource(ctx, request.path);
    ctx.log("Open " + escapeMarkup(request.name));
    ctx.log("Filesize: " + std::to_string(ctx.io.SourceStream->size()) + " bytes");
    Budget budget(request.path, ctx.io.SourceStream->size());
    into.title = scan(ctx, *ctx.io.SourceStream, budget, into.listing);
    ctx.io.SourceStream.reset();
    into.videoAttrs = ctx.VideoAttrs;
    into.audioAttrs = ctx.AudioAttrs;
    into.subAttrs = ctx.SubAttrs;
    // The title is found by the source file itself: a Read job that went on to the
    // second part has joined both names in BaseName, and no playlist line holds that.
    const std::string source = CutExt(request.sourceName);
    if (!listTitle(ctx, budget, source, into) && !source.empty())
        ctx.log("No title in the playlist plays " + escapeMarkup(source));
    finishLog(ctx);
}

void takePlaylist(JobRunner& ctx, const Playlist& playlist, const std::string& source) {
    if (!playlist.listed) return;
    // The streams get their slots anew when a pass meets them.
    ctx.cat.clearSlots();
    ctx.cat.Slots.clear();
    ctx.cat.fastCheckStop = -1;
    ctx.cat.playlistGave = true;
    for (const PlaylistTitle& title : playlist.titles)
        for (const PlaylistStream& stream : title.streams) {
            const Family family = stream.kind == PlaylistStream::Kind::Video   ? Family::Video
                                  : stream.kind == PlaylistStream::Kind::Audio ? Family::Audio
                                                                               : Family::Subpicture;
            ctx.cat.slotTable(family)[stream.slot()] = SlotEntry::listedByPlaylist();
        }
    ctx.cat.titleFacts.chapters = playlist.chapterMarks;
    ctx.cat.titleFacts.source = source;
}

} // namespace qf
