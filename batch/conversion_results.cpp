#include "batch/conversion_results.h"

namespace batch {

std::vector<std::string> ReportLines(const ConversionResults& results)
{
    std::vector<std::string> lines;
    lines.reserve(results.size());
    for (const auto& [path, ok] : results)
        lines.push_back((ok ? "Successfully converted file " : "# Error while converting file ") + path);
    return lines;
}

} // namespace batch
