// The archive window changes its archive through the library's update: files dropped on it are
// added or replace their entries as the user answers, the Delete key deletes the selected
// entries, and the table shows the archive written.

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QTableView>
#include <QTest>
#include <QUrl>

#include "tests/support/test_support.h"
#include "tests/ui/ui_test_support.h"
#include "ui/archive_dlg.h"
#include "zok/build_archive.h"
#include "zok/zok_file.h"

using namespace zok;

namespace {

QStringList Names(CArchiveDlg& dlg) {
    QStringList names;
    for (const EntryRow& row : dlg.Model().Rows()) {
        names << QString::fromStdString(row.name);
    }
    return names;
}

TEST(ArchiveWindowChange, DroppedFilesAreAddedAndSelectedEntriesDeleted) {
    zoktest::TempDir dir;
    for (const char* name : {"a.txt", "b.txt"}) {
        zoktest::WriteFile(dir.File(name), std::string(100, name[0]));
    }
    const std::string archive = dir.File("x.zok");
    ASSERT_TRUE(BuildArchive({dir.File("a.txt"), dir.File("b.txt")}, archive, nullptr));
    zokuitest::ScriptedPrompts prompts;
    CArchiveDlg* dlg = CArchiveDlg::Open(archive, prompts, nullptr);
    ASSERT_NE(dlg, nullptr);

    // A drop from a file manager: a.txt changed (its replacing is asked), c.txt new.
    zoktest::WriteFile(dir.File("a.txt"), "changed");
    zoktest::WriteFile(dir.File("c.txt"), "new");
    prompts.answers = {true};
    prompts.overwriteAnswers = {OverwriteAnswer::Yes};
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(dir.File("a.txt"))),
                  QUrl::fromLocalFile(QString::fromStdString(dir.File("c.txt")))});
    // Qt delivers a drop only to the widget that accepted the drag's entering.
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(dlg, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(dlg, &drop);
    dlg->WaitForWork();
    ASSERT_EQ(prompts.overwriteQuestions.size(), 1u);
    EXPECT_TRUE(prompts.overwriteQuestions[0].startsWith(QStringLiteral("\"a.txt\"")));
    EXPECT_EQ(Names(*dlg), (QStringList{"a.txt", "b.txt", "c.txt"}));
    const std::string full = dir.File("full.zok");
    ASSERT_TRUE(
        BuildArchive({dir.File("a.txt"), dir.File("b.txt"), dir.File("c.txt")}, full, nullptr));
    EXPECT_EQ(zoktest::ReadFile(archive), zoktest::ReadFile(full));

    // The Delete key on the selected row, answered 예.
    prompts.answers = {true};
    dlg->Table().selectRow(1);
    dlg->Table().setFocus();
    QTest::keyClick(&dlg->Table(), Qt::Key_Delete);
    dlg->WaitForWork();
    EXPECT_EQ(Names(*dlg), (QStringList{"a.txt", "c.txt"}));
    EXPECT_EQ(CZokFile(archive).Count(), 2u);
    EXPECT_TRUE(prompts.messages.empty()) << prompts.messages[0].toStdString();
    CArchiveDlg::CloseAll();
}

}  // namespace
