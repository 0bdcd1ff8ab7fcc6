// The archive window's work as a user meets it: rows dragged out with the mouse, 검사 decoding
// pictures, an upgrade cancelled, and windows closed while their work runs.

#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QPointer>
#include <QTableView>
#include <QTest>
#include <QUrl>
#include <filesystem>
#include <map>
#include <set>

#include "tests/archive/handmade_archive.h"
#include "tests/support/test_support.h"
#include "tests/ui/sample_archive.h"
#include "tests/ui/ui_test_support.h"
#include "ui/archive_dlg.h"
#include "zok/zok_file.h"

using namespace zok;

namespace {

using zoktest::NamesIn;
using zokuitest::Click;
using zokuitest::LabelText;
using zokuitest::Q;
using zokuitest::ScriptedPrompts;
using Dlg = CArchiveDlg;
namespace fs = std::filesystem;

// Remembers what every drag carried when Qt lets go of it (the drag object goes with a deferred
// delete once its exec has returned, on a platform with a drag loop or without one).
class DragWatcher : public QObject {
public:
    DragWatcher() { qApp->installEventFilter(this); }
    ~DragWatcher() override { qApp->removeEventFilter(this); }

    struct Seen {
        QObject* source = nullptr;
        std::map<std::string, std::string> files;  // name -> content, read while the drag lives
    };
    std::vector<Seen> drags;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* drag = qobject_cast<QDrag*>(watched);
        if (event->type() == QEvent::DeferredDelete && drag != nullptr) {
            Seen seen;
            seen.source = drag->source();
            for (const QUrl& url : drag->mimeData()->urls()) {
                seen.files[url.fileName().toStdString()] =
                    zoktest::ReadFile(url.toLocalFile().toStdString());
            }
            drags.push_back(seen);
        }
        return false;
    }
};

class ArchiveWindowWorkTest : public ::testing::Test {
protected:
    void TearDown() override { Dlg::CloseAll(); }

    Dlg& OpenWindow(const std::string& path) {
        Dlg* dlg = Dlg::Open(path, prompts, nullptr);
        EXPECT_NE(dlg, nullptr);
        return *dlg;
    }

    zoktest::TempDir dir;
    ScriptedPrompts prompts;
};

// The centre of the row of the named entry in the table's viewport.
QPoint RowCentre(Dlg& dlg, const QString& name) {
    for (int row = 0; row < dlg.Proxy().rowCount(); ++row) {
        const QModelIndex cell = dlg.Proxy().index(row, ArchiveModel::kName);
        if (cell.data().toString() == name) {
            return dlg.Table().visualRect(cell).center();
        }
    }
    ADD_FAILURE() << "no row " << name.toStdString();
    return {};
}

TEST_F(ArchiveWindowWorkTest, RowsDraggedWithTheMouseCarryTheirExtractedFiles) {
    const std::string archive = zokuitest::MakeSampleArchive(dir);
    Dlg& dlg = OpenWindow(archive);
    dlg.resize(900, 600);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    QWidget* viewport = dlg.Table().viewport();
    // Click the first row, Ctrl+click the second, then press on it and move far enough.
    QTest::mouseClick(viewport, Qt::LeftButton, {}, RowCentre(dlg, "notes.txt"));
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::ControlModifier, RowCentre(dlg, "data.old"));
    ASSERT_EQ(dlg.SelectedEntries(), (std::vector<size_t>{0, 3}));
    DragWatcher watcher;
    const QPoint from = RowCentre(dlg, "data.old");
    QTest::mousePress(viewport, Qt::LeftButton, {}, from);
    const int step = QApplication::startDragDistance() + 1;
    for (int moved = 1; moved <= 4; ++moved) {
        QTest::mouseMove(viewport, from + QPoint(step * moved, step * moved));
    }
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, from + QPoint(4 * step, 4 * step));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    ASSERT_EQ(watcher.drags.size(), 1u) << "the rows did not start a drag";
    EXPECT_EQ(watcher.drags[0].source, &dlg.Table());
    const CZokFile zok(archive);
    std::string notes(zok.GetEntrySize("notes.txt"), '\0'),
        data(zok.GetEntrySize("data.old"), '\0');
    ASSERT_TRUE(zok.ExtractEntry("notes.txt", reinterpret_cast<uint8_t*>(notes.data())));
    ASSERT_TRUE(zok.ExtractEntry("data.old", reinterpret_cast<uint8_t*>(data.data())));
    EXPECT_EQ(watcher.drags[0].files,
              (std::map<std::string, std::string>{{"notes.txt", notes}, {"data.old", data}}));
    EXPECT_FALSE(dlg.Busy());
}

// 검사 reads every entry to its end and decodes the pictures: a PNG stream that is whole but
// whose pixels cannot be decoded is listed and marked.
TEST_F(ArchiveWindowWorkTest, CheckDecodesPicturesAndListsThoseThatDoNotDecode) {
    const std::string archive = dir.File("pics.zok");
    const std::string png =
        zoktest::MakePng(zoktest::PngImageFromRgba(zoktest::PatternImage(3, 2, 4), false));
    std::string broken = png;
    broken.replace(broken.size() / 2, 4, "\xFF\xFF\xFF\xFF");  // inside IDAT: the CRC fails
    zoktest::WriteFile(archive, zoktest::MakeArchive({zoktest::HandEntry("good.png", png, 2),
                                                      zoktest::HandEntry("bad.png", broken, 2)}));
    Dlg& dlg = OpenWindow(archive);
    Click(dlg, Dlg::kIdTest);
    dlg.WaitForWork();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_TRUE(
        prompts.messages[0].startsWith(Q("다음 항목은 손상되었거나 비어 있습니다.\nbad.png: ")))
        << prompts.messages[0].toStdString();
    EXPECT_FALSE(prompts.messages[0].contains(Q("good.png")));
    EXPECT_EQ(dlg.Model().Rows()[1].mark, EntryMark::Damaged);
    EXPECT_EQ(dlg.Model().Rows()[0].mark, EntryMark::Sound);
}

// A 1.0.0 archive with one large entry, so that its upgrade is still running when the user acts.
std::string MakeOldArchive(const zoktest::TempDir& dir) {
    const std::string path = dir.File("old.zok");
    zoktest::WriteFile(
        path, zoktest::MakeArchive({zoktest::DeflatedEntry("a.txt", "alpha"),
                                    zoktest::HandEntry("big.old", zoktest::RandomBytes(24 << 20))},
                                   false));
    return path;
}

TEST_F(ArchiveWindowWorkTest, ACancelledUpgradeWritesNothingAndKeepsTheOldArchiveOpen) {
    const std::string old = MakeOldArchive(dir);
    const std::string bytes = zoktest::ReadFile(old);
    prompts.answers.push_back(true);
    Dlg& dlg = OpenWindow(old);
    ASSERT_TRUE(dlg.Busy());
    Click(dlg, Dlg::kIdCancelWork);
    dlg.WaitForWork();
    EXPECT_EQ(LabelText(dlg, Dlg::kIdWorkStatus), Q("1.1.0 형식으로 바꾸기를 취소했습니다."));
    EXPECT_EQ(NamesIn(dir.Path()), std::set<std::string>{"old.zok"});
    EXPECT_EQ(zoktest::ReadFile(old), bytes);
    EXPECT_EQ(dlg.Archive().Version(), "100");
    EXPECT_TRUE(prompts.messages.empty());
    // The window stays usable: its entries can be taken out.
    const fs::path out = dir.Path() / "out";
    fs::create_directories(out);
    prompts.folders.push_back(out.string());
    Click(dlg, Dlg::kIdExtractAll);
    dlg.WaitForWork();
    EXPECT_EQ(NamesIn(out), (std::set<std::string>{"a.txt", "big.old"}));
}

// Closing a window while it extracts, checks or upgrades: the window goes at once, the work
// stops, and what it leaves is what a cancel leaves (nothing).
TEST_F(ArchiveWindowWorkTest, ClosingAWindowDuringItsWorkStopsItAndLeavesNothing) {
    const std::string old = MakeOldArchive(dir);
    const fs::path out = dir.Path() / "out";
    fs::create_directories(out);
    struct Row {
        const char* what;
        std::function<void(Dlg&)> start;
    };
    for (const Row& row : {Row{"extraction",
                               [&](Dlg& dlg) {
                                   prompts.folders.push_back(out.string());
                                   Click(dlg, Dlg::kIdExtractAll);
                               }},
                           Row{"check", [](Dlg& dlg) { Click(dlg, Dlg::kIdTest); }},
                           Row{"upgrade", [](Dlg& dlg) { dlg.OfferUpgrade(); }}}) {
        SCOPED_TRACE(row.what);
        prompts.answers = {false, true};  // no upgrade when opened; yes when offered again
        QPointer<Dlg> dlg = &OpenWindow(old);
        row.start(*dlg);
        ASSERT_TRUE(dlg->Busy());
        dlg->close();
        EXPECT_FALSE(dlg->isVisible());
        EXPECT_TRUE(QTest::qWaitFor([&] { return dlg.isNull(); }, 20000))
            << "the window did not go once its work stopped";
        EXPECT_TRUE(Dlg::OpenWindows().empty());
        EXPECT_TRUE(NamesIn(out).empty());
        EXPECT_EQ(NamesIn(dir.Path()), (std::set<std::string>{"old.zok", "out"}));
        EXPECT_TRUE(prompts.messages.empty());
    }
}

}  // namespace
