#include "ui/progress_dlg.h"

#include <QLabel>
#include <QPushButton>
#include <algorithm>

#include "ui/output_name_dlg.h"
#include "ui/user_prompts.h"

using namespace zok;

const ControlTemplate CProgressDlg::kTemplate[12] = {
    {kIdCompress, ControlKind::DefPushButton, "&Compress", 29, 109, 50, 14},
    {kIdCancel, ControlKind::PushButton, "Cancel", 114, 109, 50, 14},
    {kIdStatus, ControlKind::Static, "대기 중...", 7, 7, 49, 8},
    {kNoId, ControlKind::GroupBox, "Information", 7, 20, 182, 69},
    {kNoId, ControlKind::Static, "File : ", 15, 32, 19, 8},
    {kIdFileCounter, ControlKind::Static, "0 / 0", 36, 32, 137, 8},
    {kNoId, ControlKind::Static, "파일 크기 : ", 15, 45, 38, 8},
    {kIdByteCounter, ControlKind::Static, "0 byte / 0 byte", 53, 45, 122, 8},
    {kNoId, ControlKind::Static, "ZOK 파일 크기 : ", 15, 60, 53, 8},
    {kIdArchiveSize, ControlKind::Static, "0 byte", 70, 60, 108, 8},
    {kNoId, ControlKind::Static, "현재 파일명 : ", 15, 74, 44, 8},
    {kIdCurrentFile, ControlKind::Static, "", 61, 73, 120, 9},
};

const ControlTemplate CProgressDlg::kProgressTemplate = {
    kIdProgress, ControlKind::Custom, "Progress1", 7, 94, 183, 9};

CProgressDlg::CProgressDlg(QWidget& mainDlg, UserPrompts& prompts)
    : QDialog(&mainDlg), m_mainDlg(mainDlg), m_prompts(prompts), m_progress(this), m_job(*this) {
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFont(DialogFont());
    const DialogUnits units(font());
    SetUpDialog(*this, units, "ZOK Compressor", kWidth, kHeight);
    for (const ControlTemplate& item : kTemplate) {
        CreateControl(*this, units, item);
    }
    // The bar keeps the control's default range, 0 to 100, and shows no text.
    m_progress.setRange(0, 100);
    m_progress.setValue(0);
    m_progress.setTextVisible(false);
    PlaceControl(m_progress, units, kProgressTemplate);

    connect(findChild<QPushButton*>(ControlName(kIdCompress)), &QPushButton::clicked, this,
            [this] { OnCompress(); });
    connect(findChild<QPushButton*>(ControlName(kIdCancel)), &QPushButton::clicked, this,
            [this] { reject(); });
}

void CProgressDlg::SetJob(int32_t fileCount, uint64_t totalSize, const char* const* paths) {
    m_job.SetJob(fileCount, totalSize, paths);
}

void CProgressDlg::OnCompress() {
    m_job.OnCompress();
}

namespace {

int FieldId(JobField field) {
    switch (field) {
        case JobField::Status:
            return CProgressDlg::kIdStatus;
        case JobField::FileCounter:
            return CProgressDlg::kIdFileCounter;
        case JobField::ByteCounter:
            return CProgressDlg::kIdByteCounter;
        case JobField::ArchiveSize:
            return CProgressDlg::kIdArchiveSize;
        case JobField::CurrentFile:
            return CProgressDlg::kIdCurrentFile;
    }
    return kNoId;
}

}  // namespace

void CProgressDlg::SetFieldText(JobField field, const std::string& text) {
    if (auto* label = findChild<QLabel*>(ControlName(FieldId(field)))) {
        label->setText(QString::fromStdString(text));
        if (field == JobField::Status) {
            FitStatusLine(*label);
        }
    }
}

void CProgressDlg::FitStatusLine(QLabel& label) {
    // Laid out for "대기 중..."; a longer status such as "압축하지 못했습니다." widens it into
    // the free space to its right, up to the window's margin.
    const auto item = std::find_if(std::begin(kTemplate), std::end(kTemplate),
                                   [](const ControlTemplate& c) { return c.id == kIdStatus; });
    const DialogUnits units(font());
    const QRect laidOut = units.ToPixels(item->x, item->y, item->cx, item->cy);
    const int widest = units.X(kWidth - 2 * item->x);
    const int needed = label.fontMetrics().horizontalAdvance(label.text());
    label.resize(std::clamp(needed, laidOut.width(), std::max(widest, laidOut.width())),
                 laidOut.height());
}

void CProgressDlg::EnableButton(JobButton button, bool enabled) {
    const int id = button == JobButton::Compress ? kIdCompress : kIdCancel;
    if (auto* control = findChild<QPushButton*>(ControlName(id))) {
        control->setEnabled(enabled);
    }
}

void CProgressDlg::SetCancelCaption(const std::string& caption) {
    if (auto* control = findChild<QPushButton*>(ControlName(kIdCancel))) {
        control->setText(QString::fromStdString(caption));
    }
}

void CProgressDlg::SetBarPosition(int position) {
    // The control keeps every position within its range.
    m_progress.setValue(std::clamp(position, m_progress.minimum(), m_progress.maximum()));
}

// The builder works on a thread of its own and the event loop runs meanwhile: a repaint is
// asked for and comes with the loop.
void CProgressDlg::RepaintProgressWindow() {
    update();
}

void CProgressDlg::RepaintMainWindow() {
    m_mainDlg.update();
}

std::string CProgressDlg::AskOutputName() {
    std::string name;
    COutputNameDlg dialog(this, name, m_prompts);
    dialog.exec();
    return name;
}

bool CProgressDlg::AskYesNo(const std::string& question) {
    return m_prompts.AskYesNo(*this, QString::fromStdString(question));
}

void CProgressDlg::ShowMessage(const std::string& message) {
    m_prompts.ShowMessage(*this, QString::fromStdString(message));
}

void CProgressDlg::PostToWindow(std::function<void()> call) {
    QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

void CProgressDlg::CloseWindow() {
    QDialog::reject();
}

void CProgressDlg::reject() {
    if (m_job.GetState() == JobState::Running) {
        m_job.OnCancel();
        return;
    }
    const auto* cancel = findChild<QPushButton*>(ControlName(kIdCancel));
    if (cancel != nullptr && !cancel->isEnabled()) {
        return;
    }
    QDialog::reject();
}
