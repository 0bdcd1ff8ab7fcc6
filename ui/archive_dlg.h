#pragma once

#include <QSortFilterProxyModel>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "job/archive_tasks.h"
#include "job/worker.h"
#include "ui/archive_model.h"
#include "ui/window_poster.h"
#include "zok/extract.h"

namespace zok {
class CZokFile;
}
class ElidedLabel;
class EntryPreviewPanel;
class QFrame;
class QLabel;
class QLineEdit;
class QMimeData;
class QProgressBar;
class QPushButton;
class QSplitter;
class QStatusBar;
class QTableView;
class QTemporaryDir;
class QTimer;
class UserPrompts;

// A window that shows what an archive holds: a sortable, filterable table of its entries, a
// preview of the selected one beside it (a third of the window unless the user moved the
// splitter; that share is remembered), a status bar, and the actions 풀기 (the selected
// entries), 모두 풀기 and 검사. Rows dragged out to a file manager, and an entry opened with
// Enter or a double click, are extracted into a temporary folder first. No text widens the
// window: the status bar's sections cut long texts and show them whole in their tooltips.
// Extraction, checking and upgrading run on a worker thread with a progress bar and a working
// 취소; nothing they leave behind is half-written. Each window is a window of its own, owned
// by the application, and closes on its own.
class CArchiveDlg : public QWidget {
public:
    static constexpr int kIdTable = 2000;
    static constexpr int kIdFilter = 2001;
    static constexpr int kIdExtract = 2002;
    static constexpr int kIdExtractAll = 2003;
    static constexpr int kIdTest = 2004;
    static constexpr int kIdStatus = 2005;
    static constexpr int kIdWorkStatus = 2006;
    static constexpr int kIdProgress = 2007;
    static constexpr int kIdCancelWork = 2008;
    // Lines of one message that lists entries.
    static constexpr int kMaxListedEntries = 20;
    // The preview's share of the window's width until the user moves the splitter, and where
    // the share the user chose is kept (QSettings of the program).
    static constexpr double kDefaultPreviewShare = 1.0 / 3.0;
    static constexpr const char* kPreviewShareKey = "archiveWindow/previewShare";

    // Opens path in a new archive window and shows it; a version 1.0.0 archive is offered an
    // upgrade. When it cannot be opened, tells the user why (over messageParent, which may be
    // null) and returns null. prompts must outlive the window.
    static CArchiveDlg* Open(const std::string& path, UserPrompts& prompts, QWidget* messageParent);
    // The archive windows now open, oldest first.
    static std::vector<CArchiveDlg*> OpenWindows();
    // Closes every archive window, cancelling and waiting for its work (the program's end).
    static void CloseAll();

    CArchiveDlg(std::unique_ptr<zok::CZokFile> zok, UserPrompts& prompts);
    ~CArchiveDlg() override;

    // 풀기: the selected entries into a folder the user chooses.
    void OnExtract();
    // 모두 풀기: every entry.
    void OnExtractAll();
    // 검사: reads every entry through, decodes the pictures, marks and lists the damaged ones.
    void OnTest();
    // 취소 of the running work.
    void OnCancelWork();
    // Asks whether to rewrite a version 1.0.0 archive as 1.1.0 beside it, and does so.
    void OfferUpgrade();
    // Files dropped on the window: added to the archive after a question, each replacing the
    // entry of its name only as the user answers; folders are walked.
    void AddFiles(const std::vector<std::string>& paths);
    // The Delete key and 지우기: deletes the selected entries from the archive after a question.
    void DeleteSelected();
    // Extracts the selected entries into a new temporary folder (kept until the window goes)
    // and gives their files as URLs, for a drag; null when no file came out.
    std::unique_ptr<QMimeData> PrepareDrag();
    // Enter or a double click on a row: the entry, extracted into a temporary folder, opened
    // with the desktop's program for its type.
    void OpenEntry(size_t index);

    // True while extraction, checking or an upgrade runs.
    bool Busy() const { return m_work.Running(); }
    // Waits for the running work (its end is reported) and the preview (tests).
    void WaitForWork();

    const zok::CZokFile& Archive() const { return *m_zok; }
    ArchiveModel& Model() { return m_model; }
    QSortFilterProxyModel& Proxy() { return m_proxy; }
    QTableView& Table() { return *m_table; }
    EntryPreviewPanel& Preview() { return *m_preview; }
    // Directory positions of the selected rows, in directory order.
    std::vector<size_t> SelectedEntries() const;

protected:
    // Closing during work cancels it; the window goes once the work has stopped.
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // The preview keeps its share of the width.
    void resizeEvent(QResizeEvent* event) override;

private:
    void SetArchive(std::unique_ptr<zok::CZokFile> zok);
    void Extract(const std::vector<size_t>& indices);
    // Runs the extraction of items on the worker; then gets the result on the UI thread.
    // A drag-out folder: removed with the window, or by a signal that ends the program.
    struct DragFolder {
        explicit DragFolder(std::unique_ptr<QTemporaryDir> folder);
        ~DragFolder();
        std::unique_ptr<QTemporaryDir> folder;
        int ticket;
    };

    void ConfigureTable();
    QStatusBar* MakeStatusBar(QPushButton* cancel);
    // Gives the preview its share of the splitter's width; OnSplitterMoved keeps the user's.
    void ApplyPreviewShare();
    void OnSplitterMoved();
    // Extracts entries into a new temporary folder (kept until the window goes) while the
    // window keeps repainting; the files written, none when cancelled.
    std::vector<std::string> ExtractForDesktop(const std::vector<size_t>& indices);
    void ShowContextMenu(const QPoint& at);
    // Opens folder and plans the entries; null (the user told why) when it cannot be opened.
    std::shared_ptr<zok::Extraction> PlanExtraction(const std::string& folder,
                                                    const std::vector<size_t>& indices);
    // Runs the planned extraction on the worker; then gets the outcome on the UI thread.
    void RunExtraction(std::shared_ptr<zok::Extraction> extraction,
                       std::function<void(const zok::ExtractionOutcome&)> then);
    void ReportExtraction(const zok::ExtractionOutcome& outcome, const std::string& folder);
    void ShowUpgraded(const zok::UpgradeOutcome& outcome);
    // Runs the library's update of the archive on the worker; then reads the table again.
    void Change(zok::UpdateOptions options, const QString& what);
    void ShowChanged(const zok::ChangeOutcome& outcome);
    void Upgrade(const std::string& target);
    void BeginWork(const QString& what, uint64_t total);
    void ShowProgress(uint64_t done);
    void EndWork(const QString& result);
    void ShowListingStatus();
    void UpdateActions();
    // Shows the entry of the current row when it is selected (else the first selected one, or
    // nothing); force shows it again (its mark may have changed).
    void UpdatePreview(bool force = false);
    // One message: header, then one line per entry (at most kMaxListedEntries).
    void ShowList(const QString& header, const std::vector<std::string>& lines);

    UserPrompts& m_prompts;
    std::unique_ptr<zok::CZokFile> m_zok;
    ArchiveModel m_model;
    QSortFilterProxyModel m_proxy;
    QTableView* m_table;
    QLineEdit* m_filter;
    EntryPreviewPanel* m_preview;
    QSplitter* m_splitter;
    ElidedLabel* m_status;
    ElidedLabel* m_workStatus;
    QFrame* m_workSeparator;
    QProgressBar* m_progress;
    double m_previewShare = kDefaultPreviewShare;
    std::optional<size_t> m_previewed;
    QTimer* m_closeTimer;
    // Folders of files dragged out; removed with the window, after its work has stopped.
    std::vector<std::unique_ptr<DragFolder>> m_dragFolders;
    bool m_inDrag = false;
    QString m_workName;
    uint64_t m_workTotal = 0;
    // Declared after everything its work uses (the archive, the drag folders): it stops and
    // joins its thread before they go.
    WindowPoster m_poster;
    zok::Worker m_work;
};
