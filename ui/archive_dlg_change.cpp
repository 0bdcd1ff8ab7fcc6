// The archive window's changes to its archive: files dropped on it are added (replacing the
// entries of their names after the overwrite question), selected entries are deleted after a
// question. Both run the library's update through job/ on the window's worker, and the table
// is read again from the archive written.

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include "job/archive_tasks.h"
#include "job/formatting.h"
#include "ui/archive_dlg.h"
#include "ui/user_prompts.h"
#include "zok/inputs.h"
#include "zok/names.h"
#include "zok/zok_file.h"

using namespace zok;

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// The local files a drop carries; none when it comes from this window's own table.
std::vector<std::string> DroppedFiles(const QMimeData* data) {
    std::vector<std::string> paths;
    if (data == nullptr || !data->hasUrls()) {
        return paths;
    }
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) {
            paths.push_back(ToNativePath(url.toLocalFile()));
        }
    }
    return paths;
}

}  // namespace

void CArchiveDlg::dragEnterEvent(QDragEnterEvent* event) {
    if (!Busy() && event->source() == nullptr && !DroppedFiles(event->mimeData()).empty()) {
        event->acceptProposedAction();
    }
}

void CArchiveDlg::dropEvent(QDropEvent* event) {
    const std::vector<std::string> paths = DroppedFiles(event->mimeData());
    if (event->source() == nullptr && !paths.empty()) {
        event->acceptProposedAction();
        AddFiles(paths);
    }
}

void CArchiveDlg::AddFiles(const std::vector<std::string>& paths) {
    if (Busy() || paths.empty()) {
        return;
    }
    const InputFiles inputs = ExpandInputFolders(paths);
    std::vector<std::string> refused;
    for (const Error& problem : inputs.problems) {
        refused.push_back(KoreanProblem(problem));
    }
    for (const Error& clash : FindNameClashes(inputs.files)) {
        refused.push_back(PrintableText(clash.path) + ": " + PrintableText(clash.detail) +
                          "와 이름이 같습니다");
    }
    if (!refused.empty()) {
        ShowList(QStringLiteral("다음 파일은 더할 수 없습니다."), refused);
        return;
    }
    if (inputs.files.empty() ||
        !m_prompts.AskYesNo(*this, QStringLiteral("파일 %1개를 이 ZOK 파일에 더합니다.\n")
                                       .arg(Q(FormatNumber(uint64_t(inputs.files.size())))))) {
        return;
    }
    // A file whose entry exists replaces it only as the user answers.
    UpdateOptions options;
    bool answered = false;
    bool allYes = false;
    for (const std::string& file : inputs.files) {
        const std::string name = EntryNameOf(file);
        if (m_zok->Find(name)) {
            OverwriteAnswer answer = allYes ? OverwriteAnswer::Yes : OverwriteAnswer::No;
            if (!answered) {
                answer = m_prompts.AskOverwrite(
                    *this,
                    Q("\"" + PrintableText(name) + "\"\n항목이 이미 있습니다. 바꾸시겠습니까?"));
                answered =
                    answer == OverwriteAnswer::YesToAll || answer == OverwriteAnswer::NoToAll;
                allYes = answer == OverwriteAnswer::YesToAll;
            }
            if (answer == OverwriteAnswer::No || answer == OverwriteAnswer::NoToAll) {
                continue;
            }
        }
        options.inputs.push_back(file);
    }
    if (!options.inputs.empty()) {
        Change(std::move(options), QStringLiteral("더하는 중..."));
    }
}

void CArchiveDlg::DeleteSelected() {
    const std::vector<size_t> indices = SelectedEntries();
    if (Busy() || indices.empty() ||
        !m_prompts.AskYesNo(*this, QStringLiteral("선택한 항목 %1개를 ZOK 파일에서 지웁니다.\n"
                                                  "계속하시겠습니까?")
                                       .arg(Q(FormatNumber(uint64_t(indices.size())))))) {
        return;
    }
    UpdateOptions options;
    options.deletePositions = indices;
    Change(std::move(options), QStringLiteral("지우는 중..."));
}

void CArchiveDlg::Change(UpdateOptions options, const QString& what) {
    auto outcome = std::make_shared<ChangeOutcome>();
    const std::string path = m_zok->Path();
    uint64_t total = 0;
    for (size_t i = 0; i < m_zok->Count(); ++i) {
        total += m_zok->Record(i).storedSize;
    }
    Worker* work = &m_work;
    m_work.Start(
        [this, path, options, work, outcome] {
            *outcome = RunChange(path, options, &work->CancelFlag(), [this, work](uint64_t done) {
                work->PostProgress([this, done] { ShowProgress(done); });
            });
        },
        [this, outcome] { ShowChanged(*outcome); });
    BeginWork(what, total);
}

void CArchiveDlg::ShowChanged(const ChangeOutcome& outcome) {
    if (!outcome.written) {
        const bool cancelled = !outcome.report.problems.empty() &&
                               outcome.report.problems[0].code == ErrorCode::Cancelled;
        EndWork(cancelled ? QStringLiteral("바꾸기를 취소했습니다.")
                          : QStringLiteral("ZOK 파일을 바꾸지 못했습니다."));
        if (!cancelled) {
            ShowList(QStringLiteral("ZOK 파일을 바꾸지 못했습니다."), ChangeFailures(outcome));
        }
        return;
    }
    size_t added = 0, replaced = 0, deleted = 0;
    for (const UpdatedEntry& entry : outcome.report.entries) {
        added += entry.action == UpdateAction::Added;
        replaced += entry.action == UpdateAction::Replaced;
        deleted += entry.action == UpdateAction::Deleted;
    }
    // The table shows the archive as it now is.
    try {
        SetArchive(std::make_unique<CZokFile>(m_zok->Path()));
    } catch (const ZokError& e) {
        m_prompts.ShowMessage(*this, Q(PrintableText(e.Problem().path)) +
                                         QStringLiteral("\n파일을 다시 열 수 없습니다."));
    }
    EndWork(QStringLiteral("항목을 더함 %1개, 바꿈 %2개, 지움 %3개.")
                .arg(added)
                .arg(replaced)
                .arg(deleted));
    if (!outcome.report.unencoded.empty()) {
        std::vector<std::string> names;
        for (const std::string& path : outcome.report.unencoded) {
            names.push_back(PrintableText(path));
        }
        ShowList(QStringLiteral("다음 파일은 압축하지 못해 빈 항목으로 저장했습니다."), names);
    }
}
