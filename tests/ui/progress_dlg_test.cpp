#include <QLineEdit>
#include <QProgressBar>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "job/formatting.h"
#include "tests/support/test_support.h"
#include "tests/ui/ui_test_support.h"
#include "ui/output_name_dlg.h"
#include "ui/progress_dlg.h"
#include "ui/zok_compressor_dlg.h"
#include "zok/zok_file.h"

using namespace zok;

namespace {

using zokuitest::ButtonEnabled;
using zokuitest::Click;
using zokuitest::LabelText;
using zokuitest::Q;
using zokuitest::ScriptedPrompts;

using Dlg = CZokCompressorDlg;
using Progress = CProgressDlg;

// What the progress window showed at one moment.
struct Shown {
    QString status, files, bytes, archive, current, cancel;
    int bar = -1;
    bool compress = false, cancelEnabled = false;
    bool statusWhole = false;  // the status label is wide enough for its text
};

Shown Snapshot(Progress& p) {
    Shown s;
    s.status = LabelText(p, Progress::kIdStatus);
    const auto* status = zokuitest::Control<QLabel>(p, Progress::kIdStatus);
    s.statusWhole = status->width() >= status->fontMetrics().horizontalAdvance(status->text());
    s.files = LabelText(p, Progress::kIdFileCounter);
    s.bytes = LabelText(p, Progress::kIdByteCounter);
    s.archive = LabelText(p, Progress::kIdArchiveSize);
    s.current = LabelText(p, Progress::kIdCurrentFile);
    s.cancel = zokuitest::Control<QPushButton>(p, kIdCancel)->text();
    s.bar = zokuitest::Control<QProgressBar>(p, Progress::kIdProgress)->value();
    s.compress = ButtonEnabled(p, Progress::kIdCompress);
    s.cancelEnabled = ButtonEnabled(p, kIdCancel);
    return s;
}

// Answers the next output name dialog by typing text (empty: closes it with Escape).
void AnswerName(const std::string& text) {
    zokuitest::WhenModal<COutputNameDlg>([text](COutputNameDlg& dlg) {
        if (text.empty()) {
            QTest::keyClick(&dlg, Qt::Key_Escape);
            return;
        }
        QTest::keyClicks(zokuitest::Control<QLineEdit>(dlg, COutputNameDlg::kIdFileName),
                         QString::fromStdString(text));
        Click(dlg, kIdOk);
    });
}

// Waits (running the event loop) until the build has ended.
void WaitUntilBuilt(Progress& p) {
    EXPECT_TRUE(QTest::qWaitFor(
        [&p] {
            const JobState state = p.Job().GetState();
            return state != JobState::Running && state != JobState::Cancelling;
        },
        30000));
}

class ProgressDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        a = dir.File("a.txt");
        b = dir.File("b.txt");
        zoktest::WriteFile(a, zoktest::TextBytes(1500));
        zoktest::WriteFile(b, zoktest::RandomBytes(2500));
    }
    // A main window listing a and b.
    std::unique_ptr<Dlg> MainWithTwoFiles() {
        auto dlg = std::make_unique<Dlg>(prompts);
        prompts.inputFiles.push_back({a, b});
        Click(*dlg, Dlg::kIdAdd);
        dlg->show();
        return dlg;
    }
    // Presses Compress in the main window; inside runs in the progress window it opens.
    void CompressFrom(Dlg& dlg, std::function<void(Progress&)> inside) {
        zokuitest::WhenModal<Progress>([inside](Progress& p) {
            inside(p);
            if (p.isVisible()) {
                Click(p, kIdCancel);
            }
        });
        Click(dlg, Dlg::kIdCompress);
    }

    zoktest::TempDir dir;
    ScriptedPrompts prompts;
    std::string a, b;
};

TEST_F(ProgressDlgTest, OpensWithTheLayoutTextsAndClosingWritesNothing) {
    auto dlg = MainWithTwoFiles();
    Shown opened;
    QString title;
    CompressFrom(*dlg, [&](Progress& p) {
        opened = Snapshot(p);
        title = p.windowTitle();
        QTest::keyClick(&p, Qt::Key_Escape);
    });
    EXPECT_EQ(title, Q("ZOK Compressor"));
    EXPECT_EQ(opened.status, Q("대기 중..."));
    EXPECT_EQ(opened.files, Q("0 / 0"));
    EXPECT_EQ(opened.bytes, Q("0 byte / 0 byte"));
    EXPECT_EQ(opened.archive, Q("0 byte"));
    EXPECT_EQ(opened.current, Q(""));
    EXPECT_EQ(opened.bar, 0);
    EXPECT_EQ(opened.cancel, Q("Cancel"));
    EXPECT_TRUE(opened.compress);
    EXPECT_TRUE(opened.cancelEnabled);
    EXPECT_EQ(zoktest::CountIn(dir.Path()), 2u);
    EXPECT_EQ(dlg->FileCount(), 2);
    EXPECT_TRUE(ButtonEnabled(*dlg, Dlg::kIdCompress));
}

TEST_F(ProgressDlgTest, AWholeCompressionWritesTheArchiveAndKeepsTheList) {
    auto dlg = MainWithTwoFiles();
    const std::string out = dir.File("result");
    prompts.answers.push_back(true);
    Shown finished;
    bool compressClickedAgainChangesNothing = false;
    CompressFrom(*dlg, [&](Progress& p) {
        AnswerName(out);
        Click(p, Progress::kIdCompress);
        WaitUntilBuilt(p);
        finished = Snapshot(p);
        // A finished job cannot be started again, not even by Enter.
        QTest::keyClick(&p, Qt::Key_Return);
        compressClickedAgainChangesNothing = prompts.questions.size() == 1 && p.isVisible();
        Click(p, kIdCancel);
    });

    ASSERT_EQ(prompts.questions.size(), 1u);
    EXPECT_EQ(prompts.questions[0],
              QString::fromStdString("압축을 시작하여, " + out +
                                     ".zok파일에 압축된 결과를 저장합니다.\n"));
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_TRUE(compressClickedAgainChangesNothing);
    const std::string archive = out + ".zok";
    ASSERT_TRUE(zoktest::FileExists(archive));
    EXPECT_EQ(finished.status, Q("압축 종료"));
    EXPECT_EQ(finished.files, Q("2 / 2"));
    EXPECT_EQ(finished.bytes, Q("4,000 byte / 4,000 byte"));
    EXPECT_EQ(finished.archive,
              QString::fromStdString(FormatNumber(uint32_t(std::filesystem::file_size(archive))) +
                                     " byte"));
    EXPECT_EQ(finished.current, Q("b.txt"));
    EXPECT_EQ(finished.bar, 100);
    EXPECT_FALSE(finished.compress);
    EXPECT_TRUE(finished.cancelEnabled);
    EXPECT_EQ(finished.cancel, Q("OK"));

    const zoktest::CommandResult check = zoktest::RunProgram({zoktest::ZokPath(), "test", archive});
    EXPECT_EQ(check.exitStatus, 0) << check.out << check.err;

    CZokFile zok(archive);
    ASSERT_EQ(zok.Count(), 2u);
    EXPECT_EQ(zok.Record(0).name, "a.txt");
    EXPECT_EQ(zok.Record(1).name, "b.txt");
    for (const std::string& path : {a, b}) {
        const std::string name = std::filesystem::path(path).filename().string();
        std::string content(zok.GetEntrySize(name), '\0');
        ASSERT_TRUE(zok.ExtractEntry(name, reinterpret_cast<uint8_t*>(content.data())));
        EXPECT_EQ(content, zoktest::ReadFile(path)) << name;
    }

    // The main window is as it was.
    EXPECT_EQ(dlg->FileCount(), 2);
    EXPECT_EQ(dlg->TotalSize(), 4000u);
    EXPECT_EQ(dlg->List().count(), 2);
    EXPECT_TRUE(ButtonEnabled(*dlg, Dlg::kIdCompress));
}

TEST_F(ProgressDlgTest, AnEmptyNameOnlyResetsTheCountersAndDecliningWritesNothing) {
    auto dlg = MainWithTwoFiles();
    const std::string out = dir.File("declined");
    prompts.answers.push_back(false);
    Shown afterEmptyName, afterDecline, afterSecondEmptyName;
    bool stayedOpenDuringQuestion = false;
    prompts.duringQuestion = [&](QWidget& asker) {
        // Escape cannot close the window while the question is open.
        QTest::keyClick(&asker, Qt::Key_Escape);
        stayedOpenDuringQuestion = asker.isVisible() && !ButtonEnabled(asker, kIdCancel);
    };
    CompressFrom(*dlg, [&](Progress& p) {
        AnswerName("");
        Click(p, Progress::kIdCompress);
        afterEmptyName = Snapshot(p);
        AnswerName(out);
        Click(p, Progress::kIdCompress);
        afterDecline = Snapshot(p);
        AnswerName("");
        Click(p, Progress::kIdCompress);
        afterSecondEmptyName = Snapshot(p);
    });
    EXPECT_EQ(afterEmptyName.status, Q("대기 중..."));
    EXPECT_EQ(afterEmptyName.files, Q("0 / 2"));
    EXPECT_EQ(afterEmptyName.bytes, Q("0 byte / 4,000 byte"));
    EXPECT_EQ(afterEmptyName.current, Q(""));
    EXPECT_TRUE(afterEmptyName.compress);
    EXPECT_TRUE(afterEmptyName.cancelEnabled);

    EXPECT_TRUE(stayedOpenDuringQuestion);
    EXPECT_EQ(afterDecline.status, Q("압축 중..."));
    EXPECT_EQ(afterDecline.current, Q("a.txt"));
    EXPECT_TRUE(afterDecline.compress);
    EXPECT_TRUE(afterDecline.cancelEnabled);
    EXPECT_EQ(afterDecline.bar, 0);
    EXPECT_EQ(afterSecondEmptyName.status, Q("압축 중..."));
    EXPECT_EQ(afterSecondEmptyName.files, Q("0 / 2"));
    EXPECT_EQ(prompts.questions.size(), 1u);
    EXPECT_FALSE(zoktest::FileExists(out + ".zok"));
    EXPECT_EQ(dlg->FileCount(), 2);
}

TEST_F(ProgressDlgTest, AnInputGoneBeforeTheBuildIsReportedAndNothingIsWritten) {
    auto dlg = MainWithTwoFiles();
    std::filesystem::remove(b);
    const std::string out = dir.File("broken");
    prompts.answers.push_back(true);
    Shown finished;
    CompressFrom(*dlg, [&](Progress& p) {
        AnswerName(out);
        Click(p, Progress::kIdCompress);
        WaitUntilBuilt(p);
        finished = Snapshot(p);
    });
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_TRUE(prompts.messages[0].contains(QString::fromStdString(b)));
    EXPECT_EQ(finished.status, Q("압축하지 못했습니다."));
    EXPECT_TRUE(finished.statusWhole) << "the status line shows its whole text";
    EXPECT_EQ(finished.cancel, Q("OK"));
    EXPECT_TRUE(finished.cancelEnabled);
    EXPECT_FALSE(finished.compress);
    EXPECT_FALSE(zoktest::FileExists(out + ".zok"));
    EXPECT_EQ(dlg->FileCount(), 2);
}

// The progress window of a job that packs one large file, shown in front of main.
class LargeFileTest : public ProgressDlgTest {
protected:
    void SetUp() override {
        large = dir.File("large.bin");
        // Incompressible: the deflate codec takes a while over it, reading it in pieces.
        zoktest::WriteFile(large, zoktest::RandomBytes(24 << 20));
        main.resize(200, 100);
        main.show();
        const char* paths[] = {large.c_str()};
        progress.SetJob(1, uint32_t(24 << 20), paths);
        progress.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&progress));
    }
    // Starts the build and samples the window on a timer until the build has ended.
    void StartAndWatch(std::function<void()> onBarMoved = nullptr) {
        QTimer sampler;
        QObject::connect(&sampler, &QTimer::timeout, [&] {
            if (progress.Job().GetState() != JobState::Running) {
                return;
            }
            const Shown now = Snapshot(progress);
            timerTicks += 1;
            if (now.bar > 0 && now.bar < 100 && now.files == Q("0 / 1")) {
                barMovedWithinTheFile = true;
                cancelEnabledWhileRunning = now.cancelEnabled;
                if (onBarMoved) {
                    onBarMoved();
                    onBarMoved = nullptr;
                }
            }
        });
        sampler.start(10);
        prompts.answers.push_back(true);
        AnswerName(dir.File("out"));
        Click(progress, Progress::kIdCompress);
        WaitUntilBuilt(progress);
    }
    size_t FilesInDir() const { return zoktest::CountIn(dir.Path()); }

    std::string large;
    QWidget main;
    Progress progress{main, prompts};
    int timerTicks = 0;
    bool barMovedWithinTheFile = false;
    bool cancelEnabledWhileRunning = false;
};

TEST_F(LargeFileTest, TheWindowRunsWhileTheBuilderWorksAndTheBarMovesWithinTheFile) {
    StartAndWatch();
    EXPECT_GT(timerTicks, 1) << "the event loop ran during the build";
    EXPECT_TRUE(barMovedWithinTheFile);
    EXPECT_TRUE(cancelEnabledWhileRunning);
    EXPECT_EQ(Snapshot(progress).status, Q("압축 종료"));
    EXPECT_EQ(Snapshot(progress).bar, 100);
    EXPECT_TRUE(zoktest::FileExists(dir.File("out.zok")));
}

TEST_F(LargeFileTest, CancelStopsTheBuildClosesTheWindowAndLeavesNothing) {
    StartAndWatch([this] { Click(progress, kIdCancel); });
    EXPECT_TRUE(barMovedWithinTheFile);
    EXPECT_EQ(progress.Job().GetState(), JobState::Finished);
    EXPECT_FALSE(progress.isVisible()) << "the window closed when the builder had stopped";
    EXPECT_EQ(FilesInDir(), 1u) << "only the input is left";
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(ProgressDlgTest, TheBarStaysWithinItsRange) {
    QWidget main;
    Progress p(main, prompts);
    auto* bar = zokuitest::Control<QProgressBar>(p, Progress::kIdProgress);
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 100);
    p.SetBarPosition(38);
    EXPECT_EQ(bar->value(), 38);
    p.SetBarPosition(250);
    EXPECT_EQ(bar->value(), 100);
    p.SetBarPosition(-3);
    EXPECT_EQ(bar->value(), 0);
}

}  // namespace
