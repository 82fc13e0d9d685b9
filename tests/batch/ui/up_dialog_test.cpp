#include "batch/ui/up_dialog.h"

#include "batch/batch_convert.h"
#include "support/test_support.h"

#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

using batch_ui::CUPDialog;
using namespace std::chrono_literals;

namespace {

// What the scripted worker does and saw; one run at a time.
struct Script {
    bool result = true;
    int holdAt = -1; // the item the worker stays inside until released
    std::atomic<int> started { 0 };
    std::atomic<bool> inHeldItem { false };
    std::atomic<bool> release { false };
    std::atomic<bool> ended { false };
};
Script* script = nullptr;

// Follows the worker contract: the stop flag is polled between items and before every report.
bool ScriptedWorker(batch::ProgressThreadData& data)
{
    for (int i = 0; i < data.rangeMax && !data.terminate; ++i) {
        if (data.MaySend())
            data.setText("item " + std::to_string(i));
        ++script->started;
        if (i == script->holdAt) {
            script->inHeldItem = true;
            while (!script->release)
                std::this_thread::sleep_for(1ms);
        }
        if (data.MaySend())
            data.setPosition(i + 1);
    }
    script->ended = true;
    return script->result;
}

template <typename T> T* Control(CUPDialog& d, int id)
{
    return d.Window()->findChild<T*>(QStringLiteral("id%1").arg(id));
}

// Runs `action` on the window once `ready` holds, from inside the modal loop.
void WhenReady(std::function<bool()> ready, std::function<void()> action)
{
    auto* timer = new QTimer;
    timer->setInterval(2);
    QObject::connect(timer, &QTimer::timeout, [timer, ready, action] {
        if (!ready())
            return;
        timer->stop();
        timer->deleteLater();
        action();
    });
    timer->start();
}

TEST(UPDialog, EndsWithTheWorkersCode)
{
    struct Case {
        bool result;
        int code;
    };
    for (const Case c : { Case { true, 1 }, Case { false, 2 } }) {
        Script s;
        s.result = c.result;
        script = &s;
        CUPDialog dialog(nullptr);
        dialog.SetWorker(&ScriptedWorker);
        EXPECT_EQ(dialog.DoModal(nullptr, 4), c.code);
        EXPECT_EQ(dialog.Window()->windowTitle(), QStringLiteral("Converting files, please wait..."));
        EXPECT_EQ(Control<QProgressBar>(dialog, CUPDialog::kIdProgress)->value(), 4);
        EXPECT_EQ(dialog.StatusHistory(), (QStringList { "", "item 0", "item 1", "item 2", "item 3" }));
        dialog.Cleanup();
        EXPECT_EQ(dialog.Window(), nullptr);
    }
}

TEST(UPDialog, CancelEscAndCloseStopBetweenItemsAndWaitForTheItemInHand)
{
    const std::function<void(QDialog*)> triggers[] = {
        [](QDialog* w) { w->findChild<QPushButton*>(QStringLiteral("id2"))->click(); },
        [](QDialog* w) { QTest::keyClick(w, Qt::Key_Escape); },
        [](QDialog* w) { w->close(); },
    };
    int which = 0;
    for (const auto& trigger : triggers) {
        Script s;
        s.holdAt = 2;
        script = &s;
        CUPDialog dialog(nullptr);
        dialog.SetWorker(&ScriptedWorker);
        dialog.SetStopWait(20ms);
        WhenReady([&s] { return s.inHeldItem.load(); }, [&] { trigger(dialog.Window()); });
        EXPECT_EQ(dialog.DoModal(nullptr, 10), 65538) << which;
        // The worker is still inside the third item: both termination texts were shown.
        EXPECT_EQ(dialog.StatusHistory(),
            (QStringList { "",
                "item 0",
                "item 1",
                "item 2",
                "Termination Initiated..",
                "Termination Complete ..Shutting Down !!" }))
            << which;
        EXPECT_FALSE(Control<QPushButton>(dialog, CUPDialog::kIdCancel)->isEnabled());
        EXPECT_EQ(Control<QProgressBar>(dialog, CUPDialog::kIdProgress)->value(), 2);
        EXPECT_FALSE(s.ended);

        // The clean-up returns only once the worker has finished its item; no fourth one starts.
        std::thread releaser([&s] {
            std::this_thread::sleep_for(30ms);
            s.release = true;
        });
        dialog.Cleanup();
        EXPECT_TRUE(s.ended) << which;
        EXPECT_EQ(s.started, 3) << which;
        releaser.join();
        ++which;
    }
}

TEST(UPDialog, RunsTheBatchWorkerToTheEnd)
{
    testing_support::TempDir dir;
    batch::BatchJob job;
    for (const char* name : { "a.png", "b.png", "c.png" }) {
        ASSERT_TRUE(testing_support::MakeTestImage(5, 4, 24).Save(dir.File(name), 4));
        job.files.push_back(dir.File(name));
    }
    std::filesystem::create_directory(dir.File("out"));
    job.destination = dir.File("out");
    job.imageType = 1;
    job.finishPause = 0ms;

    CUPDialog dialog(nullptr, &job, 3);
    EXPECT_EQ(dialog.DoModal(), 1);
    EXPECT_EQ(Control<QProgressBar>(dialog, CUPDialog::kIdProgress)->value(), 3);
    EXPECT_EQ(dialog.StatusHistory().mid(1),
        (QStringList { QString::fromStdString(job.files[0]),
            QString::fromStdString(job.files[1]),
            QString::fromStdString(job.files[2]) }));
    dialog.Cleanup();
    EXPECT_EQ(job.results,
        (batch::ConversionResults {
            { dir.File("out/a.bmp"), true }, { dir.File("out/b.bmp"), true }, { dir.File("out/c.bmp"), true } }));
}

} // namespace
