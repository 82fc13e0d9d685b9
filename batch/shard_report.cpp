#include "batch/shard_report.h"

#include "batch/conversion_results.h"
#include "batch/json_line.h"

#include <charconv>
#include <map>
#include <string_view>

namespace batch {

namespace {

constexpr std::string_view kTextHeaderStart = "# shard ";
constexpr std::string_view kTextHeaderPlan = " of plan ";

/// The report line of a path, from the one place that words it.
std::string LinePrefix(bool ok)
{
    return ReportLines(ConversionResults { { std::string(), ok } }).front();
}

bool StartsWith(std::string_view text, std::string_view start)
{
    return text.substr(0, start.size()) == start;
}

std::optional<std::size_t> Count(std::string_view text)
{
    std::size_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

bool IsDigest(std::string_view text)
{
    return text.size() == 16 && text.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

/// "# shard K/N of plan DIGEST: M entries".
std::optional<ShardHeader> ParseTextHeader(std::string_view line)
{
    if (!StartsWith(line, kTextHeaderStart))
        return std::nullopt;
    line.remove_prefix(kTextHeaderStart.size());
    const std::size_t of = line.find(kTextHeaderPlan);
    const std::size_t colon = line.find(": ");
    constexpr std::string_view kEnd = " entries";
    if (of == std::string_view::npos || colon == std::string_view::npos || colon < of || line.size() < kEnd.size()
        || line.substr(line.size() - kEnd.size()) != kEnd)
        return std::nullopt;
    ShardHeader header;
    const auto shard = ParseShardSlice(line.substr(0, of));
    const std::string_view digest = line.substr(of + kTextHeaderPlan.size(), colon - of - kTextHeaderPlan.size());
    const auto entries = Count(line.substr(colon + 2, line.size() - kEnd.size() - colon - 2));
    if (!shard || !IsDigest(digest) || !entries)
        return std::nullopt;
    return ShardHeader { *shard, std::string(digest), *entries };
}

/// {"shard": "K/N", "plan": "DIGEST", "entries": M}.
std::optional<ShardHeader> ParseJsonHeader(std::string_view line)
{
    std::string why;
    const std::optional<JsonValue> v = ParseJson(line, why);
    if (!v || v->kind != JsonValue::Kind::Object || v->members.size() != 3)
        return std::nullopt;
    const JsonValue* shard = v->Find("shard");
    const JsonValue* plan = v->Find("plan");
    const JsonValue* entries = v->Find("entries");
    if (!shard || shard->kind != JsonValue::Kind::String || !plan || plan->kind != JsonValue::Kind::String
        || !IsDigest(plan->text) || !entries || !entries->Unsigned())
        return std::nullopt;
    const auto slice = ParseShardSlice(shard->text);
    if (!slice)
        return std::nullopt;
    return ShardHeader { *slice, plan->text, *entries->Unsigned() };
}

/// The path and outcome of one entry line.
std::optional<std::pair<std::string, bool>> ParseEntry(std::string_view line, ReportFormat format)
{
    if (format == ReportFormat::Text) {
        for (const bool ok : { true, false }) {
            const std::string prefix = LinePrefix(ok);
            if (StartsWith(line, prefix) && line.size() > prefix.size())
                return std::make_pair(std::string(line.substr(prefix.size())), ok);
        }
        return std::nullopt;
    }
    std::string why;
    const std::optional<JsonValue> v = ParseJson(line, why);
    if (!v || v->kind != JsonValue::Kind::Object)
        return std::nullopt;
    const JsonValue* path = v->Find("path");
    const JsonValue* ok = v->Find("ok");
    if (!path || path->kind != JsonValue::Kind::String || path->text.empty() || !ok
        || ok->kind != JsonValue::Kind::Bool)
        return std::nullopt;
    return std::make_pair(path->text, ok->boolean);
}

std::string SliceText(const ShardSlice& s)
{
    return std::to_string(s.index) + "/" + std::to_string(s.count);
}

} // namespace

std::string ShardHeaderLine(const ShardHeader& header, ReportFormat format)
{
    if (format == ReportFormat::Json)
        return "{\"shard\": \"" + SliceText(header.shard) + "\", \"plan\": \"" + header.plan
            + "\", \"entries\": " + std::to_string(header.entries) + "}";
    return std::string(kTextHeaderStart) + SliceText(header.shard) + std::string(kTextHeaderPlan) + header.plan + ": "
        + std::to_string(header.entries) + " entries";
}

std::optional<MergedReport> MergeShardReports(const std::vector<ReportFile>& reports, std::string& error)
{
    if (reports.empty()) {
        error = "no reports to merge";
        return std::nullopt;
    }
    struct Entry {
        std::string line;
        bool ok;
        const std::string* report;
    };
    std::map<std::string, Entry> entries; // path order, as a run's results
    std::map<std::uint32_t, const std::string*> shards;
    std::optional<ShardHeader> first;
    ReportFormat format = ReportFormat::Text;

    for (const ReportFile& report : reports) {
        const std::string_view text = report.text;
        std::size_t end = text.find('\n');
        const std::string_view headerLine = text.substr(0, end);
        std::optional<ShardHeader> header = ParseTextHeader(headerLine);
        ReportFormat thisFormat = ReportFormat::Text;
        if (!header) {
            header = ParseJsonHeader(headerLine);
            thisFormat = ReportFormat::Json;
        }
        if (!header) {
            error = report.name + " is not a shard's report (its first line is not \"# shard K/N of plan ...\")";
            return std::nullopt;
        }
        if (!first) {
            first = header;
            format = thisFormat;
        } else if (thisFormat != format) {
            const char* kinds[] = { "text", "JSON" };
            error = report.name + " is " + kinds[thisFormat == ReportFormat::Json] + ", " + reports.front().name
                + " is " + kinds[format == ReportFormat::Json] + ": run every shard with --json or every one without";
            return std::nullopt;
        } else if (header->plan != first->plan || header->shard.count != first->shard.count) {
            error = report.name + " belongs to shard " + SliceText(header->shard) + " of plan " + header->plan + ", "
                + reports.front().name + " to shard " + SliceText(first->shard) + " of plan " + first->plan;
            return std::nullopt;
        }
        if (const auto [at, fresh] = shards.emplace(header->shard.index, &report.name); !fresh) {
            error = "shard " + SliceText(header->shard) + " is given twice: " + *at->second + " and " + report.name;
            return std::nullopt;
        }

        std::size_t count = 0, lineNumber = 1;
        while (end != std::string_view::npos && end + 1 < text.size()) {
            const std::size_t start = end + 1;
            end = text.find('\n', start);
            const std::string_view line = text.substr(start, end == std::string_view::npos ? end : end - start);
            ++lineNumber;
            if (line.empty())
                continue;
            auto entry = ParseEntry(line, format);
            if (!entry) {
                error = report.name + " line " + std::to_string(lineNumber) + " is not a report entry";
                return std::nullopt;
            }
            auto [at, fresh] = entries.emplace(entry->first, Entry { std::string(line), entry->second, &report.name });
            if (!fresh) {
                error = "shards overlap: " + entry->first + " is in " + *at->second.report
                    + (at->second.report == &report.name ? " twice" : " and in " + report.name);
                return std::nullopt;
            }
            ++count;
        }
        if (count != header->entries) {
            error = report.name + " (shard " + SliceText(header->shard) + ") lists " + std::to_string(count) + " of its "
                + std::to_string(header->entries) + " entries: the shard did not finish; run it again";
            return std::nullopt;
        }
    }

    std::string missing;
    for (std::uint32_t k = 0; k < first->shard.count; ++k)
        if (!shards.count(k)) {
            if (!missing.empty() && missing.size() > 200) {
                missing += ", ...";
                break;
            }
            missing += (missing.empty() ? "" : ", ") + SliceText(ShardSlice { k, first->shard.count });
        }
    if (!missing.empty()) {
        error = "no report of shard " + missing + " was given";
        return std::nullopt;
    }

    MergedReport merged;
    for (const auto& [path, entry] : entries) {
        merged.text += entry.line + "\n";
        merged.anyFailed = merged.anyFailed || !entry.ok;
    }
    return merged;
}

} // namespace batch
