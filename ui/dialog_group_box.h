#pragma once

#include <QGroupBox>
#include <QRect>

// A group box drawn as the dialog templates assume: the title at the top left and the frame's
// top edge running through the middle of the title, an etched line all round. Qt's own styles
// draw the frame below the whole title instead (Fusion: a text line and 3 pixels down), so the
// first row of controls, placed half a line under the title, would sit on the frame.
class DialogGroupBox : public QGroupBox {
public:
    DialogGroupBox(const QString& title, QWidget* parent);

    // In the box's own coordinates: where the title is written (the frame is open there), the
    // frame's outer edge, and the interior, inside the frame and below the title, where the
    // controls it frames belong.
    QRect TitleRect() const;
    QRect FrameRect() const;
    QRect InteriorRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};
