#pragma once
// The playlist reader: VPLST000.XPL into the tree, the text view and the stream selection.
#include <cstdint>
#include <string>

namespace qf {

class Context;

void bReadXPLClick(Context& ctx); // "Read XPL"

// Value of attribute `name` in a tag line; `result` is left unchanged when absent.
void GetAttr(const std::string& line, const std::string& name, std::string& result);
int32_t GetAttrInt(const std::string& line, const std::string& name);

} // namespace qf
