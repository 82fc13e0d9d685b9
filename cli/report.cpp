// pelmora-cli report merge: the reports of a plan's shards joined into the report one run of the
// whole plan prints.

#include "batch/shard_report.h"
#include "cli/commands.h"
#include "codec/fileio.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace cli {

namespace {

constexpr const char* kReportHelp = R"(Usage: pelmora-cli report merge [--out FILE] REPORTS...

Joins the reports of the shards of one plan (pelmora-cli batch --plan PLAN
--shard K/N --report REPORT, each with or each without --json) into the report one
run of the whole plan prints: every entry line as the shards wrote it, in the run's
order, without the line naming the shard. The reports may be given in any order.

Refused (exit 2, nothing written) when a report is not a shard's report, when the
reports come from different plans or shard counts or mix text and JSON, when a
shard's report is missing or given twice, when a shard did not finish (fewer
entries than it was given), or when two reports list the same output.

Options:
  --out FILE   write the merged report to FILE instead of stdout

Exit status: 0 every entry converted; 1 at least one failed (as the run would
have exited); 2 refused.
)";

} // namespace

int RunReport(Args& args)
{
    if (args.Done())
        return UsageError("report: which subcommand? (pelmora-cli report merge REPORTS...)");
    const std::string sub = args.Next();
    if (sub == "--help" || sub == "-h") {
        std::fputs(kReportHelp, stdout);
        return kExitOk;
    }
    if (sub != "merge")
        return UsageError("report: unknown subcommand '" + sub + "' (pelmora-cli report merge REPORTS...)");

    std::optional<std::string> out;
    std::vector<std::string> names;
    while (!args.Done()) {
        const std::string a = args.Next();
        bool missing = false;
        if (a == "--help" || a == "-h") {
            std::fputs(kReportHelp, stdout);
            return kExitOk;
        }
        if (auto o = args.Value(a, "--out", missing)) {
            if (missing)
                return UsageError("report merge: --out needs a file");
            out = *o;
        } else if (a == "--") {
            while (!args.Done())
                names.push_back(args.Next());
        } else if (a.size() > 1 && a[0] == '-') {
            return UsageError("report merge: unknown option " + a);
        } else {
            names.push_back(a);
        }
    }
    if (names.empty())
        return UsageError("report merge: give the shards' reports");

    std::vector<batch::ReportFile> reports;
    for (const std::string& name : names) {
        std::vector<std::uint8_t> bytes;
        if (const codec::Result read = codec::ReadWholeFile(name, bytes); !read)
            return UsageError("report merge: cannot read " + name + ": " + read.message);
        reports.push_back({ name, std::string(bytes.begin(), bytes.end()) });
    }
    std::string error;
    const std::optional<batch::MergedReport> merged = batch::MergeShardReports(reports, error);
    if (!merged)
        return UsageError("report merge: " + error);

    if (out) {
        const codec::Result written = codec::WriteFileAtomic(
            *out, codec::ByteView(reinterpret_cast<const std::uint8_t*>(merged->text.data()), merged->text.size()));
        if (!written)
            return UsageError("report merge: cannot write " + *out + ": " + written.message);
    } else {
        std::fputs(merged->text.c_str(), stdout);
        std::fflush(stdout);
    }
    return merged->anyFailed ? kExitFailed : kExitOk;
}

} // namespace cli
