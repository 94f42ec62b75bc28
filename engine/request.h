#pragma once
// What a job is asked to do, fixed when it starts: the source, the streams chosen and the
// options. The window and the command line each make one from their own state; the job
// never looks back at theirs.
#include <array>
#include <cstdint>
#include <string>

#include "engine/slotmap.h"

namespace qf {

// Options a pass over the source reads.
struct PassOptions {
    bool fastCheck = true;   // a read pass stops past the first 300,000,000 bytes
    bool details = true;     // describe each stream's first payload
    bool countFrames = true; // count the frames of the video streams
};

// A selectable slot as the job takes it: ticked or not, and its caption (output names).
struct ChosenStream {
    bool checked = false;
    std::string caption;
};

struct Selection {
    std::array<std::array<ChosenStream, 16>, 3> family; // video, audio, subpicture

    ChosenStream& at(Family f, size_t k) { return family[familyIndex(f)][k]; }
    const ChosenStream& at(Family f, size_t k) const { return family[familyIndex(f)][k]; }
    bool any() const {
        for (const auto& streams : family)
            for (const ChosenStream& s : streams)
                if (s.checked) return true;
        return false;
    }
};

// How the outputs of a Demux or Rebuild are named and which files go with them: the
// Options page's and the command line's choices.
struct OutputChoices {
    bool codecExtensions = false; // name stream files by codec (.vc1, .ac3 ...)
    bool keepExisting = false;    // an output that exists already is an error (command line)
    // Subpictures as ".sup" records, as VobSub (.idx + .sub) or as presentation graphics
    // (PGS .sup). Auto: VobSub for DVD-Video; for HD DVD while the options file is written,
    // VobSub for 2-bit units and PGS for 8-bit ones; else the records.
    enum class SubFormat : uint8_t { Auto, Sup, VobSub, Pgs } subFormat = SubFormat::Auto;
    bool forcedOnly = false;     // VobSub: only the units shown even with subtitles off
    bool chapters = true;        // BASE.chapters.xml and .txt when the title has chapters
    bool delayInName = false;    // "BASE.CAPTION DELAY -83ms.ac3"
    bool mkvmergeOptions = true; // BASE.mkvmerge.json
    bool captions = true;        // BASE.CC1.srt … of the video's line-21 captions
    // After the demux, mkvmerge muxes what the options file names into BASE.mkv (so the
    // options file is written); the files it muxed are removed, unless kept.
    enum class Mkv : uint8_t { Off, Make, MakeKeepingStreams } mkv = Mkv::Off;
    // LPCM as FLAC, WAV or the payload as it is; Auto: FLAC while the options file is
    // written (mkvmerge reads no raw LPCM), else raw.
    enum class Pcm : uint8_t { Auto, Flac, Wav, Raw } pcm = Pcm::Auto;
    // A stream the fast check did not reach is written too, not only noted (the command
    // line without a selection wants every stream).
    bool lateStreams = false;
};

// JobRequest::angle asking for every angle of the title, a job for each (its outputs named
// as that angle's).
inline constexpr int kAllAngles = -1;
// JobRequest::title asking for every title of the disc, a job for each.
inline constexpr int kAllTitles = -1;

struct JobRequest {
    std::string source;       // a file, a DVD-Video disc folder, image or IFO
    std::string playlist;     // the playlist the user chose (never written over)
    int title = 0, angle = 1; // of a disc: title 0 is its main title; angle 1-9 or kAllAngles
    bool allParts = true;     // go on with the title's further numbered parts
    std::string menu;         // of a disc: a menu chain read instead ("vmg:N", "vtsT:N")
    PassOptions pass;
    std::string workdir; // output folder; empty: the source's
    std::array<std::string, 3> extensions = {"mpv", "mpa", "sup"}; // by family
    Selection selection;                                           // what Demux and Rebuild write
    OutputChoices output;
};

} // namespace qf
