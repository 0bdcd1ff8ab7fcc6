// What the archive window shows: the splitter's share for the preview, the preview following
// the selection, the status bar's sections (the listing, the work and its progress) and the
// buttons' states.

#include <QFrame>
#include <QItemSelectionModel>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <algorithm>

#include "job/formatting.h"
#include "ui/archive_dlg.h"
#include "ui/dialog_layout.h"
#include "ui/elided_label.h"
#include "ui/entry_preview_panel.h"
#include "ui/user_prompts.h"
#include "zok/zok_file.h"

using namespace zok;

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

QString ByteProgress(uint64_t done, uint64_t total) {
    return Q(FormatNumber(done) + " / " + FormatNumber(total) + " byte");
}

}  // namespace

QStatusBar* CArchiveDlg::MakeStatusBar(QPushButton* cancel) {
    auto* bar = new QStatusBar(this);
    bar->setSizeGripEnabled(false);
    m_status->setObjectName(ControlName(kIdStatus));
    m_workStatus->setObjectName(ControlName(kIdWorkStatus));
    m_workSeparator->setFrameShape(QFrame::VLine);
    m_workSeparator->setFrameShadow(QFrame::Sunken);
    m_progress->setObjectName(ControlName(kIdProgress));
    m_progress->setRange(0, 1000);
    m_progress->setTextVisible(false);
    m_progress->setFixedWidth(160);
    // The listing, then the work: each section cuts what does not fit.
    bar->addWidget(m_status, 3);
    bar->addWidget(m_workSeparator);
    bar->addWidget(m_workStatus, 2);
    bar->addPermanentWidget(m_progress);
    bar->addPermanentWidget(cancel);
    m_progress->hide();
    cancel->hide();
    m_workSeparator->hide();
    return bar;
}

void CArchiveDlg::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    ApplyPreviewShare();
}

void CArchiveDlg::ApplyPreviewShare() {
    const int total = m_splitter->width() - m_splitter->handleWidth();
    if (total <= 0) {
        return;
    }
    const int preview = std::max(int(total * m_previewShare + 0.5), m_preview->minimumWidth());
    m_splitter->setSizes({std::max(total - preview, 0), preview});
}

void CArchiveDlg::OnSplitterMoved() {
    const QList<int> sizes = m_splitter->sizes();
    const int total = sizes.value(0) + sizes.value(1);
    if (total > 0) {
        m_previewShare = double(sizes.value(1)) / total;
        QSettings(QStringLiteral("zok-compressor"), QStringLiteral("zok-compressor"))
            .setValue(QString::fromUtf8(kPreviewShareKey), m_previewShare);
    }
}

void CArchiveDlg::ShowListingStatus() {
    m_status->setText(
        Q(ListingStatus(m_model.Rows(), m_zok->Version(), size_t(m_proxy.rowCount()))));
}

void CArchiveDlg::UpdateActions() {
    const bool idle = !Busy();
    findChild<QPushButton*>(ControlName(kIdExtract))
        ->setEnabled(idle && m_table->selectionModel()->hasSelection());
    findChild<QPushButton*>(ControlName(kIdExtractAll))->setEnabled(idle && m_zok->Count() > 0);
    findChild<QPushButton*>(ControlName(kIdTest))->setEnabled(idle && m_zok->Count() > 0);
}

void CArchiveDlg::UpdatePreview(bool force) {
    const QItemSelectionModel* selection = m_table->selectionModel();
    QModelIndex shown = selection->currentIndex();
    if (!shown.isValid() || !selection->isSelected(shown)) {
        const QModelIndexList rows = selection->selectedRows();
        shown = rows.isEmpty() ? QModelIndex() : rows.front();
    }
    std::optional<size_t> index;
    if (shown.isValid()) {
        index = size_t(shown.data(ArchiveModel::kIndexRole).toULongLong());
    }
    if (index == m_previewed && !force) {
        return;
    }
    m_previewed = index;
    m_preview->ShowEntry(index ? &m_model.Rows()[*index] : nullptr);
}

void CArchiveDlg::ShowList(const QString& header, const std::vector<std::string>& lines) {
    QString text = header;
    for (size_t i = 0; i < lines.size() && i < size_t(kMaxListedEntries); ++i) {
        text += QStringLiteral("\n") + Q(lines[i]);
    }
    if (lines.size() > size_t(kMaxListedEntries)) {
        text += QStringLiteral("\n... 외 %1개").arg(lines.size() - size_t(kMaxListedEntries));
    }
    m_prompts.ShowMessage(*this, text);
}

void CArchiveDlg::BeginWork(const QString& what, uint64_t total) {
    m_workName = what;
    m_workTotal = total;
    m_progress->setValue(0);
    m_progress->show();
    m_workSeparator->show();
    findChild<QPushButton*>(ControlName(kIdCancelWork))->show();
    findChild<QPushButton*>(ControlName(kIdCancelWork))->setEnabled(true);
    ShowProgress(0);
    UpdateActions();
}

void CArchiveDlg::ShowProgress(uint64_t done) {
    if (!Busy()) {
        return;
    }
    const uint64_t shown = std::min(done, m_workTotal);
    m_progress->setValue(m_workTotal == 0 ? 0 : int(shown * 1000 / m_workTotal));
    m_workStatus->setText(m_workName + QStringLiteral(" ") + ByteProgress(shown, m_workTotal));
}

void CArchiveDlg::EndWork(const QString& result) {
    m_progress->hide();
    findChild<QPushButton*>(ControlName(kIdCancelWork))->hide();
    m_workStatus->setText(result);
    m_workSeparator->setVisible(!result.isEmpty());
    UpdateActions();
}
