#pragma once

#include <QImage>
#include <QWidget>
#include <optional>

#include "job/entry_listing.h"
#include "job/worker.h"
#include "ui/window_poster.h"

namespace zok {
class CZokFile;
}
class QLabel;
class QPlainTextEdit;

// The archive window's side panel: the selected entry's picture, alpha shown over a
// checkerboard, with its size in pixels, or the first lines of its text. Pictures are decoded
// on a worker thread; while one decodes, only the latest selection waits to be shown next.
class EntryPreviewPanel : public QWidget {
public:
    static constexpr int kIdPicture = 2010;
    static constexpr int kIdCaption = 2011;
    static constexpr int kIdText = 2012;
    // Neither side of a shown picture is larger; small pictures are enlarged by whole
    // factors up to it, so that their pixels stay sharp.
    static constexpr int kPictureBox = 256;
    static constexpr int kCheckerSquare = 8;
    static constexpr QRgb kCheckerLight = 0xFFFFFFFF;
    static constexpr QRgb kCheckerDark = 0xFFCCCCCC;

    explicit EntryPreviewPanel(QWidget* parent);

    // The archive whose entries are shown; null shows nothing. It must outlive its use here:
    // set another (or null) only after Wait.
    void SetArchive(const zok::CZokFile* zok);
    // Shows row, or nothing for null.
    void ShowEntry(const zok::EntryRow* row);
    // True while a picture is being decoded.
    bool Loading() const { return m_work.Running(); }
    // Waits for a decoding picture (and the selection waiting behind it) to be shown.
    void Wait();

    // The picture as shown (checkerboard included); null when none is shown.
    const QImage& Picture() const { return m_picture; }

private:
    void StartDecoding(const zok::EntryRow& row);
    void ShowDecoded(const zok::EntryRow& row, const QImage& picture, const QString& caption);
    void ShowText(const zok::EntryRow& row);
    void Clear(const QString& caption);

    const zok::CZokFile* m_zok = nullptr;
    QLabel* m_pictureLabel;
    QLabel* m_caption;
    QPlainTextEdit* m_text;
    QImage m_picture;
    WindowPoster m_poster;
    zok::Worker m_work;
    // The picture entry selected while another decodes.
    std::optional<zok::EntryRow> m_pending;
    // Bumped by every selection, so that a decode finished after another selection is dropped.
    uint64_t m_selection = 0;
};

// The shown form of a decoded picture: scaled into the picture box (whole factors up, smooth
// down) and drawn over a checkerboard, so that transparent parts show as such. Any thread.
QImage ComposePicture(const QImage& rgba);
