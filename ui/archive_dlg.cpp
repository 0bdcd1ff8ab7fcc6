#include "ui/archive_dlg.h"

#include <QCloseEvent>
#include <QDrag>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>
#include <new>

#include "job/formatting.h"
#include "job/korean_words.h"
#include "ui/app_icon.h"
#include "ui/dialog_layout.h"
#include "ui/elided_label.h"
#include "ui/entry_preview_panel.h"
#include "ui/user_prompts.h"
#include "zok/upgrade_archive.h"
#include "zok/zok_file.h"

using namespace zok;

namespace {

// The archive windows open now, oldest first.
std::vector<CArchiveDlg*>& Windows() {
    static std::vector<CArchiveDlg*> windows;
    return windows;
}

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

QString Shown(const std::string& path) {
    return Q(PrintableText(path));
}

// Rows that can be dragged out to a file manager: the drag carries the selected entries,
// extracted into a temporary folder, as files.
class EntryTableView : public QTableView {
public:
    EntryTableView(CArchiveDlg& dlg, QWidget* parent) : QTableView(parent), m_dlg(dlg) {}

protected:
    void startDrag(Qt::DropActions) override {
        std::unique_ptr<QMimeData> data = m_dlg.PrepareDrag();
        if (data) {
            auto* drag = new QDrag(this);
            drag->setMimeData(data.release());
            drag->exec(Qt::CopyAction, Qt::CopyAction);
        }
    }

    // The Delete key deletes the selected entries, after a question.
    void keyPressEvent(QKeyEvent* event) override {
        if (event->matches(QKeySequence::Delete)) {
            m_dlg.DeleteSelected();
            return;
        }
        QTableView::keyPressEvent(event);
    }

private:
    CArchiveDlg& m_dlg;
};

}  // namespace

CArchiveDlg* CArchiveDlg::Open(const std::string& path, UserPrompts& prompts,
                               QWidget* messageParent) {
    std::unique_ptr<CZokFile> zok;
    QString why;
    try {
        zok = std::make_unique<CZokFile>(path);
    } catch (const ZokError& e) {
        why = Q(KoreanReason(e.Problem()));
    } catch (const std::bad_alloc&) {
        why = QStringLiteral("목록을 읽을 메모리가 모자랍니다");
    }
    if (!zok) {
        QWidget fallback;
        prompts.ShowMessage(messageParent != nullptr ? *messageParent : fallback,
                            Shown(path) + QStringLiteral("파일을 열 수 없습니다.\n") + why);
        return nullptr;
    }
    auto* dlg = new CArchiveDlg(std::move(zok), prompts);
    dlg->setAttribute(Qt::WA_DeleteOnClose);
    dlg->show();
    if (dlg->Archive().NeedsUpgrade()) {
        dlg->OfferUpgrade();
    }
    return dlg;
}

std::vector<CArchiveDlg*> CArchiveDlg::OpenWindows() {
    return Windows();
}

void CArchiveDlg::CloseAll() {
    const std::vector<CArchiveDlg*> windows = Windows();
    for (CArchiveDlg* dlg : windows) {
        delete dlg;
    }
}

CArchiveDlg::CArchiveDlg(std::unique_ptr<CZokFile> zok, UserPrompts& prompts)
    : QWidget(nullptr, Qt::Window),
      m_prompts(prompts),
      m_table(new EntryTableView(*this, this)),
      m_filter(new QLineEdit(this)),
      m_preview(new EntryPreviewPanel(this)),
      m_splitter(new QSplitter(Qt::Horizontal, this)),
      m_status(new ElidedLabel(this)),
      m_workStatus(new ElidedLabel(this)),
      m_workSeparator(new QFrame(this)),
      m_progress(new QProgressBar(this)),
      m_closeTimer(new QTimer(this)),
      m_poster(*this),
      m_work(m_poster) {
    Windows().push_back(this);
    // Files dropped from a file manager are offered for adding to the archive.
    setAcceptDrops(true);
    setFont(DialogFont());
    setWindowIcon(AppIcon());

    const auto button = [this](int id, const char* text) {
        auto* b = new QPushButton(QString::fromUtf8(text), this);
        b->setObjectName(ControlName(id));
        return b;
    };
    QPushButton* extract = button(kIdExtract, "풀기...");
    QPushButton* extractAll = button(kIdExtractAll, "모두 풀기...");
    QPushButton* test = button(kIdTest, "검사");
    QPushButton* cancel = button(kIdCancelWork, "취소");
    connect(extract, &QPushButton::clicked, this, [this] { OnExtract(); });
    connect(extractAll, &QPushButton::clicked, this, [this] { OnExtractAll(); });
    connect(test, &QPushButton::clicked, this, [this] { OnTest(); });
    connect(cancel, &QPushButton::clicked, this, [this] { OnCancelWork(); });

    m_filter->setObjectName(ControlName(kIdFilter));
    m_filter->setPlaceholderText(QStringLiteral("이름의 일부"));
    m_filter->setClearButtonEnabled(true);
    auto* top = new QHBoxLayout;
    top->addWidget(extract);
    top->addWidget(extractAll);
    top->addWidget(test);
    top->addStretch(1);
    top->addWidget(new QLabel(QStringLiteral("찾기 :"), this));
    top->addWidget(m_filter);

    ConfigureTable();

    // A handle wide enough to be seen and grabbed; neither side can be pushed out of sight.
    m_splitter->addWidget(m_table);
    m_splitter->addWidget(m_preview);
    m_splitter->setHandleWidth(8);
    m_splitter->setChildrenCollapsible(false);
    m_previewShare = QSettings(QStringLiteral("zok-compressor"), QStringLiteral("zok-compressor"))
                         .value(QString::fromUtf8(kPreviewShareKey), kDefaultPreviewShare)
                         .toDouble();
    m_previewShare = std::clamp(m_previewShare, 0.1, 0.9);
    connect(m_splitter, &QSplitter::splitterMoved, this, [this] { OnSplitterMoved(); });

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_splitter, 1);
    layout->addWidget(MakeStatusBar(cancel));
    resize(820, 500);

    connect(m_filter, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_proxy.setFilterFixedString(text);
        ShowListingStatus();
        UpdateActions();
        UpdatePreview();
    });
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        UpdateActions();
        UpdatePreview();
    });
    connect(m_table->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { UpdatePreview(); });
    connect(m_table, &QAbstractItemView::activated, this, [this](const QModelIndex& row) {
        OpenEntry(size_t(row.data(ArchiveModel::kIndexRole).toULongLong()));
    });
    connect(m_table, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { ShowContextMenu(at); });
    m_closeTimer->setInterval(20);
    connect(m_closeTimer, &QTimer::timeout, this, [this] {
        if (!Busy() && !m_preview->Loading() && !m_inDrag) {
            m_closeTimer->stop();
            close();
        }
    });

    // Work that runs out of memory (or fails otherwise) is reported in words; the window stays.
    m_work.OnFailure([this](const std::string& why) {
        EndWork(Q(why));
        m_prompts.ShowMessage(*this, Q(why));
    });

    SetArchive(std::move(zok));
}

void CArchiveDlg::ConfigureTable() {
    m_proxy.setSourceModel(&m_model);
    m_proxy.setSortRole(ArchiveModel::kSortRole);
    m_proxy.setSortCaseSensitivity(Qt::CaseInsensitive);
    m_proxy.setFilterKeyColumn(ArchiveModel::kName);
    m_proxy.setFilterCaseSensitivity(Qt::CaseInsensitive);
    m_table->setObjectName(ControlName(kIdTable));
    m_table->setModel(&m_proxy);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setDragEnabled(true);
    m_table->setDragDropMode(QAbstractItemView::DragOnly);
    m_table->setWordWrap(false);
    m_table->setContextMenuPolicy(Qt::CustomContextMenu);
    m_table->verticalHeader()->hide();
    // One row height for all: a table of 100,000 entries lays out at once.
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    QHeaderView* header = m_table->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setSectionResizeMode(ArchiveModel::kName, QHeaderView::Stretch);
    header->setStretchLastSection(false);
    header->resizeSection(ArchiveModel::kKind, 70);
    header->resizeSection(ArchiveModel::kSourceSize, 90);
    header->resizeSection(ArchiveModel::kStoredSize, 90);
    header->resizeSection(ArchiveModel::kPercent, 60);
    // Directory order until a column is clicked.
    header->setSortIndicator(-1, Qt::AscendingOrder);
    m_table->setSortingEnabled(true);
}

void CArchiveDlg::ShowContextMenu(const QPoint& at) {
    QMenu menu(this);
    QAction* one = menu.addAction(QStringLiteral("풀기..."));
    QAction* all = menu.addAction(QStringLiteral("모두 풀기..."));
    QAction* check = menu.addAction(QStringLiteral("검사"));
    menu.addSeparator();
    QAction* remove = menu.addAction(QStringLiteral("지우기"));
    remove->setShortcut(QKeySequence::Delete);
    one->setEnabled(!Busy() && !SelectedEntries().empty());
    all->setEnabled(!Busy());
    check->setEnabled(!Busy());
    remove->setEnabled(!Busy() && !SelectedEntries().empty());
    QAction* chosen = menu.exec(m_table->viewport()->mapToGlobal(at));
    if (chosen == one) {
        OnExtract();
    } else if (chosen == all) {
        OnExtractAll();
    } else if (chosen == check) {
        OnTest();
    } else if (chosen == remove) {
        DeleteSelected();
    }
}

CArchiveDlg::~CArchiveDlg() {
    // The work stops unreported (m_work joins it as it goes); the preview, which reads the
    // archive, ends before the archive goes.
    m_work.Cancel();
    m_preview->Wait();
    std::vector<CArchiveDlg*>& windows = Windows();
    windows.erase(std::remove(windows.begin(), windows.end(), this), windows.end());
}

void CArchiveDlg::SetArchive(std::unique_ptr<CZokFile> zok) {
    m_preview->Wait();
    m_preview->SetArchive(nullptr);
    m_previewed.reset();
    m_zok = std::move(zok);
    m_model.SetRows(ListEntries(*m_zok));
    m_preview->SetArchive(m_zok.get());
    const std::string path = m_zok->Path();
    setWindowTitle(Q(PrintableText(FileNamePart(path))) + QStringLiteral(" - ZOK Compressor"));
    ShowListingStatus();
    UpdateActions();
}

void CArchiveDlg::WaitForWork() {
    m_work.Wait();
    m_preview->Wait();
}

std::vector<size_t> CArchiveDlg::SelectedEntries() const {
    std::vector<size_t> indices;
    for (const QModelIndex& row : m_table->selectionModel()->selectedRows()) {
        indices.push_back(size_t(row.data(ArchiveModel::kIndexRole).toULongLong()));
    }
    std::sort(indices.begin(), indices.end());
    return indices;
}

void CArchiveDlg::OnCancelWork() {
    if (Busy()) {
        m_work.Cancel();
        findChild<QPushButton*>(ControlName(kIdCancelWork))->setEnabled(false);
    }
}

void CArchiveDlg::closeEvent(QCloseEvent* event) {
    if (Busy() || m_preview->Loading() || m_inDrag) {
        // The work stops at its next piece; the window goes when it has.
        m_work.Cancel();
        hide();
        m_closeTimer->start();
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}
