#include "ui/zok_compressor_dlg.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QLabel>
#include <QListWidgetItem>
#include <QMenu>
#include <QPushButton>
#include <QResizeEvent>
#include <algorithm>

#include "job/formatting.h"
#include "ui/app_icon.h"
#include "ui/archive_dlg.h"
#include "ui/progress_dlg.h"
#include "ui/user_prompts.h"

using namespace zok;

const ControlTemplate CZokCompressorDlg::kTemplate[13] = {
    {kNoId, ControlKind::Static, "File List", 7, 7, 60, 8},
    {kNoId, ControlKind::GroupBox, "Infomation", 7, 134, 150, 59},
    {kNoId, ControlKind::Static, "File 수 :", 16, 151, 44, 8},
    {kIdFileCount, ControlKind::StaticRight, "0", 62, 151, 64, 8},
    {kNoId, ControlKind::Static, "개", 130, 151, 20, 8},
    {kNoId, ControlKind::Static, "Total Size :", 16, 171, 44, 8},
    {kIdTotalSize, ControlKind::StaticRight, "0", 62, 171, 64, 8},
    {kNoId, ControlKind::Static, "byte", 130, 171, 20, 8},
    {kNoId, ControlKind::GroupBox, "Operation", 163, 134, 150, 59},
    {kIdAdd, ControlKind::PushButton, "&Add", 172, 148, 62, 16},
    {kIdRemove, ControlKind::PushButton, "&Remove", 242, 148, 62, 16},
    {kIdCompress, ControlKind::PushButton, "&Compress", 172, 169, 62, 16},
    {kIdCancel, ControlKind::PushButton, "E&xit", 242, 169, 62, 16},
};

const ControlTemplate CZokCompressorDlg::kListTemplate = {
    kIdList, ControlKind::Custom, "", 7, 17, 306, 112};

namespace {

// How each control of the template follows the window's size: the caption stays, the counters'
// group keeps to the bottom left and the buttons' group to the bottom right.
constexpr Anchor kAnchors[std::size(CZokCompressorDlg::kTemplate)] = {
    Anchor::TopLeft,     Anchor::BottomLeft,  Anchor::BottomLeft,  Anchor::BottomLeft,
    Anchor::BottomLeft,  Anchor::BottomLeft,  Anchor::BottomLeft,  Anchor::BottomLeft,
    Anchor::BottomRight, Anchor::BottomRight, Anchor::BottomRight, Anchor::BottomRight,
    Anchor::BottomRight,
};

const char kAboutItem[] = "ZOK Compressor 정보(&A)...";
const char kOpenItem[] = "열기...";
// Lines of one message about files that could not be listed.
constexpr int kMaxReportedFiles = 20;

}  // namespace

CZokCompressorDlg::CZokCompressorDlg(UserPrompts& prompts, QWidget* parent)
    : QDialog(parent), m_prompts(prompts), m_list(*this), m_hIcon(AppIcon()) {
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    setFont(DialogFont());
    const DialogUnits units(font());
    SetUpDialog(*this, units, "ZOK Compressor ver 1.11", kWidth, kHeight);
    // Resizable, never smaller than laid out.
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    m_layout = AnchoredLayout(size());
    m_layout.Add(*CreateControl(*this, units, kTemplate[0]), kAnchors[0]);
    PlaceControl(m_list, units, kListTemplate);
    m_layout.Add(m_list, Anchor::Fill);
    for (size_t i = 1; i < std::size(kTemplate); ++i) {
        m_layout.Add(*CreateControl(*this, units, kTemplate[i]), kAnchors[i]);
    }
    const auto button = [this](int id) { return findChild<QPushButton*>(ControlName(id)); };
    connect(button(kIdAdd), &QPushButton::clicked, this, [this] { OnAdd(); });
    connect(button(kIdRemove), &QPushButton::clicked, this, [this] { OnRemove(); });
    connect(button(kIdCompress), &QPushButton::clicked, this, [this] { OnCompress(); });
    connect(button(kIdCancel), &QPushButton::clicked, this, [this] { reject(); });
    OnInitDialog();
}

bool CZokCompressorDlg::OnInitDialog() {
    setWindowIcon(m_hIcon);
    EnableCompress(false);
    m_list.setFocus();
    return true;
}

void CZokCompressorDlg::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    QAction* open = menu.addAction(QString::fromUtf8(kOpenItem));
    menu.addSeparator();
    QAction* about = menu.addAction(QString::fromUtf8(kAboutItem));
    QAction* chosen = menu.exec(event->globalPos());
    if (chosen == about) {
        OnSysCommand(kIdmAboutBox);
    } else if (chosen == open) {
        OnOpenArchive();
    }
}

void CZokCompressorDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    m_layout.Apply(event->size());
}

void CZokCompressorDlg::OnSysCommand(unsigned id) {
    if ((id & 0xFFF0) == kIdmAboutBox) {
        CAboutDlg about(this);
        about.exec();
    }
}

bool CZokCompressorDlg::IsNewFile(const std::string& path) const {
    return m_inputs.IsNewFile(path);
}

void CZokCompressorDlg::ShowNewRows(uint32_t width) {
    for (int row = m_list.count(); row < m_inputs.FileCount(); ++row) {
        // The row may be shortened; its tooltip always names the whole path.
        const std::string path = m_inputs.Files().GetAt(row);
        auto* item = new QListWidgetItem(FromNativePath(ShortenPath(path, width)), &m_list);
        item->setToolTip(FromNativePath(path));
    }
}

void CZokCompressorDlg::ShowFileCount() {
    findChild<QLabel*>(ControlName(kIdFileCount))
        ->setText(QString::fromStdString(FormatNumber(uint32_t(m_inputs.FileCount()))));
}

void CZokCompressorDlg::ShowTotalSize() {
    findChild<QLabel*>(ControlName(kIdTotalSize))
        ->setText(QString::fromStdString(FormatNumber(m_inputs.TotalSize())));
}

void CZokCompressorDlg::EnableCompress(bool enabled) {
    findChild<QPushButton*>(ControlName(kIdCompress))->setEnabled(enabled);
}

void CZokCompressorDlg::OnAdd() {
    const QStringList filters = {QStringLiteral("모든 파일(*.*) (*)"),
                                 QStringLiteral("Graphic File (*.bmp *.png *.BMP *.PNG)"),
                                 QStringLiteral("Text File (*.txt *.TXT)")};
    const std::vector<std::string> paths = m_prompts.AskInputFiles(*this, filters);
    // One file already listed changes nothing at all, not even the labels.
    if (paths.size() == 1 && !IsNewFile(paths.front())) {
        return;
    }
    const int firstNewRow = m_list.count();
    std::vector<std::string> failures;
    m_inputs.AddMeasured(paths, &failures);
    ShowNewRows(kAddRowWidth);
    if (!paths.empty()) {
        ShowFileCount();
        ShowTotalSize();
    }
    if (m_inputs.FileCount() > 0) {
        EnableCompress(true);
    }
    m_list.ShowRowsFrom(firstNewRow);
    ReportUnaddedFiles(failures);
}

void CZokCompressorDlg::AddFiles(const std::vector<std::string>& paths, uint32_t rowWidth) {
    const int firstNewRow = m_list.count();
    std::vector<std::string> failures;
    if (m_inputs.AddMeasured(paths, &failures) > 0) {
        ShowNewRows(rowWidth);
        ShowFileCount();
        ShowTotalSize();
    }
    if (m_inputs.FileCount() > 0) {
        EnableCompress(true);
    }
    m_list.ShowRowsFrom(firstNewRow);
    ReportUnaddedFiles(failures);
}

void CZokCompressorDlg::ReportUnaddedFiles(const std::vector<std::string>& failures) {
    if (failures.empty()) {
        return;
    }
    QString text = QStringLiteral("다음 파일은 목록에 추가하지 못했습니다.");
    for (size_t i = 0; i < failures.size() && i < size_t(kMaxReportedFiles); ++i) {
        text += QLatin1Char('\n') + FromNativePath(failures[i]);
    }
    if (failures.size() > size_t(kMaxReportedFiles)) {
        text += QStringLiteral("\n... 외 %1개").arg(int(failures.size()) - kMaxReportedFiles);
    }
    m_prompts.ShowMessage(*this, text);
}

void CZokCompressorDlg::OnRemove() {
    std::vector<int> rows;
    for (const QModelIndex& index : m_list.selectionModel()->selectedRows()) {
        rows.push_back(index.row());
    }
    if (!rows.empty()) {
        m_inputs.RemoveRows(rows);
        std::sort(rows.begin(), rows.end());
        for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
            delete m_list.takeItem(*it);
        }
        ShowFileCount();
        ShowTotalSize();
    }
    if (m_inputs.FileCount() == 0) {
        EnableCompress(false);
    }
}

void CZokCompressorDlg::OnCompress() {
    if (m_inputs.FileCount() <= 0) {
        return;
    }
    const std::vector<std::string> paths = m_inputs.Paths();
    std::vector<const char*> array;
    array.reserve(paths.size());
    for (const std::string& path : paths) {
        array.push_back(path.c_str());
    }
    CProgressDlg progress(*this, m_prompts);
    progress.SetJob(m_inputs.FileCount(), m_inputs.TotalSize(), array.data());
    // Modal to this window only: archive windows stay usable while files are packed.
    progress.setWindowModality(Qt::WindowModal);
    progress.exec();
}

void CZokCompressorDlg::OnOpenArchive() {
    const std::string path = m_prompts.AskArchiveToOpen(*this);
    if (!path.empty()) {
        OpenArchives({path});
    }
}

void CZokCompressorDlg::OpenArchives(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        CArchiveDlg::Open(path, m_prompts, this);
    }
}

const ControlTemplate CAboutDlg::kTemplate[4] = {
    {kNoId, ControlKind::Icon, "", 11, 14, 21, 20},
    {kNoId, ControlKind::Static, "ZOK Compressor 버전 1.11", 40, 10, 119, 8},
    {kNoId, ControlKind::Static, "ZOK File ver 1.1을 생성해주는 Compressor", 40, 25, 119, 16},
    {kIdOk, ControlKind::DefPushButton, "확인", 110, 44, 50, 14},
};

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(DialogFont());
    const DialogUnits units(font());
    SetUpDialog(*this, units, "ZOK Compressor 정보", kWidth, kHeight);
    for (const ControlTemplate& item : kTemplate) {
        CreateControl(*this, units, item);
    }
    // The product text is wider than the box: it wraps onto a second line.
    for (QLabel* label : findChildren<QLabel*>()) {
        label->setWordWrap(true);
    }
    connect(findChild<QPushButton*>(ControlName(kIdOk)), &QPushButton::clicked, this,
            [this] { accept(); });
}
