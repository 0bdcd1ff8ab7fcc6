#include "ui/output_name_dlg.h"

#include <unistd.h>

#include <QLineEdit>
#include <QPushButton>

#include "ui/user_prompts.h"
#include "zok/names.h"

using namespace zok;

const ControlTemplate COutputNameDlg::kTemplate[4] = {
    {kNoId, ControlKind::Static, "출력될 ZOK 파일명", 7, 7, 100, 8},
    {kIdFileName, ControlKind::Edit, "", 7, 18, 144, 14},
    {kIdBrowse, ControlKind::PushButton, "...", 155, 18, 17, 14},
    {kIdOk, ControlKind::DefPushButton, "OK", 64, 42, 50, 14},
};

COutputNameDlg::COutputNameDlg(QWidget* parent, std::string& result, UserPrompts& prompts)
    : QDialog(parent), return_value(result), m_prompts(prompts) {
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(DialogFont());
    const DialogUnits units(font());
    SetUpDialog(*this, units, "출력 파일 명을 지정해 주세요", kWidth, kHeight);
    for (const ControlTemplate& item : kTemplate) {
        CreateControl(*this, units, item);
    }
    m_edit = findChild<QLineEdit*>(ControlName(kIdFileName));
    connect(m_edit, &QLineEdit::textChanged, this, [this] { OnChangeFileName(); });
    connect(findChild<QPushButton*>(ControlName(kIdBrowse)), &QPushButton::clicked, this,
            [this] { OnBrowse(); });
    connect(findChild<QPushButton*>(ControlName(kIdOk)), &QPushButton::clicked, this,
            [this] { accept(); });
    m_edit->setFocus();
}

std::string COutputNameDlg::WithZokExtension(std::string name) {
    const std::string_view last4 =
        std::string_view(name).substr(name.size() >= 4 ? name.size() - 4 : 0);
    if (!SameEntryName(last4, ".zok")) {
        name += ".zok";
    }
    return name;
}

bool COutputNameDlg::FolderIsWritable(std::string_view name) {
    const size_t slash = name.rfind('/');
    if (slash == std::string_view::npos) {
        return false;
    }
    const std::string folder(name.substr(0, slash + 1));
    return ::access(folder.c_str(), W_OK) == 0;
}

void COutputNameDlg::UpdateData(bool saveAndValidate) {
    if (saveAndValidate) {
        m_strFileName = ToNativePath(m_edit->text());
    } else {
        m_edit->setText(FromNativePath(m_strFileName));
    }
}

void COutputNameDlg::OnBrowse() {
    const std::string chosen =
        m_prompts.AskArchivePath(*this, {QStringLiteral("ZOK 압축 파일 (*.zok)")});
    if (chosen.empty()) {
        return;
    }
    m_strFileName = WithZokExtension(chosen);
    return_value = m_strFileName;
    UpdateData(false);
}

void COutputNameDlg::OnChangeFileName() {
    UpdateData(true);
}

void COutputNameDlg::OnOK() {
    // The folder is tested on the text as typed, before ".zok" is added.
    if (!FolderIsWritable(m_strFileName)) {
        m_prompts.ShowMessage(*this, FromNativePath(m_strFileName) +
                                         QStringLiteral("파일의 경로가 올바르지 않습니다."));
        m_strFileName.clear();
        UpdateData(false);
    } else {
        m_strFileName = WithZokExtension(m_strFileName);
        return_value = m_strFileName;
    }
    UpdateData(true);
    QDialog::accept();
}

void COutputNameDlg::accept() {
    OnOK();
}
