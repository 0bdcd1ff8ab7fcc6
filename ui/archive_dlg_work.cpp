// The archive window's actions: extraction (풀기, 모두 풀기, dragging rows out), 검사 and the
// upgrade of a 1.0.0 archive. Each runs the library's one operation through job/ on the
// window's worker and shows what it reports.

#include <QEventLoop>
#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>
#include <filesystem>

#include "job/archive_tasks.h"
#include "job/extraction.h"
#include "job/formatting.h"
#include "job/korean_words.h"
#include "ui/archive_dlg.h"
#include "ui/user_prompts.h"
#include "zok/cleanup.h"
#include "zok/zok_file.h"

using namespace zok;

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

QString Shown(const std::string& path) {
    return Q(PrintableText(path));
}

}  // namespace

CArchiveDlg::DragFolder::DragFolder(std::unique_ptr<QTemporaryDir> made)
    : folder(std::move(made)), ticket(NoteTemporaryFolder(ToNativePath(folder->path()))) {}

CArchiveDlg::DragFolder::~DragFolder() {
    ForgetTemporaryFolder(ticket);
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

std::shared_ptr<Extraction> CArchiveDlg::PlanExtraction(const std::string& folder,
                                                        const std::vector<size_t>& indices) {
    auto extraction = std::make_shared<Extraction>(*m_zok);
    if (const Error error = extraction->Plan(folder, indices, false)) {
        m_prompts.ShowMessage(*this, Shown(folder) + QStringLiteral("\n") + Q(KoreanReason(error)));
        return nullptr;
    }
    return extraction;
}

void CArchiveDlg::Extract(const std::vector<size_t>& indices) {
    if (Busy() || indices.empty()) {
        return;
    }
    const std::string folder = m_prompts.AskFolder(*this);
    if (folder.empty()) {
        return;
    }
    const std::shared_ptr<Extraction> extraction = PlanExtraction(folder, indices);
    if (!extraction) {
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
            *outcome =
                zok::RunExtraction(*extraction, &work->CancelFlag(), [this, work](uint64_t done) {
                    work->PostProgress([this, done] { ShowProgress(done); });
                });
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
    EndWork(Q(ExtractionSummary(outcome.result, folder)));
    if (!outcome.failures.empty()) {
        ShowList(QStringLiteral("다음 항목은 풀지 못했습니다."), outcome.failures);
    }
}

std::vector<std::string> CArchiveDlg::ExtractForDesktop(const std::vector<size_t>& indices) {
    auto folder = std::make_unique<QTemporaryDir>();
    if (!folder->isValid()) {
        m_prompts.ShowMessage(
            *this, QStringLiteral("임시 폴더를 만들 수 없습니다.\n") + folder->errorString());
        return {};
    }
    const std::string path = ToNativePath(folder->path());
    m_dragFolders.push_back(std::make_unique<DragFolder>(std::move(folder)));
    const std::shared_ptr<Extraction> extraction = PlanExtraction(path, indices);
    if (!extraction) {
        return {};
    }
    // The folder is new: only an entry whose name an earlier one has is taken; the first keeps
    // the name.
    extraction->Decide(ExistingFiles::Skip);

    // The caller goes on once the files are there; the window keeps repainting meanwhile.
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
    return outcome.result.cancelled ? std::vector<std::string>() : outcome.written;
}

std::unique_ptr<QMimeData> CArchiveDlg::PrepareDrag() {
    const std::vector<size_t> indices = SelectedEntries();
    if (Busy() || m_inDrag || indices.empty()) {
        return nullptr;
    }
    const std::vector<std::string> written = ExtractForDesktop(indices);
    if (written.empty()) {
        return nullptr;
    }
    QList<QUrl> urls;
    for (const std::string& file : written) {
        urls << QUrl::fromLocalFile(FromNativePath(file));
    }
    auto data = std::make_unique<QMimeData>();
    data->setUrls(urls);
    return data;
}

void CArchiveDlg::OpenEntry(size_t index) {
    if (Busy() || m_inDrag || index >= m_zok->Count()) {
        return;
    }
    const std::vector<std::string> written = ExtractForDesktop({index});
    if (!written.empty() && !m_prompts.OpenFile(*this, written.front())) {
        m_prompts.ShowMessage(
            *this, Shown(written.front()) + QStringLiteral("\n이 파일을 열 프로그램이 없습니다."));
    }
}

void CArchiveDlg::OnTest() {
    if (Busy()) {
        return;
    }
    auto outcome = std::make_shared<CheckOutcome>();
    const CZokFile* zok = m_zok.get();
    Worker* work = &m_work;
    m_work.Start(
        [this, zok, work, outcome] {
            *outcome = RunCheck(*zok, &work->CancelFlag(), [this, work](uint64_t done) {
                work->PostProgress([this, done] { ShowProgress(done); });
            });
        },
        [this, outcome] {
            if (outcome->cancelled) {
                EndWork(QStringLiteral("검사를 취소했습니다."));
                return;
            }
            std::vector<std::string> lines;
            for (const auto& [index, problem] : outcome->problems) {
                m_model.Mark(index, problem);
                lines.push_back(m_model.Rows()[index].name + ": " + KoreanReason(problem));
            }
            UpdatePreview(true);
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
    auto outcome = std::make_shared<UpgradeOutcome>();
    const std::string path = m_zok->Path();
    Worker* work = &m_work;
    m_work.Start(
        [this, path, target, work, outcome] {
            *outcome = RunUpgrade(path, target, &work->CancelFlag(), [this, work](uint64_t done) {
                work->PostProgress([this, done] { ShowProgress(done); });
            });
        },
        [this, outcome] { ShowUpgraded(*outcome); });
    BeginWork(QStringLiteral("1.1.0 형식으로 바꾸는 중..."), ContentBytes(*m_zok));
}

void CArchiveDlg::ShowUpgraded(const UpgradeOutcome& outcome) {
    if (!outcome.thrown && outcome.result == UpgradeResult::Cancelled) {
        EndWork(QStringLiteral("1.1.0 형식으로 바꾸기를 취소했습니다."));
        return;
    }
    if (outcome.thrown || outcome.result != UpgradeResult::Done) {
        EndWork(QStringLiteral("1.1.0 형식으로 바꾸지 못했습니다."));
        m_prompts.ShowMessage(*this, QStringLiteral("1.1.0 형식으로 바꾸지 못했습니다.\n") +
                                         Q(UpgradeFailure(outcome)));
        return;
    }
    std::unique_ptr<CZokFile> upgraded;
    try {
        upgraded = std::make_unique<CZokFile>(outcome.report.outputPath);
    } catch (const ZokError& e) {
        EndWork(QString());
        m_prompts.ShowMessage(*this, Shown(outcome.report.outputPath) +
                                         QStringLiteral("파일을 열 수 없습니다.\n") +
                                         Q(KoreanReason(e.Problem())));
        return;
    }
    SetArchive(std::move(upgraded));
    EndWork(QStringLiteral("1.1.0 형식으로 바꾼 파일을 열었습니다."));
    if (!outcome.report.unencoded.empty()) {
        std::vector<std::string> names;
        for (const std::string& name : outcome.report.unencoded) {
            names.push_back(PrintableText(name));
        }
        ShowList(QStringLiteral("다음 항목은 다시 압축하지 못해 빈 항목으로 저장했습니다."), names);
    }
}
