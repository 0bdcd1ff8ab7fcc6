#include "ui/dialog_layout.h"

#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>
#include <algorithm>

#include "ui/app_icon.h"
#include "ui/dialog_group_box.h"

QFont DialogFont() {
    static const bool substituted = [] {
        // Gulim is a gothic face; these are the installed faces closest to it.
        QFont::insertSubstitutions(QStringLiteral("굴림"),
                                   {QStringLiteral("Baekmuk Gulim"), QStringLiteral("NanumGothic"),
                                    QStringLiteral("NanumBarunGothic"),
                                    QStringLiteral("Noto Sans CJK KR"), QStringLiteral("UnDotum")});
        return true;
    }();
    (void)substituted;
    QFont font(QStringLiteral("굴림"));
    font.setPointSize(9);
    return font;
}

namespace {

// MulDiv of the dialog manager: value * numerator / denominator rounded to the nearest integer.
int MulDivRound(int value, int numerator, int denominator) {
    const long long product = static_cast<long long>(value) * numerator;
    const long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator
                                         : -((-product + half) / denominator));
}

}  // namespace

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    // The average width of the 52 Latin letters, rounded.
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_baseX = (letters / 26 + 1) / 2;
    m_baseY = metrics.height();
}

int DialogUnits::X(int units) const {
    return MulDivRound(units, m_baseX, 4);
}

int DialogUnits::Y(int units) const {
    return MulDivRound(units, m_baseY, 8);
}

QRect DialogUnits::ToPixels(int x, int y, int cx, int cy) const {
    return QRect(X(x), Y(y), X(cx), Y(cy));
}

QSize DialogUnits::ToPixels(int cx, int cy) const {
    return QSize(X(cx), Y(cy));
}

QString ControlName(int id) {
    return QStringLiteral("id%1").arg(id);
}

void PlaceControl(QWidget& control, const DialogUnits& units, const ControlTemplate& item) {
    if (item.id != kNoId) {
        control.setObjectName(ControlName(item.id));
    }
    control.setGeometry(units.ToPixels(item.x, item.y, item.cx, item.cy));
}

QWidget* CreateControl(QWidget& dialog, const DialogUnits& units, const ControlTemplate& item) {
    const QString text = QString::fromUtf8(item.text);
    QWidget* control = nullptr;
    switch (item.kind) {
        case ControlKind::Static:
        case ControlKind::StaticRight: {
            auto* label = new QLabel(text, &dialog);
            label->setTextFormat(Qt::PlainText);
            label->setAlignment(
                (item.kind == ControlKind::StaticRight ? Qt::AlignRight : Qt::AlignLeft) |
                Qt::AlignTop);
            control = label;
            break;
        }
        case ControlKind::GroupBox:
            control = new DialogGroupBox(text, &dialog);
            break;
        case ControlKind::PushButton:
        case ControlKind::DefPushButton: {
            auto* button = new QPushButton(text, &dialog);
            button->setDefault(item.kind == ControlKind::DefPushButton);
            control = button;
            break;
        }
        case ControlKind::Edit:
            control = new QLineEdit(text, &dialog);
            break;
        case ControlKind::Custom:
            return nullptr;
        case ControlKind::Icon: {
            auto* label = new QLabel(&dialog);
            const QRect rect = units.ToPixels(item.x, item.y, item.cx, item.cy);
            label->setPixmap(AppIcon().pixmap(std::min(rect.width(), rect.height())));
            control = label;
            break;
        }
    }
    PlaceControl(*control, units, item);
    // Group boxes frame the controls that follow them; keep them behind.
    if (item.kind == ControlKind::GroupBox) {
        control->lower();
    }
    return control;
}

void SetUpDialog(QWidget& dialog, const DialogUnits& units, const char* caption, int cx, int cy) {
    dialog.setWindowTitle(QString::fromUtf8(caption));
    dialog.setFixedSize(units.ToPixels(cx, cy));
}
