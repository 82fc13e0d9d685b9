#include "core/presets.h"

#include "codec/fileio.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace core {
namespace {

constexpr const char* kSection = "[BatchPresets]";

struct Option {
    const char* name;
    bool takesValue;
};
constexpr Option kOptions[] = {
    { "--to", true },
    { "--max-side", true },
    { "--bpp", true },
    { "--suffix", true },
    { "--jobs", true },
    { "--recursive", false },
    { "--encrypt", false },
};

std::vector<std::string> ReadLines(const std::string& file)
{
    std::vector<std::string> lines;
    std::ifstream in(file, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

bool IsSectionLine(const std::string& line)
{
    return !line.empty() && line.front() == '[';
}

/// The [BatchPresets] section's key lines as [begin, end) of `lines`; begin == end == size when
/// the section is missing.
std::pair<std::size_t, std::size_t> SectionRange(const std::vector<std::string>& lines)
{
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] != kSection)
            continue;
        std::size_t end = i + 1;
        while (end < lines.size() && !IsSectionLine(lines[end]))
            ++end;
        return { i + 1, end };
    }
    return { lines.size(), lines.size() };
}

/// Splits "NAME\option=value" (QSettings writes a subgroup's keys with a backslash).
bool SplitKey(const std::string& line, std::string& preset, std::string& option, std::string& value)
{
    const auto eq = line.find('=');
    if (eq == std::string::npos)
        return false;
    std::string key = line.substr(0, eq);
    while (!key.empty() && key.back() == ' ')
        key.pop_back();
    const auto slash = key.find('\\');
    if (slash == std::string::npos)
        return false;
    preset = key.substr(0, slash);
    option = "--" + key.substr(slash + 1);
    value = ini::UnescapeValue(line.substr(eq + 1));
    return true;
}

} // namespace

std::string SettingsFilePath()
{
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/')
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::string(home) + "/.config";
    else
        base = ".config";
    return base + "/Korvane Lumbrix/Korvane Pelmora.conf";
}

bool IsValidPresetName(const std::string& name)
{
    return !name.empty() && name.size() <= 64 && std::all_of(name.begin(), name.end(), [](unsigned char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
    });
}

bool IsPresetOption(const std::string& option, bool& takesValue)
{
    for (const Option& o : kOptions) {
        if (option == o.name) {
            takesValue = o.takesValue;
            return true;
        }
    }
    return false;
}

std::optional<PresetSettings> LoadPreset(const std::string& file, const std::string& name)
{
    const auto lines = ReadLines(file);
    const auto [begin, end] = SectionRange(lines);
    PresetSettings settings;
    bool found = false;
    for (std::size_t i = begin; i < end; ++i) {
        std::string preset, option, value;
        bool takesValue = false;
        if (!SplitKey(lines[i], preset, option, value) || preset != name)
            continue;
        found = true;
        // Keys this version does not know (written by a later one) are left alone.
        if (IsPresetOption(option, takesValue))
            settings[option] = value;
    }
    if (!found)
        return std::nullopt;
    return settings;
}

std::vector<std::string> PresetNames(const std::string& file)
{
    const auto lines = ReadLines(file);
    const auto [begin, end] = SectionRange(lines);
    std::vector<std::string> names;
    for (std::size_t i = begin; i < end; ++i) {
        std::string preset, option, value;
        if (SplitKey(lines[i], preset, option, value) && IsValidPresetName(preset))
            names.push_back(preset);
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

bool SavePreset(const std::string& file, const std::string& name, const PresetSettings& settings, std::string& error)
{
    if (!IsValidPresetName(name)) {
        error = "a preset name has 1 to 64 letters, digits, '-' or '_'";
        return false;
    }
    std::vector<std::string> lines = ReadLines(file);
    auto [begin, end] = SectionRange(lines);
    if (begin == lines.size() && end == lines.size()) {
        if (!lines.empty() && !lines.back().empty())
            lines.emplace_back();
        lines.emplace_back(kSection);
        begin = end = lines.size();
    }
    // Drop the preset's old keys, keep every other line of the section as it stands.
    std::vector<std::string> section;
    for (std::size_t i = begin; i < end; ++i) {
        std::string preset, option, value;
        if (!(SplitKey(lines[i], preset, option, value) && preset == name))
            section.push_back(lines[i]);
    }
    // Blank lines at the section's end separate it from the next one: keys go before them.
    std::size_t insertAt = section.size();
    while (insertAt > 0 && section[insertAt - 1].empty())
        --insertAt;
    std::vector<std::string> keys;
    for (const auto& [option, value] : settings)
        keys.push_back(name + "\\" + option.substr(2) + "=" + ini::EscapeValue(value));
    section.insert(section.begin() + static_cast<std::ptrdiff_t>(insertAt), keys.begin(), keys.end());
    lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(begin), lines.begin() + static_cast<std::ptrdiff_t>(end));
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(begin), section.begin(), section.end());

    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(file).parent_path(), ec);
    const codec::Result written = codec::WriteFileAtomic(
        file, codec::ByteView(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    if (!written) {
        error = written.message;
        return false;
    }
    return true;
}

std::vector<std::string> PresetArguments(const PresetSettings& settings)
{
    std::vector<std::string> args;
    for (const Option& o : kOptions) {
        const auto it = settings.find(o.name);
        if (it == settings.end())
            continue;
        if (!o.takesValue) {
            if (it->second == "1" || it->second == "true")
                args.emplace_back(o.name);
            continue;
        }
        args.emplace_back(o.name);
        args.push_back(it->second);
    }
    return args;
}

namespace ini {

std::string EscapeValue(const std::string& value)
{
    bool quote = !value.empty() && (value.front() == ' ' || value.back() == ' ');
    std::string body;
    for (const char c : value) {
        switch (c) {
        case '"':
        case '\\':
            body += '\\';
            body += c;
            break;
        case '\n':
            body += "\\n";
            break;
        case '\t':
            body += "\\t";
            break;
        case '\r':
            body += "\\r";
            break;
        case ';':
        case ',':
        case '=':
            quote = true;
            body += c;
            break;
        default:
            body += c;
        }
    }
    return quote ? "\"" + body + "\"" : body;
}

std::string UnescapeValue(const std::string& text)
{
    std::string out;
    std::size_t kept = 0; // unquoted spaces after this many bytes are trailing padding
    bool inQuotes = false;
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            inQuotes = !inQuotes;
            kept = out.size();
            continue;
        }
        if (c == ';' && !inQuotes)
            break; // a comment
        if (c == '\\' && i + 1 < text.size()) {
            const char n = text[++i];
            out += n == 'n' ? '\n' : n == 't' ? '\t' : n == 'r' ? '\r' : n;
        } else {
            out += c;
        }
        if (inQuotes || c != ' ')
            kept = out.size();
    }
    out.resize(kept);
    return out;
}

} // namespace ini
} // namespace core
