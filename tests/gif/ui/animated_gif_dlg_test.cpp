// "Animate GIF Sequence": adding, ordering and removing frames, the checks on Create and on the
// fields, and the preview.

#include "app/file_prompt.h"
#include "gif/gif_builder.h"
#include "gif/ui/animated_gif_dlg.h"
#include "support/scripted_ui.h"
#include "support/test_support.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>

#include <gtest/gtest.h>

#include <deque>
#include <mutex>
#include <thread>

namespace {

using testing_support::ScriptedUi;
using testing_support::TempDir;

/// Answers the file prompts from a queue.
struct Prompts {
    Prompts()
    {
        previous = app::SetFilePrompter([this](const app::FilePromptRequest&) {
            QStringList a = answers.empty() ? QStringList() : answers.front();
            if (!answers.empty())
                answers.pop_front();
            return a;
        });
    }
    ~Prompts() { app::SetFilePrompter(previous); }
    std::deque<QStringList> answers;
    app::FilePrompter previous;
};

template <class W> W* Control(QWidget& dialog, int id)
{
    return dialog.findChild<W*>(QStringLiteral("id%1").arg(id));
}

std::string Gif(const TempDir& dir, const std::string& name, std::uint32_t w = 16, std::uint32_t h = 12)
{
    codec::CxImage image(w, h, 8);
    const std::string path = dir.File(name);
    EXPECT_TRUE(image.Save(path, codec::kTypeGif));
    return path;
}

using D = gif_ui::CAnimatedGifDlg;

std::vector<std::string> Column(QWidget& dialog, int column)
{
    std::vector<std::string> texts;
    auto* list = Control<QTableWidget>(dialog, D::kIdFrameList);
    for (int r = 0; r < list->rowCount(); ++r)
        texts.push_back(list->item(r, column)->text().toStdString());
    return texts;
}

TEST(CAnimatedGifDlg, AddsGifsWithTheirDelaysAndReordersThem)
{
    TempDir dir;
    const std::string a = Gif(dir, "a.gif"), b = Gif(dir, "b.gif"), c = Gif(dir, "c.gif"), d = Gif(dir, "d.gif");
    Prompts prompts;
    ScriptedUi ui;
    D dialog(nullptr, ui);
    auto* delay = Control<QLineEdit>(dialog, D::kIdFrameDelay);
    EXPECT_EQ(delay->text(), QStringLiteral("22"));
    prompts.answers = { { QString::fromStdString(a), QStringLiteral("/x/photo.png") },
        { QString::fromStdString(b) },
        { QString::fromStdString(c) } };
    dialog.OnAddGif();
    delay->setText(QStringLiteral("50"));
    dialog.OnAddGif();
    delay->setText(QStringLiteral("22"));
    dialog.OnAddGif();
    EXPECT_EQ(Column(dialog, 2), (std::vector<std::string> { "22", "50", "22" })) << "the PNG is skipped";
    EXPECT_EQ(Column(dialog, 0), (std::vector<std::string> { "a.gif", "b.gif", "c.gif" }));

    // The third row moved up twice becomes the first frame; the list behind the rows follows.
    auto* list = Control<QTableWidget>(dialog, D::kIdFrameList);
    list->selectRow(2);
    dialog.OnRowUp();
    dialog.OnRowUp();
    dialog.OnRowUp(); // already first: nothing
    EXPECT_EQ(Column(dialog, 0), (std::vector<std::string> { "c.gif", "a.gif", "b.gif" }));
    EXPECT_EQ(dialog.Frames()[0].path, c);
    list->selectRow(2);
    dialog.OnRowDown(); // already last: nothing
    EXPECT_EQ(dialog.Frames()[2].path, b);

    // Delete removes the selected row, the others keep their order.
    prompts.answers = { { QString::fromStdString(d) } };
    dialog.OnAddGif();
    list->selectRow(1);
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
    QApplication::sendEvent(list, &del);
    EXPECT_EQ(Column(dialog, 0), (std::vector<std::string> { "c.gif", "b.gif", "d.gif" }));
}

TEST(CAnimatedGifDlg, ChecksOnCreateAndOnTheFields)
{
    TempDir dir;
    Prompts prompts;
    ScriptedUi ui;
    D dialog(nullptr, ui);
    auto lastText = [&ui] { return ui.boxes.empty() ? std::string() : ui.boxes.back().text; };
    dialog.OnCreate();
    EXPECT_EQ(lastText(), gif::kTooFewFilesMessage);
    prompts.answers = { { QString::fromStdString(Gif(dir, "a.gif")), QString::fromStdString(Gif(dir, "b.gif")) } };
    dialog.OnAddGif();
    dialog.OnCreate();
    EXPECT_EQ(lastText(), gif::kNoDestinationMessage);

    prompts.answers = { { QString::fromStdString(dir.File("out.gif")) } };
    dialog.OnBrowse();
    struct Case {
        const char* loops;
        const char* delay;
        std::string message; ///< empty: accepted
    } cases[] = {
        { "0", "22", gif::kLoopRangeMessage },
        { "101", "22", gif::kLoopRangeMessage },
        { "x", "22", "Please enter an integer." },
        { "3", "-1", "Please enter a positive integer." },
        { "3", "22", "" },
    };
    for (const Case& c : cases) {
        ui.boxes.clear();
        Control<QLineEdit>(dialog, D::kIdLoopCount)->setText(QString::fromLatin1(c.loops));
        Control<QLineEdit>(dialog, D::kIdFrameDelay)->setText(QString::fromLatin1(c.delay));
        EXPECT_EQ(dialog.UpdateData(true), c.message.empty()) << c.loops << " " << c.delay;
        EXPECT_EQ(lastText(), c.message) << "checked also while Infinite is selected";
    }
    Control<QRadioButton>(dialog, D::kIdLimitTo)->click();
    EXPECT_TRUE(Control<QLineEdit>(dialog, D::kIdLoopCount)->isEnabled());
    dialog.OnCreate();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.LoopCount(), 3);
    EXPECT_EQ(gif::EncoderLoopValue(dialog.LoopCount()), 4);
    EXPECT_EQ(dialog.Destination(), dir.File("out.gif"));

    D infinite(nullptr, ui);
    prompts.answers = { { QString::fromStdString(dir.File("a.gif")), QString::fromStdString(dir.File("b.gif")) },
        { QString::fromStdString(dir.File("out.gif")) } };
    infinite.OnAddGif();
    infinite.OnBrowse();
    infinite.OnCreate();
    EXPECT_EQ(infinite.LoopCount(), -1);
}

TEST(CAnimatedGifDlg, PreviewStartsAtTheSecondFrameAndFitsLargeFrames)
{
    TempDir dir;
    Prompts prompts;
    ScriptedUi ui;
    D dialog(nullptr, ui);
    dialog.OnPlay();
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, gif::kTooFewPreviewFramesMessage);

    auto* delay = Control<QLineEdit>(dialog, D::kIdFrameDelay);
    const std::string small = Gif(dir, "small.gif"), large = Gif(dir, "large.gif", 640, 480);
    for (auto [path, d] : { std::pair { small, "22" }, std::pair { large, "50" }, std::pair { small, "22" } }) {
        delay->setText(QString::fromLatin1(d));
        prompts.answers = { { QString::fromStdString(path) } };
        dialog.OnAddGif();
    }
    std::mutex m;
    std::vector<std::uint32_t> waits;
    dialog.SetPreviewWaitObserver([&](std::uint32_t ms) {
        std::lock_guard lock(m);
        waits.push_back(ms);
    });
    dialog.OnPlay();
    EXPECT_TRUE(dialog.IsPreviewing());
    EXPECT_FALSE(Control<QPushButton>(dialog, D::kIdPlay)->isEnabled());
    EXPECT_TRUE(Control<QPushButton>(dialog, D::kIdStop)->isEnabled());
    const QSize area = Control<QWidget>(dialog, D::kIdPreview)->size();
    ASSERT_EQ(dialog.PreviewImages().size(), 3u);
    EXPECT_EQ(dialog.PreviewImages()[1].GetWidth(), static_cast<std::uint32_t>(area.width()));
    EXPECT_EQ(dialog.PreviewImages()[1].GetHeight(), static_cast<std::uint32_t>(area.height()));
    EXPECT_EQ(dialog.PreviewImages()[0].GetWidth(), 16u) << "smaller frames stay as they are";
    for (int i = 0; i < 300; ++i) {
        {
            std::lock_guard lock(m);
            if (waits.size() >= 2)
                break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    dialog.StopPreview();
    ASSERT_GE(waits.size(), 2u);
    EXPECT_EQ(waits[0], 500u) << "the second frame first, for 500 ms";
    EXPECT_EQ(waits[1], 220u);
    EXPECT_FALSE(dialog.IsPreviewing());
    EXPECT_TRUE(Control<QPushButton>(dialog, D::kIdPlay)->isEnabled());
}

} // namespace
