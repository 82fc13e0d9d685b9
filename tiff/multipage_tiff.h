#pragma once

// The multipage TIFF builder: several image files joined, one page per file and in list order,
// into one multi-page TIFF. Nothing is converted: every page keeps its own size and depth.

#include "core/ui.h"

#include <string>
#include <vector>

namespace tiff {

/// The message of a failed build, captioned "Error" with the warning icon.
inline constexpr const char* kBuildErrorText = "Error while creating multipage tiff file";
inline constexpr const char* kBuildErrorCaption = "Error";

/// Why a build failed: a file that did not load, or the target that could not be written.
struct BuildError {
    std::string path;
    std::string reason;
};

/// Builds the file at `target`: page i is `files[i]`, loaded with the image type its extension
/// gives (by content when the registry knows none). Every file is tried, also after a failure.
/// True when every page loaded and the file was written completely. The target is replaced
/// only then, in one rename, so a failed build leaves no file of its own there and whatever
/// was there before stays, and a target that is one of the pages is read before it is
/// replaced. One page is decoded at a time. `errors`, when given, receives each file that did not
/// load, and the target with the writer's reason when the writing failed.
bool BuildMultipageTiff(
    const std::vector<std::string>* files, const std::string& target, std::vector<BuildError>* errors = nullptr);

/// The command's last step: runs the builder and shows its error message on failure.
bool CreateMultipageTiff(core::Ui& ui,
    const std::vector<std::string>& files,
    const std::string& target,
    std::vector<BuildError>* errors = nullptr);

} // namespace tiff
