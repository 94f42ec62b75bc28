#pragma once
// One options file for mkvmerge (`mkvmerge @FILE`): every stream file of a Demux job with
// its language, name and delay, and the chapters, so the folder muxes in one call.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qf {

enum class TrackKind : uint8_t { Video, Audio, Subtitles };

struct MkvmergeTrack {
    std::string file;              // relative to the options file's folder
    std::string language;          // ISO 639-1 or 639-2; empty when unknown
    std::string name;              // the track's name
    std::optional<int64_t> syncMs; // a delay to apply, in ms
    // A timestamp file for its frames (relative path), which replaces the delay: the title's
    // clock jumps, and the track's offset to the video differs from segment to segment.
    std::string timestamps;
    TrackKind kind = TrackKind::Video;
    bool forced = false; // only the units a player shows with subtitles off
};

// The options as a JSON array of arguments. `chapters` is empty when there are none.
// Players pick the tracks flagged default: the first audio track is, no other audio track
// and no subtitle track is (a disc keeps its subtitles off until asked). A forced-only
// track carries the forced flag.
// `chapterSyncMs` moves the chapters as the tracks were moved.
std::string mkvmergeOptions(const std::string& output, const std::vector<MkvmergeTrack>& tracks,
                            const std::string& chapters, int64_t chapterSyncMs = 0);

// A DVD player shows with subtitles off the forced units of the stream in the audio's
// language: of the forced-only subtitle tracks, only those in the first audio track's
// language keep the forced flag. Tracks are left as they are where that language is unknown
// or no forced track has it.
void keepForcedOfAudioLanguage(std::vector<MkvmergeTrack>& tracks);

// Can mkvmerge read a raw stream file of this codec extension ("ac3", "m2v" ...)?
bool mkvmergeReads(const std::string& extension);

} // namespace qf
