#pragma once
// The playlist reader: VPLST000.XPL into the tree, the text view and the stream selection.
#include <cstdint>
#include <string>

namespace qf {

class Session;
class Stream;

// "Read XPL": reads the file named by ui.eXPLfile. On an error the text view is shown
// again, "Read XPL" is enabled, the file is closed and the qf::Error is rethrown.
// Does nothing while a pass owns the source stream (ctx.busy).
void bReadXPLClick(Session& ctx);

// For the command line: choose `source` (when not empty; it decides BaseName and so the
// title), then the playlist, as the window would, and read it. The results stay in
// ctx.ui.log, ctx.ui.tvXPL, ctx.ui.mXPL, the catalogue and the check boxes.
void ReadPlaylist(Session& ctx, const std::string& playlist, const std::string& source = "");

// The tag scan over `in` from its position to its end: one line per tag into ctx.ui.mXPL,
// the attribute items into ctx.VideoAttrs/AudioAttrs/SubAttrs. Returns the playlist title.
// Throws Error("Stream read error: ...") when the stream delivers nothing before its end,
// and Error("File \"<ui.eXPLfile>\" is not a playlist") for a stream larger than 16 MiB,
// one holding a NUL byte or a tag of more than 1 MiB, or one whose listing would cost
// more than four times its size.
std::string ScanXPL(Session& ctx, Stream& in);

// Value of attribute `name` in a tag line (name found anywhere, any letter case; value
// between the double quotes after the next "="), with character references and the five
// predefined entities decoded ("&apos;" gives "'"). Returns false and leaves `result`
// unchanged when the line does not mention `name`.
bool GetAttr(const std::string& line, const std::string& name, std::string& result);
// The same, empty when the line does not mention `name`.
std::string GetAttr(const std::string& line, const std::string& name);
// The value as a decimal integer; 0 when absent or not a valid 32-bit integer.
int32_t GetAttrInt(const std::string& line, const std::string& name);

} // namespace qf
