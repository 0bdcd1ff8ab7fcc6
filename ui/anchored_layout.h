#pragma once

#include <QPointer>
#include <QRect>
#include <QSize>
#include <QWidget>
#include <vector>

// Which edges of its window a control keeps its distance to when the window is resized.
enum class Anchor {
    TopLeft,      // stays where it was placed
    BottomLeft,   // follows the bottom edge
    BottomRight,  // follows the bottom and the right edge
    Fill,         // its right and bottom edges follow the window's: it grows and shrinks
};

// Moves and stretches a window's controls when the window changes size. At the size the
// controls were placed for, each one is exactly where it was placed.
class AnchoredLayout {
public:
    // placedFor: the window size for which the controls have their current rectangles.
    explicit AnchoredLayout(QSize placedFor = QSize()) : m_placedFor(placedFor) {}

    // Takes control's current rectangle as its place at the original size.
    void Add(QWidget& control, Anchor anchor);
    // Places every control for a window of the given size.
    void Apply(QSize windowSize) const;

private:
    struct Item {
        QPointer<QWidget> control;
        QRect placed;
        Anchor anchor;
    };
    QSize m_placedFor;
    std::vector<Item> m_items;
};
