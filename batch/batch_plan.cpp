#include "batch/batch_plan.h"

#include "batch/json_line.h"
#include "codec/ximage.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <set>

namespace batch {

namespace {

std::optional<std::uint32_t> WholeNumber(std::string_view text)
{
    std::uint32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

/// A number or null: `present` is false for a member that is missing or of another kind.
std::optional<std::uint32_t> NumberOrNull(const JsonValue* v, bool& present)
{
    present = v && (v->kind == JsonValue::Kind::Null || v->Unsigned());
    return v ? v->Unsigned() : std::nullopt;
}

/// One entry's settings and paths, or why not.
std::optional<std::string> ReadEntry(const JsonValue& v, PlanSettings& settings, PlannedFile& file)
{
    if (v.kind != JsonValue::Kind::Object)
        return "not a JSON object";
    for (const auto& [name, value] : v.members)
        if (name != "source" && name != "output" && name != "to" && name != "max_side" && name != "bpp"
            && name != "encrypt" && name != "strip_metadata")
            return "unknown member \"" + name + "\" (a setting this pelmora-cli does not know)";
    const JsonValue* source = v.Find("source");
    const JsonValue* output = v.Find("output");
    if (!source || source->kind != JsonValue::Kind::String || source->text.empty())
        return std::string("no \"source\" path");
    if (!output || output->kind != JsonValue::Kind::String || output->text.empty())
        return std::string("no \"output\" path");
    file.source = source->text;
    file.output = output->text;

    const JsonValue* to = v.Find("to");
    const JsonValue* encrypt = v.Find("encrypt");
    if (!to || !v.Find("max_side") || !v.Find("bpp") || !encrypt)
        return std::string("no conversion settings (\"to\", \"max_side\", \"bpp\", \"encrypt\"): write the plan "
                           "with this pelmora-cli's batch --dry-run --json");
    if (to->kind != JsonValue::Kind::String)
        return std::string("\"to\" is not a format name");
    settings.type = core::ImageTypeFromExtension("." + to->text);
    if (settings.type == 0 || settings.type == codec::kTypeWmf)
        return "\"to\": \"" + to->text + "\" is not a batch conversion target";
    bool present = false;
    settings.maxSide = NumberOrNull(v.Find("max_side"), present);
    if (!present)
        return std::string("\"max_side\" is not a whole number or null");
    settings.bpp = NumberOrNull(v.Find("bpp"), present);
    if (!present)
        return std::string("\"bpp\" is not a whole number or null");
    if (settings.bpp) {
        const auto choices = core::BppChoices();
        if (std::find(choices.begin(), choices.end(), std::to_string(*settings.bpp)) == choices.end())
            return std::string("\"bpp\" must be 1, 8, 16, 24 or 32");
    }
    if (encrypt->kind != JsonValue::Kind::Bool)
        return std::string("\"encrypt\" is not true or false");
    settings.encrypt = encrypt->boolean;
    settings.stripMetadata = false;
    if (const JsonValue* strip = v.Find("strip_metadata")) {
        if (strip->kind != JsonValue::Kind::Bool)
            return std::string("\"strip_metadata\" is not true or false");
        settings.stripMetadata = strip->boolean;
    }
    return std::nullopt;
}

} // namespace

std::string PlanFormatName(core::ImageType type)
{
    return core::LowerCase(OutputExtension(type));
}

std::string TextDigest(std::string_view text)
{
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 0x100000001b3ull;
    }
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(hash));
    return buf;
}

std::optional<Plan> ParsePlan(std::string_view text, std::string& error)
{
    Plan plan;
    plan.digest = TextDigest(text);
    std::set<std::string_view> outputs;
    std::size_t lineNumber = 0;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (line.find_first_not_of(" \t\r") == std::string_view::npos)
            continue;
        auto fail = [&](const std::string& why) {
            error = "line " + std::to_string(lineNumber) + ": " + why;
            return std::nullopt;
        };
        std::string why;
        const std::optional<JsonValue> value = ParseJson(line, why);
        if (!value)
            return fail("not JSON (" + why + ")");
        PlanSettings settings;
        PlannedFile file;
        if (std::optional<std::string> bad = ReadEntry(*value, settings, file))
            return fail(*bad);
        if (plan.files.empty())
            plan.settings = settings;
        else if (!(settings == plan.settings))
            return fail("its settings differ from the first entry's (one plan, one set of settings)");
        file.ext = OutputExtension(settings.type);
        plan.files.push_back(std::move(file));
    }
    if (plan.files.empty()) {
        error = "the plan has no entries";
        return std::nullopt;
    }
    // Two entries writing one file would race across shards.
    for (std::size_t i = 0; i < plan.files.size(); ++i)
        if (!outputs.insert(plan.files[i].output).second) {
            error = "two entries write " + plan.files[i].output;
            return std::nullopt;
        }
    return plan;
}

std::optional<ShardSlice> ParseShardSlice(std::string_view text)
{
    const std::size_t slash = text.find('/');
    if (slash == std::string_view::npos)
        return std::nullopt;
    const auto index = WholeNumber(text.substr(0, slash));
    const auto count = WholeNumber(text.substr(slash + 1));
    if (!index || !count || *count == 0 || *index >= *count)
        return std::nullopt;
    return ShardSlice { *index, *count };
}

std::optional<ShardSlice> ShardFromEnvironment(const EnvironmentFn& env, std::string& error)
{
    // A variable that is set must be a whole number; `set` tells unset from malformed.
    auto number = [&](const char* name, bool& set) -> std::optional<std::uint32_t> {
        const char* value = env(name);
        set = value != nullptr;
        if (!value)
            return std::nullopt;
        const auto n = WholeNumber(value);
        if (!n)
            error = std::string(name) + "='" + value + "' is not a whole number";
        return n;
    };
    bool set = false;
    if (env("SLURM_ARRAY_TASK_ID")) {
        const auto id = number("SLURM_ARRAY_TASK_ID", set);
        const auto count = number("SLURM_ARRAY_TASK_COUNT", set);
        if (!set)
            error = "SLURM_ARRAY_TASK_COUNT is not set (Slurm sets it in job arrays since version 17.02)";
        std::optional<std::uint32_t> min = number("SLURM_ARRAY_TASK_MIN", set);
        if (!set)
            min = 0;
        std::optional<std::uint32_t> step = number("SLURM_ARRAY_TASK_STEP", set);
        if (!set)
            step = 1;
        std::optional<std::uint32_t> max = number("SLURM_ARRAY_TASK_MAX", set);
        const bool haveMax = set;
        if (!error.empty() || !id || !count || !min || !step || (haveMax && !max))
            return std::nullopt;
        if (*count == 0 || *step == 0 || *id < *min || (*id - *min) % *step != 0
            || (haveMax && (*max < *min || (*max - *min) / *step + 1 != *count))) {
            error = "the Slurm array is not one range of task ids (use --array=0-" + std::to_string(*count - 1)
                + " for " + std::to_string(*count) + " shards)";
            return std::nullopt;
        }
        const std::uint32_t index = (*id - *min) / *step;
        if (index >= *count) {
            error = "SLURM_ARRAY_TASK_ID " + std::to_string(*id) + " is outside an array of " + std::to_string(*count)
                + " tasks";
            return std::nullopt;
        }
        return ShardSlice { index, *count };
    }
    if (env("JOB_COMPLETION_INDEX")) {
        const auto index = number("JOB_COMPLETION_INDEX", set);
        const auto count = number(kShardCountVariable, set);
        if (!set)
            error = std::string("JOB_COMPLETION_INDEX is set but ") + kShardCountVariable
                + " is not: set it to the job's completions in the manifest";
        if (!index || !count)
            return std::nullopt;
        if (*index >= *count) {
            error = "JOB_COMPLETION_INDEX " + std::to_string(*index) + " is not below " + kShardCountVariable + " "
                + std::to_string(*count);
            return std::nullopt;
        }
        return ShardSlice { *index, *count };
    }
    error = std::string("--shard auto needs SLURM_ARRAY_TASK_ID (a Slurm job array) or JOB_COMPLETION_INDEX and ")
        + kShardCountVariable + " (a Kubernetes Indexed Job)";
    return std::nullopt;
}

std::vector<PlannedFile> ShardEntries(const std::vector<PlannedFile>& files, ShardSlice shard)
{
    std::vector<PlannedFile> slice;
    if (shard.count == 0)
        return slice;
    for (std::size_t i = shard.index; i < files.size(); i += shard.count)
        slice.push_back(files[i]);
    return slice;
}

} // namespace batch
