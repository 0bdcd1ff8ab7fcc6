#pragma once

#include <QString>
#include <QStringList>
#include <string>
#include <vector>

#include "zok/extract.h"

class QWidget;

// The title of every message box.
inline constexpr const char* kAppTitle = "ZOK Compressor";

// The questions the windows put to the user through the platform's standard dialogs: file
// dialogs and message boxes. The program answers them with Qt's dialogs; tests answer them
// with a script.
class UserPrompts {
public:
    virtual ~UserPrompts() = default;

    // The file-open dialog of Add: existing files and folders, several at once. filters are Qt
    // name filters ("Text File (*.txt)"), the first one selected. Returns the chosen full paths
    // (UTF-8) in the dialog's order; none when the user cancelled.
    virtual std::vector<std::string> AskInputFiles(QWidget& parent, const QStringList& filters) = 0;

    // The file dialog of the output name: one file that may not exist yet in a folder that
    // does, no question about overwriting. Returns the full path; empty when cancelled.
    virtual std::string AskArchivePath(QWidget& parent, const QStringList& filters) = 0;

    // A message with the warning icon and an OK button; returns when it is closed.
    virtual void ShowMessage(QWidget& parent, const QString& text) = 0;

    // A question with the question icon and Yes and No buttons; true only for Yes.
    virtual bool AskYesNo(QWidget& parent, const QString& text) = 0;

    // The file-open dialog of "열기...": one existing ZOK file. Empty when cancelled.
    virtual std::string AskArchiveToOpen(QWidget& parent) = 0;

    // The folder dialog of extraction: an existing folder. Empty when cancelled.
    virtual std::string AskFolder(QWidget& parent) = 0;

    // The question before a file is replaced, with the buttons 예, 모두 예, 아니요 and 모두
    // 아니요, each with its mnemonic (Y, A, N, O); closing it answers 아니요.
    virtual zok::OverwriteAnswer AskOverwrite(QWidget& parent, const QString& text) = 0;

    // Opens a file with the desktop's program for its type; false when none could be started.
    virtual bool OpenFile(QWidget& parent, const std::string& path) = 0;
};

// The answers of Qt's standard dialogs.
class QtUserPrompts : public UserPrompts {
public:
    std::vector<std::string> AskInputFiles(QWidget& parent, const QStringList& filters) override;
    std::string AskArchivePath(QWidget& parent, const QStringList& filters) override;
    void ShowMessage(QWidget& parent, const QString& text) override;
    bool AskYesNo(QWidget& parent, const QString& text) override;
    std::string AskArchiveToOpen(QWidget& parent) override;
    std::string AskFolder(QWidget& parent) override;
    zok::OverwriteAnswer AskOverwrite(QWidget& parent, const QString& text) override;
    bool OpenFile(QWidget& parent, const std::string& path) override;
};

// Paths as the file system names them (UTF-8 bytes) and as the windows show them.
std::string ToNativePath(const QString& path);
QString FromNativePath(const std::string& path);
