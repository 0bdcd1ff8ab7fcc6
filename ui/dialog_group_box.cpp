#include "ui/dialog_group_box.h"

#include <qdrawutil.h>
#include <QPainter>
#include <QRegion>
#include <QStyle>
#include <algorithm>

namespace {

// An etched frame: a dark and a light line.
constexpr int kFrameWidth = 2;
// Blank space left and right of the title, where the frame is open.
constexpr int kTitleGap = 2;

}  // namespace

DialogGroupBox::DialogGroupBox(const QString& title, QWidget* parent) : QGroupBox(title, parent) {}

QRect DialogGroupBox::TitleRect() const {
    const QFontMetrics metrics = fontMetrics();
    const QSize text = metrics.size(Qt::TextShowMnemonic, title());
    return QRect(metrics.averageCharWidth(), 0, text.width() + 2 * kTitleGap, metrics.height());
}

QRect DialogGroupBox::FrameRect() const {
    return rect().adjusted(0, fontMetrics().height() / 2, 0, 0);
}

QRect DialogGroupBox::InteriorRect() const {
    QRect interior = FrameRect().adjusted(kFrameWidth, kFrameWidth, -kFrameWidth, -kFrameWidth);
    interior.setTop(std::max(interior.top(), TitleRect().bottom() + 1));
    return interior;
}

void DialogGroupBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect title = TitleRect();
    painter.save();
    painter.setClipRegion(QRegion(rect()).subtracted(QRegion(title)));
    qDrawShadeRect(&painter, FrameRect(), palette(), true, 1, 0);
    painter.restore();
    style()->drawItemText(&painter, title, Qt::AlignCenter | Qt::TextShowMnemonic, palette(),
                          isEnabled(), this->title(), QPalette::WindowText);
}
