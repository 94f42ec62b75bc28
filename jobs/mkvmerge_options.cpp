#include "jobs/mkvmerge_options.h"

#include <algorithm>

#include <nlohmann/json.hpp>
#include <string_view>

namespace qf {

namespace {

// A file argument must not be taken for an option ("-", "@") or for an operator: "+"
// appends the file to the one before, "=" keeps mkvmerge from looking for further parts.
std::string fileArgument(const std::string& file) {
    return !file.empty() && std::string_view("-@+=").find(file[0]) != std::string_view::npos
               ? "./" + file
               : file;
}

} // namespace

std::string mkvmergeOptions(const std::string& output, const std::vector<MkvmergeTrack>& tracks,
                            const std::string& chapters, int64_t chapterSyncMs) {
    nlohmann::json args = nlohmann::json::array({"--output", fileArgument(output)});
    bool audioSeen = false;
    for (const MkvmergeTrack& t : tracks) {
        if (!t.language.empty()) args.insert(args.end(), {"--language", "0:" + t.language});
        if (t.kind != TrackKind::Video) {
            const bool isDefault = t.kind == TrackKind::Audio && !audioSeen;
            args.insert(args.end(), {"--default-track-flag", isDefault ? "0:yes" : "0:no"});
            if (t.kind == TrackKind::Audio) audioSeen = true;
        }
        if (t.forced) args.insert(args.end(), {"--forced-display-flag", "0:yes"});
        if (!t.name.empty()) args.insert(args.end(), {"--track-name", "0:" + t.name});
        if (!t.timestamps.empty())
            args.insert(args.end(), {"--timestamps", "0:" + fileArgument(t.timestamps)});
        else if (t.syncMs && *t.syncMs != 0)
            args.insert(args.end(), {"--sync", "0:" + std::to_string(*t.syncMs)});
        args.push_back(fileArgument(t.file));
    }
    if (!chapters.empty()) {
        if (chapterSyncMs != 0)
            args.insert(args.end(), {"--chapter-sync", std::to_string(chapterSyncMs)});
        args.insert(args.end(), {"--chapters", fileArgument(chapters)});
    }
    // A lace of frames carries one timestamp: a jump inside it would be smoothed away.
    if (std::any_of(tracks.begin(), tracks.end(),
                    [](const MkvmergeTrack& t) { return !t.timestamps.empty(); }))
        args.push_back("--disable-lacing");
    // Names that are no valid UTF-8 are replaced rather than a failure.
    return args.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

void keepForcedOfAudioLanguage(std::vector<MkvmergeTrack>& tracks) {
    const auto audio = std::find_if(tracks.begin(), tracks.end(), [](const MkvmergeTrack& t) {
        return t.kind == TrackKind::Audio;
    });
    if (audio == tracks.end() || audio->language.empty()) return;
    const std::string language = audio->language;
    auto matches = [&](const MkvmergeTrack& t) {
        return t.kind == TrackKind::Subtitles && t.forced && t.language == language;
    };
    if (std::none_of(tracks.begin(), tracks.end(), matches)) return;
    for (MkvmergeTrack& t : tracks)
        if (t.kind == TrackKind::Subtitles && !matches(t)) t.forced = false;
}

bool mkvmergeReads(const std::string& extension) {
    static const char* const kRead[] = {"m2v", "vc1", "264", "ac3", "eac3",
                                        "dts", "thd", "mpa", "idx"};
    for (const char* e : kRead)
        if (extension == e) return true;
    return false;
}

} // namespace qf
