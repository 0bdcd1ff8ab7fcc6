#include "ui/user_prompts.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>
#include <algorithm>

using namespace zok;

std::string ToNativePath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QString FromNativePath(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

namespace {

// The file dialog of Add: files as usual, and folders too. A folder that is selected when the
// dialog is accepted is taken, not entered (a double click still enters it).
class FilesAndFoldersDialog : public QFileDialog {
public:
    explicit FilesAndFoldersDialog(QWidget* parent) : QFileDialog(parent) {
        setOption(QFileDialog::DontUseNativeDialog);
        setAcceptMode(QFileDialog::AcceptOpen);
        setFileMode(QFileDialog::ExistingFiles);
    }

protected:
    void accept() override {
        const QStringList chosen = selectedFiles();
        const bool folders = std::any_of(chosen.begin(), chosen.end(), [](const QString& file) {
            return QFileInfo(file).isDir();
        });
        if (folders && std::all_of(chosen.begin(), chosen.end(),
                                   [](const QString& file) { return QFileInfo::exists(file); })) {
            QDialog::accept();
            return;
        }
        QFileDialog::accept();
    }
};

}  // namespace

std::vector<std::string> QtUserPrompts::AskInputFiles(QWidget& parent, const QStringList& filters) {
    FilesAndFoldersDialog dialog(&parent);
    // The filter names are shown as given, without their patterns.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters(filters);
    std::vector<std::string> paths;
    if (dialog.exec() != QDialog::Accepted) {
        return paths;
    }
    for (const QString& file : dialog.selectedFiles()) {
        paths.push_back(ToNativePath(QDir::toNativeSeparators(file)));
    }
    return paths;
}

std::string QtUserPrompts::AskArchivePath(QWidget& parent, const QStringList& filters) {
    for (;;) {
        QFileDialog dialog(&parent);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::HideNameFilterDetails);
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        dialog.setNameFilters(filters);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
            return std::string();
        }
        const QString file = dialog.selectedFiles().front();
        // The file may be new, but its folder must exist; otherwise ask again.
        if (QFileInfo(file).absoluteDir().exists()) {
            return ToNativePath(QDir::toNativeSeparators(file));
        }
        ShowMessage(parent, file + QStringLiteral("파일의 경로가 올바르지 않습니다."));
    }
}

void QtUserPrompts::ShowMessage(QWidget& parent, const QString& text) {
    QMessageBox box(QMessageBox::Warning, QString::fromUtf8(kAppTitle), text, QMessageBox::Ok,
                    &parent);
    box.exec();
}

bool QtUserPrompts::AskYesNo(QWidget& parent, const QString& text) {
    QMessageBox box(QMessageBox::Question, QString::fromUtf8(kAppTitle), text,
                    QMessageBox::Yes | QMessageBox::No, &parent);
    return box.exec() == QMessageBox::Yes;
}

std::string QtUserPrompts::AskArchiveToOpen(QWidget& parent) {
    QFileDialog dialog(&parent);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters(
        {QStringLiteral("ZOK 파일 (*.zok *.ZOK)"), QStringLiteral("모든 파일(*.*) (*)")});
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::string();
    }
    return ToNativePath(QDir::toNativeSeparators(dialog.selectedFiles().front()));
}

std::string QtUserPrompts::AskFolder(QWidget& parent) {
    QFileDialog dialog(&parent, QStringLiteral("압축을 풀 폴더"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::string();
    }
    return ToNativePath(QDir::toNativeSeparators(dialog.selectedFiles().front()));
}

OverwriteAnswer QtUserPrompts::AskOverwrite(QWidget& parent, const QString& text) {
    QMessageBox box(
        QMessageBox::Question, QString::fromUtf8(kAppTitle), text,
        QMessageBox::Yes | QMessageBox::YesToAll | QMessageBox::No | QMessageBox::NoToAll, &parent);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("예(&Y)"));
    box.button(QMessageBox::YesToAll)->setText(QStringLiteral("모두 예(&A)"));
    box.button(QMessageBox::No)->setText(QStringLiteral("아니요(&N)"));
    box.button(QMessageBox::NoToAll)->setText(QStringLiteral("모두 아니요(&O)"));
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    switch (box.exec()) {
        case QMessageBox::Yes:
            return OverwriteAnswer::Yes;
        case QMessageBox::YesToAll:
            return OverwriteAnswer::YesToAll;
        case QMessageBox::NoToAll:
            return OverwriteAnswer::NoToAll;
        default:
            return OverwriteAnswer::No;
    }
}

bool QtUserPrompts::OpenFile(QWidget&, const std::string& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(FromNativePath(path)));
}
