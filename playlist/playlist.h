#pragma once
// The playlist reader: VPLST000.XPL into a model of the title that plays the source, with
// the catalogue marked for its streams. Showing it is the window's part (model/playlist_view.h).
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/title_facts.h"
#include "playlist/attributes.h"

namespace qf {

class JobRunner;
class Stream;

// A stream a title lists, as the catalogue and the listing take it.
struct PlaylistStream {
    enum class Kind : uint8_t { Video, Audio, Subtitle };
    Kind kind = Kind::Video;
    // The number that gives its catalogue slot (track − 1): "track" of a video line,
    // "streamNumber" of an audio or subtitle line.
    int32_t track = 0;
    std::string language;    // "langcode" without its extension ("en" of "en:00")
    std::string description; // "description" (video lines have none)
    std::string codec;       // its media attribute item: the codec, for audio with ".6ch"
    std::string name;        // how the listing names it ("DD+.6ch.stream.00.English")
    size_t slot() const { return static_cast<size_t>(track - 1); }
};

struct PlaylistChapter {
    std::string start; // "titleTimeBegin" as written, "HH:MM:SS:FF"
    std::string name;  // "displayName"; empty when the chapter has none
    // Its start in seconds, frames counted at the title's time base; nullopt when the
    // start is not written so.
    std::optional<double> seconds;
};

struct PlaylistTitle {
    std::string id;       // "id"
    std::string name;     // "displayName"
    std::string duration; // "titleDuration" as written, "HH:MM:SS:FF"
    // False for the streams and chapters that stand before any title tag in the listed
    // lines: they have no name or duration of their own.
    bool tagged = true;
    std::vector<std::string> clips; // the EVO file of each primary clip ("FEATURE_1.EVO")
    std::vector<PlaylistStream> streams;
    std::vector<PlaylistChapter> chapters;
};

struct Playlist {
    std::string title; // the playlist's own "displayName"
    // The text view: one line per tag, indented by depth; the listed title's lines alone
    // when a title plays the source, else every tag of the file.
    std::vector<std::string> listing;
    // A title plays the source: its streams are the ones to list and select (takePlaylist).
    // False leaves the catalogue and the selection as they were.
    bool listed = false;
    // The title that plays the source, in listing order (more than one only when its
    // lines hold several title tags).
    std::vector<PlaylistTitle> titles;
    // The chapters of that title at the times it gives (those whose time reads).
    std::vector<ChapterMark> chapterMarks;
    // The attribute tables after the reading, indexed 1..8 (see JobRunner).
    std::array<std::string, 9> videoAttrs, audioAttrs, subAttrs;
};

// Where a reading looks.
struct PlaylistRequest {
    std::string path;       // the playlist file
    std::string name;       // its name as the log shows it
    std::string sourceName; // the source's file name: its title is the one listed
    std::string source;     // the source's path, which the chapters are kept for
};

// Reads the playlist into `into`: logs "Open", the size, the listed streams and the lines
// that end a job; fills the attribute tables (ctx.VideoAttrs/AudioAttrs/SubAttrs). The
// catalogue is left alone: the front end hands the result to takePlaylist. Throws the
// errors of ScanXPL and of opening the file; `into` then holds what was read up to it.
void readPlaylist(JobRunner& ctx, const PlaylistRequest& request, Playlist& into);

// What a playlist that lists a title for the source gives the jobs after it: the catalogue
// reset with the title's streams marked as listed, the slots met so far forgotten, and the
// title's chapters as the facts of `source`. Nothing for a playlist that lists none.
void takePlaylist(JobRunner& ctx, const Playlist& playlist, const std::string& source);

// The tag scan over `in` from its position to its end: one line per tag into `listing`,
// the attribute items into ctx.VideoAttrs/AudioAttrs/SubAttrs. Returns the playlist title.
// Throws Error("Stream read error: ...") when the stream delivers nothing before its end,
// and Error("File \"<path>\" is not a playlist") for a stream larger than 16 MiB, one
// holding a NUL byte or a tag of more than 1 MiB, or one whose listing would cost more
// than four times its size.
std::string ScanXPL(JobRunner& ctx, Stream& in, const std::string& path,
                    std::vector<std::string>& listing);

} // namespace qf
