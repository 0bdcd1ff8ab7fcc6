#pragma once

#include <QDialog>
#include <QIcon>
#include <QStringList>
#include <cstdint>
#include <string>
#include <vector>

#include "job/input_list.h"
#include "ui/anchored_layout.h"
#include "ui/dialog_layout.h"
#include "ui/drop_list_box.h"

class UserPrompts;

// The main window: the list of input files, their number and total size, and the buttons
// Add, Remove, Compress and Exit. The files, their sizes and the counters are an InputList
// (job/input_list.h); row i of the list shows its file i.
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

    // True when no listed path equals path without regard to the case of ASCII letters.
    bool IsNewFile(const std::string& path) const;
    // Measures and lists the new files among paths (the drop target's road), then names those
    // that could not be listed in one message.
    void AddFiles(const std::vector<std::string>& paths, uint32_t rowWidth);
    // One message naming every file of one Add or drop that could not be listed, and why.
    void ReportUnaddedFiles(const std::vector<std::string>& failures);

    int32_t FileCount() const { return m_inputs.FileCount(); }
    uint64_t TotalSize() const { return m_inputs.TotalSize(); }
    const zok::CFileList& Files() const { return m_inputs.Files(); }
    CDropListBox& List() { return m_list; }
    UserPrompts& Prompts() { return m_prompts; }

protected:
    // Right click: the menu with 열기... and the about box item.
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    bool OnInitDialog();
    // Shows the rows the input list has beyond the list's, each shortened to width.
    void ShowNewRows(uint32_t width);
    void ShowFileCount();
    void ShowTotalSize();
    void EnableCompress(bool enabled);

    UserPrompts& m_prompts;
    CDropListBox m_list;
    AnchoredLayout m_layout;
    QIcon m_hIcon;
    zok::InputList m_inputs;
};

// The about box: icon, name and version, and a button that closes it.
class CAboutDlg : public QDialog {
public:
    static constexpr int kWidth = 167;
    static constexpr int kHeight = 65;
    static const ControlTemplate kTemplate[4];

    explicit CAboutDlg(QWidget* parent);
};
