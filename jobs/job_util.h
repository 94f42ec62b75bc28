#pragma once
// Pieces the Read, Demux and Rebuild jobs share: the job guard, base name and output
// prefix, opening the source, and putting the buttons back after an error.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qf {

class Context;
class Stream;

// Keeps a second job from starting while one runs (a button pressed while a pass
// hands control to the window). `active` is false when another job already runs.
class JobGuard {
public:
    explicit JobGuard(Context& ctx);
    ~JobGuard();
    JobGuard(const JobGuard&) = delete;
    JobGuard& operator=(const JobGuard&) = delete;
    bool active() const { return active_; }
    // Lets the explicit follow-up job of the Read job start.
    void release();

private:
    Context& ctx_;
    bool active_;
};

// The second part of the title when "Continue with second  EVO" is ticked, else empty;
// sets BaseName to the source name without extension, plus "_" and the second part's.
std::string prepareBaseName(Context& ctx);

// Output folder + BaseName. An empty output folder means the source file's folder.
std::string outputPrefix(const Context& ctx);

// The stream catalogue as one part of a title left it.
struct CatalogueCopy {
    std::array<int32_t, 16> video, audio;
    std::array<int32_t, 32> sub;
};
CatalogueCopy copyCatalogue(const Context& ctx);
// After the second part's pass: a slot the second part left empty keeps the first part's
// stream, so a stream found only in the first part stays selectable, demuxed and rebuilt.
void keepFirstPart(Context& ctx, const CatalogueCopy& first);

// The name of the file the Demux job writes the stream of a ticked box into:
// prefix + "." + caption + "." + extension (family 0 video, 1 audio, 2 subpicture).
std::string outputName(const Context& ctx, const std::string& prefix, int family, size_t slot);
// The extension of a stream's file named by its codec ("vc1", "ac3", "sup" ...): from the
// catalogue entry, or for a stream listed by a playlist from its caption; empty when unknown.
std::string codecExtension(const Context& ctx, int family, size_t slot);
// The files a Demux job (or a Rebuild job) would create for the current selection, in the
// order it creates them; sets BaseName as the job would.
std::vector<std::string> plannedOutputs(Context& ctx, bool rebuild);
// Creates (or empties) an output of the running job and adds it to CreatedFiles.
std::unique_ptr<Stream> createOutput(Context& ctx, const std::string& name);

// Opens path as the new SourceStream (closing the previous one first).
void openSource(Context& ctx, const std::string& path);

// "File size: N Mbytes." for the open source.
void logFileSize(Context& ctx);

// How a job's passes ended, for the lines around "Done.".
struct JobEnd {
    bool cancelled = false;      // the user pressed Cancel
    int64_t fastCheckBytes = -1; // bytes read when "Fast EVO checking" stopped a read pass
};

// Logs "Cancelled." when the user stopped the job, "Done.", the fast-check note when a
// read pass stopped early, and an empty line; status "Ready" and an empty progress panel.
// The note stands before the empty line so that the empty line still ends the job's lines.
void finishLog(Context& ctx, const JobEnd& end = {});

// The frame count lines of both video slots and, when any, an empty line. Durations are at
// the frame rate the Read job found in the stream; when it found none, the Read job shows
// them at 24000/1001 frames per second (in bold), the Demux job at 23.976.
enum class FrameLines { Read, Demux };
void logFrameCounts(Context& ctx, FrameLines form);

// After a failed Demux or Rebuild job: the buttons as the selection asks, so the user
// can retry. bRebuildBefore is its state when the job started (kept for non-EVO sources).
void restoreJobButtons(Context& ctx, bool bRebuildBefore);

} // namespace qf
