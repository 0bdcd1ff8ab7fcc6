#pragma once

#include <QListWidget>

class CZokCompressorDlg;

// The main window's file list: one row per file, several rows selectable, no sorting. Local
// files dropped onto it from a file manager are measured and handed to the main window, except
// that a drop of ".zok" files alone opens each in an archive window (a drop that mixes them
// with other files lists them all, archives included, as inputs). The Delete key removes the
// selected rows, as the Remove button does.
class CDropListBox : public QListWidget {
public:
    // parentDlg: the main window that receives every dropped file; it owns this control.
    explicit CDropListBox(CZokCompressorDlg& parentDlg);

    // Adds the local files among urls, in their order, through the main window; when they are
    // all ".zok" files, opens them instead.
    void OnDropFiles(const QList<QUrl>& urls);
    // Scrolls the rows from firstRow to the last into view; when they do not all fit, firstRow
    // comes to the top. Nothing happens when there is no such row.
    void ShowRowsFrom(int firstRow);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    CZokCompressorDlg& m_parentDlg;
};
