#pragma once
// The files the Demux and Rebuild jobs write: their names and their creation.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/slotmap.h"

namespace qf {

class JobRunner;
class Stream;
struct FileId;
struct JobRequest;

// A caption or extension as a file-name part: bytes that are no UTF-8, control
// characters and / \\ : * ? " < > | become "_"; cut to 200 bytes between characters.
std::string fileNamePart(std::string_view text);
// Output folder + the job's base name. An empty output folder means the source file's folder.
std::string outputPrefix(const JobRunner& ctx);
// The Rebuild job's output: the prefix + ".rebuilt.EVO", or ".rebuilt.VOB" for a
// DVD-Video disc's title.
std::string rebuiltName(const JobRunner& ctx);
// How the Demux job writes the stream of a ticked box (family 0 video, 1 audio, 2
// subpicture): prefix + "." + caption [+ " DELAY Nms"] + "." + extension.
struct StreamOutput {
    std::string path;              // the stream's file; for VobSub the .sub
    std::string index;             // for VobSub the .idx, else empty
    bool forMkvmerge = false;      // mkvmerge reads it: the options file names it
    bool namedForMkvmerge = false; // named by its codec only because the options file names it
};
StreamOutput streamOutput(const JobRunner& ctx, const std::string& prefix, Family family,
                          size_t slot);
// The stream's file: streamOutput(...).path.
std::string outputName(const JobRunner& ctx, const std::string& prefix, Family family, size_t slot);
// Are subpicture streams written as VobSub (by choice, or by default for DVD-Video)?
bool vobSubOutput(const JobRunner& ctx);
// A stream's delay against the first video stream, in whole ms; none when the last Read
// job did not see both.
std::optional<int64_t> streamDelayMs(const JobRunner& ctx, Family family, size_t slot);
// The first PTS of the first video stream the last Read job saw, if it saw one.
std::optional<uint64_t> videoStartPts(const JobRunner& ctx);
// The extension of a stream's file named by its codec ("vc1", "ac3", "sup" ...): from the
// catalogue entry, or for a stream listed by a playlist from its caption; empty when unknown.
std::string codecExtension(const JobRunner& ctx, Family family, size_t slot);
// The files a Demux job (or a Rebuild job) of the request would create, in the order it
// creates them (chapter and mkvmerge files included), named as the job would name them.
// Changes nothing and tells no one: the running job's request and names stay as they are.
std::vector<std::string> plannedOutputs(const JobRunner& ctx, const JobRequest& request,
                                        bool rebuild);
// The files the running job reads: the source, the title's other parts and the playlist.
std::vector<FileId> jobInputs(const JobRunner& ctx);
// Creates an output of the running job, named outputPrefix(ctx) + ..., and adds it to
// CreatedFiles. Every output of a job is created in one folder, opened as ctx.outputFolder
// by the first (the folder the request names, else the source's): where the folder's name
// leads meanwhile does not matter.
std::unique_ptr<Stream> createOutput(JobRunner& ctx, const std::string& name);

} // namespace qf
