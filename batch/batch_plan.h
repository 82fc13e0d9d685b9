#pragma once

// A batch plan (what `pelmora-cli batch --dry-run --json` prints) read back for execution, and
// its split into shards for a scheduler's array of tasks.

#include "batch/batch_job.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace batch {

/// The conversion settings a plan carries in every entry; one plan has one set.
struct PlanSettings {
    core::ImageType type = 0;
    std::optional<std::uint32_t> maxSide;
    std::optional<std::uint32_t> bpp;
    bool encrypt = false;
    /// Written only when set, so plans of runs that keep metadata read as before.
    bool stripMetadata = false;
    friend bool operator==(const PlanSettings&, const PlanSettings&) = default;
};

/// The plan's name for a target type: the type's output extension in lower case ("png", "tiff",
/// "pnm").
std::string PlanFormatName(core::ImageType type);

/// A plan read back: its settings, its entries in order, and a digest of its text that tells the
/// shards of one plan from those of another.
struct Plan {
    PlanSettings settings;
    std::vector<PlannedFile> files; ///< source and output of each entry (ext set, base empty)
    std::string digest; ///< 16 hex digits
};

/// 16 hex digits of a 64-bit FNV-1a hash of `text`: a label, not a security measure.
std::string TextDigest(std::string_view text);

/// Reads a plan: one JSON object per line with "source", "output", "to", "max_side" (number or
/// null), "bpp" (number or null), "encrypt" and optionally "strip_metadata"; blank lines are skipped. Every entry must carry
/// the same settings and its own output. Unknown members are refused, since a setting this
/// program does not know would be silently dropped. On failure sets `error` ("line N: ...").
std::optional<Plan> ParsePlan(std::string_view text, std::string& error);

/// Shard K of N (K counts from 0).
struct ShardSlice {
    std::uint32_t index = 0;
    std::uint32_t count = 1;
    friend bool operator==(const ShardSlice&, const ShardSlice&) = default;
};

/// "K/N" with 0 <= K < N, both plain decimal numbers.
std::optional<ShardSlice> ParseShardSlice(std::string_view text);

/// Reads one environment variable; null when unset.
using EnvironmentFn = std::function<const char*(const char* name)>;

/// The environment variable a Kubernetes Indexed Job's manifest sets to its completions.
inline constexpr const char* kShardCountVariable = "PELMORA_SHARD_COUNT";

/// The shard of this task: from a Slurm job array (SLURM_ARRAY_TASK_ID, _COUNT, _MIN, _MAX,
/// _STEP; K = (ID - MIN) / STEP, so arrays may start anywhere), else from a Kubernetes Indexed
/// Job (JOB_COMPLETION_INDEX and PELMORA_SHARD_COUNT). On failure sets `error`.
std::optional<ShardSlice> ShardFromEnvironment(const EnvironmentFn& env, std::string& error);

/// The entries of one shard: every N-th entry starting at K (positions K, K + N, K + 2N, ...),
/// so neighbouring files, often of one folder and one size, are spread over the shards.
std::vector<PlannedFile> ShardEntries(const std::vector<PlannedFile>& files, ShardSlice shard);

} // namespace batch
