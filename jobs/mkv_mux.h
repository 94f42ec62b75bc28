#pragma once
// A Demux job's last step when it is asked for an MKV: mkvmerge, run on the options file
// the job wrote, makes BASE.mkv beside the stream files, and the files it muxed go.
#include <string>
#include <string_view>

namespace qf {

class JobRunner;

// "mkvmerge was not found: install the mkvtoolnix package, or " + how to do without it.
std::string noMkvmergeText(std::string_view without);

// The mkvmerge program on PATH; empty when there is none.
std::string findMkvmerge();

// Before a Demux that makes an MKV reads anything: mkvmerge is there (else Error, in the
// window's words), and the request writes the options file the mux takes.
void prepareMkv(JobRunner& ctx);

// After a finished demux: runs mkvmerge on the options file (prefix + ".mkvmerge.json"),
// which writes prefix + ".mkv" as the job's other outputs are written (a new file, or a
// file beside an earlier one renamed over it), showing its progress as the job's. Then
// removes the files it muxed, unless the request keeps them or mkvmerge warned. False
// when Cancel stopped mkvmerge: the MKV is removed, the other files stay. A failure of
// mkvmerge is thrown as Error with its message; its files stay then too.
bool makeMkv(JobRunner& ctx, const std::string& prefix);

} // namespace qf
