#pragma once

#include <QApplication>
#include <QTranslator>

// The application object: Korean standard dialogs, the application's name, version and
// icon, and the main window run modally until the user closes it.
class CZokCompressorApp : public QApplication {
public:
    CZokCompressorApp(int& argc, char** argv);

    // Shows the main window and returns when it has been closed; false, so that no event
    // loop of the application's own follows and the program ends.
    bool InitInstance();

private:
    QTranslator m_qtTranslator;
};
