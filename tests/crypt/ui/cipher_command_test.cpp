#include "app/app_harness.h"
#include "app/command_table.h"
#include "crypt/ui/cipher_command.h"
#include "crypt/ui/decrypt_dlg.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

#include <gtest/gtest.h>

#include <functional>
#include <optional>

using app_testing::Harness;
using app_testing::ScriptedPrompts;
using cryptui::CDecryptDlg;

namespace {

struct RunCall {
    cryptui::RunKind kind;
    std::vector<std::string> files;
    std::string destination;
    std::string password;
};

/// Answers the dialog through `answer` (given the shown dialog) and records what the command hands
/// to the run instead of running the cipher.
struct ScriptedCommand {
    ScriptedCommand()
    {
        previousDialog = cryptui::SetDialogRunner([this](CDecryptDlg& dialog) {
            dialog.show();
            ++dialogs;
            owner = dialog.parentWidget();
            rows = dialog.findChild<QTableWidget*>(QStringLiteral("id1000"))->rowCount();
            if (answer)
                answer(dialog);
            else
                dialog.findChild<QPushButton*>(QStringLiteral("id2"))->click();
            return dialog.result();
        });
        previousRun = cryptui::SetCipherRunner([this](cryptui::RunKind kind,
                                                   const std::vector<std::string>& files,
                                                   const std::string& destination,
                                                   const std::string& password,
                                                   core::Ui&) {
            runs.push_back({ kind, files, destination, password });
            return batch::ConversionResults();
        });
    }
    ~ScriptedCommand()
    {
        cryptui::SetDialogRunner(previousDialog);
        cryptui::SetCipherRunner(previousRun);
    }

    std::function<void(CDecryptDlg&)> answer; ///< empty: "Abbrechen"
    int dialogs = 0;
    int rows = -1;
    QWidget* owner = nullptr;
    std::vector<RunCall> runs;
    cryptui::DialogRunner previousDialog;
    cryptui::CipherRunner previousRun;
};

const std::pair<int, cryptui::RunKind> kCommands[] = {
    { app::kIdEncrypt, cryptui::RunKind::Encrypt },
    { app::kIdDecrypt, cryptui::RunKind::Decrypt },
};

TEST(CipherCommands, CancellingEitherDialogEndsTheCommandWithNothingChanged)
{
    for (const auto& [id, kind] : kCommands) {
        SCOPED_TRACE(id);
        ScriptedPrompts prompts;
        prompts.answers = { {}, { "/p/a.jpg", "/p/b.png" } }; // the open prompt cancelled, then answered
        ScriptedCommand command;
        Harness h;
        h.ui.SetStatusText("before");
        ASSERT_TRUE(h.Frame().IsCommandEnabled(id));

        ASSERT_TRUE(h.Frame().OnCommand(id));
        EXPECT_EQ(command.dialogs, 0);
        ASSERT_EQ(prompts.requests.size(), 1u);
        EXPECT_EQ(prompts.requests[0].mode, app::FilePromptRequest::OpenMany);
        EXPECT_EQ(prompts.requests[0].owner, &h.Frame());
        EXPECT_TRUE(prompts.requests[0].nameFilters.isEmpty()); // every file is offered

        ASSERT_TRUE(h.Frame().OnCommand(id)); // "Abbrechen" in the dialog
        EXPECT_EQ(command.dialogs, 1);
        EXPECT_EQ(command.owner, &h.Frame());
        EXPECT_EQ(command.rows, 2);

        EXPECT_TRUE(command.runs.empty());
        EXPECT_TRUE(h.ui.boxes.empty());
        EXPECT_EQ(h.ui.statusTexts, std::vector<std::string> { "before" });
    }
}

TEST(CipherCommands, OkRunsTheDialogsListPasswordAndDestination)
{
    for (const auto& [id, kind] : kCommands) {
        SCOPED_TRACE(id);
        ScriptedPrompts prompts;
        prompts.answers = { { "/p/a.jpg" }, { "/p/a.jpg", "/q/c.gif" } }; // the second answers "Add..."
        ScriptedCommand command;
        command.answer = [](CDecryptDlg& dialog) {
            dialog.findChild<QPushButton*>(QStringLiteral("id1053"))->click();
            dialog.findChild<QLineEdit*>(QStringLiteral("id1049"))->setText(QStringLiteral("secret"));
            dialog.findChild<QLineEdit*>(QStringLiteral("id1051"))->setText(QStringLiteral("/out"));
            dialog.findChild<QPushButton*>(QStringLiteral("id1"))->click();
        };
        Harness h;
        ASSERT_TRUE(h.Frame().OnCommand(id));
        ASSERT_EQ(command.runs.size(), 1u);
        EXPECT_EQ(command.runs[0].kind, kind);
        EXPECT_EQ(command.runs[0].files, (std::vector<std::string> { "/p/a.jpg", "/p/a.jpg", "/q/c.gif" }));
        EXPECT_EQ(command.runs[0].destination, "/out");
        EXPECT_EQ(command.runs[0].password, "secret");
    }
}

} // namespace
