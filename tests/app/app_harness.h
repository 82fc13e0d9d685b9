#pragma once

// The desktop program started as the tests need it: no pause, a scripted Ui, settings of the
// test run's own, and file prompts answered from a script.

#include "app/child_frame.h"
#include "app/doc_manager.h"
#include "app/export_image_file_dlg.h"
#include "app/file_prompt.h"
#include "app/main_frame.h"
#include "app/varden_app.h"
#include "app/varden_view.h"

#include "support/scripted_ui.h"
#include "support/test_support.h"

#include <QApplication>
#include <QMdiArea>
#include <QSettings>

#include <gtest/gtest.h>

#include <deque>
#include <memory>

namespace app_testing {

inline void ClearSettings()
{
    QSettings settings(QString::fromLatin1(app::CVardenApp::kSettingsOrganization),
        QString::fromLatin1(app::CVardenApp::kSettingsApplication));
    settings.clear();
    settings.sync();
}

/// Saves `image` as `name` in `dir` (type from the extension) and answers the full path.
inline QString WriteImage(
    const testing_support::TempDir& dir, const std::string& name, codec::CxImage image, std::uint32_t type = 4)
{
    const std::string path = dir.File(name);
    EXPECT_TRUE(image.Save(path, type)) << image.GetLastError();
    return QString::fromStdString(path);
}

/// Answers file prompts from a queue and records each request.
class ScriptedPrompts {
public:
    ScriptedPrompts()
    {
        previous_ = app::SetFilePrompter([this](const app::FilePromptRequest& request) {
            requests.push_back(request);
            if (answers.empty())
                return QStringList();
            QStringList answer = answers.front();
            answers.pop_front();
            return answer;
        });
    }
    ~ScriptedPrompts() { app::SetFilePrompter(previous_); }

    std::deque<QStringList> answers; ///< an empty list cancels
    std::vector<app::FilePromptRequest> requests;

private:
    app::FilePrompter previous_;
};

/// Answers the conversion options dialog: cancelled unless `answer` is set; restores the real
/// dialog on destruction.
struct ScriptedOptions {
    ScriptedOptions()
    {
        previous_
            = app::SetOptionsPrompter([this](QWidget*, const codec::CxImage& image, std::uint32_t type, core::Ui&) {
                  asked.push_back(type);
                  if (!answer)
                      return std::optional<core::ConversionOptions>();
                  core::ConversionOptions o = *answer;
                  o.targetType = type;
                  if (o.width == 0)
                      o.width = image.GetWidth(), o.height = image.GetHeight();
                  return std::optional<core::ConversionOptions>(o);
              });
    }
    ~ScriptedOptions() { app::SetOptionsPrompter(std::move(previous_)); }
    ScriptedOptions(const ScriptedOptions&) = delete;
    ScriptedOptions& operator=(const ScriptedOptions&) = delete;

    std::optional<core::ConversionOptions> answer;
    std::vector<std::uint32_t> asked;

private:
    app::OptionsPrompter previous_;
};

/// The application after start-up with the given command line.
struct Harness {
    explicit Harness(QStringList arguments = { QStringLiteral("pelmora") }, bool clearSettings = true)
    {
        if (clearSettings)
            ClearSettings();
        app = std::make_unique<app::CVardenApp>(&ui);
        started = app->InitInstance(0, arguments);
        QApplication::processEvents();
    }

    app::CMainFrame& Frame() { return *app->MainFrame(); }
    app::CDocManager& Docs() { return app->DocManager(); }
    app::CVardenView* ActiveView() { return app->MainFrame()->ActiveView(); }
    app::OpenDocument* Open(const QString& path)
    {
        app::OpenDocument* doc = app->OpenDocumentFile(path);
        QApplication::processEvents();
        return doc;
    }
    void Activate(app::OpenDocument* doc)
    {
        ASSERT_FALSE(doc->Views().isEmpty());
        QWidget* w = doc->Views().first();
        while (w && !qobject_cast<app::CChildFrame*>(w))
            w = w->parentWidget();
        ASSERT_NE(w, nullptr);
        Frame().MdiArea()->setActiveSubWindow(qobject_cast<app::CChildFrame*>(w));
        QApplication::processEvents();
    }

    ScriptedOptions options;
    testing_support::ScriptedUi ui;
    std::unique_ptr<app::CVardenApp> app;
    bool started = false;
};

} // namespace app_testing
