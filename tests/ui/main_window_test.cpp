#include <sys/stat.h>
#include <unistd.h>

#include <QContextMenuEvent>
#include <QListWidget>
#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <filesystem>

#include "job/formatting.h"
#include "tests/support/test_support.h"
#include "tests/ui/sample_archive.h"
#include "tests/ui/ui_test_support.h"
#include "ui/archive_dlg.h"
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

std::vector<std::string> ListedPaths(const Dlg& dlg) {
    std::vector<std::string> paths;
    for (int32_t i = 0; i < dlg.Files().GetCount(); ++i) {
        paths.push_back(dlg.Files().GetAt(i));
    }
    return paths;
}

QStringList RowTexts(Dlg& dlg) {
    QStringList rows;
    for (int i = 0; i < dlg.List().count(); ++i) {
        rows << dlg.List().item(i)->text();
    }
    return rows;
}

// Counters, rows and file list agree with each other and with the expected files.
void ExpectListed(Dlg& dlg, const std::vector<std::string>& paths, uint32_t totalSize) {
    EXPECT_EQ(ListedPaths(dlg), paths);
    EXPECT_EQ(dlg.List().count(), int(paths.size()));
    EXPECT_EQ(dlg.FileCount(), int32_t(paths.size()));
    EXPECT_EQ(dlg.TotalSize(), totalSize);
    EXPECT_EQ(LabelText(dlg, Dlg::kIdFileCount),
              QString::fromStdString(FormatNumber(uint32_t(paths.size()))));
    EXPECT_EQ(LabelText(dlg, Dlg::kIdTotalSize), QString::fromStdString(FormatNumber(totalSize)));
    EXPECT_EQ(ButtonEnabled(dlg, Dlg::kIdCompress), !paths.empty());
}

// Sends a drop of urls onto a widget, as a file manager's drop arrives.
void DropUrls(QWidget& target, const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    const QPoint where(10, 10);
    QDragEnterEvent enter(where, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&target, &enter);
    QDropEvent drop(QPointF(where), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&target, &drop);
}

QList<QUrl> LocalUrls(const std::vector<std::string>& paths) {
    QList<QUrl> urls;
    for (const std::string& path : paths) {
        urls << QUrl::fromLocalFile(QString::fromStdString(path));
    }
    return urls;
}

void SelectRows(Dlg& dlg, const std::vector<int>& rows) {
    dlg.List().clearSelection();
    for (int row : rows) {
        dlg.List().item(row)->setSelected(true);
    }
}

class MainWindowTest : public ::testing::Test {
protected:
    std::string MakeFile(const std::string& name, size_t size) {
        const std::string path = dir.File(name);
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        zoktest::WriteFile(path, zoktest::TextBytes(size));
        return path;
    }
    void Add(Dlg& dlg, std::vector<std::string> selection) {
        prompts.inputFiles.push_back(std::move(selection));
        Click(dlg, Dlg::kIdAdd);
    }

    zoktest::TempDir dir;
    ScriptedPrompts prompts;
};

TEST_F(MainWindowTest, NewWindowIsEmptyWithCompressDisabled) {
    Dlg dlg(prompts);
    EXPECT_EQ(dlg.windowTitle(), Q("ZOK Compressor ver 1.11"));
    ExpectListed(dlg, {}, 0);
    EXPECT_EQ(LabelText(dlg, Dlg::kIdFileCount), Q("0"));
    EXPECT_EQ(LabelText(dlg, Dlg::kIdTotalSize), Q("0"));
    EXPECT_TRUE(ButtonEnabled(dlg, Dlg::kIdAdd));
    EXPECT_TRUE(ButtonEnabled(dlg, Dlg::kIdRemove));
    EXPECT_TRUE(ButtonEnabled(dlg, kIdCancel));
    EXPECT_EQ(dlg.List().selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_FALSE(dlg.List().isSortingEnabled());
}

TEST_F(MainWindowTest, AddListsChosenFilesOnceWhateverTheirCase) {
    const std::string big = MakeFile("Big.DAT", 65536);
    Dlg dlg(prompts);
    Add(dlg, {big});
    ExpectListed(dlg, {big}, 65536);
    EXPECT_EQ(LabelText(dlg, Dlg::kIdTotalSize), Q("65,536"));
    ASSERT_EQ(prompts.inputFilterRequests.size(), 1u);
    EXPECT_EQ(prompts.inputFilterRequests[0][0], Q("모든 파일(*.*) (*)"));
    EXPECT_TRUE(prompts.inputFilterRequests[0][1].startsWith(Q("Graphic File (*.bmp *.png")));
    EXPECT_TRUE(prompts.inputFilterRequests[0][2].startsWith(Q("Text File (*.txt")));

    // The same file again, and under a name that differs only in the case of ASCII letters.
    Add(dlg, {big});
    Add(dlg, {dir.File("big.dat")});
    Add(dlg, {dir.File("BIG.dat"), dir.File("bIG.DaT")});
    ExpectListed(dlg, {big}, 65536);
    EXPECT_TRUE(prompts.messages.empty());

    // Only ASCII letters are folded: Hangul and other letters compare as they are.
    const std::string hangul = MakeFile("가.txt", 3);
    const std::string upperOmega = MakeFile("Ω.txt", 5);
    const std::string lowerOmega = MakeFile("ω.txt", 7);
    Add(dlg, {hangul, upperOmega, lowerOmega, dir.File("가.TXT")});
    ExpectListed(dlg, {big, hangul, upperOmega, lowerOmega}, 65536 + 3 + 5 + 7);
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(MainWindowTest, MultipleSelectionAddsOnlyTheNewFilesInOrder) {
    const std::string a = MakeFile("a.txt", 10);
    const std::string b = MakeFile("b.txt", 20);
    const std::string c = MakeFile("c.txt", 30);
    const std::string d = MakeFile("d.txt", 40);
    Dlg dlg(prompts);
    Add(dlg, {a, b});
    Add(dlg, {dir.File("B.TXT"), c, a, d});
    ExpectListed(dlg, {a, b, c, d}, 100);
    EXPECT_EQ(RowTexts(dlg), (QStringList{QString::fromStdString(a), QString::fromStdString(b),
                                          QString::fromStdString(c), QString::fromStdString(d)}));
}

TEST_F(MainWindowTest, CancelledAddChangesNothing) {
    Dlg dlg(prompts);
    Click(dlg, Dlg::kIdAdd);  // no answer scripted: the user cancels
    ExpectListed(dlg, {}, 0);
    const std::string a = MakeFile("a.txt", 10);
    Add(dlg, {a});
    Click(dlg, Dlg::kIdAdd);
    ExpectListed(dlg, {a}, 10);
}

TEST_F(MainWindowTest, ReadOnlyFilesAreAddedWithoutBeingOpenedForWriting) {
    const std::string locked = MakeFile("locked.txt", 123);
    ASSERT_EQ(::chmod(locked.c_str(), 0444), 0);
    const auto before = std::filesystem::last_write_time(locked);
    Dlg dlg(prompts);
    Add(dlg, {locked});
    ExpectListed(dlg, {locked}, 123);
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(std::filesystem::last_write_time(locked), before);
}

// A folder gives its files as zok create walks it; one whose name a listed file has is named in
// the one message with the files that could not be listed.
TEST_F(MainWindowTest, AddTakesFoldersAndNamesTheirClashes) {
    const std::string a = MakeFile("a.txt", 10);
    const std::string folder = dir.File("folder");
    std::filesystem::create_directories(folder + "/sub");
    zoktest::WriteFile(folder + "/sub/A.TXT", "clash");
    zoktest::WriteFile(folder + "/inner.txt", "inner");
    Dlg dlg(prompts);
    Add(dlg, {a, folder, dir.File("missing.txt")});
    ExpectListed(dlg, {a, folder + "/inner.txt"}, 15);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_TRUE(prompts.messages[0].contains(QString::fromStdString(dir.File("missing.txt"))));
    EXPECT_TRUE(prompts.messages[0].contains(
        QString::fromStdString(folder + "/sub/A.TXT: 같은 이름의 항목이 또 있습니다 (" + a + ")")))
        << prompts.messages[0].toStdString();
}

TEST_F(MainWindowTest, UnmeasurableFilesAreNamedAndSkippedWhileTheRestIsAdded) {
    const std::string a = MakeFile("a.txt", 10);
    const std::string b = MakeFile("b.txt", 20);
    const std::string missing = dir.File("missing.txt");
    Dlg dlg(prompts);
    Add(dlg, {a, missing, b});
    ExpectListed(dlg, {a, b}, 30);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_TRUE(prompts.messages[0].contains(QString::fromStdString(missing)));
    EXPECT_FALSE(prompts.messages[0].contains(QString::fromStdString(a)));

    // The archive holds sizes below 2 GiB: a file of 2 GiB is refused, one byte less is taken.
    const std::string tooBig = dir.File("too_big.bin");
    const std::string largest = dir.File("largest.bin");
    zoktest::WriteFile(tooBig, "");
    zoktest::WriteFile(largest, "");
    std::filesystem::resize_file(tooBig, uint64_t(1) << 31);  // sparse: no disk space used
    std::filesystem::resize_file(largest, (uint64_t(1) << 31) - 1);
    Add(dlg, {tooBig, largest});
    ExpectListed(dlg, {a, b, largest}, 30 + 0x7FFFFFFFu);
    EXPECT_EQ(LabelText(dlg, Dlg::kIdTotalSize), Q("2,147,483,677"));
    ASSERT_EQ(prompts.messages.size(), 2u);
    EXPECT_TRUE(prompts.messages[1].contains(QString::fromStdString(tooBig)));
    EXPECT_FALSE(prompts.messages[1].contains(QString::fromStdString(largest)));
    SelectRows(dlg, {2});
    Click(dlg, Dlg::kIdRemove);
    prompts.messages.clear();

    // A single file that vanished: a message, and the window goes on as it was.
    Add(dlg, {missing});
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_TRUE(prompts.messages[0].contains(QString::fromStdString(missing)));
    ExpectListed(dlg, {a, b}, 30);
}

TEST_F(MainWindowTest, NamesTheArchiveCannotHoldAreRefusedWhenAddedOrDropped) {
    const std::string korean = MakeFile("보고서.txt", 10);
    // Only the base name goes into the archive: a folder outside CP949 does no harm.
    const std::string inOddFolder = MakeFile("Ä폴더/notes.txt", 20);
    const std::string umlaut = MakeFile("Übersicht.txt", 30);
    const std::string emoji = MakeFile("사진😀.png", 40);
    const QString reason =
        Q("이름에 CP949로 나타낼 수 없는 문자가 있어 ZOK 파일에 저장할 수 없습니다");
    const std::string missing = dir.File("missing.txt");
    Dlg dlg(prompts);
    Add(dlg, {korean, umlaut, missing, inOddFolder});
    DropUrls(*dlg.List().viewport(), LocalUrls({emoji}));
    ExpectListed(dlg, {korean, inOddFolder}, 30);
    // One message for each Add or drop, with every file it refused.
    ASSERT_EQ(prompts.messages.size(), 2u);
    EXPECT_TRUE(prompts.messages[0].startsWith(Q("다음 파일은 목록에 추가하지 못했습니다.\n") +
                                               QString::fromStdString(umlaut) + Q(": ") + reason +
                                               Q("\n") + QString::fromStdString(missing)))
        << prompts.messages[0].toStdString();
    EXPECT_EQ(prompts.messages[1], Q("다음 파일은 목록에 추가하지 못했습니다.\n") +
                                       QString::fromStdString(emoji) + Q(": ") + reason);
}

TEST_F(MainWindowTest, DroppedFilesAreListedAndUnlistableOnesReported) {
    const std::string a = MakeFile("one.txt", 100);
    const std::string b = MakeFile("two.bmp", 200);
    const std::string c = MakeFile("three.png", 300);
    const std::string folder = dir.File("a folder");
    std::filesystem::create_directory(folder);
    // A pipe cannot be read as a file (and opening it would block); a vanished path neither.
    const std::string pipe = dir.File("pipe");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
    const std::string vanished = dir.File("vanished.txt");
    // The folder is empty: it gives nothing and is not named.
    std::vector<std::string> unlistable = {pipe, vanished};
    const std::string unreadable = MakeFile("unreadable.txt", 50);
    ASSERT_EQ(::chmod(unreadable.c_str(), 0), 0);
    const bool canReadAnything = ::access(unreadable.c_str(), R_OK) == 0;  // root
    if (!canReadAnything) {
        unlistable.push_back(unreadable);
    }

    Dlg dlg(prompts);
    DropUrls(*dlg.List().viewport(), LocalUrls({a, folder, b, pipe, vanished, unreadable, c}));
    std::vector<std::string> expected = {a, b};
    uint32_t total = 300;
    if (canReadAnything) {
        expected.push_back(unreadable);
        total += 50;
    }
    expected.push_back(c);
    total += 300;
    ExpectListed(dlg, expected, total);
    ASSERT_EQ(prompts.messages.size(), 1u) << prompts.messages.back().toStdString();
    for (const std::string& path : unlistable) {
        EXPECT_TRUE(prompts.messages[0].contains(QString::fromStdString(path))) << path;
    }

    // Dropping listed files again, in another case, changes nothing and says nothing.
    DropUrls(*dlg.List().viewport(), LocalUrls({a, dir.File("ONE.TXT")}));
    ExpectListed(dlg, expected, total);
    EXPECT_EQ(prompts.messages.size(), 1u) << prompts.messages.back().toStdString();
}

TEST_F(MainWindowTest, OnlyTheListAcceptsDrops) {
    const std::string a = MakeFile("a.txt", 10);
    Dlg dlg(prompts);
    EXPECT_FALSE(dlg.acceptDrops());
    EXPECT_TRUE(dlg.List().viewport()->acceptDrops());
    DropUrls(dlg, LocalUrls({a}));
    ExpectListed(dlg, {}, 0);
    // Links to anything but local files are not taken either.
    DropUrls(*dlg.List().viewport(), {QUrl(QStringLiteral("https://example.com/a.txt"))});
    ExpectListed(dlg, {}, 0);
}

TEST_F(MainWindowTest, RowsAreShortenedToFiftyFromAddAndFiftyFiveFromDropsTheirTooltipsAreWhole) {
    // A path of exactly 56 bytes with several folders.
    std::string path = dir.File("f1/f2/");
    path += std::string(56 - path.size() - 4, 'n') + ".txt";
    ASSERT_EQ(path.size(), 56u);
    MakeFile(path.substr(dir.Path().string().size() + 1), 1);

    Dlg added(prompts);
    Add(added, {path});
    ASSERT_EQ(added.List().count(), 1);
    const QString shortened = added.List().item(0)->text();
    EXPECT_TRUE(shortened.contains(Q("..."))) << shortened.toStdString();
    EXPECT_LE(shortened.toUtf8().size(), 53);

    Dlg dropped(prompts);
    DropUrls(*dropped.List().viewport(), LocalUrls({path}));
    ASSERT_EQ(dropped.List().count(), 1);
    EXPECT_EQ(dropped.List().item(0)->text(), QString::fromStdString(path));

    // Shortened or not, a row's tooltip names the whole path.
    EXPECT_EQ(added.List().item(0)->toolTip(), QString::fromStdString(path));
    EXPECT_EQ(dropped.List().item(0)->toolTip(), QString::fromStdString(path));
}

TEST_F(MainWindowTest, TheListScrollsToTheRowsJustAdded) {
    std::vector<std::string> files;
    for (int i = 0; i < 66; ++i) {
        files.push_back(MakeFile("s" + std::to_string(i) + ".txt", 1));
    }
    const auto from = [&files](int first, int count) {
        return std::vector<std::string>(files.begin() + first, files.begin() + first + count);
    };
    Dlg dlg(prompts);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    QListWidget& list = dlg.List();
    const auto shown = [&list](int row) {
        return list.viewport()->rect().contains(list.visualItemRect(list.item(row)));
    };
    Add(dlg, from(0, 30));
    ASSERT_FALSE(shown(29)) << "the list holds more rows than it shows";

    list.scrollToTop();
    Add(dlg, from(30, 3));
    EXPECT_TRUE(shown(30) && shown(31) && shown(32));
    list.scrollToTop();
    Add(dlg, from(33, 1));
    EXPECT_TRUE(shown(33));
    list.scrollToTop();
    DropUrls(*list.viewport(), LocalUrls(from(34, 2)));
    EXPECT_TRUE(shown(34) && shown(35));
    // More rows than fit: the first of them comes to the top.
    list.scrollToTop();
    Add(dlg, from(36, 30));
    EXPECT_TRUE(shown(36));
    EXPECT_FALSE(shown(35));
}

TEST_F(MainWindowTest, RemoveTakesExactlyTheSelectedRows) {
    std::vector<std::string> files;
    for (int i = 1; i <= 5; ++i) {
        files.push_back(MakeFile("f" + std::to_string(i) + ".txt", size_t(i) * 10));
    }
    Dlg dlg(prompts);
    Add(dlg, files);

    dlg.List().clearSelection();
    Click(dlg, Dlg::kIdRemove);  // nothing selected: nothing changes
    ExpectListed(dlg, files, 150);

    SelectRows(dlg, {1, 3});
    Click(dlg, Dlg::kIdRemove);
    ExpectListed(dlg, {files[0], files[2], files[4]}, 10 + 30 + 50);
    EXPECT_EQ(RowTexts(dlg),
              (QStringList{QString::fromStdString(files[0]), QString::fromStdString(files[2]),
                           QString::fromStdString(files[4])}));

    // A removed file may be added again.
    Add(dlg, {files[1]});
    ExpectListed(dlg, {files[0], files[2], files[4], files[1]}, 110);

    SelectRows(dlg, {0, 1, 2, 3});
    Click(dlg, Dlg::kIdRemove);
    ExpectListed(dlg, {}, 0);
    EXPECT_EQ(LabelText(dlg, Dlg::kIdFileCount), Q("0"));
    EXPECT_EQ(LabelText(dlg, Dlg::kIdTotalSize), Q("0"));
}

TEST_F(MainWindowTest, TheDeleteKeyInTheListRemovesTheSelectedRows) {
    std::vector<std::string> files;
    for (int i = 1; i <= 4; ++i) {
        files.push_back(MakeFile("k" + std::to_string(i) + ".txt", size_t(i)));
    }
    Dlg dlg(prompts);
    Add(dlg, files);
    SelectRows(dlg, {0, 2});
    QTest::keyClick(&dlg.List(), Qt::Key_Delete);
    ExpectListed(dlg, {files[1], files[3]}, 2 + 4);
}

TEST_F(MainWindowTest, RemoveSubtractsTheListedSizesWithoutTouchingTheDisk) {
    const std::string grows = MakeFile("grows.txt", 100);
    const std::string goes = MakeFile("goes.txt", 40);
    const std::string stays = MakeFile("stays.txt", 7);
    Dlg dlg(prompts);
    Add(dlg, {grows, goes, stays});
    ExpectListed(dlg, {grows, goes, stays}, 147);

    zoktest::WriteFile(grows, zoktest::TextBytes(5000));
    std::filesystem::remove(goes);
    SelectRows(dlg, {0, 1});
    Click(dlg, Dlg::kIdRemove);
    ExpectListed(dlg, {stays}, 7);
    EXPECT_TRUE(prompts.messages.empty());
}

// Right-clicks the window where it has no menu of its own and chooses the item with text;
// returns the texts of the menu's items.
QStringList ChooseFromContextMenu(Dlg& dlg, const QString& text) {
    QStringList items;
    zokuitest::WhenPopupMenu([&](QMenu& menu) {
        for (QAction* action : menu.actions()) {
            if (!action->isSeparator()) {
                items << action->text();
            }
            if (action->text() == text) {
                menu.setActiveAction(action);
            }
        }
        QTest::keyClick(&menu, Qt::Key_Return);
    });
    QWidget* caption = nullptr;
    for (QLabel* label : dlg.findChildren<QLabel*>()) {
        if (label->text() == Q("File List")) {
            caption = label;
        }
    }
    EXPECT_NE(caption, nullptr);
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(2, 2),
                            caption->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(caption, &event);
    return items;
}

TEST_F(MainWindowTest, ContextMenuOpensTheAboutBox) {
    Dlg dlg(prompts);
    dlg.show();
    QString aboutTitle;
    QStringList aboutTexts;
    zokuitest::WhenModal<CAboutDlg>([&](CAboutDlg& about) {
        aboutTitle = about.windowTitle();
        for (QLabel* label : about.findChildren<QLabel*>()) {
            aboutTexts << label->text();
        }
        Click(about, kIdOk);
    });
    const QStringList items = ChooseFromContextMenu(dlg, Q("ZOK Compressor 정보(&A)..."));
    EXPECT_EQ(items, QStringList({Q("열기..."), Q("ZOK Compressor 정보(&A)...")}));
    EXPECT_EQ(aboutTitle, Q("ZOK Compressor 정보"));
    EXPECT_TRUE(aboutTexts.contains(Q("ZOK Compressor 버전 1.11")));
    EXPECT_TRUE(aboutTexts.contains(Q("ZOK File ver 1.1을 생성해주는 Compressor")));
    EXPECT_TRUE(dlg.isVisible());
}

TEST_F(MainWindowTest, OpenAndDroppedArchivesOpenWindowsOfTheirOwn) {
    const std::string first = zokuitest::MakeSampleArchive(dir, "first.zok");
    const std::string second = zokuitest::MakeSampleArchive(dir, "second.ZOK");
    const std::string text = MakeFile("a.txt", 10);
    Dlg dlg(prompts);
    dlg.show();
    prompts.archivesToOpen.push_back(first);
    ChooseFromContextMenu(dlg, Q("열기..."));
    // A drop of archives alone opens each of them.
    DropUrls(*dlg.List().viewport(), LocalUrls({first, second}));
    std::vector<std::string> opened;
    for (CArchiveDlg* window : CArchiveDlg::OpenWindows()) {
        opened.push_back(window->Archive().Path());
        EXPECT_TRUE(window->isVisible());
        EXPECT_FALSE(window->isModal());
    }
    EXPECT_EQ(opened, (std::vector<std::string>{first, first, second}));
    ExpectListed(dlg, {}, 0);

    // Mixed with other files, archives are inputs like the rest.
    DropUrls(*dlg.List().viewport(), LocalUrls({text, second}));
    ExpectListed(dlg, {text, second}, uint32_t(10 + std::filesystem::file_size(second)));
    EXPECT_EQ(CArchiveDlg::OpenWindows().size(), 3u);
    // Each window closes on its own.
    CArchiveDlg::OpenWindows()[1]->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(CArchiveDlg::OpenWindows().size(), 2u);
    CArchiveDlg::CloseAll();
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(MainWindowTest, ExitEscapeAndTheCloseBoxEndTheWindow) {
    const std::string a = MakeFile("a.txt", 10);
    for (int way = 0; way < 3; ++way) {
        Dlg dlg(prompts);
        Add(dlg, {a});
        zokuitest::WhenModal<Dlg>([way](Dlg& shown) {
            if (way == 0) {
                Click(shown, kIdCancel);
            } else if (way == 1) {
                QTest::keyClick(&shown, Qt::Key_Escape);
            } else {
                shown.close();
            }
        });
        EXPECT_EQ(dlg.exec(), QDialog::Rejected) << "way " << way;
        EXPECT_FALSE(dlg.isVisible());
    }
}

}  // namespace
