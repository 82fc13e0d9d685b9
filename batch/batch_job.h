#pragma once

// The batch conversion's settings and file list, and its output naming rule.

#include "batch/conversion_results.h"
#include "core/registry.h"
#include "crypt/file_cipher.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace batch {

/// The cipher call that encrypts one result in place; nonzero for success. Replaceable so tests
/// can make it fail.
using EncryptFileFn = unsigned char (*)(char* path, char* password);

/// Everything one run needs. Built by the command from the closed dialog (or by the command line
/// from its flags); the worker reads it and writes only `results`.
struct BatchJob {
    BatchJob() = default;
    BatchJob(const BatchJob&) = default;
    BatchJob(BatchJob&&) = default;
    BatchJob& operator=(const BatchJob&) = default;
    BatchJob& operator=(BatchJob&&) = default;
    /// Wipes the password.
    ~BatchJob();

    /// Full paths of the sources, in list order; duplicates allowed.
    std::vector<std::string> files;
    /// Target image type (1 to 15; the dialog's "Convert to" text through ImageTypeFromName).
    core::ImageType imageType = 0;
    /// Destination folder, no trailing separator.
    std::string destination;
    /// Output path -> success; written only by the worker.
    ConversionResults results;
    /// "Change max. side size to": the longer side becomes exactly maxSide, larger or smaller.
    bool resizeEnabled = false;
    std::uint32_t maxSide = 255;
    /// "Change Bpp to": targetBpp is the combo text's leading number (empty text gives 0).
    bool depthEnabled = false;
    std::uint32_t targetBpp = 0;
    /// Appended to every output base name, before the collision counter.
    std::string suffix;
    /// "Encrypt with password": each saved result is encrypted in place with `password`.
    bool encrypt = false;
    std::string password;
    /// Leave out the sources' EXIF, XMP and ICC profile (kept by default where the format holds them).
    bool stripMetadata = false;

    /// Per-file output folder, parallel to `files` (the command line's -r mirrors folders);
    /// empty means every output goes to `destination`.
    std::vector<std::string> outputFolders;
    /// The cipher call; tests replace it.
    EncryptFileFn encryptFile = &EncryptSrcPwd;
    /// The worker's pause after its last file, so the full bar stays visible; tests and the
    /// command line set zero.
    std::chrono::milliseconds finishPause { 1000 };
};

/// The output extension of a type: the registry's default extension without a dot ("tiff",
/// "PNM", ...); empty for types above 15.
std::string OutputExtension(core::ImageType type);

/// The output base of a source: folder + "/" + the source's file name without its last extension
/// + suffix (photo.jpg, "_s" -> folder/photo_s).
std::string OutputBase(const std::string& folder, const std::string& sourcePath, const std::string& suffix);

/// Whether a file system object exists under a path (a status query that succeeds).
bool PathExists(const std::string& path);

/// Hands out output names: base.ext, else base(0).ext, base(1).ext, ... the first one that is free.
/// A name is free when nothing exists under it on disk, it was not handed out earlier in this
/// run (even if that file's save failed and left nothing on disk, so every source keeps its own
/// result), and it is not reserved for another file of a plan. Safe to use from several threads.
class OutputNamer {
public:
    using ExistsFn = std::function<bool(const std::string& path)>;
    explicit OutputNamer(ExistsFn exists = PathExists);

    /// The first free name for base and ext, recorded as handed out.
    std::string Assign(const std::string& base, const std::string& ext);
    /// Keeps `planned` (a name reserved for this very file) when nothing exists under it on disk
    /// now; otherwise moves on to the first free name as Assign does, never to a reserved one.
    std::string Confirm(const std::string& planned, const std::string& base, const std::string& ext);
    /// Marks names as belonging to a plan, so no other file is handed them.
    void Reserve(const std::vector<std::string>& paths);

private:
    bool TakenLocked(const std::string& path) const;

    ExistsFn exists_;
    std::mutex mutex_;
    std::set<std::string> handedOut_;
    std::set<std::string> reserved_;
};

/// One file of a run: its source, its output base and extension, and its planned output path.
struct PlannedFile {
    std::string source;
    std::string base;
    std::string ext;
    std::string output;
};

/// The output of every file in list order, as a run of one file at a time assigns them when
/// every save succeeds: from the file list and what exists on disk now. Writes nothing.
std::vector<PlannedFile> PlanOutputs(const BatchJob& job, const OutputNamer::ExistsFn& exists = PathExists);

} // namespace batch
