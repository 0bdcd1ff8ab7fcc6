#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QImage>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QTableView>
#include <QTest>

#include "tests/support/test_support.h"
#include "tests/ui/sample_archive.h"
#include "tests/ui/ui_test_support.h"
#include "ui/app_icon.h"
#include "ui/archive_dlg.h"
#include "ui/dialog_group_box.h"
#include "ui/output_name_dlg.h"
#include "ui/progress_dlg.h"
#include "ui/zok_compressor_app.h"
#include "ui/zok_compressor_dlg.h"
#include "zok/build_archive.h"

using namespace zok;

namespace {

using zokuitest::Q;
using zokuitest::ScriptedPrompts;

// One control as a dialog template gives it: its id, or its text when it has none.
struct Expected {
    int id;
    const char* text;
    int x, y, cx, cy;
};

// The widget with that id, or the label, group box or button with that text.
QWidget* Find(QWidget& dlg, const Expected& e) {
    if (e.id != kNoId) {
        return dlg.findChild<QWidget*>(ControlName(e.id));
    }
    const QString text = Q(e.text);
    for (QWidget* w : dlg.findChildren<QWidget*>()) {
        if (auto* label = qobject_cast<QLabel*>(w); label && label->text() == text) {
            return w;
        }
        if (auto* box = qobject_cast<QGroupBox*>(w); box && box->title() == text) {
            return w;
        }
    }
    return nullptr;
}

enum class Sizing { Fixed, AtLeastLaidOut };

void ExpectLayout(QWidget& dlg, int cx, int cy, const std::vector<Expected>& controls,
                  Sizing sizing = Sizing::Fixed) {
    const DialogUnits units(dlg.font());
    EXPECT_EQ(dlg.size(), units.ToPixels(cx, cy));
    if (sizing == Sizing::Fixed) {
        EXPECT_EQ(dlg.minimumSize(), dlg.maximumSize()) << "the window's size is fixed";
    } else {
        EXPECT_EQ(dlg.minimumSize(), dlg.size()) << "the laid-out size is the smallest";
        EXPECT_GT(dlg.maximumSize().width(), dlg.width());
        EXPECT_GT(dlg.maximumSize().height(), dlg.height());
    }
    for (const Expected& e : controls) {
        QWidget* w = Find(dlg, e);
        ASSERT_NE(w, nullptr) << "no control " << e.id << " " << e.text;
        EXPECT_EQ(w->geometry(), units.ToPixels(e.x, e.y, e.cx, e.cy))
            << "control " << e.id << " " << e.text;
        if (e.id != kNoId && e.text[0] != '\0') {
            QString shown;
            if (auto* label = qobject_cast<QLabel*>(w)) {
                shown = label->text();
            } else if (auto* button = qobject_cast<QPushButton*>(w)) {
                shown = button->text();
            }
            if (!shown.isNull()) {
                EXPECT_EQ(shown, Q(e.text)) << "control " << e.id;
            }
        }
    }
}

// Every control that overlaps one of the dialog's groupBoxes group boxes lies inside its frame
// and below its title, clear of both.
void ExpectClearOfGroupBoxFrames(QWidget& dlg, int groupBoxes) {
    const QList<DialogGroupBox*> boxes = dlg.findChildren<DialogGroupBox*>();
    ASSERT_EQ(boxes.size(), groupBoxes);
    ASSERT_EQ(dlg.findChildren<QGroupBox*>().size(), groupBoxes)
        << "every group box is drawn alike";
    for (const DialogGroupBox* box : boxes) {
        const QRect interior = box->InteriorRect().translated(box->pos());
        for (const QWidget* w : dlg.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (w == box || !w->geometry().intersects(box->geometry())) {
                continue;
            }
            const QRect r = w->geometry();
            EXPECT_TRUE(interior.contains(r))
                << w->metaObject()->className() << " " << w->objectName().toStdString() << " at "
                << r.x() << "," << r.y() << " " << r.width() << "x" << r.height()
                << " crosses the frame or title of \"" << box->title().toStdString() << "\"";
        }
    }
}

TEST(DialogUnitsTest, ConvertsWithTheDialogManagersRounding) {
    const DialogUnits units(6, 13);
    EXPECT_EQ(units.ToPixels(29, 109, 50, 14), QRect(44, 177, 75, 23));
    EXPECT_EQ(units.ToPixels(7, 94, 183, 9), QRect(11, 153, 275, 15));
    EXPECT_EQ(units.ToPixels(196, 130), QSize(294, 211));
    EXPECT_EQ(units.X(0), 0);
    EXPECT_EQ(units.X(-4), -6);

    // From a font: four horizontal units are the average letter width, eight vertical units
    // the character height.
    const QFont font = DialogFont();
    const DialogUnits fromFont(font);
    const QFontMetrics metrics(font);
    EXPECT_EQ(fromFont.BaseY(), metrics.height());
    EXPECT_NEAR(fromFont.BaseX(), metrics.horizontalAdvance(Q("abcdefghijklmnopqrstuvwxyz")) / 26.0,
                2.0);
    EXPECT_EQ(fromFont.X(4), fromFont.BaseX());
    EXPECT_EQ(fromFont.Y(8), fromFont.BaseY());
}

TEST(DialogFontTest, GulimResolvesToAKoreanFontThatHoldsEveryText) {
    const QFont font = DialogFont();
    EXPECT_EQ(font.pointSize(), 9);
    const QString family = QFontInfo(font).family();
    EXPECT_TRUE(family.contains(Q("Nanum"), Qt::CaseInsensitive) ||
                family.contains(Q("Baekmuk"), Qt::CaseInsensitive) ||
                family.contains(Q("CJK"), Qt::CaseInsensitive) ||
                family.contains(Q("Un"), Qt::CaseSensitive))
        << family.toStdString();
    const QFontMetrics metrics(font);
    const char* texts[] = {"파일 크기 : ",
                           "ZOK 파일 크기 : ",
                           "현재 파일명 : ",
                           "대기 중...",
                           "압축 중...",
                           "압축 종료",
                           "File 수 :",
                           "개",
                           "출력될 ZOK 파일명",
                           "출력 파일 명을 지정해 주세요",
                           "ZOK Compressor 정보(&A)...",
                           "ZOK Compressor 버전 1.11",
                           "확인",
                           "모든 파일(*.*)",
                           "ZOK 압축 파일",
                           "파일의 경로가 올바르지 않습니다.",
                           "압축을 시작하여, 파일에 압축된 "
                           "결과를 저장합니다.",
                           "다음 파일은 목록에 추가하지 못했습니다."};
    for (const char* text : texts) {
        for (char32_t c : Q(text).toUcs4()) {
            EXPECT_TRUE(metrics.inFontUcs4(uint(c)))
                << "no glyph for U+" << std::hex << uint32_t(c) << " of " << text;
        }
    }
}

TEST(LayoutTest, ProgressWindowPlacesEveryControlAtItsRectangle) {
    ScriptedPrompts prompts;
    QWidget main;
    CProgressDlg dlg(main, prompts);
    ExpectLayout(dlg, 196, 130,
                 {{1002, "&Compress", 29, 109, 50, 14},
                  {2, "Cancel", 114, 109, 50, 14},
                  {1004, "", 7, 94, 183, 9},
                  {1005, "대기 중...", 7, 7, 49, 8},
                  {kNoId, "Information", 7, 20, 182, 69},
                  {kNoId, "File : ", 15, 32, 19, 8},
                  {1006, "0 / 0", 36, 32, 137, 8},
                  {kNoId, "파일 크기 : ", 15, 45, 38, 8},
                  {1003, "0 byte / 0 byte", 53, 45, 122, 8},
                  {kNoId, "ZOK 파일 크기 : ", 15, 60, 53, 8},
                  {1007, "0 byte", 70, 60, 108, 8},
                  {kNoId, "현재 파일명 : ", 15, 74, 44, 8},
                  {1010, "", 61, 73, 120, 9}});
    EXPECT_NE(qobject_cast<QProgressBar*>(dlg.findChild<QWidget*>(ControlName(1004))), nullptr);
    EXPECT_TRUE(dlg.findChild<QPushButton*>(ControlName(1002))->isDefault());
    ExpectClearOfGroupBoxFrames(dlg, 1);
}

TEST(LayoutTest, MainWindowPlacesEveryControlAtItsRectangle) {
    ScriptedPrompts prompts;
    CZokCompressorDlg dlg(prompts);
    ExpectLayout(dlg, 320, 200,
                 {{kNoId, "File List", 7, 7, 60, 8},
                  {1000, "", 7, 17, 306, 112},
                  {kNoId, "Infomation", 7, 134, 150, 59},
                  {kNoId, "File 수 :", 16, 151, 44, 8},
                  {1001, "0", 62, 151, 64, 8},
                  {kNoId, "개", 130, 151, 20, 8},
                  {kNoId, "Total Size :", 16, 171, 44, 8},
                  {1003, "0", 62, 171, 64, 8},
                  {kNoId, "byte", 130, 171, 20, 8},
                  {kNoId, "Operation", 163, 134, 150, 59},
                  {4, "&Add", 172, 148, 62, 16},
                  {3, "&Remove", 242, 148, 62, 16},
                  {1002, "&Compress", 172, 169, 62, 16},
                  {2, "E&xit", 242, 169, 62, 16}},
                 Sizing::AtLeastLaidOut);
    EXPECT_NE(qobject_cast<QListWidget*>(dlg.findChild<QWidget*>(ControlName(1000))), nullptr);
    for (int id : {1001, 1003}) {
        EXPECT_TRUE(dlg.findChild<QLabel*>(ControlName(id))->alignment() & Qt::AlignRight);
    }
    ExpectClearOfGroupBoxFrames(dlg, 2);
}

TEST(LayoutTest, MainWindowListFollowsItsSizeAndTheGroupsKeepToTheBottomCorners) {
    ScriptedPrompts prompts;
    CZokCompressorDlg dlg(prompts);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    const QSize laidOut = dlg.size();
    std::vector<std::pair<QWidget*, QRect>> placed;
    for (QWidget* w : dlg.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        placed.emplace_back(w, w->geometry());
    }
    QWidget* list = &dlg.List();
    const QRect listPlaced = list->geometry();
    // The buttons' group is the group box further right.
    int rightGroupLeft = 0;
    for (const DialogGroupBox* box : dlg.findChildren<DialogGroupBox*>()) {
        rightGroupLeft = std::max(rightGroupLeft, box->x());
    }

    const int dx = 150, dy = 90;
    dlg.resize(laidOut + QSize(dx, dy));
    ASSERT_EQ(dlg.size(), laidOut + QSize(dx, dy));
    for (const auto& [w, rect] : placed) {
        QRect expected = rect;
        if (w == list) {
            expected.adjust(0, 0, dx, dy);
        } else if (rect.top() > listPlaced.bottom()) {
            // Below the list: the counters' group to the bottom left, the buttons' to the right.
            expected.translate(rect.left() >= rightGroupLeft ? dx : 0, dy);
        }
        EXPECT_EQ(w->geometry(), expected)
            << w->metaObject()->className() << " " << w->objectName().toStdString();
    }
    ExpectClearOfGroupBoxFrames(dlg, 2);

    // Back to the smallest size it may have: exactly as laid out.
    dlg.resize(laidOut - QSize(40, 30));
    EXPECT_EQ(dlg.size(), laidOut);
    for (const auto& [w, rect] : placed) {
        EXPECT_EQ(w->geometry(), rect) << w->objectName().toStdString();
    }
}

// The rectangles the layout check relies on are where the group box really paints: its title
// and its frame's lines, nothing in the interior the framed controls occupy.
TEST(LayoutTest, GroupBoxesPaintOnlyTheirTitleAndFrame) {
    QWidget dlg;
    dlg.setFont(DialogFont());
    const DialogUnits units(dlg.font());
    auto* box = static_cast<DialogGroupBox*>(
        CreateControl(dlg, units, {kNoId, ControlKind::GroupBox, "Information", 7, 20, 182, 69}));
    QImage image(box->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    box->render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
    const QRect title = box->TitleRect();
    const QRect frame = box->FrameRect();
    const QRect interior = box->InteriorRect();
    int inTitle = 0, onFrame = 0, elsewhere = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) == 0) {
                continue;
            }
            const QPoint p(x, y);
            if (title.contains(p)) {
                ++inTitle;
            } else if (frame.contains(p) && !interior.contains(p)) {
                ++onFrame;
            } else {
                ++elsewhere;
            }
        }
    }
    EXPECT_GT(inTitle, 20) << "the title is written";
    EXPECT_GE(onFrame, 2 * (frame.width() + frame.height()) - title.width())
        << "a line all round, open only at the title";
    EXPECT_EQ(elsewhere, 0);
    // The frame's top edge runs through the title, not under it.
    EXPECT_GT(frame.top(), title.top());
    EXPECT_LT(frame.top(), title.bottom());
}

TEST(LayoutTest, OutputNameDialogAndAboutBoxPlaceEveryControlAtItsRectangle) {
    ScriptedPrompts prompts;
    std::string result;
    COutputNameDlg name(nullptr, result, prompts);
    ExpectLayout(name, 179, 65,
                 {{kNoId, "출력될 ZOK 파일명", 7, 7, 100, 8},
                  {1011, "", 7, 18, 144, 14},
                  {1012, "...", 155, 18, 17, 14},
                  {1, "OK", 64, 42, 50, 14}});
    EXPECT_NE(qobject_cast<QLineEdit*>(name.findChild<QWidget*>(ControlName(1011))), nullptr);
    EXPECT_TRUE(name.findChild<QPushButton*>(ControlName(1))->isDefault());

    CAboutDlg about(nullptr);
    EXPECT_EQ(about.windowTitle(), Q("ZOK Compressor 정보"));
    ExpectLayout(
        about, 167, 65,
        {{kNoId, "ZOK Compressor 버전 1.11", 40, 10, 119, 8}, {1, "확인", 110, 44, 50, 14}});
}

// Saves a picture of a shown window for a person to look at, and checks that it is not blank.
void SaveScreenshot(QWidget& window, const QString& name) {
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QImage image = window.grab().toImage();
    ASSERT_FALSE(image.isNull());
    int differing = 0;
    const QRgb corner = image.pixel(0, 0);
    for (int y = 0; y < image.height(); y += 2) {
        for (int x = 0; x < image.width(); x += 2) {
            differing += image.pixel(x, y) != corner ? 1 : 0;
        }
    }
    EXPECT_GT(differing, 100) << name.toStdString() << " looks blank";
    const QString folder = Q(ZOK_SCREENSHOT_DIR);
    ASSERT_TRUE(QDir().mkpath(folder));
    EXPECT_TRUE(image.save(folder + QLatin1Char('/') + name + Q(".png")));
}

TEST(ScreenshotTest, EveryDialogIsPictured) {
    zoktest::TempDir dir;
    ScriptedPrompts prompts;
    std::vector<std::string> files;
    for (const char* name : {"보고서.txt", "사진.bmp", "logo.png", "backup.old"}) {
        files.push_back(dir.File(name));
        zoktest::WriteFile(files.back(), zoktest::TextBytes(1234));
    }
    CZokCompressorDlg main(prompts);
    prompts.inputFiles.push_back(files);
    zokuitest::Click(main, CZokCompressorDlg::kIdAdd);
    SaveScreenshot(main, Q("main_window"));

    CAboutDlg about(&main);
    SaveScreenshot(about, Q("about_box"));

    std::string result;
    COutputNameDlg name(&main, result, prompts);
    zokuitest::Control<QLineEdit>(name, 1011)->setText(QString::fromStdString(dir.File("결과")));
    SaveScreenshot(name, Q("output_name_dialog"));

    CProgressDlg progress(main, prompts);
    progress.SetFieldText(JobField::Status, "압축 중...");
    progress.SetFieldText(JobField::FileCounter, "2 / 4");
    progress.SetFieldText(JobField::ByteCounter, "2,468 byte / 4,936 byte");
    progress.SetFieldText(JobField::ArchiveSize, "1,337 byte");
    progress.SetFieldText(JobField::CurrentFile, "logo.png");
    progress.SetBarPosition(50);
    SaveScreenshot(progress, Q("progress_window"));

    // An archive window with a Korean text previewed, after an extraction.
    ASSERT_TRUE(DrawAppIcon(160).save(QString::fromStdString(files[2]), "PNG"));
    zoktest::WriteFile(files[0], "올해 보고서\n\n1. 들어가며\n2. 한 일\n3. 할 일\n");
    ASSERT_TRUE(BuildArchive(files, dir.File("자료.zok"), nullptr));
    CArchiveDlg* archive = CArchiveDlg::Open(dir.File("자료.zok"), prompts, nullptr);
    ASSERT_NE(archive, nullptr);
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(dir.File("풀린 파일"))));
    prompts.folders.push_back(dir.File("풀린 파일"));
    zokuitest::Click(*archive, CArchiveDlg::kIdExtractAll);
    archive->WaitForWork();
    archive->Table().selectRow(0);
    archive->WaitForWork();
    SaveScreenshot(*archive, Q("archive_window"));
    CArchiveDlg::CloseAll();
}

TEST(AppTest, TheApplicationCarriesItsNameAndVersionAndEndsWithTheMainWindow) {
    auto* app = dynamic_cast<CZokCompressorApp*>(QCoreApplication::instance());
    ASSERT_NE(app, nullptr);
    EXPECT_EQ(QCoreApplication::applicationName(), Q("ZOK Compressor"));
    EXPECT_EQ(QCoreApplication::applicationVersion(), Q("1.1.1.0"));
    EXPECT_FALSE(QApplication::windowIcon().isNull());
    bool shown = false;
    zokuitest::WhenShown<CZokCompressorDlg>([&shown](CZokCompressorDlg& dlg) {
        shown = dlg.windowTitle() == Q("ZOK Compressor ver 1.11");
        zokuitest::Click(dlg, kIdCancel);
    });
    EXPECT_FALSE(app->InitInstance());
    EXPECT_TRUE(shown);
}

TEST(AppTest, AnArchiveNamedAtStartOpensAloneAndTheProgramEndsWithItsWindow) {
    auto* app = dynamic_cast<CZokCompressorApp*>(QCoreApplication::instance());
    ASSERT_NE(app, nullptr);
    zoktest::TempDir dir;
    const std::string archive = zokuitest::MakeSampleArchive(dir, "pics.zok");
    int mainWindows = 0;
    QString title;
    zokuitest::WhenShown<CArchiveDlg>([&](CArchiveDlg& dlg) {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            mainWindows += widget->isVisible() && dynamic_cast<CZokCompressorDlg*>(widget) ? 1 : 0;
        }
        title = dlg.windowTitle();
        dlg.close();
    });
    EXPECT_FALSE(app->Run({QString::fromStdString(archive)}));
    EXPECT_EQ(title, Q("pics.zok - ZOK Compressor"));
    EXPECT_EQ(mainWindows, 0);
    EXPECT_TRUE(CArchiveDlg::OpenWindows().empty());
}

TEST(AppTest, QtsOwnButtonsSpeakKoreanWhenQtsTranslationIsInstalled) {
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!QFile::exists(folder + Q("/qtbase_ko.qm"))) {
        GTEST_SKIP() << "Qt's Korean translation is not installed in " << folder.toStdString();
    }
    QMessageBox box(QMessageBox::Question, Q("ZOK Compressor"), Q("?"),
                    QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(box.button(QMessageBox::Yes)->text(), Q("예(&Y)"));
    EXPECT_EQ(box.button(QMessageBox::No)->text(), Q("아니요(&N)"));
}

}  // namespace
