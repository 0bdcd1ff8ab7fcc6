#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/ui/ui_test_support.h"
#include "ui/zok_compressor_app.h"

using namespace zok;

namespace zokuitest {

void WhenPopupMenu(std::function<void(QMenu&)> action) {
    auto* timer = new QTimer;
    auto* tries = new int(0);
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, tries, action] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu != nullptr && menu->isVisible()) {
            timer->stop();
            timer->deleteLater();
            delete tries;
            action(*menu);
            return;
        }
        if (++*tries > 2000) {
            timer->stop();
            timer->deleteLater();
            delete tries;
            ADD_FAILURE() << "the expected menu did not open";
        }
    });
    timer->start();
}

void Click(QWidget& dialog, int id) {
    QPushButton* button = Control<QPushButton>(dialog, id);
    ASSERT_NE(button, nullptr) << "no button " << id;
    QTest::mouseClick(button, Qt::LeftButton);
}

}  // namespace zokuitest

int main(int argc, char** argv) {
    // The windows are tested off screen unless a platform is asked for.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Settings the windows remember go to a folder of this process, never the user's nor one
    // that a test running beside it (ctest -j) changes meanwhile.
    QStandardPaths::setTestModeEnabled(true);
    std::string folder =
        (std::filesystem::temp_directory_path() / "zok-ui-settings-XXXXXX").string();
    if (::mkdtemp(folder.data()) == nullptr) {
        return 1;
    }
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString(folder));
    int result = 0;
    {
        CZokCompressorApp app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return result;
}
