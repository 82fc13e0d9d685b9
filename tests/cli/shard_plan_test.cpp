// A batch plan read back, its shards, and the merge of the shards' reports.

#include "batch/batch_plan.h"
#include "batch/shard_report.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

using batch::ShardSlice;

namespace {

std::string Entry(const std::string& source, const std::string& output, const std::string& settings)
{
    return "{\"source\": \"" + source + "\", \"output\": \"" + output + "\", " + settings + "}\n";
}

constexpr const char* kPng = "\"to\": \"png\", \"max_side\": 800, \"bpp\": null, \"encrypt\": false";

} // namespace

TEST(ShardSlice, ParsesKOfNCountingFromZero)
{
    const std::vector<std::pair<std::string, std::optional<ShardSlice>>> cases = {
        { "0/1", ShardSlice { 0, 1 } },
        { "3/4", ShardSlice { 3, 4 } },
        { "07/10", ShardSlice { 7, 10 } },
        { "4/4", std::nullopt }, // K counts from 0
        { "0/0", std::nullopt },
        { "1/", std::nullopt },
        { "/4", std::nullopt },
        { "-1/4", std::nullopt },
        { "+1/4", std::nullopt },
        { " 1/4", std::nullopt },
        { "1/4/2", std::nullopt },
        { "1/4 ", std::nullopt },
        { "a/4", std::nullopt },
        { "1/4294967296", std::nullopt },
        { "auto", std::nullopt },
        { "", std::nullopt },
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(batch::ParseShardSlice(text), expected) << text;
}

TEST(ShardSlice, AutoReadsSlurmArraysAndKubernetesIndexedJobs)
{
    using Env = std::map<std::string, std::string>;
    struct Case {
        Env env;
        std::optional<ShardSlice> expected;
        const char* errorPart;
    };
    const std::vector<Case> cases = {
        { { { "SLURM_ARRAY_TASK_ID", "2" },
              { "SLURM_ARRAY_TASK_COUNT", "4" },
              { "SLURM_ARRAY_TASK_MIN", "0" },
              { "SLURM_ARRAY_TASK_MAX", "3" } },
            ShardSlice { 2, 4 },
            "" },
        // --array=5-8: the first task is shard 0.
        { { { "SLURM_ARRAY_TASK_ID", "5" },
              { "SLURM_ARRAY_TASK_COUNT", "4" },
              { "SLURM_ARRAY_TASK_MIN", "5" },
              { "SLURM_ARRAY_TASK_MAX", "8" } },
            ShardSlice { 0, 4 },
            "" },
        // --array=0-12:4
        { { { "SLURM_ARRAY_TASK_ID", "8" },
              { "SLURM_ARRAY_TASK_COUNT", "4" },
              { "SLURM_ARRAY_TASK_MIN", "0" },
              { "SLURM_ARRAY_TASK_MAX", "12" },
              { "SLURM_ARRAY_TASK_STEP", "4" } },
            ShardSlice { 2, 4 },
            "" },
        // --array=1,3,7 has no position for task 3.
        { { { "SLURM_ARRAY_TASK_ID", "3" },
              { "SLURM_ARRAY_TASK_COUNT", "3" },
              { "SLURM_ARRAY_TASK_MIN", "1" },
              { "SLURM_ARRAY_TASK_MAX", "7" } },
            std::nullopt,
            "not one range" },
        { { { "SLURM_ARRAY_TASK_ID", "2" } }, std::nullopt, "SLURM_ARRAY_TASK_COUNT" },
        { { { "SLURM_ARRAY_TASK_ID", "x" }, { "SLURM_ARRAY_TASK_COUNT", "4" } }, std::nullopt, "not a whole number" },
        { { { "JOB_COMPLETION_INDEX", "3" }, { "PELMORA_SHARD_COUNT", "4" } }, ShardSlice { 3, 4 }, "" },
        { { { "JOB_COMPLETION_INDEX", "3" } }, std::nullopt, "PELMORA_SHARD_COUNT" },
        { { { "JOB_COMPLETION_INDEX", "4" }, { "PELMORA_SHARD_COUNT", "4" } }, std::nullopt, "not below" },
        { {}, std::nullopt, "JOB_COMPLETION_INDEX" },
    };
    for (const Case& c : cases) {
        std::string error;
        const auto slice = batch::ShardFromEnvironment(
            [&](const char* name) {
                const auto it = c.env.find(name);
                return it == c.env.end() ? nullptr : it->second.c_str();
            },
            error);
        const std::string label = c.env.empty() ? "(empty)" : c.env.begin()->first + "=" + c.env.begin()->second;
        EXPECT_EQ(slice, c.expected) << label;
        EXPECT_NE(error.find(c.errorPart), std::string::npos) << label << ": " << error;
    }
}

TEST(ShardSlice, ShardsCoverThePlanOnceByPosition)
{
    std::vector<batch::PlannedFile> files(10);
    for (std::size_t i = 0; i < files.size(); ++i)
        files[i].source = std::to_string(i);
    for (const std::uint32_t n : { 1u, 3u, 10u, 13u }) {
        std::map<std::string, int> seen;
        for (std::uint32_t k = 0; k < n; ++k) {
            const auto slice = batch::ShardEntries(files, ShardSlice { k, n });
            EXPECT_LE(slice.size(), (files.size() + n - 1) / n);
            for (const batch::PlannedFile& f : slice)
                ++seen[f.source];
        }
        EXPECT_EQ(seen.size(), files.size()) << n;
        for (const auto& [source, times] : seen)
            EXPECT_EQ(times, 1) << source << " of " << n;
    }
    const auto shard1 = batch::ShardEntries(files, ShardSlice { 1, 3 });
    ASSERT_EQ(shard1.size(), 3u);
    EXPECT_EQ(shard1[0].source + shard1[1].source + shard1[2].source, "147");
}

TEST(Plan, ReadsEntriesAndRefusesWhatItCannotRun)
{
    const std::string good
        = Entry("/in/a.bmp", "/out/a.png", kPng) + "\n" + Entry("/in/\\u00e9\\ud83d\\ude00\\n.bmp", "/out/b.png", kPng);
    std::string error;
    const auto plan = batch::ParsePlan(good, error);
    ASSERT_TRUE(plan) << error;
    ASSERT_EQ(plan->files.size(), 2u);
    EXPECT_EQ(plan->files[1].source, "/in/\xC3\xA9\xF0\x9F\x98\x80\n.bmp");
    EXPECT_EQ(plan->files[1].ext, "png");
    EXPECT_EQ(plan->settings, (batch::PlanSettings { 4, 800, std::nullopt, false }));
    EXPECT_EQ(plan->digest, batch::TextDigest(good));

    const std::vector<std::pair<std::string, std::string>> bad = {
        { "", "no entries" },
        { Entry("/a", "/o.png", kPng) + "{\"source\": \"/b\"", "line 2: not JSON" },
        // What the dry run printed before it carried the settings.
        { "{\"source\": \"/a\", \"output\": \"/o.png\"}\n", "line 1: no conversion settings" },
        { Entry("/a", "/o.png", std::string(kPng) + ", \"quality\": 90"), "unknown member \"quality\"" },
        { Entry("/a", "/o.wmf", "\"to\": \"wmf\", \"max_side\": null, \"bpp\": null, \"encrypt\": false"),
            "not a batch conversion target" },
        { Entry("/a", "/o.png", "\"to\": \"png\", \"max_side\": null, \"bpp\": 7, \"encrypt\": false"), "\"bpp\"" },
        { Entry("/a", "/o.png", "\"to\": \"png\", \"max_side\": -1, \"bpp\": null, \"encrypt\": false"),
            "\"max_side\"" },
        { Entry("/a", "/o.png", "\"to\": \"png\", \"max_side\": 8, \"bpp\": null, \"encrypt\": 1"), "\"encrypt\"" },
        { Entry("/a", "/o.png", kPng)
                + Entry("/b",
                    "/p.png",
                    "\"to\": \"png\", \"max_side\": 9, \"bpp\": null, "
                    "\"encrypt\": false"),
            "line 2: its settings differ" },
        { Entry("/a", "/o.png", kPng) + Entry("/b", "/o.png", kPng), "two entries write /o.png" },
        { Entry("/a\\ud800", "/o.png", kPng), "surrogate" },
        { "[" + std::string(40, '[') + "\n", "nested too deeply" },
    };
    for (const auto& [text, part] : bad) {
        error.clear();
        EXPECT_FALSE(batch::ParsePlan(text, error)) << text;
        EXPECT_NE(error.find(part), std::string::npos) << text << " -> " << error;
    }
}

TEST(ReportMerge, JoinsShardsIntoTheRunsReportAndRefusesAnIncompleteSet)
{
    using batch::ReportFormat;
    const std::string plan = batch::TextDigest("plan");
    auto text = [&](std::uint32_t k, std::uint32_t n, std::size_t entries, const std::string& lines) {
        return batch::ShardHeaderLine({ ShardSlice { k, n }, plan, entries }, ReportFormat::Text) + "\n" + lines;
    };
    const std::string ok = "Successfully converted file ";
    const std::string failed = "# Error while converting file ";
    const batch::ReportFile r0 { "r0", text(0, 3, 2, ok + "/o/c.png\n" + ok + "/o/B.png\n") };
    const batch::ReportFile r1 { "r1", text(1, 3, 1, failed + "/o/a.png\n") };
    const batch::ReportFile r2 { "r2", text(2, 3, 0, "") };

    std::string error;
    auto merged = batch::MergeShardReports({ r2, r0, r1 }, error);
    ASSERT_TRUE(merged) << error;
    EXPECT_EQ(merged->text, ok + "/o/B.png\n" + failed + "/o/a.png\n" + ok + "/o/c.png\n");
    EXPECT_TRUE(merged->anyFailed);
    merged = batch::MergeShardReports({ r0, { "r1", text(1, 3, 1, ok + "/o/a.png\n") }, r2 }, error);
    ASSERT_TRUE(merged) << error;
    EXPECT_FALSE(merged->anyFailed);

    // JSON lines are kept as the shards wrote them.
    const auto json = [&](std::uint32_t k, const std::string& lines) {
        return batch::ShardHeaderLine({ ShardSlice { k, 2 }, plan, 1 }, ReportFormat::Json) + "\n" + lines;
    };
    const std::string b = "{\"path\": \"/o/b.png\", \"ok\": false, \"error\": \"bad\", \"warnings\": []}\n";
    const std::string a = "{\"path\": \"/o/a.png\", \"ok\": true, \"warnings\": [\"cut short\"]}\n";
    merged = batch::MergeShardReports({ { "j0", json(0, b) }, { "j1", json(1, a) } }, error);
    ASSERT_TRUE(merged) << error;
    EXPECT_EQ(merged->text, a + b);
    EXPECT_TRUE(merged->anyFailed);

    const std::vector<std::pair<std::vector<batch::ReportFile>, std::string>> refused = {
        { { r0, r2 }, "no report of shard 1/3" },
        { { r0, r1, r2, r1 }, "shard 1/3 is given twice" },
        { { r0, { "r1", text(1, 3, 1, ok + "/o/c.png\n") }, r2 }, "shards overlap: /o/c.png is in r0 and in r1" },
        { { r0, { "r1", text(1, 3, 2, failed + "/o/a.png\n") }, r2 }, "lists 1 of its 2 entries" },
        { { r0,
              r1,
              { "r2",
                  batch::ShardHeaderLine({ ShardSlice { 2, 3 }, batch::TextDigest("other"), 0 }, ReportFormat::Text)
                      + "\n" } },
            "of plan" },
        { { r0, r1, { "r2", text(2, 4, 0, "") } }, "shard 2/4" },
        { { r0, r1, { "r2", json(0, "") } }, "with --json" },
        { { { "plain", ok + "/o/a.png\n" } }, "plain is not a shard's report" },
        { { r0, r1, { "r2", text(2, 3, 1, "converted /o/d.png\n") } }, "r2 line 2 is not a report entry" },
        { {}, "no reports" },
    };
    for (const auto& [reports, part] : refused) {
        error.clear();
        EXPECT_FALSE(batch::MergeShardReports(reports, error)) << part;
        EXPECT_NE(error.find(part), std::string::npos) << part << " -> " << error;
    }
}
