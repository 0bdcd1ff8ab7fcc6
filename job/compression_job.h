#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "job/worker.h"
#include "zok/build_archive.h"

namespace zok {

// The display fields of the progress window that the job writes.
enum class JobField {
    Status,  // status line: "대기 중...", "압축 중...", "압축 종료" or "압축하지 못했습니다."
    FileCounter,  // "k / N"
    ByteCounter,  // "B byte / T byte"
    ArchiveSize,  // "A byte"
    CurrentFile,  // file-name part of the file packed next
};

// The two buttons of the progress window.
enum class JobButton {
    Compress,
    Cancel,
};

// Where the job stands; see CompressionJob for the transitions.
enum class JobState {
    Ready,       // after SetJob, before the first Compress
    Naming,      // the output name is being asked
    Confirming,  // the Yes/No question is open
    Declined,    // the user answered anything but Yes; Compress may be pressed again
    Running,     // the builder is working
    Cancelling,  // Cancel was pressed while the builder works; the window closes when it stops
    Finished,    // the build has ended (written or failed); only closing is left
};

// The window operations the job needs. The progress window implements them over its controls;
// tests implement them with a recorder. All but PostToWindow (the WorkPoster's) are called on the
// user-interface thread.
class JobWindow : public WorkPoster {
public:
    // Sets the text of one display field (UTF-8).
    virtual void SetFieldText(JobField field, const std::string& text) = 0;
    // Enables or disables one button.
    virtual void EnableButton(JobButton button, bool enabled) = 0;
    // Sets the caption of the Cancel button ("OK" when the job has finished).
    virtual void SetCancelCaption(const std::string& caption) = 0;
    // Sets the progress bar's position, 0 to 100.
    virtual void SetBarPosition(int position) = 0;
    // Repaints the progress window at once (no event loop runs while the builder works).
    virtual void RepaintProgressWindow() = 0;
    // Repaints the main window at once.
    virtual void RepaintMainWindow() = 0;
    // Asks for the output file name (completed with ".zok" by the dialog); empty when the user
    // gave none.
    virtual std::string AskOutputName() = 0;
    // Asks a Yes/No question with a question icon; true only for Yes.
    virtual bool AskYesNo(const std::string& question) = 0;
    // Shows a message to the user and returns when it has been acknowledged.
    virtual void ShowMessage(const std::string& message) = 0;
    // Closes the window: a build stopped by Cancel has ended, and nothing was written.
    virtual void CloseWindow() = 0;
};

// The archive builder the job calls; BuildArchive unless replaced (tests).
using BuildFunction = bool (*)(const std::vector<std::string>& paths, const std::string& outputPath,
                               ProgressCallback callback, BuildReport* report,
                               const BuildOptions& options);

// The compression job of one progress window: asks for the output name, confirms, runs the
// builder on a thread of its own (so that the windows keep repainting) and turns its progress
// reports into texts and a bar position on the user-interface thread.
//
// States and what moves between them:
//   Ready      --OnCompress-->           Naming
//   Naming     --empty name-->           the state it came from (only the counters changed)
//   Naming     --a name-->               Confirming (status "압축 중...", both buttons disabled)
//   Confirming --anything but Yes-->     Declined (both buttons enabled, texts kept)
//   Confirming --Yes-->                  Running (Cancel enabled again)
//   Running    --builder returns/fails-> Finished (status "압축 종료", or "압축하지 못했습니다."
//                                        when no archive was written; Cancel "OK" and enabled,
//                                        Compress stays disabled)
//   Running    --OnCancel-->             Cancelling (Cancel disabled; the builder stops and
//                                        removes what it wrote)
//   Cancelling --builder returns-->      the window closes (Finished, as above, when the
//                                        archive was complete before the builder saw Cancel)
// A failed build (nothing written) and inputs that could not be encoded are each reported in
// one message, in Korean; no exception leaves the job.
class CompressionJob {
public:
    // The window must outlive the job.
    explicit CompressionJob(JobWindow& window);
    // A running build is cancelled and waited for.
    ~CompressionJob();
    CompressionJob(const CompressionJob&) = delete;
    CompressionJob& operator=(const CompressionJob&) = delete;

    // Stores N, T and a copy of the fileCount paths (list order). The caller keeps ownership of
    // its array.
    void SetJob(int32_t fileCount, uint64_t totalSize, const char* const* paths);
    // The same with the paths in a vector; N is its size.
    void SetJob(uint64_t totalSize, std::vector<std::string> paths);

    // The Compress command. On Yes it starts the build and returns; the build's end arrives
    // through PostToWindow.
    void OnCompress();
    // The Cancel command while the builder works: asks it to stop. Nothing otherwise.
    void OnCancel();
    // Waits for the build's thread to end (tests; the destructor). Its last reports and its end
    // still arrive through PostToWindow.
    void WaitForBuild();

    // Applies one progress report: k files done, B input bytes done, A bytes of archive so far.
    void UpdateProgress(int32_t filesDone, uint64_t bytesDone, uint64_t archiveSize);

    // Replaces the builder (tests); nullptr restores BuildArchive.
    void SetBuilder(BuildFunction builder);

    JobState GetState() const { return m_state; }
    int32_t GetFileCount() const { return m_nFileCount; }
    uint64_t GetTotalSize() const { return m_nTotalSize; }
    const std::vector<std::string>& GetPaths() const { return m_ppszPaths; }

    // Position of the progress bar for B of T bytes: (B / T + 0.009) * 100 truncated, at most
    // 100, and 0 when T is 0.
    static int BarPosition(uint64_t bytesDone, uint64_t totalSize);

private:
    // What the builder's thread hands back.
    struct BuildEnd {
        bool built = false;
        bool threw = false;
        Error thrown;  // what the exception carried (a codec's ZokError), when it was one
        BuildReport report;
    };

    void StartBuild(const std::string& name);
    // Build's thread: keeps the latest report and posts one call to apply it.
    void QueueReport(const BuildProgress& progress);
    // User-interface thread: applies the latest report.
    void ApplyReport();
    void OnBuildEnded(const BuildEnd& end);
    // built: the archive was written (inputs that could not be encoded included).
    void ShowFinished(bool built);
    std::string FailureText(const BuildEnd& end) const;

    JobWindow& m_window;
    int32_t m_nFileCount = 0;
    uint64_t m_nTotalSize = 0;
    std::vector<std::string> m_ppszPaths;
    JobState m_state = JobState::Ready;
    int32_t m_nFilesDone = 0;  // last k reported during the running build
    std::string m_outputName;
    BuildFunction m_builder = nullptr;
    Worker m_work;
    // The latest report of the build's thread, and whether a call to apply it is on its way.
    std::mutex m_reportLock;
    BuildProgress m_latest;
    bool m_reportPosted = false;
};

}  // namespace zok
