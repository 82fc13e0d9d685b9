#include "batch/batch_job.h"

#include "core/paths.h"
#include "crypt/secret_string.h"

#include <sys/stat.h>

namespace batch {

BatchJob::~BatchJob()
{
    cipher::WipeString(password);
}

std::string OutputExtension(core::ImageType type)
{
    return type > core::kLastImageType ? std::string() : core::ImageTypeFilter(type).defaultExtension;
}

std::string OutputBase(const std::string& folder, const std::string& sourcePath, const std::string& suffix)
{
    return folder + "/" + core::PathStripLastExtension(core::PathFileName(sourcePath), false) + suffix;
}

bool PathExists(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

OutputNamer::OutputNamer(ExistsFn exists)
    : exists_(std::move(exists))
{
}

bool OutputNamer::TakenLocked(const std::string& path) const
{
    return handedOut_.count(path) || reserved_.count(path) || exists_(path);
}

std::string OutputNamer::Assign(const std::string& base, const std::string& ext)
{
    std::lock_guard lock(mutex_);
    std::string candidate = base + "." + ext;
    for (unsigned n = 0; TakenLocked(candidate); ++n)
        candidate = base + "(" + std::to_string(n) + ")." + ext;
    handedOut_.insert(candidate);
    return candidate;
}

std::string OutputNamer::Confirm(const std::string& planned, const std::string& base, const std::string& ext)
{
    {
        std::lock_guard lock(mutex_);
        if (!handedOut_.count(planned) && !exists_(planned)) {
            handedOut_.insert(planned);
            return planned;
        }
    }
    return Assign(base, ext);
}

void OutputNamer::Reserve(const std::vector<std::string>& paths)
{
    std::lock_guard lock(mutex_);
    reserved_.insert(paths.begin(), paths.end());
}

std::vector<PlannedFile> PlanOutputs(const BatchJob& job, const OutputNamer::ExistsFn& exists)
{
    OutputNamer namer(exists);
    const std::string ext = OutputExtension(job.imageType);
    std::vector<PlannedFile> plan;
    plan.reserve(job.files.size());
    for (std::size_t i = 0; i < job.files.size(); ++i) {
        const std::string& folder = i < job.outputFolders.size() ? job.outputFolders[i] : job.destination;
        PlannedFile f { job.files[i], OutputBase(folder, job.files[i], job.suffix), ext, {} };
        f.output = namer.Assign(f.base, ext);
        plan.push_back(std::move(f));
    }
    return plan;
}

} // namespace batch
