#pragma once
// The jobs behind the buttons. Each runs synchronously; errors are thrown as qf::Error
// after the job has closed what it opened and restored the buttons.
namespace qf {

class Context;

void bCheckClick(Context& ctx);   // "Read EVO": the Read job
void bDemuxClick(Context& ctx);   // "Demux": the Demux job
void bRebuildClick(Context& ctx); // "Rebuild": the Rebuild job

} // namespace qf
