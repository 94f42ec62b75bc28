#pragma once
// Names of the stream kinds a catalogue entry stands for.
#include <cstdint>
#include <string>

namespace qf {

std::string VideoKindName(int32_t entry);
std::string AudioKindName(int32_t entry);
std::string SubKindName(int32_t entry);

} // namespace qf
