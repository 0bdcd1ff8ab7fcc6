#include <sys/stat.h>
#include <unistd.h>

#include <QLineEdit>
#include <QTest>
#include <filesystem>

#include "tests/support/test_support.h"
#include "tests/ui/ui_test_support.h"
#include "ui/output_name_dlg.h"

using namespace zok;

namespace {

using zokuitest::Click;
using zokuitest::Q;
using zokuitest::ScriptedPrompts;

class OutputNameDlgTest : public ::testing::Test {
protected:
    QLineEdit& Edit(COutputNameDlg& dlg) {
        return *zokuitest::Control<QLineEdit>(dlg, COutputNameDlg::kIdFileName);
    }
    // Types text into the edit box and presses OK, as a user would.
    void TypeAndOk(COutputNameDlg& dlg, const std::string& text) {
        Edit(dlg).clear();
        const QString typed = QString::fromStdString(text);
        bool ascii = true;
        for (QChar c : typed) {
            ascii = ascii && c.unicode() < 0x80;
        }
        if (ascii) {
            QTest::keyClicks(&Edit(dlg), typed);
        } else {
            Edit(dlg).insert(typed);  // key clicks carry ASCII only
        }
        Click(dlg, kIdOk);
    }
    static QString PathMessage(const std::string& typed) {
        return QString::fromStdString(typed) + Q("파일의 경로가 올바르지 않습니다.");
    }

    zoktest::TempDir dir;
    ScriptedPrompts prompts;
    std::string result;
};

TEST_F(OutputNameDlgTest, OkCompletesTheExtensionInAWritableFolder) {
    const struct {
        std::string typed;
        std::string expected;
    } cases[] = {
        {dir.File("out"), dir.File("out.zok")},
        {dir.File("out.ZOK"), dir.File("out.ZOK")},
        {dir.File("out.Zok"), dir.File("out.Zok")},
        {dir.File("a.zo"), dir.File("a.zo.zok")},
        {dir.File("압축.txt"), dir.File("압축.txt.zok")},
    };
    for (const auto& c : cases) {
        result.clear();
        COutputNameDlg dlg(nullptr, result, prompts);
        dlg.show();
        TypeAndOk(dlg, c.typed);
        EXPECT_EQ(result, c.expected);
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
        EXPECT_FALSE(dlg.isVisible());
    }
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(OutputNameDlgTest, NamesWithoutAWritableFolderAreRefusedAndTheDialogCloses) {
    std::vector<std::string> refused = {
        "out.zok",                         // no folder at all
        "C:\\data\\out.zok",               // a backslash is part of the name on this system
        dir.File("missing/out.zok"),       // a folder that does not exist
        dir.File("plain.txt") + "/x.zok",  // a file where the folder should be
    };
    zoktest::WriteFile(dir.File("plain.txt"), "x");
    const std::string locked = dir.File("locked");
    std::filesystem::create_directory(locked);
    ::chmod(locked.c_str(), 0555);
    if (::access(locked.c_str(), W_OK) != 0) {  // not when running as root
        refused.push_back(locked + "/out.zok");
    }
    for (const std::string& typed : refused) {
        prompts.messages.clear();
        result.clear();
        COutputNameDlg dlg(nullptr, result, prompts);
        dlg.show();
        TypeAndOk(dlg, typed);
        ASSERT_EQ(prompts.messages.size(), 1u) << typed;
        EXPECT_EQ(prompts.messages[0], PathMessage(typed));
        EXPECT_EQ(result, "") << typed;
        EXPECT_EQ(Edit(dlg).text(), Q(""));
        EXPECT_EQ(dlg.FileName(), "");
        EXPECT_FALSE(dlg.isVisible());
    }
}

TEST_F(OutputNameDlgTest, BrowseWritesTheResultAtOnce) {
    prompts.archivePaths.push_back(dir.File("picked"));
    COutputNameDlg dlg(nullptr, result, prompts);
    zokuitest::WhenModal<COutputNameDlg>([](COutputNameDlg& shown) {
        Click(shown, COutputNameDlg::kIdBrowse);
        QTest::keyClick(&shown, Qt::Key_Escape);
    });
    EXPECT_EQ(dlg.exec(), QDialog::Rejected);
    EXPECT_EQ(result, dir.File("picked.zok"));
    EXPECT_EQ(Edit(dlg).text(), QString::fromStdString(dir.File("picked.zok")));
    ASSERT_EQ(prompts.archiveFilterRequests.size(), 1u);
    EXPECT_EQ(prompts.archiveFilterRequests[0], QStringList{Q("ZOK 압축 파일 (*.zok)")});
}

TEST_F(OutputNameDlgTest, AFailedOkKeepsThePathChosenWithBrowse) {
    prompts.archivePaths.push_back(dir.File("picked.zok"));
    COutputNameDlg dlg(nullptr, result, prompts);
    dlg.show();
    Click(dlg, COutputNameDlg::kIdBrowse);
    EXPECT_EQ(result, dir.File("picked.zok"));
    TypeAndOk(dlg, dir.File("nowhere/out"));
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0], PathMessage(dir.File("nowhere/out")));
    EXPECT_EQ(result, dir.File("picked.zok"));
}

TEST_F(OutputNameDlgTest, ClosingWithoutBrowseOrOkLeavesTheResultEmpty) {
    for (bool escape : {true, false}) {
        // A cancelled file dialog changes nothing either.
        COutputNameDlg dlg(nullptr, result, prompts);
        zokuitest::WhenModal<COutputNameDlg>([escape](COutputNameDlg& shown) {
            Click(shown, COutputNameDlg::kIdBrowse);
            QTest::keyClicks(zokuitest::Control<QLineEdit>(shown, COutputNameDlg::kIdFileName),
                             Q("/tmp/typed"));
            if (escape) {
                QTest::keyClick(&shown, Qt::Key_Escape);
            } else {
                shown.close();
            }
        });
        EXPECT_EQ(dlg.exec(), QDialog::Rejected);
        EXPECT_EQ(result, "");
        EXPECT_EQ(dlg.FileName(), "/tmp/typed");
    }
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(OutputNameDlgTest, EnterPressesOk) {
    COutputNameDlg dlg(nullptr, result, prompts);
    zokuitest::WhenModal<COutputNameDlg>([this](COutputNameDlg& shown) {
        auto* edit = zokuitest::Control<QLineEdit>(shown, COutputNameDlg::kIdFileName);
        QTest::keyClicks(edit, QString::fromStdString(dir.File("entered")));
        QTest::keyClick(edit, Qt::Key_Return);
    });
    EXPECT_EQ(dlg.exec(), QDialog::Accepted);
    EXPECT_EQ(result, dir.File("entered.zok"));
    EXPECT_EQ(dlg.windowTitle(), Q("출력 파일 명을 지정해 주세요"));
}

}  // namespace
