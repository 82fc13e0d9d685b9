#pragma once

// A Ui that records every text it is given and answers questions from a script.

#include "core/ui.h"

#include <deque>
#include <string>
#include <vector>

namespace testing_support {

class ScriptedUi : public core::Ui {
public:
    struct Box {
        std::string text;
        std::string caption;
        core::MessageIcon icon;
        core::Owner owner;
        bool question;
    };

    void SetStatusText(const std::string& text) override { statusTexts.push_back(text); }
    void MessageBox(
        const std::string& text, const std::string& caption, core::MessageIcon icon, core::Owner owner) override
    {
        boxes.push_back({ text, caption, icon, owner, false });
    }
    bool AskYesNo(
        const std::string& text, const std::string& caption, core::MessageIcon icon, core::Owner owner) override
    {
        boxes.push_back({ text, caption, icon, owner, true });
        if (answers.empty()) {
            unexpectedQuestions++;
            return false;
        }
        bool a = answers.front();
        answers.pop_front();
        return a;
    }
    void ShowConversionReport(const batch::ConversionResults& results) override { reportsShown.push_back(results); }
    void BeginWaitCursor() override { waitDepth++, waitCursorShown = true; }
    void EndWaitCursor() override { waitDepth--; }

    std::string LastStatus() const { return statusTexts.empty() ? std::string() : statusTexts.back(); }

    std::vector<std::string> statusTexts;
    std::vector<Box> boxes;
    std::deque<bool> answers; ///< true = Yes
    std::vector<batch::ConversionResults> reportsShown;
    int unexpectedQuestions = 0;
    int waitDepth = 0;
    bool waitCursorShown = false;
};

} // namespace testing_support
