#pragma once

// The reports of a plan's shards: the line each shard's report starts with, and their merge into
// the report one run of the whole plan prints.

#include "batch/batch_plan.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace batch {

/// The command line's report formats: the desktop's lines, or one JSON object per entry.
enum class ReportFormat { Text, Json };

/// What a shard's report says about itself in its first line.
struct ShardHeader {
    ShardSlice shard;
    std::string plan; ///< the plan's digest
    std::size_t entries = 0; ///< how many entries the shard was given
};

/// The first line of a shard's report, without its newline:
/// "# shard K/N of plan DIGEST: M entries", or {"shard": "K/N", "plan": "DIGEST", "entries": M}.
std::string ShardHeaderLine(const ShardHeader& header, ReportFormat format);

/// One report to merge: a name for messages and its whole text.
struct ReportFile {
    std::string name;
    std::string text;
};

/// The merged report and whether any entry in it is a failure.
struct MergedReport {
    std::string text;
    bool anyFailed = false;
};

/// Joins the reports of every shard of one plan into the report one run of the plan prints: the
/// entry lines, unchanged, in path order (byte-wise, as a run orders its results), without the
/// shards' first lines. Refused, with `error` set, when a report is not a shard report, when the
/// reports differ in format, plan or shard count, when a shard is missing or given twice, when a
/// report lists fewer entries than its shard was given (the shard did not finish), or when two
/// reports list one path.
std::optional<MergedReport> MergeShardReports(const std::vector<ReportFile>& reports, std::string& error);

} // namespace batch
