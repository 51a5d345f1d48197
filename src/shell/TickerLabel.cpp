#include "shell/TickerLabel.h"

#include <QEvent>

#include <cmath>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPainter>
#include <QStyle>
#include <QTextDocument>

TickerLabel::TickerLabel(QWidget* parent) : QLabel(parent)
{
    setAutoFillBackground(true);
}

TickerLabel* MakeTickerLabel(QWidget* parent, const char* name, const QString& text, QRect geometry)
{
    auto* label = new TickerLabel(parent);
    label->setObjectName(name);
    label->setGeometry(geometry);
    label->setText(text);
    return label;
}

void TickerLabel::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange) {
        rawValid_ = false;
        glyphs_.fill(Glyph{});
    }
    QLabel::changeEvent(event);
}

bool TickerLabel::LayOut(const QString& text)
{
    if (text.isEmpty() || wordWrap() || margin() != 0 || (textFormat() != Qt::PlainText && textFormat() != Qt::AutoText))
        return false;
    // Rich text needs a tag; a value has none.
    if (textFormat() == Qt::AutoText && text.contains(QLatin1Char('<')) && Qt::mightBeRichText(text))
        return false;
    if (!rawValid_) {
        raw_ = QRawFont::fromFont(font());
        rawValid_ = true;
    }
    if (!raw_.isValid())
        return false;
    indexes_.resize(text.size());
    positions_.resize(text.size());
    qreal x = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < 0x20 || c >= 0x100 || (c >= 0x7F && c < 0xA0))
            return false;
        Glyph& glyph = glyphs_[c];
        if (!glyph.known) {
            glyph.known = true;
            const QList<quint32> found = raw_.glyphIndexesForString(QString(QChar(c)));
            glyph.index = found.isEmpty() ? 0 : found.front();
            if (glyph.index != 0)
                glyph.advance = raw_.advancesForGlyphIndexes(found).front().x();
        }
        if (glyph.index == 0)
            return false;
        indexes_[i] = glyph.index;
        positions_[i] = QPointF(x, 0);
        x += glyph.advance;
    }
    width_ = x;
    return true;
}

void TickerLabel::paintEvent(QPaintEvent* event)
{
    if (!LayOut(text())) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    drawFrame(&painter);
    QRectF room = contentsRect();
    const Qt::Alignment align = QStyle::visualAlignment(layoutDirection(), alignment());
    // A framed label keeps half an "x" from the side it is aligned to, as a plain label does.
    if (indent() > 0 || (indent() < 0 && frameWidth() > 0)) {
        const qreal inset = indent() > 0 ? indent() : QFontMetricsF(font()).horizontalAdvance(QLatin1Char('x')) / 2;
        if (align & Qt::AlignLeft)
            room.adjust(inset, 0, 0, 0);
        else if (align & Qt::AlignRight)
            room.adjust(0, 0, -inset, 0);
    }
    const qreal ascent = raw_.ascent(), height = raw_.ascent() + raw_.descent();
    qreal x = room.left(), top = room.top();
    if (align & Qt::AlignHCenter)
        x += (room.width() - width_) / 2;
    else if (align & Qt::AlignRight)
        x += room.width() - width_;
    if (align & Qt::AlignVCenter)
        top += (room.height() - height) / 2;
    else if (align & Qt::AlignBottom)
        top += room.height() - height;
    QGlyphRun run;
    run.setRawFont(raw_);
    run.setGlyphIndexes(indexes_);
    run.setPositions(positions_);
    painter.setPen(palette().color(foregroundRole()));
    painter.drawGlyphRun(QPointF(std::round(x), std::round(top + ascent)), run);
}
