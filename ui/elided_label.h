#pragma once

#include <QLabel>

// A one-line label for a status bar that never asks for more width than it gets, so that a long
// text cannot widen its window: a text longer than the label is drawn cut in the middle with
// "…" (a path keeps its start and its end), and its tooltip then shows it whole. text() is the
// whole text.
class ElidedLabel : public QLabel {
public:
    explicit ElidedLabel(QWidget* parent);

    // The text as drawn at the label's width.
    QString ShownText() const;
    // The tooltip: the whole text when it is cut, else nothing.
    QString ToolTipText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
};
