#pragma once

// The batch dialog's rules that are more than display: the target formats it offers, the checks
// its OK button makes (in their order, with their texts), and the removal of selected rows.

#include "batch/batch_job.h"
#include "core/ui.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace batch {

/// The "Convert to" entries in the order the dialog's template adds them; the list shows them
/// sorted. The metafile format is no batch target. The modern formats follow the original
/// entries; the list shows them after the sorted originals, so those keep their places.
std::span<const std::string_view> BatchFormatEntries();
/// How many of BatchFormatEntries are the original, sorted ones.
inline constexpr std::size_t kOriginalFormatEntries = 14;

/// What the dialog holds when OK is pressed.
struct BatchDialogValues {
    std::vector<std::string> files;
    std::string formatText;
    std::string destination;
    std::string suffix;
    bool changeBpp = false;
    std::string bppText;
    bool changeMaxSide = false;
    std::int32_t maxSide = 255;
    bool encrypt = false;
    std::string password;
};

/// The OK checks, in the order they run; the first that fails is the one reported.
enum class SettingsCheck { Passed, NoFiles, NoFormat, NoDestination, NoPassword };

/// The first failing check; `rowsShown` is the number of rows the file list shows.
SettingsCheck CheckBatchSettings(const BatchDialogValues& values, std::size_t rowsShown);

/// The message box of a failed check (text and caption); empty texts for Passed.
struct SettingsCheckMessage {
    std::string text;
    std::string caption;
};
SettingsCheckMessage MessageFor(SettingsCheck check);

/// Runs the checks and shows the first failure's message (information icon, owned by the
/// dialog). Answers the check that failed, or Passed.
SettingsCheck ValidateBatchSettings(const BatchDialogValues& values, std::size_t rowsShown, core::Ui& ui);

/// The files whose index is not in `selectedRows`, order kept. Indexes out of range are ignored.
std::vector<std::string> RemoveRows(const std::vector<std::string>& files, const std::vector<int>& selectedRows);

/// The job of an accepted dialog: the files copied, the type from the "Convert to" text by the
/// registry's name lookup, the depth from the depth text's leading number (empty gives 0), the
/// rest as the dialog holds it.
BatchJob MakeBatchJob(const BatchDialogValues& values);

/// The leading decimal number of a text, as the C library's text-to-integer conversion reads it
/// ("24" -> 24, "" -> 0); never negative.
std::uint32_t LeadingNumber(const std::string& text);

} // namespace batch
