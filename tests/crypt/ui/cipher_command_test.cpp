#include "app/app_harness.h"
#include "app/command_table.h"
#include "crypt/ui/cipher_command.h"
#include "crypt/ui/decrypt_dlg.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

#include <gtest/gtest.h>

using app_testing::Harness;
using app_testing::ScriptedPrompts;
using cryptui::CDecryptDlg;

namespace {

struct RunCall {
    cipher::CipherRunKind kind;
    std::vector<std::string> files;
    std::string destination;
    std::string password;
};

// Each command three times: the open prompt cancelled, the dialog cancelled, then the dialog
// extended with "Add..." and answered with OK. The run itself is recorded, not carried out.
TEST(CipherCommands, CancelledAtEitherDialogNothingHappensAndOkRunsTheDialogsInputs)
{
    const std::pair<int, cipher::CipherRunKind> commands[]
        = { { app::kIdEncrypt, cipher::CipherRunKind::Encrypt }, { app::kIdDecrypt, cipher::CipherRunKind::Decrypt } };
    for (const auto& [id, kind] : commands) {
        SCOPED_TRACE(id);
        ScriptedPrompts prompts;
        prompts.answers = { {}, { "/p/a.jpg", "/p/b.png" }, { "/p/a.jpg" }, { "/p/a.jpg", "/q/c.gif" } };
        bool pressOk = false;
        std::vector<QWidget*> dialogOwners;
        const auto previousDialog = cryptui::SetDialogRunner([&](CDecryptDlg& dialog) {
            dialog.show();
            dialogOwners.push_back(dialog.parentWidget());
            auto button = [&dialog](int id) { return dialog.findChild<QPushButton*>(CDecryptDlg::ControlName(id)); };
            if (pressOk) {
                button(1053)->click();
                dialog.findChild<QLineEdit*>(QStringLiteral("id1049"))->setText(QStringLiteral("secret"));
                dialog.findChild<QLineEdit*>(QStringLiteral("id1051"))->setText(QStringLiteral("/out"));
                button(1)->click();
            } else {
                EXPECT_EQ(dialog.findChild<QTableWidget*>(QStringLiteral("id1000"))->rowCount(), 2);
                button(2)->click();
            }
            return dialog.result();
        });
        std::vector<RunCall> runs;
        const auto previousRun = cryptui::SetCipherRunner(
            [&](cipher::CipherRunKind k, const auto& files, const auto& destination, const auto& password, core::Ui&) {
                runs.push_back({ k, files, destination, password });
                return batch::ConversionResults();
            });
        Harness h;
        h.ui.SetStatusText("before");
        ASSERT_TRUE(h.Frame().IsCommandEnabled(id));

        ASSERT_TRUE(h.Frame().OnCommand(id)); // the open prompt cancelled
        EXPECT_TRUE(dialogOwners.empty());
        ASSERT_EQ(prompts.requests.size(), 1u);
        EXPECT_EQ(prompts.requests[0].mode, app::FilePromptRequest::OpenMany);
        EXPECT_EQ(prompts.requests[0].owner, &h.Frame());
        EXPECT_TRUE(prompts.requests[0].nameFilters.isEmpty()); // every file is offered

        ASSERT_TRUE(h.Frame().OnCommand(id)); // "Abbrechen"
        EXPECT_EQ(dialogOwners, std::vector<QWidget*> { &h.Frame() });
        EXPECT_TRUE(runs.empty());
        EXPECT_TRUE(h.ui.boxes.empty());
        EXPECT_EQ(h.ui.statusTexts, std::vector<std::string> { "before" });

        pressOk = true;
        ASSERT_TRUE(h.Frame().OnCommand(id));
        ASSERT_EQ(runs.size(), 1u);
        EXPECT_EQ(runs[0].kind, kind);
        EXPECT_EQ(runs[0].files, (std::vector<std::string> { "/p/a.jpg", "/p/a.jpg", "/q/c.gif" }));
        EXPECT_EQ(runs[0].destination, "/out");
        EXPECT_EQ(runs[0].password, "secret");

        cryptui::SetDialogRunner(previousDialog);
        cryptui::SetCipherRunner(previousRun);
    }
}

} // namespace
