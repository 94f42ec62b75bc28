#pragma once
// Paths as the window and the jobs take them apart: folder, name, extension, and the
// second part of a two-part title.
#include <string>

namespace qf {

// The name without its extension (the part from the last "." after the last separator).
std::string CutExt(const std::string& name);
// The path of the next numbered part of a title (FEATURE_1 -> FEATURE_2) when it exists.
std::string getsecond(const std::string& path);
// Folder part (with trailing separator) and name part of a path.
std::string folderPart(const std::string& path);
std::string namePart(const std::string& path);
// Upper-cased extension of a path (".EVO"), empty when there is none.
std::string upperExt(const std::string& path);
// Does a file (not a folder) exist at path?
bool fileExists(const std::string& path);

} // namespace qf
