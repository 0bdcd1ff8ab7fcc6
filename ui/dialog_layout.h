#pragma once

#include <QFont>
#include <QRect>
#include <QSize>
#include <QString>

class QWidget;

// The font of every dialog: "굴림" at 9 points. The family is mapped explicitly to the Korean
// gothic fonts Linux systems carry (Baekmuk Gulim, Nanum Gothic ...), so the texts never fall
// back to a font without Hangul.
QFont DialogFont();

// Dialog units to pixels with a font's metrics, as the Windows dialog manager computes them:
// a horizontal unit is a quarter of the average width of the Latin letters, a vertical unit an
// eighth of the character height, each result rounded to the nearest pixel.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);
    DialogUnits(int baseX, int baseY) : m_baseX(baseX), m_baseY(baseY) {}

    int BaseX() const { return m_baseX; }
    int BaseY() const { return m_baseY; }
    int X(int units) const;
    int Y(int units) const;
    QRect ToPixels(int x, int y, int cx, int cy) const;
    QSize ToPixels(int cx, int cy) const;

private:
    int m_baseX;
    int m_baseY;
};

// The kinds of control the dialogs are built from.
enum class ControlKind {
    Static,         // left-aligned text
    StaticRight,    // right-aligned text
    GroupBox,       // a titled frame drawn behind the controls inside it
    PushButton,     // a button
    DefPushButton,  // the dialog's default button (Enter)
    Edit,           // single-line edit with a border
    Icon,           // the application icon
    Custom,         // a control the dialog makes itself (list, progress bar); only placed
};

// Id of a control that no code addresses.
constexpr int kNoId = -1;
// Ids of the dialogs' standard commands.
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;

// One control of a dialog: its id, kind, initial text and rectangle in dialog units.
struct ControlTemplate {
    int id;
    ControlKind kind;
    const char* text;  // UTF-8
    int x;
    int y;
    int cx;
    int cy;
};

// The object name that carries a control's id ("id1000"), so that code and tests can find it.
QString ControlName(int id);

// Gives an existing widget its id and its rectangle on the dialog.
void PlaceControl(QWidget& control, const DialogUnits& units, const ControlTemplate& item);

// Creates a control of the given kind as a child of dialog and places it; null for Custom.
QWidget* CreateControl(QWidget& dialog, const DialogUnits& units, const ControlTemplate& item);

// Fixes a dialog's client area to cx by cy dialog units and sets its caption and font.
void SetUpDialog(QWidget& dialog, const DialogUnits& units, const char* caption, int cx, int cy);
