#pragma once

#include <QDialog>
#include <QProgressBar>
#include <cstdint>
#include <string>

#include "job/compression_job.h"
#include "ui/dialog_layout.h"

class QLabel;
class UserPrompts;

// The window a compression job runs in: counters, current file, bar, Compress and Cancel.
// The job (job/compression_job.h) holds the logic; this window puts its operations on the
// controls.
class CProgressDlg : public QDialog, public zok::JobWindow {
public:
    static constexpr int kIdCompress = 1002;
    static constexpr int kIdByteCounter = 1003;
    static constexpr int kIdProgress = 1004;
    static constexpr int kIdStatus = 1005;
    static constexpr int kIdFileCounter = 1006;
    static constexpr int kIdArchiveSize = 1007;
    static constexpr int kIdCurrentFile = 1010;
    static constexpr int kWidth = 196;
    static constexpr int kHeight = 130;
    // Every control but the progress bar, in template order.
    static const ControlTemplate kTemplate[12];
    static const ControlTemplate kProgressTemplate;

    // mainDlg: the main window, repainted at every progress report; it and prompts must
    // outlive this window, which is shown in front of mainDlg.
    CProgressDlg(QWidget& mainDlg, UserPrompts& prompts);

    // Hands the window its job: N paths (list order, copied) and their total size T.
    void SetJob(int32_t fileCount, uint64_t totalSize, const char* const* paths);

    // The Compress button.
    void OnCompress();

    const zok::CompressionJob& Job() const { return m_job; }

    // JobWindow.
    void SetFieldText(zok::JobField field, const std::string& text) override;
    void EnableButton(zok::JobButton button, bool enabled) override;
    void SetCancelCaption(const std::string& caption) override;
    void SetBarPosition(int position) override;
    void RepaintProgressWindow() override;
    void RepaintMainWindow() override;
    std::string AskOutputName() override;
    bool AskYesNo(const std::string& question) override;
    void ShowMessage(const std::string& message) override;
    void PostToWindow(std::function<void()> call) override;
    void CloseWindow() override;

protected:
    // Cancel, the close box and Escape close the window; while the builder works they stop it
    // (the window closes when it has), and while Cancel is disabled (the question is open, the
    // builder is stopping) they do nothing.
    void reject() override;

private:
    // Gives the status line the width its text needs, never less than its layout's.
    void FitStatusLine(QLabel& label);

    QWidget& m_mainDlg;
    UserPrompts& m_prompts;
    QProgressBar m_progress;
    zok::CompressionJob m_job;
};
