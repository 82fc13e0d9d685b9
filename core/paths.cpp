#include "core/paths.h"

#include <vector>

namespace core {

namespace {

/// Splits at any of `separators`, dropping empty pieces.
std::vector<std::string> SplitNonEmpty(const std::string& text, const char* separators)
{
    std::vector<std::string> pieces;
    std::string::size_type start = 0;
    while (start <= text.size()) {
        std::string::size_type end = text.find_first_of(separators, start);
        if (end == std::string::npos)
            end = text.size();
        if (end > start)
            pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

std::string Join(const std::vector<std::string>& pieces, const std::string& glue)
{
    std::string out;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i)
            out += glue;
        out += pieces[i];
    }
    return out;
}

} // namespace

std::string PathFileName(std::string path)
{
    if (path.find_first_of("/\\") == std::string::npos)
        return {};
    std::vector<std::string> pieces = SplitNonEmpty(path, "/\\");
    return pieces.empty() ? std::string() : pieces.back();
}

std::string PathStripLastExtension(std::string name, bool fileNameFirst)
{
    if (fileNameFirst)
        name = PathFileName(name);
    if (name.find('.') == std::string::npos)
        return name;
    std::vector<std::string> pieces = SplitNonEmpty(name, ".");
    if (pieces.size() >= 2)
        pieces.pop_back();
    return Join(pieces, ".");
}

std::string PathExtension(std::string name)
{
    std::string::size_type dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string PathDirectory(std::string path)
{
    std::string::size_type sep = path.rfind('/');
    if (sep == std::string::npos)
        sep = path.rfind('\\');
    return sep == std::string::npos ? std::string() : path.substr(0, sep);
}

std::string PathToForwardSlashes(std::string path)
{
    // A leading "/" is the file-system root here, so it stays; only repeats and a trailing "/"
    // go. There is no length limit.
    std::string out = Join(SplitNonEmpty(path, "/"), "/");
    if (!path.empty() && path.front() == '/')
        out.insert(out.begin(), '/');
    for (char& c : out)
        if (c == '\\')
            c = '/';
    return out;
}

} // namespace core
