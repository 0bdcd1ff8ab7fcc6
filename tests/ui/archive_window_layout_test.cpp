#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QSplitter>
#include <QTableView>
#include <QTest>
#include <filesystem>

#include "tests/support/test_support.h"
#include "tests/ui/sample_archive.h"
#include "tests/ui/ui_test_support.h"
#include "ui/archive_dlg.h"
#include "ui/elided_label.h"
#include "ui/entry_preview_panel.h"

using namespace zok;

namespace {

using zokuitest::Click;
using zokuitest::Control;
using zokuitest::LabelText;
using zokuitest::Q;
using Dlg = CArchiveDlg;

QSettings ProgramSettings() {
    return QSettings(Q("zok-compressor"), Q("zok-compressor"));
}

void SelectEntry(Dlg& dlg, const QString& name) {
    for (int row = 0; row < dlg.Proxy().rowCount(); ++row) {
        if (dlg.Proxy().index(row, ArchiveModel::kName).data().toString() == name) {
            dlg.Table().selectRow(row);
        }
    }
    dlg.WaitForWork();
}

// Lets the window lay itself out again, as the event loop would.
void Settle() {
    for (int i = 0; i < 3; ++i) {
        QApplication::processEvents();
    }
}

class ArchiveWindowLayoutTest : public ::testing::Test {
protected:
    void SetUp() override {
        ProgramSettings().remove(Q(Dlg::kPreviewShareKey));
        archive = zokuitest::MakeSampleArchive(dir);
    }
    void TearDown() override {
        Dlg::CloseAll();
        ProgramSettings().remove(Q(Dlg::kPreviewShareKey));
    }
    Dlg& Show(QSize size) {
        Dlg* dlg = Dlg::Open(archive, prompts, nullptr);
        EXPECT_NE(dlg, nullptr);
        dlg->resize(size);
        EXPECT_TRUE(QTest::qWaitForWindowExposed(dlg));
        Settle();
        return *dlg;
    }

    zoktest::TempDir dir;
    zokuitest::ScriptedPrompts prompts;
    std::string archive;
};

// The preview keeps a third of the window for texts as for pictures, and a long path in the
// status bar is cut there, not by widening the window.
TEST_F(ArchiveWindowLayoutTest, ThePreviewKeepsAThirdAndNoTextWidensTheWindow) {
    const std::string longFolder = dir.File(std::string(60, 'x') + "/" + std::string(120, 'y'));
    std::filesystem::create_directories(longFolder);
    for (const QSize size : {QSize(800, 500), QSize(1600, 1000)}) {
        SCOPED_TRACE(size.width());
        Dlg& dlg = Show(size);
        SelectEntry(dlg, Q("한글.txt"));
        const int third = size.width() / 3;
        EXPECT_NEAR(dlg.Preview().width(), third, 20);
        auto* text = Control<QPlainTextEdit>(dlg.Preview(), EntryPreviewPanel::kIdText);
        EXPECT_TRUE(text->isVisible());
        EXPECT_GE(text->width(), dlg.Preview().width() - 2);

        prompts.folders.push_back(longFolder);
        Click(dlg, Dlg::kIdExtractAll);
        dlg.WaitForWork();
        Settle();
        EXPECT_EQ(dlg.width(), size.width());
        EXPECT_NEAR(dlg.Preview().width(), third, 20);
        auto* work = Control<ElidedLabel>(dlg, Dlg::kIdWorkStatus);
        EXPECT_EQ(work->text(),
                  Q("항목 5개를 ") + QString::fromStdString(longFolder) + Q("에 풀었습니다."));
        EXPECT_TRUE(work->ShownText().contains(QChar(0x2026))) << work->ShownText().toStdString();
        EXPECT_EQ(work->ToolTipText(), work->text());
        ASSERT_TRUE(QDir().mkpath(Q(ZOK_SCREENSHOT_DIR)));
        EXPECT_TRUE(dlg.grab().save(Q(ZOK_SCREENSHOT_DIR "/archive_window_%1x%2.png")
                                        .arg(size.width())
                                        .arg(size.height())));
        std::filesystem::remove_all(longFolder);
        std::filesystem::create_directories(longFolder);
        delete &dlg;
    }
}

// A share the user drags is kept for the next window.
TEST_F(ArchiveWindowLayoutTest, TheSplitterTheUserMovesIsRemembered) {
    Dlg& first = Show(QSize(900, 500));
    auto* splitter = first.findChild<QSplitter*>();
    ASSERT_NE(splitter, nullptr);
    QWidget* handle = splitter->handle(1);
    const QPoint grip(handle->width() / 2, handle->height() / 2);
    QTest::mousePress(handle, Qt::LeftButton, {}, grip);
    QTest::mouseMove(handle, grip - QPoint(200, 0));
    QTest::mouseRelease(handle, Qt::LeftButton, {}, grip - QPoint(200, 0));
    const double share = double(first.Preview().width()) / splitter->width();
    EXPECT_GT(share, 0.5);
    delete &first;

    Dlg& second = Show(QSize(1200, 700));
    auto* again = second.findChild<QSplitter*>();
    EXPECT_NEAR(double(second.Preview().width()) / again->width(), share, 0.02);
}

// The preview shows a selected entry only, and Enter (or a double click) opens the entry.
TEST_F(ArchiveWindowLayoutTest, ThePreviewFollowsTheSelectionAndEnterOpensTheEntry) {
    Dlg& dlg = Show(QSize(800, 500));
    SelectEntry(dlg, Q("한글.txt"));
    auto* text = Control<QPlainTextEdit>(dlg.Preview(), EntryPreviewPanel::kIdText);
    EXPECT_TRUE(text->isVisible());
    QTest::keyClicks(Control<QLineEdit>(dlg, Dlg::kIdFilter), Q("notes"));
    dlg.WaitForWork();
    EXPECT_FALSE(zokuitest::ButtonEnabled(dlg, Dlg::kIdExtract));
    EXPECT_FALSE(text->isVisible());
    EXPECT_EQ(LabelText(dlg.Preview(), EntryPreviewPanel::kIdCaption), QString());

    dlg.Table().selectRow(0);
    dlg.Table().setFocus();
    QTest::keyClick(&dlg.Table(), Qt::Key_Return);
    EXPECT_EQ(prompts.openedFiles.size(), 1u) << "Enter";
    const QRect row = dlg.Table().visualRect(dlg.Proxy().index(0, ArchiveModel::kName));
    // A double click is a click and then the double click's event.
    QTest::mouseClick(dlg.Table().viewport(), Qt::LeftButton, {}, row.center());
    QTest::mouseDClick(dlg.Table().viewport(), Qt::LeftButton, {}, row.center());
    ASSERT_EQ(prompts.openedFiles.size(), 2u);
    for (const std::string& opened : prompts.openedFiles) {
        EXPECT_EQ(std::filesystem::path(opened).filename(), "notes.txt");
        EXPECT_EQ(zoktest::ReadFile(opened), zoktest::TextBytes(3000));
    }
}

// 모두 아니요 keeps every remaining file with one answer, and the summary counts what was kept.
TEST_F(ArchiveWindowLayoutTest, NoToAllKeepsTheRestAndTheSummaryCountsThem) {
    const std::string folder = dir.File("out");
    std::filesystem::create_directories(folder);
    for (const char* name : {"notes.txt", "logo.png", "data.old", "한글.txt"}) {
        zoktest::WriteFile(folder + "/" + name, "mine");
    }
    Dlg& dlg = Show(QSize(800, 500));
    prompts.overwriteAnswers = {OverwriteAnswer::Yes, OverwriteAnswer::NoToAll};
    prompts.folders.push_back(folder);
    Click(dlg, Dlg::kIdExtractAll);
    dlg.WaitForWork();
    EXPECT_EQ(prompts.overwriteQuestions.size(), 2u);
    EXPECT_NE(zoktest::ReadFile(folder + "/notes.txt"), "mine");
    for (const char* kept : {"logo.png", "data.old", "한글.txt"}) {
        EXPECT_EQ(zoktest::ReadFile(folder + "/" + kept), "mine") << kept;
    }
    EXPECT_EQ(LabelText(dlg, Dlg::kIdWorkStatus), Q("항목 5개 중 2개를 ") +
                                                      QString::fromStdString(folder) +
                                                      Q("에 풀었습니다 (건너뜀 3개)."));
}

// The real question: four answers, each with its letter; O answers 모두 아니요.
TEST(UserPromptsTest, TheOverwriteQuestionAnswersByItsMnemonics) {
    QtUserPrompts real;
    QWidget parent;
    QStringList texts;
    zokuitest::WhenModal<QMessageBox>([&texts](QMessageBox& box) {
        for (QAbstractButton* button : box.buttons()) {
            texts << button->text();
        }
        QTest::keyClick(&box, Qt::Key_O);
    });
    EXPECT_EQ(real.AskOverwrite(parent, Q("a.txt\n파일이 이미 있습니다. 바꾸시겠습니까?")),
              OverwriteAnswer::NoToAll);
    texts.sort();
    EXPECT_EQ(texts,
              QStringList({Q("모두 아니요(&O)"), Q("모두 예(&A)"), Q("아니요(&N)"), Q("예(&Y)")}));
}

// Add's dialog takes a folder that is selected instead of entering it.
TEST(UserPromptsTest, TheAddDialogTakesFolders) {
    zoktest::TempDir dir;
    const std::string folder = dir.File("assets");
    std::filesystem::create_directories(folder);
    QtUserPrompts real;
    QWidget parent;
    zokuitest::WhenModal<QFileDialog>([&](QFileDialog& dialog) {
        dialog.setDirectory(QString::fromStdString(dir.Path().string()));
        dialog.selectFile(QString::fromStdString(folder));
        QMetaObject::invokeMethod(&dialog, "accept", Qt::DirectConnection);
    });
    EXPECT_EQ(real.AskInputFiles(parent, {Q("모든 파일(*.*) (*)")}),
              std::vector<std::string>{folder});
}

}  // namespace
