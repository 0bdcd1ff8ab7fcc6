#include "ui/entry_preview_panel.h"

#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>

#include "job/entry_preview.h"
#include "job/formatting.h"
#include "ui/dialog_layout.h"
#include "zok/zok_file.h"

using namespace zok;

namespace {

QString PixelSize(int32_t width, int32_t height) {
    return QStringLiteral("%1 × %2 픽셀")
        .arg(QString::fromStdString(FormatNumber(uint32_t(width))),
             QString::fromStdString(FormatNumber(uint32_t(height))));
}

}  // namespace

QImage ComposePicture(const QImage& rgba) {
    const int longer = std::max(rgba.width(), rgba.height());
    if (longer <= 0) {
        return QImage();
    }
    QImage scaled;
    if (longer <= EntryPreviewPanel::kPictureBox) {
        const int factor = EntryPreviewPanel::kPictureBox / longer;
        scaled = rgba.scaled(rgba.width() * factor, rgba.height() * factor, Qt::IgnoreAspectRatio,
                             Qt::FastTransformation);
    } else {
        scaled = rgba.scaled(EntryPreviewPanel::kPictureBox, EntryPreviewPanel::kPictureBox,
                             Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    QImage shown(scaled.size(), QImage::Format_ARGB32_Premultiplied);
    const int square = EntryPreviewPanel::kCheckerSquare;
    for (int y = 0; y < shown.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(shown.scanLine(y));
        for (int x = 0; x < shown.width(); ++x) {
            line[x] = ((x / square + y / square) % 2) == 0 ? EntryPreviewPanel::kCheckerLight
                                                           : EntryPreviewPanel::kCheckerDark;
        }
    }
    QPainter painter(&shown);
    painter.drawImage(0, 0, scaled);
    return shown;
}

EntryPreviewPanel::EntryPreviewPanel(QWidget* parent)
    : QWidget(parent),
      m_pictureLabel(new QLabel(this)),
      m_caption(new QLabel(this)),
      m_text(new QPlainTextEdit(this)),
      m_poster(*this),
      m_work(m_poster) {
    m_pictureLabel->setObjectName(ControlName(kIdPicture));
    m_pictureLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_pictureLabel->setMinimumWidth(kPictureBox);
    // The panel keeps the picture's width whatever it shows; a caption longer than that (a
    // long name) is cut, never widening the window.
    setMinimumWidth(kPictureBox);
    m_caption->setObjectName(ControlName(kIdCaption));
    m_caption->setWordWrap(true);
    m_caption->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_caption->setTextFormat(Qt::PlainText);
    m_caption->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_text->setObjectName(ControlName(kIdText));
    m_text->setReadOnly(true);
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_caption);
    layout->addWidget(m_pictureLabel);
    // The text takes the height below; without text the space stays empty under the picture.
    layout->addWidget(m_text, 100);
    layout->addStretch(1);
    Clear(QString());
}

void EntryPreviewPanel::SetArchive(const CZokFile* zok) {
    m_zok = zok;
    ShowEntry(nullptr);
}

void EntryPreviewPanel::Wait() {
    while (m_work.Running()) {
        m_work.Wait();
    }
}

void EntryPreviewPanel::Clear(const QString& caption) {
    m_picture = QImage();
    m_pictureLabel->clear();
    m_pictureLabel->hide();
    m_text->clear();
    m_text->hide();
    m_caption->setText(caption);
}

void EntryPreviewPanel::ShowEntry(const EntryRow* row) {
    ++m_selection;
    m_pending.reset();
    if (row == nullptr || m_zok == nullptr) {
        Clear(QString());
        return;
    }
    const QString name = QString::fromStdString(row->name);
    if (row->mark != EntryMark::Sound) {
        Clear(name + QStringLiteral("\n") + QString::fromStdString(row->problem));
        return;
    }
    if (row->picture) {
        if (m_work.Running()) {
            // Shown when the picture being decoded is done.
            m_pending = *row;
            Clear(name + QStringLiteral("\n그림을 읽는 중..."));
            return;
        }
        StartDecoding(*row);
        return;
    }
    ShowText(*row);
}

void EntryPreviewPanel::StartDecoding(const EntryRow& row) {
    Clear(QString::fromStdString(row.name) + QStringLiteral("\n그림을 읽는 중..."));
    auto result = std::make_shared<PicturePreview>();
    auto shown = std::make_shared<QImage>();
    const CZokFile* zok = m_zok;
    const size_t index = row.index;
    const uint64_t selection = m_selection;
    m_work.Start(
        [zok, index, result, shown] {
            *result = DecodePicturePreview(*zok, index);
            if (result->problem.empty()) {
                const QImage rgba(result->rgba.data(), result->sampledWidth, result->sampledHeight,
                                  result->sampledWidth * 4, QImage::Format_RGBA8888);
                *shown = ComposePicture(rgba);
            }
        },
        [this, row, result, shown, selection] {
            if (selection == m_selection) {
                QString caption = QString::fromStdString(row.name) + QStringLiteral("\n");
                if (result->width > 0) {
                    caption += PixelSize(result->width, result->height);
                    if (result->hasAlpha) {
                        caption += QStringLiteral(", 투명도 있음");
                    }
                }
                if (!result->problem.empty()) {
                    caption += (result->width > 0 ? QStringLiteral("\n") : QString()) +
                               QString::fromStdString(result->problem);
                }
                ShowDecoded(row, *shown, caption);
            }
            if (m_pending) {
                const EntryRow next = *m_pending;
                m_pending.reset();
                StartDecoding(next);
            }
        });
}

void EntryPreviewPanel::ShowDecoded(const EntryRow&, const QImage& picture,
                                    const QString& caption) {
    Clear(caption);
    if (!picture.isNull()) {
        m_picture = picture;
        m_pictureLabel->setPixmap(QPixmap::fromImage(picture));
        m_pictureLabel->show();
    }
}

void EntryPreviewPanel::ShowText(const EntryRow& row) {
    const QString name = QString::fromStdString(row.name);
    if (row.sourceSize == 0) {
        Clear(name + QStringLiteral("\n빈 파일입니다."));
        return;
    }
    const TextPreview text = ReadTextPreview(*m_zok, row.index);
    if (!text.problem.empty()) {
        Clear(name + QStringLiteral("\n") + QString::fromStdString(text.problem));
        return;
    }
    if (text.binary) {
        Clear(name + QStringLiteral("\n글자로 된 파일이 아니라 미리 볼 수 없습니다."));
        return;
    }
    Clear(name + (text.more ? QStringLiteral("\n앞부분만 보여 줍니다.") : QString()));
    m_text->setPlainText(QString::fromStdString(text.text));
    m_text->show();
}
