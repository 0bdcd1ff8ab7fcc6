#pragma once

#include <QDialog>
#include <QIcon>
#include <QStringList>
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "job/file_list.h"
#include "ui/anchored_layout.h"
#include "ui/dialog_layout.h"
#include "ui/drop_list_box.h"

class UserPrompts;

// Measures a file about to be listed. When it cannot be listed, notes "path: reason" in
// failures (shown to the user in one message) and returns false.
bool MeasureForList(const std::string& path, uint32_t* size, QStringList* failures);

// The main window: the list of input files, their number and total size, and the buttons
// Add, Remove, Compress and Exit. Row i of the list and element i of m_files are the same
// file; the counters always equal the number of rows and the sum of their measured sizes.
// It opens at its laid-out size, which is also its smallest; made larger, the list grows with
// it and the two groups keep to the bottom corners.
class CZokCompressorDlg : public QDialog {
public:
    static constexpr int kIdAdd = 4;
    static constexpr int kIdRemove = 3;
    static constexpr int kIdList = 1000;
    static constexpr int kIdFileCount = 1001;
    static constexpr int kIdCompress = 1002;
    static constexpr int kIdTotalSize = 1003;
    static constexpr unsigned kIdmAboutBox = 0x0010;
    static constexpr int kWidth = 320;
    static constexpr int kHeight = 200;
    // Row widths in bytes: files from Add and dropped files.
    static constexpr uint32_t kAddRowWidth = 50;
    static constexpr uint32_t kDropRowWidth = 55;
    static const ControlTemplate kTemplate[13];
    static const ControlTemplate kListTemplate;

    // prompts answers the file dialogs and message boxes; it must outlive the window.
    explicit CZokCompressorDlg(UserPrompts& prompts, QWidget* parent = nullptr);

    // A command of the window's menu: kIdmAboutBox opens the about box.
    void OnSysCommand(unsigned id);
    // Add: the file-open dialog; every chosen file not yet listed is measured and listed.
    void OnAdd();
    // Remove: the selected rows go, with exactly the sizes they were listed with.
    void OnRemove();
    // Compress: the progress window with a copy of the listed paths; the list stays as it is.
    void OnCompress();
    // 열기...: an archive chosen in the file dialog opens in an archive window of its own.
    void OnOpenArchive();
    // Opens archives in windows of their own (dropped ".zok" files, 열기...).
    void OpenArchives(const std::vector<std::string>& paths);

    // Lists a measured file unless it is listed already (the drop target's road).
    void AddFile(const std::string& path, uint32_t size);
    // True when no listed path equals path without regard to the case of ASCII letters.
    bool IsNewFile(const std::string& path) const;
    // One message naming every file of one Add or drop that could not be listed, and why.
    void ReportUnaddedFiles(const QStringList& failures);

    int32_t FileCount() const { return m_nFileCount; }
    uint32_t TotalSize() const { return m_nTotalSize; }
    const CFileList& Files() const { return m_files; }
    CDropListBox& List() { return m_list; }
    UserPrompts& Prompts() { return m_prompts; }

protected:
    // Right click: the menu with 열기... and the about box item.
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    bool OnInitDialog();
    // Appends path as the last row (shortened to width) and to the file list and counters.
    void AppendFile(const std::string& path, uint32_t size, uint32_t width);
    void ShowFileCount();
    void ShowTotalSize();
    void EnableCompress(bool enabled);

    UserPrompts& m_prompts;
    CDropListBox m_list;
    AnchoredLayout m_layout;
    QIcon m_hIcon;
    CFileList m_files;
    int32_t m_nFileCount = 0;
    uint32_t m_nTotalSize = 0;
    // The size of each row as measured when it was added.
    std::vector<uint32_t> m_sizes;
    // The listed paths with ASCII letters folded: the duplicate check in constant time.
    std::unordered_set<std::string> m_foldedPaths;
};

// The about box: icon, name and version, and a button that closes it.
class CAboutDlg : public QDialog {
public:
    static constexpr int kWidth = 167;
    static constexpr int kHeight = 65;
    static const ControlTemplate kTemplate[4];

    explicit CAboutDlg(QWidget* parent);
};
