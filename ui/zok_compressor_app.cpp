#include "ui/zok_compressor_app.h"

#include "ui/app_icon.h"
#include "ui/archive_dlg.h"
#include "ui/dialog_layout.h"
#include "ui/qt_translation.h"
#include "ui/user_prompts.h"
#include "ui/zok_compressor_dlg.h"
#include "zok_version.h"

using namespace zok;

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
    QStringList files = arguments().mid(1);
    // Options start with '-'; every other argument names an archive.
    files.removeIf([](const QString& argument) { return argument.startsWith(QLatin1Char('-')); });
    return Run(files);
}

bool CZokCompressorApp::Run(const QStringList& files) {
    QtUserPrompts prompts;
    CZokCompressorDlg mainDlg(prompts);
    for (const QString& file : files) {
        CArchiveDlg::Open(ToNativePath(file), prompts, nullptr);
    }
    if (files.isEmpty()) {
        mainDlg.show();
    }
    if (mainDlg.isVisible() || !CArchiveDlg::OpenWindows().empty()) {
        exec();
    }
    CArchiveDlg::CloseAll();
    return false;
}
