#pragma once
// The IFO tables the disc reader has libdvdread parse, checked against the file's bytes
// before it does: libdvdread trusts their offsets, last bytes and counts, and an IFO whose
// table ends past the file (or counts more entries than the table holds) takes it into
// error paths that free twice or write past its buffers. With these checks passed, every
// read it makes lies inside the file and every count fits its table.
//
// Checked are the tables libdvdread reads for ifoOpenVMGI + ifoRead_TT_SRPT (and the
// first-play program chain every player reads) and for ifoOpenVTSI + ifoRead_VTS_PTT_SRPT
// + ifoRead_PGCIT, each program chain with its command table, program map and cell tables.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace qf {

// No IFO file is near this size: the largest real ones hold a few hundred KB.
inline constexpr size_t kMaxIfoBytes = size_t{16} << 20;
// libdvdread matches every program chain pointer against the ones before it (quadratic);
// it expects fewer than 10,000.
inline constexpr unsigned kMaxProgramChains = 9999;

// The first damage found in VIDEO_TS.IFO's bytes, as the words that go in the parentheses
// of "Its VIDEO_TS.IFO is damaged (...)"; nullopt when there is none.
std::optional<std::string> vmgDamage(std::span<const uint8_t> ifo);

// The same for a title set's VTS_nn_0.IFO.
std::optional<std::string> vtsDamage(std::span<const uint8_t> ifo);

// The menu table (ifoRead_PGCI_UT) of VIDEO_TS.IFO and of a VTS_nn_0.IFO, each language
// unit's program chains with their tables; nullopt when the file has none or it is whole.
std::optional<std::string> vmgMenuDamage(std::span<const uint8_t> ifo);
std::optional<std::string> vtsMenuDamage(std::span<const uint8_t> ifo);

} // namespace qf
