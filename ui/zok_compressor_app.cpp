#include "ui/zok_compressor_app.h"

#include "ui/app_icon.h"
#include "ui/dialog_layout.h"
#include "ui/qt_translation.h"
#include "ui/user_prompts.h"
#include "ui/zok_compressor_dlg.h"
#include "zok_version.h"

CZokCompressorApp::CZokCompressorApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QString::fromUtf8(kAppTitle));
    setApplicationVersion(QString::fromUtf8(kZokVersion));
    setDesktopFileName(QStringLiteral("zok-compressor"));
    setWindowIcon(AppIcon());
    // Message boxes and file dialogs speak Korean like the windows.
    if (LoadQtKoreanTranslation(m_qtTranslator)) {
        installTranslator(&m_qtTranslator);
    }
    setFont(DialogFont());
}

bool CZokCompressorApp::InitInstance() {
    QtUserPrompts prompts;
    CZokCompressorDlg mainDlg(prompts);
    mainDlg.exec();
    return false;
}
