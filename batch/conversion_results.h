#pragma once

// The results of a multi-file run and the report's lines for them. The batch run keys them by
// output path, the encryption and decryption runs by source path; the report shows them in key
// order.

#include <map>
#include <string>
#include <vector>

namespace batch {

/// Path -> success. Ordered by std::string's byte-wise less-than, so "B.png" comes before "a.png";
/// setting a path again replaces its flag.
using ConversionResults = std::map<std::string, bool>;

/// One report line per entry, in map order: "Successfully converted file %s" or
/// "# Error while converting file %s".
std::vector<std::string> ReportLines(const ConversionResults& results);

} // namespace batch
