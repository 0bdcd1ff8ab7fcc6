#include "ui/anchored_layout.h"

void AnchoredLayout::Add(QWidget& control, Anchor anchor) {
    m_items.push_back({&control, control.geometry(), anchor});
}

void AnchoredLayout::Apply(QSize windowSize) const {
    const int dx = windowSize.width() - m_placedFor.width();
    const int dy = windowSize.height() - m_placedFor.height();
    for (const Item& item : m_items) {
        if (item.control == nullptr) {
            continue;
        }
        switch (item.anchor) {
            case Anchor::TopLeft:
                item.control->setGeometry(item.placed);
                break;
            case Anchor::BottomLeft:
                item.control->setGeometry(item.placed.translated(0, dy));
                break;
            case Anchor::BottomRight:
                item.control->setGeometry(item.placed.translated(dx, dy));
                break;
            case Anchor::Fill:
                item.control->setGeometry(item.placed.adjusted(0, 0, dx, dy));
                break;
        }
    }
}
