#pragma once

#include <QDialog>
#include <string>
#include <string_view>

#include "ui/dialog_layout.h"

class QLineEdit;
class UserPrompts;

// Asks for the path of the archive to write. The chosen path, completed with ".zok", is
// written into the caller's string when "..." returns a file and when OK finds the folder
// writable; the caller reads an empty string as "no output chosen", whatever ended the dialog.
class COutputNameDlg : public QDialog {
public:
    static constexpr int kIdFileName = 1011;
    static constexpr int kIdBrowse = 1012;
    static constexpr int kWidth = 179;
    static constexpr int kHeight = 65;
    static const ControlTemplate kTemplate[4];

    // result: the caller's string, empty when the dialog opens; it must outlive the dialog.
    COutputNameDlg(QWidget* parent, std::string& result, UserPrompts& prompts);

    // "...": a file dialog; fills the edit box and the result at once.
    void OnBrowse();
    // Every change of the edit box's text is copied into m_strFileName.
    void OnChangeFileName();
    // OK: tests the folder, completes the extension, sets the result, ends the dialog.
    void OnOK();

    const std::string& FileName() const { return m_strFileName; }

    // name with ".zok" appended unless its last four bytes already are ".zok" in any case.
    static std::string WithZokExtension(std::string name);
    // True when name has a folder part (up to its last '/') that exists and may be written.
    static bool FolderIsWritable(std::string_view name);

protected:
    void accept() override;

private:
    // true: edit box -> m_strFileName; false: m_strFileName -> edit box.
    void UpdateData(bool saveAndValidate);

    std::string m_strFileName;
    std::string& return_value;
    UserPrompts& m_prompts;
    QLineEdit* m_edit = nullptr;
};
