#include "job/compression_job.h"

#include <cmath>
#include <exception>
#include <utility>

#include "job/formatting.h"

namespace {

// The job that receives the builder's reports; the callback carries no context.
CompressionJob* g_pProgressReceiver = nullptr;

const char kStatusRunning[] = "압축 중...";
const char kStatusFinished[] = "압축 종료";
const char kStatusFailed[] = "압축하지 못했습니다.";

std::string FileCounterText(int32_t done, int32_t count) {
    return std::to_string(done) + " / " + std::to_string(count);
}

std::string ByteCounterText(uint32_t done, uint32_t total) {
    return FormatNumber(done) + " byte / " + FormatNumber(total) + " byte";
}

std::string FailureMessage(const std::string& detail) {
    return std::string(kStatusFailed) + "\n" + detail;
}

}  // namespace

void ReportProgress(int32_t filesDone, uint32_t bytesDone, uint32_t archiveSize) {
    if (g_pProgressReceiver != nullptr) {
        g_pProgressReceiver->UpdateProgress(filesDone, bytesDone, archiveSize);
    }
}

CompressionJob::CompressionJob(JobWindow& window) : m_window(window) {}

CompressionJob::~CompressionJob() {
    if (g_pProgressReceiver == this) {
        g_pProgressReceiver = nullptr;
    }
}

void CompressionJob::SetJob(int32_t fileCount, uint32_t totalSize, const char* const* paths) {
    std::vector<std::string> copies;
    if (paths != nullptr && fileCount > 0) {
        copies.reserve(size_t(fileCount));
        for (int32_t i = 0; i < fileCount; ++i) {
            copies.emplace_back(paths[i] != nullptr ? paths[i] : "");
        }
    }
    SetJob(totalSize, std::move(copies));
}

void CompressionJob::SetJob(uint32_t totalSize, std::vector<std::string> paths) {
    m_ppszPaths = std::move(paths);
    m_nFileCount = int32_t(m_ppszPaths.size());
    m_nTotalSize = totalSize;
    g_pProgressReceiver = this;
}

void CompressionJob::SetBuilder(BuildFunction builder) {
    m_builder = builder;
}

int CompressionJob::BarPosition(uint32_t bytesDone, uint32_t totalSize) {
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
    // This job is the one running: its window gets the reports.
    g_pProgressReceiver = this;

    std::vector<const char*> paths;
    paths.reserve(m_ppszPaths.size());
    for (const std::string& path : m_ppszPaths) {
        paths.push_back(path.c_str());
    }
    BuildReport report;
    std::string failure;
    try {
        BuildFunction build = &BuildArchive;
        if (m_builder != nullptr) {
            build = m_builder;
        }
        if (!build(paths.data(), name.c_str(), m_nFileCount, &ReportProgress, &report)) {
            failure =
                FailureMessage(report.error.empty() ? name + ": 알 수 없는 오류" : report.error);
        }
    } catch (const std::exception& e) {
        failure = FailureMessage(FileBeingPacked(name) + ": " +
                                 (e.what()[0] != '\0' ? e.what() : "알 수 없는 오류"));
    } catch (...) {
        failure = FailureMessage(FileBeingPacked(name) + ": 알 수 없는 오류");
    }

    ShowFinished(failure.empty());
    if (!failure.empty()) {
        m_window.ShowMessage(failure);
    } else if (!report.unencoded.empty()) {
        std::string message = "다음 파일은 압축하지 못해 빈 항목으로 저장했습니다.";
        for (const std::string& path : report.unencoded) {
            message += "\n" + path;
        }
        m_window.ShowMessage(message);
    }
}

std::string CompressionJob::FileBeingPacked(const std::string& outputName) const {
    // The builder stopped on the file after the last one it reported.
    return m_nFilesDone >= 0 && m_nFilesDone < m_nFileCount ? m_ppszPaths[size_t(m_nFilesDone)]
                                                            : outputName;
}

void CompressionJob::ShowFinished(bool built) {
    m_window.EnableButton(JobButton::Cancel, true);
    m_window.SetFieldText(JobField::Status, built ? kStatusFinished : kStatusFailed);
    m_window.SetCancelCaption("OK");
    m_state = JobState::Finished;
}

void CompressionJob::UpdateProgress(int32_t filesDone, uint32_t bytesDone, uint32_t archiveSize) {
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
