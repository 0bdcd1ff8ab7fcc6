#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTableView>
#include <QTest>
#include <QUrl>
#include <filesystem>
#include <map>

#include "job/formatting.h"
#include "tests/archive/handmade_archive.h"
#include "tests/support/test_support.h"
#include "tests/ui/sample_archive.h"
#include "tests/ui/ui_test_support.h"
#include "ui/archive_dlg.h"
#include "ui/entry_preview_panel.h"
#include "ui/window_poster.h"
#include "zok/zok_file.h"

using namespace zok;

namespace {

using zokuitest::Click;
using zokuitest::LabelText;
using zokuitest::Q;
using zokuitest::ScriptedPrompts;
using Dlg = CArchiveDlg;
using Column = ArchiveModel::Column;

// The files of a folder and their bytes.
std::map<std::string, std::string> FolderContent(const std::filesystem::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        files[entry.path().filename().string()] = zoktest::ReadFile(entry.path().string());
    }
    return files;
}

// What `zok extract` writes of the archive's entries (all when names is empty).
std::map<std::string, std::string> CliExtract(const std::string& archive,
                                              const std::filesystem::path& folder,
                                              const std::vector<std::string>& names = {}) {
    std::vector<std::string> argv = {zoktest::ZokPath(), "extract", "-C", folder.string(), archive};
    argv.insert(argv.end(), names.begin(), names.end());
    const zoktest::CommandResult run = zoktest::RunProgram(argv);
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    return FolderContent(folder);
}

// The table's cells of one column, top to bottom as shown.
QStringList ColumnTexts(Dlg& dlg, int column) {
    QStringList texts;
    for (int row = 0; row < dlg.Proxy().rowCount(); ++row) {
        texts << dlg.Proxy().index(row, column).data().toString();
    }
    return texts;
}

// Selects the rows of the named entries; the last becomes the current row.
void SelectEntries(Dlg& dlg, const QStringList& names) {
    QTableView& table = dlg.Table();
    table.clearSelection();
    for (int row = 0; row < dlg.Proxy().rowCount(); ++row) {
        const QModelIndex cell = dlg.Proxy().index(row, Column::kName);
        if (names.contains(cell.data().toString())) {
            table.selectionModel()->setCurrentIndex(
                cell, QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }
}

std::filesystem::path MakeFolder(const zoktest::TempDir& dir, const std::string& name) {
    const std::filesystem::path folder = dir.Path() / name;
    std::filesystem::create_directories(folder);
    return folder;
}

class ArchiveWindowTest : public ::testing::Test {
protected:
    void TearDown() override { Dlg::CloseAll(); }

    Dlg& OpenWindow(const std::string& path) {
        Dlg* dlg = Dlg::Open(path, prompts, nullptr);
        EXPECT_NE(dlg, nullptr) << "the archive did not open: "
                                << (prompts.messages.empty()
                                        ? ""
                                        : prompts.messages.back().toStdString());
        return *dlg;
    }
    // Extracts with 풀기 (the selected rows) or 모두 풀기 into folder and waits for the end.
    void ExtractInto(Dlg& dlg, int button, const std::filesystem::path& folder) {
        prompts.folders.push_back(folder.string());
        Click(dlg, button);
        dlg.WaitForWork();
    }

    zoktest::TempDir dir;
    ScriptedPrompts prompts;
};

TEST_F(ArchiveWindowTest, ListsEveryEntryAndSortsAndFiltersThem) {
    Dlg& dlg = OpenWindow(zokuitest::MakeSampleArchive(dir));
    EXPECT_EQ(dlg.windowTitle(), Q("sample.zok - ZOK Compressor"));
    EXPECT_EQ(ColumnTexts(dlg, Column::kName),
              QStringList({"notes.txt", "logo.png", "photo.bmp", "data.old", Q("한글.txt")}));
    EXPECT_EQ(ColumnTexts(dlg, Column::kKind),
              QStringList({Q("압축"), Q("그림 PNG"), Q("그림 PNG"), Q("저장"), Q("압축")}));
    const CZokFile& zok = dlg.Archive();
    uint64_t source = 0, stored = 0;
    for (size_t i = 0; i < zok.Count(); ++i) {
        source += zok.Record(i).sourceSize;
        stored += zok.Record(i).storedSize;
    }
    EXPECT_EQ(dlg.Proxy().index(0, Column::kSourceSize).data().toString(), Q("3,000"));
    EXPECT_EQ(dlg.Proxy().index(3, Column::kPercent).data().toString(), Q("100.0%"));
    EXPECT_EQ(
        LabelText(dlg, Dlg::kIdStatus),
        QString::fromStdString("항목 5개 · 원래 크기 " + FormatNumber(source) +
                               " byte · 압축 크기 " + FormatNumber(stored) + " byte · 버전 1.1.0"));

    // Sizes sort as numbers: 9 before 1,xxx, which a sort of the texts would reverse.
    dlg.Table().sortByColumn(Column::kStoredSize, Qt::AscendingOrder);
    const QStringList byStored = ColumnTexts(dlg, Column::kName);
    EXPECT_EQ(byStored.front(), Q("data.old"));
    std::vector<qulonglong> sizes;
    for (int row = 0; row < dlg.Proxy().rowCount(); ++row) {
        sizes.push_back(dlg.Proxy()
                            .index(row, Column::kStoredSize)
                            .data(ArchiveModel::kSortRole)
                            .toULongLong());
    }
    EXPECT_TRUE(std::is_sorted(sizes.begin(), sizes.end()));
    dlg.Table().sortByColumn(Column::kName, Qt::DescendingOrder);
    EXPECT_EQ(ColumnTexts(dlg, Column::kName),
              QStringList({Q("한글.txt"), "photo.bmp", "notes.txt", "logo.png", "data.old"}));

    // The filter keeps names that contain its text, letter case ignored.
    QTest::keyClicks(zokuitest::Control<QLineEdit>(dlg, Dlg::kIdFilter), Q("TXT"));
    EXPECT_EQ(ColumnTexts(dlg, Column::kName), QStringList({Q("한글.txt"), "notes.txt"}));
    EXPECT_TRUE(LabelText(dlg, Dlg::kIdStatus).startsWith(Q("항목 5개 (2개 표시) · ")));
}

TEST_F(ArchiveWindowTest, PreviewShowsAPictureOverACheckerboardAndTheFirstLinesOfText) {
    Dlg& dlg = OpenWindow(zokuitest::MakeSampleArchive(dir));
    SelectEntries(dlg, {"logo.png"});
    dlg.WaitForWork();
    const QImage shown = dlg.Preview().Picture();
    // 4 x 3 pixels enlarged 64 times: each pixel is a 64 x 64 block, the checker squares 8.
    ASSERT_EQ(shown.size(), QSize(256, 192));
    EXPECT_EQ(LabelText(dlg.Preview(), EntryPreviewPanel::kIdCaption),
              Q("logo.png\n4 × 3 픽셀, 투명도 있음"));
    const auto expectPixel = [&](int x, int y, QRgb expected) {
        const QRgb got = shown.pixel(x, y);
        EXPECT_NEAR(qRed(got), qRed(expected), 1) << x << "," << y;
        EXPECT_NEAR(qGreen(got), qGreen(expected), 1) << x << "," << y;
        EXPECT_NEAR(qBlue(got), qBlue(expected), 1) << x << "," << y;
    };
    // Half-transparent red over a light and over a dark square.
    const auto over = [](int colour, int background) {
        return int(std::lround(colour * 128 / 255.0 + background * (1 - 128 / 255.0)));
    };
    expectPixel(1, 1, qRgb(over(200, 255), over(40, 255), over(10, 255)));
    expectPixel(9, 1, qRgb(over(200, 0xCC), over(40, 0xCC), over(10, 0xCC)));
    // Fully transparent: the checkerboard alone; opaque: the colour alone.
    expectPixel(64 + 1, 1, EntryPreviewPanel::kCheckerLight);
    expectPixel(64 + 9, 1, EntryPreviewPanel::kCheckerDark);
    expectPixel(128 + 9, 1, qRgb(0, 160, 0));
    // The bottom-right pixel of the picture, where rows bottom-up and alpha top-down meet.
    const zoktest::RgbaImage picture = zokuitest::SamplePicture();
    const uint8_t* last = picture.At(3, 2);
    const double a = last[3] / 255.0;
    expectPixel(255, 191,
                qRgb(int(std::lround(last[0] * a + 0xFF * (1 - a))),
                     int(std::lround(last[1] * a + 0xFF * (1 - a))),
                     int(std::lround(last[2] * a + 0xFF * (1 - a)))));

    SelectEntries(dlg, {Q("한글.txt")});
    dlg.WaitForWork();
    EXPECT_TRUE(dlg.Preview().Picture().isNull());
    EXPECT_EQ(zokuitest::Control<QPlainTextEdit>(dlg.Preview(), EntryPreviewPanel::kIdText)
                  ->toPlainText(),
              Q("첫째 줄\n둘째 줄\n셋째 줄"));
}

TEST_F(ArchiveWindowTest, ExtractedFilesAreWhatZokExtractWrites) {
    const std::string archive = zokuitest::MakeSampleArchive(dir);
    const auto expected = CliExtract(archive, MakeFolder(dir, "cli"));
    ASSERT_EQ(expected.size(), 5u);
    EXPECT_EQ(expected.at("photo.bmp").substr(0, 2), "BM") << "a picture named *.bmp is a BMP";
    Dlg& dlg = OpenWindow(archive);

    const auto all = MakeFolder(dir, "all");
    ExtractInto(dlg, Dlg::kIdExtractAll, all);
    EXPECT_EQ(FolderContent(all), expected);
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(LabelText(dlg, Dlg::kIdWorkStatus),
              Q("항목 5개를 ") + QString::fromStdString(all.string()) + Q("에 풀었습니다."));

    const auto some = MakeFolder(dir, "some");
    SelectEntries(dlg, {"photo.bmp", Q("한글.txt")});
    ExtractInto(dlg, Dlg::kIdExtract, some);
    EXPECT_EQ(FolderContent(some),
              (std::map<std::string, std::string>{{"photo.bmp", expected.at("photo.bmp")},
                                                  {"한글.txt", expected.at("한글.txt")}}));

    // Rows dragged out: the same files, from a temporary folder, as URLs.
    SelectEntries(dlg, {"notes.txt", "logo.png"});
    const std::unique_ptr<QMimeData> drag = dlg.PrepareDrag();
    ASSERT_NE(drag, nullptr);
    std::map<std::string, std::string> dragged;
    for (const QUrl& url : drag->urls()) {
        ASSERT_TRUE(url.isLocalFile());
        dragged[url.fileName().toStdString()] = zoktest::ReadFile(url.toLocalFile().toStdString());
    }
    EXPECT_EQ(dragged, (std::map<std::string, std::string>{{"notes.txt", expected.at("notes.txt")},
                                                           {"logo.png", expected.at("logo.png")}}));
}

TEST_F(ArchiveWindowTest, RefusedNamesAndDamagedEntriesAreListedAndNothingOfThemIsWritten) {
    using zoktest::HandEntry;
    const std::string archive = dir.File("hostile.zok");
    zoktest::WriteFile(archive, zoktest::MakeArchive({
                                    zoktest::DeflatedEntry("..", "up"),
                                    zoktest::DeflatedEntry("a/b.txt", "inside"),
                                    zoktest::DeflatedEntry("", "nameless"),
                                    zoktest::DeflatedEntry("good.txt", "good"),
                                    HandEntry("broken.txt", std::string(40, 'x'), 3, 100),
                                    HandEntry("empty.txt", "", 3, 100, 0),
                                }));
    Dlg& dlg = OpenWindow(archive);
    // Found by the directory at once: the entry that holds no data.
    EXPECT_EQ(dlg.Model().Rows()[5].mark, EntryMark::HoldsNoData);
    EXPECT_EQ(dlg.Model().Rows()[4].mark, EntryMark::Sound);

    const auto folder = MakeFolder(dir, "out");
    ExtractInto(dlg, Dlg::kIdExtractAll, folder);
    EXPECT_EQ(FolderContent(folder), (std::map<std::string, std::string>{{"good.txt", "good"}}));
    ASSERT_EQ(prompts.messages.size(), 1u);
    const QString message = prompts.messages[0];
    EXPECT_TRUE(message.startsWith(Q("다음 항목은 풀지 못했습니다.\n"))) << message.toStdString();
    for (const char* line :
         {"..: 이름이 폴더를 가리킵니다", "a/b.txt: 이름에 폴더 구분자(/)가 있습니다",
          ": 이름이 비어 있습니다", "broken.txt: 손상된 항목입니다: 압축된 데이터가 손상되었습니다",
          "empty.txt: 빈 항목입니다"}) {
        EXPECT_TRUE(message.contains(Q(line))) << line << " in " << message.toStdString();
    }
    // The damaged entry found on the way is marked in the table.
    EXPECT_EQ(dlg.Model().Rows()[4].mark, EntryMark::Damaged);

    // 검사 lists the damaged and the empty entry.
    prompts.messages.clear();
    Click(dlg, Dlg::kIdTest);
    dlg.WaitForWork();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0], Q("다음 항목은 손상되었거나 비어 있습니다.\n"
                                     "broken.txt: 압축된 데이터가 손상되었습니다\n"
                                     "empty.txt: 빈 항목입니다: 압축할 때 인코딩하지 못했습니다"));
    EXPECT_EQ(LabelText(dlg, Dlg::kIdWorkStatus), Q("검사를 마쳤습니다. 문제가 있는 항목 2개"));
}

TEST_F(ArchiveWindowTest, AnExistingFileIsReplacedOnlyAsTheUserAnswers) {
    const std::string archive = zokuitest::MakeSampleArchive(dir);
    const auto expected = CliExtract(archive, MakeFolder(dir, "cli"));
    const auto folder = MakeFolder(dir, "out");
    for (const char* name : {"notes.txt", "logo.png", "data.old", "한글.txt"}) {
        zoktest::WriteFile((folder / name).string(), "mine");
    }
    Dlg& dlg = OpenWindow(archive);
    // 예 for notes.txt, 아니요 for logo.png, 모두 예 for data.old and so for 한글.txt.
    prompts.overwriteAnswers = {OverwriteAnswer::Yes, OverwriteAnswer::No,
                                OverwriteAnswer::YesToAll};
    ExtractInto(dlg, Dlg::kIdExtractAll, folder);
    ASSERT_EQ(prompts.overwriteQuestions.size(), 3u);
    EXPECT_EQ(prompts.overwriteQuestions[0],
              QString::fromStdString((folder / "notes.txt").string()) +
                  Q("\n파일이 이미 있습니다. 바꾸시겠습니까?"));
    std::map<std::string, std::string> want = expected;
    want["logo.png"] = "mine";
    EXPECT_EQ(FolderContent(folder), want);
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(ArchiveWindowTest, CancelledExtractionLeavesNothingBehind) {
    const std::string big = dir.File("big.old");
    const std::string small = dir.File("first.txt");
    zoktest::WriteFile(small, "first");
    zoktest::WriteFile(big, zoktest::RandomBytes(32 << 20));
    const std::string archive = dir.File("big.zok");
    ASSERT_TRUE(BuildArchive({small, big}, archive, nullptr));
    std::filesystem::remove(big);
    Dlg& dlg = OpenWindow(archive);
    const auto folder = MakeFolder(dir, "out");
    prompts.folders.push_back(folder.string());
    Click(dlg, Dlg::kIdExtractAll);
    EXPECT_TRUE(dlg.Busy());
    EXPECT_TRUE(zokuitest::Control<QProgressBar>(dlg, Dlg::kIdProgress)->isVisible());
    Click(dlg, Dlg::kIdCancelWork);
    dlg.WaitForWork();
    EXPECT_EQ(LabelText(dlg, Dlg::kIdWorkStatus), Q("풀기를 취소했습니다."));
    EXPECT_TRUE(FolderContent(folder).empty());
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(ArchiveWindowTest, AVersion100ArchiveIsUpgradedBesideItAndOpened) {
    const std::string old = dir.File("old.zok");
    zoktest::WriteFile(old, zoktest::MakeArchive({zoktest::DeflatedEntry("a.txt", "alpha\n"),
                                                  zoktest::HandEntry("b.old", "beta")},
                                                 false));
    prompts.answers.push_back(true);
    Dlg& dlg = OpenWindow(old);
    dlg.WaitForWork();
    ASSERT_EQ(prompts.questions.size(), 1u);
    EXPECT_EQ(prompts.questions[0], Q("ZOK 1.0.0 형식의 파일입니다.\n1.1.0 형식으로 바꾸어, ") +
                                        QString::fromStdString(dir.File("old110.zok")) +
                                        Q("파일에 저장하고 그 파일을 엽니다.\n"));
    EXPECT_EQ(dlg.Archive().Path(), dir.File("old110.zok"));
    EXPECT_EQ(dlg.Archive().Version(), "110");
    EXPECT_EQ(ColumnTexts(dlg, Column::kName), QStringList({"a.txt", "b.old"}));
    EXPECT_EQ(dlg.windowTitle(), Q("old110.zok - ZOK Compressor"));
    EXPECT_TRUE(LabelText(dlg, Dlg::kIdStatus).endsWith(Q("버전 1.1.0")));
    const auto out = MakeFolder(dir, "out");
    ExtractInto(dlg, Dlg::kIdExtractAll, out);
    EXPECT_EQ(FolderContent(out),
              (std::map<std::string, std::string>{{"a.txt", "alpha\n"}, {"b.old", "beta"}}));
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(ArchiveWindowTest, AFileThatCannotBeOpenedIsReportedInKorean) {
    std::string cutShort = "ZOK110";
    zoktest::AppendU32(cutShort, 1000);
    const struct {
        std::string bytes;
        const char* reason;
    } rows[] = {
        {"hi", "ZOK 파일이 아닙니다"},
        {cutShort, "손상된 ZOK 파일입니다: 항목 1000개의 목록이 파일 끝을 넘어갑니다"},
    };
    for (const auto& row : rows) {
        const std::string path = dir.File("bad.zok");
        zoktest::WriteFile(path, row.bytes);
        prompts.messages.clear();
        EXPECT_EQ(Dlg::Open(path, prompts, nullptr), nullptr);
        ASSERT_EQ(prompts.messages.size(), 1u);
        EXPECT_EQ(prompts.messages[0],
                  QString::fromStdString(path) + Q("파일을 열 수 없습니다.\n") + Q(row.reason));
    }
    EXPECT_EQ(Dlg::Open(dir.File("missing.zok"), prompts, nullptr), nullptr);
    EXPECT_TRUE(prompts.messages.back().endsWith(Q("그런 파일이나 폴더가 없습니다")));
    EXPECT_TRUE(Dlg::OpenWindows().empty());
}

}  // namespace

namespace {

// The window extracts through the library's one extraction: links in the folder that lead out
// are refused by name even when the user says 예, and the question names the file written.
TEST_F(ArchiveWindowTest, LinksLeadingOutOfTheFolderAreRefusedWhateverTheAnswer) {
    const auto folder = MakeFolder(dir, "out");
    const auto outside = MakeFolder(dir, "outside");
    zoktest::WriteFile((outside / "victim").string(), "precious");
    zoktest::WriteFile((folder / "real.txt").string(), "old");
    std::filesystem::create_symlink("../outside/victim", folder / "readme.txt");
    std::filesystem::create_symlink("../outside/created", folder / "notes.txt");
    std::filesystem::create_symlink("real.txt", folder / "inside.txt");
    const std::string archive = dir.File("links.zok");
    zoktest::WriteFile(archive, zoktest::MakeArchive({zoktest::DeflatedEntry("readme.txt", "R"),
                                                      zoktest::DeflatedEntry("notes.txt", "N"),
                                                      zoktest::DeflatedEntry("inside.txt", "I")}));
    Dlg& dlg = OpenWindow(archive);
    prompts.overwriteAnswers = {OverwriteAnswer::YesToAll};
    ExtractInto(dlg, Dlg::kIdExtractAll, folder);
    EXPECT_EQ(FolderContent(outside), (std::map<std::string, std::string>{{"victim", "precious"}}));
    EXPECT_EQ(zoktest::ReadFile((folder / "real.txt").string()), "I");
    ASSERT_EQ(prompts.overwriteQuestions.size(), 1u);
    EXPECT_TRUE(prompts.overwriteQuestions[0].startsWith(
        QString::fromStdString((folder / "real.txt").string())));
    ASSERT_EQ(prompts.messages.size(), 1u);
    for (const char* name : {"readme.txt", "notes.txt"}) {
        EXPECT_TRUE(prompts.messages[0].contains(
            Q(name) + Q(": ") + QString::fromStdString((folder / name).string()) +
            Q(": 폴더 밖을 가리키는 심볼릭 링크라 따라가지 않습니다")))
            << prompts.messages[0].toStdString();
    }
}

TEST(WorkerTest, RunningOutOfMemoryOnTheWorkerIsReportedInWords) {
    QObject receiver;
    WindowPoster poster(receiver);
    Worker work(poster);
    std::string failure;
    bool done = false;
    work.OnFailure([&failure](const std::string& why) { failure = why; });
    work.Start([] { throw std::bad_alloc(); }, [&done] { done = true; });
    work.Wait();
    EXPECT_EQ(failure, "메모리가 모자랍니다");
    EXPECT_FALSE(done);
}

}  // namespace
