#pragma once

// The command line's Ui: status texts and messages go to stderr as plain lines; questions are
// answered by the command's flags.

#include "core/ui.h"

#include <cstdio>
#include <functional>
#include <string>

namespace cli {

class CliUi : public core::Ui {
public:
    using Answerer = std::function<bool(const std::string& text, const std::string& caption)>;

    explicit CliUi(bool quiet = false, Answerer answerer = {})
        : quiet_(quiet)
        , answerer_(std::move(answerer))
    {
    }

    void SetQuiet(bool quiet) { quiet_ = quiet; }
    void SetStatusText(const std::string& text) override
    {
        if (!quiet_)
            std::fprintf(stderr, "%s\n", text.c_str());
    }
    void MessageBox(const std::string& text, const std::string& caption, core::MessageIcon, core::Owner) override
    {
        // Messages are the reason something was refused or changed: shown even when quiet.
        if (caption == core::kAppTitle || caption.empty())
            std::fprintf(stderr, "%s\n", text.c_str());
        else
            std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    }
    bool AskYesNo(const std::string& text, const std::string& caption, core::MessageIcon, core::Owner) override
    {
        return answerer_ ? answerer_(text, caption) : true;
    }

private:
    bool quiet_;
    Answerer answerer_;
};

} // namespace cli
