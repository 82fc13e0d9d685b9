#pragma once

// Pure string functions that take file paths apart. Both "/" and "\" separate pieces.

#include <string>

namespace core {

/// The last non-empty piece of a path split at "/" and "\"; empty when there is no separator.
std::string PathFileName(std::string path);
/// Drops the last "."-separated piece of a name (empty pieces dropped first); with
/// `fileNameFirst`, the path is first reduced to its file name.
std::string PathStripLastExtension(std::string name, bool fileNameFirst);
/// The text from the last "." to the end, dot included; empty when there is no ".".
std::string PathExtension(std::string name);
/// The text before the last "/", else before the last "\", else empty.
std::string PathDirectory(std::string path);
/// Collapses "/" runs and drops a trailing "/" (a leading one, the root, stays), then turns
/// every "\" into "/".
std::string PathToForwardSlashes(std::string path);

} // namespace core
