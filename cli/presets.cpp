// `pelmora-cli batch --preset NAME`, `--save-preset NAME` and `--list-presets`: named batch
// settings in the application's settings file. A preset stands for the options it keeps, put
// where --preset stands, so options after it override it.

#include "cli/commands.h"
#include "core/presets.h"
#include "core/registry.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace cli {
namespace {

// Batch options that take a value, so their values are not mistaken for input files.
constexpr const char* kValueOptions[] = {
    "--to", "--out", "--suffix", "--max-side", "--bpp", "--password-file", "--jobs", "--report", "--plan", "--shard",
};

bool TakesValue(const std::string& option)
{
    return std::any_of(std::begin(kValueOptions), std::end(kValueOptions), [&](const char* o) { return option == o; });
}

/// "--name=value" or "--name value" at `args[i]`; advances `i` past a separate value.
std::optional<std::string> OptionValue(const std::vector<std::string>& args, std::size_t& i, const std::string& name)
{
    const std::string& a = args[i];
    if (a.rfind(name + "=", 0) == 0)
        return a.substr(name.size() + 1);
    if (a == name && i + 1 < args.size())
        return args[++i];
    return std::nullopt;
}

/// The same checks the batch command makes, so a preset never stores what a run would refuse.
std::optional<std::string> CheckValue(const std::string& option, const std::string& value)
{
    if (option == "--to") {
        const auto type = ParseFormat(value);
        if (type == 0)
            return "batch: unknown format '" + value + "'";
        if (type == core::ImageType { 10 })
            return "batch: WMF is not a batch conversion target";
    } else if (option == "--bpp") {
        const auto choices = core::BppChoices();
        if (std::find(choices.begin(), choices.end(), value) == choices.end())
            return "batch: --bpp must be one of 1, 8, 16, 24, 32";
    } else if (option == "--max-side") {
        if (!ParseUnsigned(value))
            return "Please enter an integer.";
    } else if (option == "--jobs") {
        const auto n = ParseUnsigned(value);
        if (!n || *n == 0)
            return "Please enter a positive integer.";
    }
    return std::nullopt;
}

} // namespace

int RunBatchWithPresets(const std::vector<std::string>& raw)
{
    const std::string file = core::SettingsFilePath();
    std::vector<std::string> expanded;
    std::optional<std::string> saveName;
    bool list = false;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const std::string& a = raw[i];
        if (a == "--") {
            expanded.insert(expanded.end(), raw.begin() + static_cast<std::ptrdiff_t>(i), raw.end());
            break;
        }
        if (a == "--list-presets") {
            list = true;
        } else if (a == "--preset" || a.rfind("--preset=", 0) == 0) {
            const auto name = OptionValue(raw, i, "--preset");
            if (!name)
                return UsageError("batch: --preset needs a name");
            const auto preset = core::LoadPreset(file, *name);
            if (!preset)
                return UsageError("batch: no preset named '" + *name + "' (see pelmora-cli batch --list-presets)");
            const auto presetArgs = core::PresetArguments(*preset);
            expanded.insert(expanded.end(), presetArgs.begin(), presetArgs.end());
        } else if (a == "--save-preset" || a.rfind("--save-preset=", 0) == 0) {
            saveName = OptionValue(raw, i, "--save-preset");
            if (!saveName || !core::IsValidPresetName(*saveName))
                return UsageError("batch: a preset name has 1 to 64 letters, digits, '-' or '_'");
        } else {
            expanded.push_back(a);
        }
    }

    if (list) {
        for (const std::string& name : core::PresetNames(file)) {
            std::string line = name + ":";
            for (const std::string& arg : core::PresetArguments(core::LoadPreset(file, name).value_or(core::PresetSettings {})))
                line += " " + arg;
            std::printf("%s\n", line.c_str());
        }
        return kExitOk;
    }

    if (saveName) {
        core::PresetSettings settings;
        bool hasInputs = false;
        for (std::size_t i = 0; i < expanded.size(); ++i) {
            std::string a = expanded[i];
            if (a == "--")
                hasInputs = hasInputs || i + 1 < expanded.size();
            if (a == "--")
                break;
            if (a == "-r")
                a = "--recursive";
            const std::string name = a.substr(0, a.find('='));
            bool presetValue = false;
            if (core::IsPresetOption(name, presetValue)) {
                if (!presetValue) {
                    settings[name] = "1";
                    continue;
                }
                const auto value = OptionValue(expanded, i, name);
                if (!value)
                    return UsageError("batch: " + name + " needs a value");
                if (auto problem = CheckValue(name, *value))
                    return UsageError(*problem);
                settings[name] = *value;
            } else if (TakesValue(name)) {
                OptionValue(expanded, i, name);
            } else if (a.empty() || a[0] != '-') {
                hasInputs = true;
            }
        }
        if (settings.empty())
            return UsageError("batch: --save-preset keeps --to, --max-side, --bpp, --suffix, --jobs, -r and --encrypt; "
                              "give at least one");
        std::string error;
        if (!core::SavePreset(file, *saveName, settings, error)) {
            std::fprintf(stderr, "batch: cannot save preset '%s' in %s: %s\n", saveName->c_str(), file.c_str(),
                error.c_str());
            return kExitFailed;
        }
        std::fprintf(stderr, "Saved preset '%s' in %s\n", saveName->c_str(), file.c_str());
        if (!hasInputs)
            return kExitOk;
    }

    Args args(std::move(expanded));
    return RunBatch(args);
}

} // namespace cli
