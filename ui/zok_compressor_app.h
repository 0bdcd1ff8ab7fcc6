#pragma once

#include <QApplication>
#include <QTranslator>

// The application object: Korean standard dialogs, the application's name, version and
// icon; the main window, or the archives named on the command line, until the last window
// is closed.
class CZokCompressorApp : public QApplication {
public:
    CZokCompressorApp(int& argc, char** argv);

    // Shows the main window (or opens the archives named on the command line) and returns
    // when the last window has been closed; false, so that the program then ends.
    bool InitInstance();
    // The same for the archives files (none: the main window). Archives named on the command
    // line (a double-clicked ".zok" file) open in windows of their own, without the main
    // window.
    bool Run(const QStringList& files);

private:
    QTranslator m_qtTranslator;
};
