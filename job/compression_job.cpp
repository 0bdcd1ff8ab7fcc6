#include "job/compression_job.h"

#include <cmath>
#include <exception>
#include <new>
#include <utility>

#include "job/formatting.h"
#include "job/korean_words.h"
#include "zok/zok_error.h"

namespace zok {

namespace {

// The job that receives the builder's reports; the callback carries no context.
const char kStatusRunning[] = "압축 중...";
const char kStatusFinished[] = "압축 종료";
const char kStatusFailed[] = "압축하지 못했습니다.";

std::string FileCounterText(int32_t done, int32_t count) {
    return std::to_string(done) + " / " + std::to_string(count);
}

std::string ByteCounterText(uint64_t done, uint64_t total) {
    return FormatNumber(done) + " byte / " + FormatNumber(total) + " byte";
}

}  // namespace

CompressionJob::CompressionJob(JobWindow& window) : m_window(window), m_work(window) {}

CompressionJob::~CompressionJob() = default;

void CompressionJob::SetJob(int32_t fileCount, uint64_t totalSize, const char* const* paths) {
    std::vector<std::string> copies;
    if (paths != nullptr && fileCount > 0) {
        copies.reserve(size_t(fileCount));
        for (int32_t i = 0; i < fileCount; ++i) {
            copies.emplace_back(paths[i] != nullptr ? paths[i] : "");
        }
    }
    SetJob(totalSize, std::move(copies));
}

void CompressionJob::SetJob(uint64_t totalSize, std::vector<std::string> paths) {
    m_ppszPaths = std::move(paths);
    m_nFileCount = int32_t(m_ppszPaths.size());
    m_nTotalSize = totalSize;
}

void CompressionJob::SetBuilder(BuildFunction builder) {
    m_builder = builder;
}

int CompressionJob::BarPosition(uint64_t bytesDone, uint64_t totalSize) {
    const double position = (double(bytesDone) / double(totalSize) + 0.009) * 100.0;
    if (!std::isfinite(position)) {
        return 0;
    }
    return position >= 100.0 ? 100 : int(position);
}

void CompressionJob::OnCompress() {
    // A finished (or running) job is never started again; the button is disabled then.
    if (m_state != JobState::Ready && m_state != JobState::Declined) {
        return;
    }
    m_window.SetFieldText(JobField::FileCounter, FileCounterText(0, m_nFileCount));
    m_window.SetFieldText(JobField::ByteCounter, ByteCounterText(0, m_nTotalSize));

    const JobState cameFrom = m_state;
    m_state = JobState::Naming;
    const std::string name = m_window.AskOutputName();
    if (name.empty()) {
        m_state = cameFrom;
        return;
    }

    m_window.SetFieldText(JobField::Status, kStatusRunning);
    m_window.EnableButton(JobButton::Compress, false);
    m_window.EnableButton(JobButton::Cancel, false);
    m_window.SetFieldText(JobField::CurrentFile,
                          m_ppszPaths.empty() ? std::string() : FileNamePart(m_ppszPaths[0]));
    m_state = JobState::Confirming;
    if (!m_window.AskYesNo("압축을 시작하여, " + name + "파일에 압축된 결과를 저장합니다.\n")) {
        m_window.EnableButton(JobButton::Cancel, true);
        m_window.EnableButton(JobButton::Compress, true);
        m_state = JobState::Declined;
        return;
    }

    m_state = JobState::Running;
    m_nFilesDone = 0;
    // Cancel stops the build from now on.
    m_window.EnableButton(JobButton::Cancel, true);
    StartBuild(name);
}

void CompressionJob::StartBuild(const std::string& name) {
    m_outputName = name;
    m_reportPosted = false;
    const BuildFunction build =
        m_builder != nullptr ? m_builder : static_cast<BuildFunction>(&BuildArchive);
    auto end = std::make_shared<BuildEnd>();
    const bool started = m_work.Start(
        [this, build, paths = m_ppszPaths, name, end] {
            BuildOptions options;
            options.cancel = &m_work.CancelFlag();
            options.progress = [this](const BuildProgress& progress) { QueueReport(progress); };
            try {
                end->built = build(paths, name, nullptr, &end->report, options);
            } catch (const ZokError& e) {
                end->threw = true;
                end->thrown = e.Problem();
            } catch (const std::bad_alloc&) {
                end->threw = true;
                end->thrown = MakeError(ErrorCode::OutOfMemory);
            } catch (...) {
                end->threw = true;
            }
        },
        [this, end] { OnBuildEnded(*end); });
    if (!started) {
        end->threw = true;
        OnBuildEnded(*end);
    }
}

void CompressionJob::QueueReport(const BuildProgress& progress) {
    std::lock_guard<std::mutex> lock(m_reportLock);
    m_latest = progress;
    if (!m_reportPosted) {
        m_reportPosted = true;
        m_window.PostToWindow([this] { ApplyReport(); });
    }
}

void CompressionJob::ApplyReport() {
    BuildProgress progress;
    {
        std::lock_guard<std::mutex> lock(m_reportLock);
        progress = m_latest;
        m_reportPosted = false;
    }
    if (m_state != JobState::Running && m_state != JobState::Cancelling) {
        return;
    }
    // Reports come together while the window is busy: the file packed last is shown as the
    // skipped reports would have left it.
    if (progress.filesDone > m_nFilesDone + 1 && size_t(progress.filesDone) <= m_ppszPaths.size()) {
        m_window.SetFieldText(JobField::CurrentFile,
                              FileNamePart(m_ppszPaths[size_t(progress.filesDone) - 1]));
    }
    if (progress.fileDone || progress.filesDone != m_nFilesDone) {
        UpdateProgress(progress.filesDone, progress.bytesDone, progress.archiveSize);
    }
    // Within a large file the bar follows the bytes read.
    if (progress.bytesRead > progress.bytesDone) {
        m_window.SetBarPosition(BarPosition(progress.bytesRead, m_nTotalSize));
    }
}

void CompressionJob::OnCancel() {
    if (m_state != JobState::Running) {
        return;
    }
    m_state = JobState::Cancelling;
    m_work.Cancel();
    m_window.EnableButton(JobButton::Cancel, false);
}

void CompressionJob::WaitForBuild() {
    m_work.Join();
}

void CompressionJob::OnBuildEnded(const BuildEnd& end) {
    // Posted before this call, the last report has been applied.
    const bool cancelled = m_state == JobState::Cancelling;
    if (cancelled && !end.built) {
        m_state = JobState::Finished;
        m_window.CloseWindow();
        return;
    }
    ShowFinished(end.built && !end.threw);
    if (end.threw || !end.built) {
        m_window.ShowMessage(std::string(kStatusFailed) + "\n" + FailureText(end));
    } else if (!end.report.unencoded.empty()) {
        std::string message = "다음 파일은 압축하지 못해 빈 항목으로 저장했습니다.";
        for (const std::string& path : end.report.unencoded) {
            message += "\n" + PrintableText(path);
        }
        m_window.ShowMessage(message);
    }
}

std::string CompressionJob::FailureText(const BuildEnd& end) const {
    if (end.threw) {
        // A codec gave up on the input being packed.
        std::string input = end.report.currentInput;
        if (input.empty()) {
            input = m_nFilesDone >= 0 && m_nFilesDone < m_nFileCount
                        ? m_ppszPaths[size_t(m_nFilesDone)]
                        : m_outputName;
        }
        return PrintableText(input) + ": " +
               (end.thrown ? KoreanReason(end.thrown) : "알 수 없는 오류");
    }
    if (!end.report.problems.empty()) {
        std::string text;
        for (const Error& problem : end.report.problems) {
            text += (text.empty() ? "" : "\n") + PrintableText(problem.path) + ": " +
                    KoreanReason(problem);
        }
        return text;
    }
    return PrintableText(m_outputName) + ": 알 수 없는 오류";
}

void CompressionJob::ShowFinished(bool built) {
    m_window.EnableButton(JobButton::Cancel, true);
    m_window.SetFieldText(JobField::Status, built ? kStatusFinished : kStatusFailed);
    m_window.SetCancelCaption("OK");
    m_state = JobState::Finished;
}

void CompressionJob::UpdateProgress(int32_t filesDone, uint64_t bytesDone, uint64_t archiveSize) {
    // Repaint first: what this report changes shows at the next report's repaint.
    m_window.RepaintProgressWindow();
    m_window.RepaintMainWindow();
    m_window.SetBarPosition(BarPosition(bytesDone, m_nTotalSize));
    m_window.SetFieldText(JobField::FileCounter, FileCounterText(filesDone, m_nFileCount));
    m_window.SetFieldText(JobField::ByteCounter, ByteCounterText(bytesDone, m_nTotalSize));
    m_window.SetFieldText(JobField::ArchiveSize, FormatNumber(archiveSize) + " byte");
    if (filesDone >= 0 && filesDone < m_nFileCount) {
        m_window.SetFieldText(JobField::CurrentFile, FileNamePart(m_ppszPaths[size_t(filesDone)]));
    }
    m_nFilesDone = filesDone;
}

}  // namespace zok
