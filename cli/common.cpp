#include "cli/common.h"

#include "core/registry.h"

#include <charconv>
#include <cstdio>

namespace cli {

std::optional<std::string> Args::Value(const std::string& arg, const std::string& name, bool& missing)
{
    missing = false;
    if (arg == name) {
        if (Done()) {
            missing = true;
            return std::string();
        }
        return Next();
    }
    if (arg.size() > name.size() && arg.compare(0, name.size(), name) == 0 && arg[name.size()] == '=')
        return arg.substr(name.size() + 1);
    return std::nullopt;
}

std::uint32_t ParseFormat(const std::string& text)
{
    if (text.empty())
        return 0;
    return core::ImageTypeFromExtension(text.front() == '.' ? text : "." + text);
}

namespace {

template <typename T> std::optional<T> ParseWhole(const std::string& text)
{
    T value {};
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

} // namespace

std::optional<std::uint32_t> ParseUnsigned(const std::string& text)
{
    return ParseWhole<std::uint32_t>(text);
}
std::optional<std::int32_t> ParseInt(const std::string& text)
{
    return ParseWhole<std::int32_t>(text);
}

int UsageError(const std::string& message)
{
    std::fprintf(stderr, "pelmora-cli: %s\n", message.c_str());
    return kExitUsage;
}

std::string JsonString(const std::string& text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

std::string JsonStringArray(const std::vector<std::string>& texts)
{
    std::string out = "[";
    for (const std::string& text : texts)
        out += (out.size() > 1 ? ", " : "") + JsonString(text);
    return out + "]";
}

void PrintWarnings(const std::string& path, const std::vector<std::string>& warnings)
{
    for (const std::string& text : warnings)
        std::fprintf(stderr, "%s: warning: %s\n", path.c_str(), text.c_str());
}

} // namespace cli
