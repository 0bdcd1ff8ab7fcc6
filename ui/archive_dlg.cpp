#include "ui/archive_dlg.h"

#include <QCloseEvent>
#include <QDrag>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>
#include <filesystem>
#include <new>

#include "job/extraction.h"
#include "job/formatting.h"
#include "job/korean_reasons.h"
#include "job/korean_words.h"
#include "ui/app_icon.h"
#include "ui/dialog_layout.h"
#include "ui/entry_preview_panel.h"
#include "ui/user_prompts.h"
#include "zok/check.h"
#include "zok/cleanup.h"
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

// The sum of every entry's content size: the total that reading them all reads.
uint64_t ContentBytes(const CZokFile& zok) {
    uint64_t total = 0;
    for (size_t i = 0; i < zok.Count(); ++i) {
        total += zok.GetEntrySizeAt(i);
    }
    return total;
}

QString ByteProgress(uint64_t done, uint64_t total) {
    return Q(FormatNumber(done) + " / " + FormatNumber(total) + " byte");
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

private:
    CArchiveDlg& m_dlg;
};

// A library message that starts with one of paths ("path: reason") with its reason in Korean.
std::string KoreanFileMessage(const std::vector<std::string>& paths, const std::string& english) {
    for (const std::string& path : paths) {
        if (english.rfind(path + ": ", 0) == 0) {
            return path + ": " + KoreanReasonOf(path, english);
        }
    }
    return KoreanReason(english);
}

}  // namespace

CArchiveDlg::DragFolder::DragFolder(std::unique_ptr<QTemporaryDir> made)
    : folder(std::move(made)), ticket(NoteTemporaryFolder(ToNativePath(folder->path()))) {}

CArchiveDlg::DragFolder::~DragFolder() {
    ForgetTemporaryFolder(ticket);
}

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
      m_status(new QLabel(this)),
      m_workStatus(new QLabel(this)),
      m_progress(new QProgressBar(this)),
      m_closeTimer(new QTimer(this)),
      m_poster(*this),
      m_work(m_poster) {
    Windows().push_back(this);
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

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->addWidget(m_table);
    splitter->addWidget(m_preview);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 0);
    splitter->setChildrenCollapsible(false);

    m_status->setObjectName(ControlName(kIdStatus));
    m_workStatus->setObjectName(ControlName(kIdWorkStatus));
    m_progress->setObjectName(ControlName(kIdProgress));
    m_progress->setRange(0, 1000);
    m_progress->setTextVisible(false);
    m_progress->hide();
    cancel->hide();
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_status, 1);
    bottom->addWidget(m_workStatus);
    bottom->addWidget(m_progress);
    bottom->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(splitter, 1);
    layout->addLayout(bottom);
    resize(820, 500);

    connect(m_filter, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_proxy.setFilterFixedString(text);
        ShowListingStatus();
    });
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { UpdateActions(); });
    connect(m_table->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { OnCurrentRowChanged(); });
    connect(m_table, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu menu(this);
        QAction* one = menu.addAction(QStringLiteral("풀기..."));
        QAction* all = menu.addAction(QStringLiteral("모두 풀기..."));
        QAction* check = menu.addAction(QStringLiteral("검사"));
        one->setEnabled(!Busy() && !SelectedEntries().empty());
        all->setEnabled(!Busy());
        check->setEnabled(!Busy());
        QAction* chosen = menu.exec(m_table->viewport()->mapToGlobal(at));
        if (chosen == one) {
            OnExtract();
        } else if (chosen == all) {
            OnExtractAll();
        } else if (chosen == check) {
            OnTest();
        }
    });
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

void CArchiveDlg::OnCurrentRowChanged() {
    const QModelIndex current = m_table->selectionModel()->currentIndex();
    if (!current.isValid()) {
        m_preview->ShowEntry(nullptr);
        return;
    }
    const size_t index = size_t(current.data(ArchiveModel::kIndexRole).toULongLong());
    m_preview->ShowEntry(&m_model.Rows()[index]);
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
    UpdateActions();
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

void CArchiveDlg::OnExtract() {
    const std::vector<size_t> indices = SelectedEntries();
    if (!indices.empty()) {
        Extract(indices);
    }
}

void CArchiveDlg::OnExtractAll() {
    std::vector<size_t> indices(m_zok->Count());
    for (size_t i = 0; i < indices.size(); ++i) {
        indices[i] = i;
    }
    Extract(indices);
}

void CArchiveDlg::Extract(const std::vector<size_t>& indices) {
    if (Busy() || indices.empty()) {
        return;
    }
    const std::string folder = m_prompts.AskFolder(*this);
    if (folder.empty()) {
        return;
    }
    auto extraction = std::make_shared<Extraction>(*m_zok);
    if (const Error error = extraction->Plan(folder, indices, false)) {
        m_prompts.ShowMessage(*this, Shown(folder) + QStringLiteral("\n") + Q(KoreanReason(error)));
        return;
    }
    extraction->Decide(ExistingFiles::Ask, [this](const ExtractItem& item) {
        return m_prompts.AskOverwrite(*this, Q(OverwriteQuestion(item)));
    });
    RunExtraction(extraction, [this, folder](const ExtractionOutcome& outcome) {
        ReportExtraction(outcome, folder);
    });
}

void CArchiveDlg::RunExtraction(std::shared_ptr<Extraction> extraction,
                                std::function<void(const ExtractionOutcome&)> then) {
    const uint64_t total = extraction->BytesToRead();
    auto outcome = std::make_shared<ExtractionOutcome>();
    Worker* work = &m_work;
    m_work.Start(
        [this, work, extraction, outcome] {
            ExtractOptions options;
            options.threads = 0;
            options.cancel = &work->CancelFlag();
            options.progress = [this, work](uint64_t done) {
                work->PostProgress([this, done] { ShowProgress(done); });
            };
            options.onItem = [outcome](const ExtractItem& item, const ItemResult& result) {
                if (result.status == ItemStatus::Written || result.status == ItemStatus::Replaced) {
                    outcome->written.push_back(item.writesTo);
                } else if (result.status == ItemStatus::Failed) {
                    outcome->failures.push_back(ExtractionFailureLine(item, result.error));
                    if (IsEntryDamage(result.error.code)) {
                        outcome->damaged.emplace_back(item.index, result.error);
                    }
                }
            };
            outcome->result = extraction->Run(options);
            if (outcome->result.cancelled) {
                outcome->written.clear();
            }
        },
        [this, outcome, then] {
            for (const auto& [index, error] : outcome->damaged) {
                m_model.Mark(index, error);
            }
            then(*outcome);
        });
    BeginWork(QStringLiteral("푸는 중..."), total);
}

void CArchiveDlg::ReportExtraction(const ExtractionOutcome& outcome, const std::string& folder) {
    if (outcome.result.cancelled) {
        EndWork(QStringLiteral("풀기를 취소했습니다."));
        return;
    }
    EndWork(QStringLiteral("항목 %1개를 %2에 풀었습니다.")
                .arg(Q(FormatNumber(uint64_t(outcome.result.written))), Shown(folder)));
    if (!outcome.failures.empty()) {
        ShowList(QStringLiteral("다음 항목은 풀지 못했습니다."), outcome.failures);
    }
}

std::unique_ptr<QMimeData> CArchiveDlg::PrepareDrag() {
    const std::vector<size_t> indices = SelectedEntries();
    if (Busy() || m_inDrag || indices.empty()) {
        return nullptr;
    }
    auto folder = std::make_unique<QTemporaryDir>();
    if (!folder->isValid()) {
        m_prompts.ShowMessage(
            *this, QStringLiteral("임시 폴더를 만들 수 없습니다.\n") + folder->errorString());
        return nullptr;
    }
    const std::string path = ToNativePath(folder->path());
    m_dragFolders.push_back(std::make_unique<DragFolder>(std::move(folder)));
    auto extraction = std::make_shared<Extraction>(*m_zok);
    if (const Error error = extraction->Plan(path, indices, false)) {
        m_prompts.ShowMessage(*this, Shown(path) + QStringLiteral("\n") + Q(KoreanReason(error)));
        return nullptr;
    }
    // The folder is new: only an entry whose name an earlier one has is taken; the first keeps
    // the name.
    extraction->Decide(ExistingFiles::Skip);

    // The drag starts once the files are there; the window keeps repainting meanwhile.
    QEventLoop loop;
    ExtractionOutcome outcome;
    m_inDrag = true;
    RunExtraction(extraction, [this, &loop, &outcome](const ExtractionOutcome& result) {
        outcome = result;
        EndWork(result.result.cancelled ? QStringLiteral("풀기를 취소했습니다.") : QString());
        loop.quit();
    });
    loop.exec();
    m_inDrag = false;
    if (!outcome.failures.empty() && !outcome.result.cancelled) {
        ShowList(QStringLiteral("다음 항목은 풀지 못했습니다."), outcome.failures);
    }
    if (outcome.result.cancelled || outcome.written.empty()) {
        return nullptr;
    }
    QList<QUrl> urls;
    for (const std::string& file : outcome.written) {
        urls << QUrl::fromLocalFile(FromNativePath(file));
    }
    auto data = std::make_unique<QMimeData>();
    data->setUrls(urls);
    return data;
}

void CArchiveDlg::OnTest() {
    if (Busy()) {
        return;
    }
    auto problems = std::make_shared<std::vector<std::pair<size_t, Error>>>();
    auto cancelled = std::make_shared<bool>(false);
    const CZokFile* zok = m_zok.get();
    Worker* work = &m_work;
    m_work.Start(
        [this, zok, work, problems, cancelled] {
            CheckOptions options;
            options.threads = 0;
            options.cancel = &work->CancelFlag();
            options.progress = [this, work](uint64_t done) {
                work->PostProgress([this, done] { ShowProgress(done); });
            };
            options.onEntry = [problems](size_t index, const Error& problem) {
                if (problem) {
                    problems->emplace_back(index, problem);
                }
            };
            *cancelled = CheckArchive(*zok, options).cancelled;
        },
        [this, problems, cancelled] {
            if (*cancelled) {
                EndWork(QStringLiteral("검사를 취소했습니다."));
                return;
            }
            std::vector<std::string> lines;
            for (const auto& [index, problem] : *problems) {
                m_model.Mark(index, problem);
                lines.push_back(m_model.Rows()[index].name + ": " + KoreanReason(problem));
            }
            OnCurrentRowChanged();
            if (lines.empty()) {
                EndWork(QStringLiteral("검사를 마쳤습니다. 모든 항목이 온전합니다."));
                return;
            }
            EndWork(QStringLiteral("검사를 마쳤습니다. 문제가 있는 항목 %1개")
                        .arg(Q(FormatNumber(uint64_t(lines.size())))));
            ShowList(QStringLiteral("다음 항목은 손상되었거나 비어 있습니다."), lines);
        });
    BeginWork(QStringLiteral("검사 중..."), ContentBytes(*m_zok));
}

void CArchiveDlg::OfferUpgrade() {
    if (Busy() || !m_zok->NeedsUpgrade()) {
        return;
    }
    const std::string target = UpgradedArchiveName(m_zok->Path());
    if (!m_prompts.AskYesNo(*this, QStringLiteral("ZOK 1.0.0 형식의 파일입니다.\n1.1.0 형식으로 "
                                                  "바꾸어, ") +
                                       Shown(target) +
                                       QStringLiteral("파일에 저장하고 그 파일을 엽니다.\n"))) {
        return;
    }
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::symlink_status(target, ec))) {
        if (!m_prompts.AskYesNo(*this, Shown(target) + QStringLiteral("\n파일이 이미 있습니다. "
                                                                      "바꾸시겠습니까?"))) {
            return;
        }
    }
    Upgrade(target);
}

void CArchiveDlg::Upgrade(const std::string& target) {
    struct Outcome {
        UpgradeResult code = UpgradeResult::NoNewArchive;
        UpgradeReport report;
        std::string exception;
        bool cancelled = false;
    };
    auto outcome = std::make_shared<Outcome>();
    const std::string path = m_zok->Path();
    const uint64_t total = ContentBytes(*m_zok);
    Worker* work = &m_work;
    m_work.Start(
        [this, path, target, work, outcome] {
            UpgradeOptions options;
            options.outputPath = target;
            options.replaceExisting = true;  // the user was asked
            options.cancel = &work->CancelFlag();
            options.progress = [this, work](const UpgradeProgress& progress) {
                const uint64_t done = progress.bytesRead;
                work->PostProgress([this, done] { ShowProgress(done); });
            };
            try {
                outcome->code = UpgradeArchive(path, false, options, &outcome->report);
            } catch (const std::exception& e) {
                outcome->exception = e.what();
            }
            outcome->cancelled = outcome->code == UpgradeResult::Cancelled;
        },
        [this, path, target, outcome] {
            if (outcome->cancelled) {
                EndWork(QStringLiteral("1.1.0 형식으로 바꾸기를 취소했습니다."));
                return;
            }
            if (!outcome->exception.empty() || outcome->code != UpgradeResult::Done) {
                const Error& problem = outcome->report.problem;
                const std::string why =
                    !outcome->exception.empty()
                        ? KoreanFileMessage({path, target}, outcome->exception)
                        : (problem.path.empty() ? "" : problem.path + ": ") +
                              (problem.entry.empty() ? "" : "\"" + problem.entry + "\" 항목: ") +
                              KoreanReason(problem);
                EndWork(QStringLiteral("1.1.0 형식으로 바꾸지 못했습니다."));
                m_prompts.ShowMessage(
                    *this, QStringLiteral("1.1.0 형식으로 바꾸지 못했습니다.\n") + Shown(why));
                return;
            }
            std::unique_ptr<CZokFile> upgraded;
            try {
                upgraded = std::make_unique<CZokFile>(outcome->report.outputPath);
            } catch (const std::exception& e) {
                EndWork(QString());
                m_prompts.ShowMessage(*this, Shown(outcome->report.outputPath) +
                                                 QStringLiteral("파일을 열 수 없습니다.\n") +
                                                 Q(KoreanReasonOf(target, e.what())));
                return;
            }
            SetArchive(std::move(upgraded));
            EndWork(QStringLiteral("1.1.0 형식으로 바꾼 파일을 열었습니다."));
            if (!outcome->report.unencoded.empty()) {
                std::vector<std::string> names;
                for (const std::string& name : outcome->report.unencoded) {
                    names.push_back(PrintableText(name));
                }
                ShowList(QStringLiteral("다음 항목은 다시 압축하지 못해 빈 항목으로 저장했습니다."),
                         names);
            }
        });
    BeginWork(QStringLiteral("1.1.0 형식으로 바꾸는 중..."), total);
}
