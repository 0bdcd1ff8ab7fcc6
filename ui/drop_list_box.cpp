#include "ui/drop_list_box.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QUrl>
#include <algorithm>

#include "ui/user_prompts.h"
#include "ui/zok_compressor_dlg.h"
#include "zok/names.h"

using namespace zok;

namespace {

bool CarriesLocalFiles(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls()) {
        return false;
    }
    const QList<QUrl> urls = data->urls();
    return std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
}

}  // namespace

CDropListBox::CDropListBox(CZokCompressorDlg& parentDlg)
    : QListWidget(&parentDlg), m_parentDlg(parentDlg) {
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSortingEnabled(false);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setUniformItemSizes(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    setDropIndicatorShown(false);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
}

void CDropListBox::dragEnterEvent(QDragEnterEvent* event) {
    if (CarriesLocalFiles(event->mimeData())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void CDropListBox::dragMoveEvent(QDragMoveEvent* event) {
    if (CarriesLocalFiles(event->mimeData())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void CDropListBox::dropEvent(QDropEvent* event) {
    if (!CarriesLocalFiles(event->mimeData())) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    OnDropFiles(event->mimeData()->urls());
}

void CDropListBox::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (event->key() == Qt::Key_Delete && modifiers == Qt::NoModifier) {
        m_parentDlg.OnRemove();
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

void CDropListBox::ShowRowsFrom(int firstRow) {
    if (firstRow < 0 || firstRow >= count()) {
        return;
    }
    scrollToItem(item(count() - 1));
    scrollToItem(item(firstRow));
}

void CDropListBox::OnDropFiles(const QList<QUrl>& urls) {
    std::vector<std::string> paths;
    for (const QUrl& url : urls) {
        if (url.isLocalFile()) {
            paths.push_back(ToNativePath(url.toLocalFile()));
        }
    }
    const bool archivesOnly =
        !paths.empty() && std::all_of(paths.begin(), paths.end(), [](const std::string& path) {
            return path.size() > 4 &&
                   SameEntryName(std::string_view(path).substr(path.size() - 4), ".zok");
        });
    if (archivesOnly) {
        m_parentDlg.OpenArchives(paths);
        return;
    }
    // Each new file is measured and listed; listed ones are passed over silently.
    m_parentDlg.AddFiles(paths, CZokCompressorDlg::kDropRowWidth);
}
