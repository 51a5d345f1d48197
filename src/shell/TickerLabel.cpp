#include "shell/TickerLabel.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPaintEvent>
#include <QPainter>
#include <QStyle>
#include <QTextDocument>

#include <algorithm>
#include <cmath>

TickerLabel::TickerLabel(QWidget* parent) : QLabel(parent)
{
    setAutoFillBackground(true);
    // The label fills its whole area itself (PaintBackground).
    setAttribute(Qt::WA_OpaquePaintEvent);
}

TickerLabel* MakeTickerLabel(QWidget* parent, const char* name, const QString& text, QRect geometry)
{
    auto* label = new TickerLabel(parent);
    label->setObjectName(name);
    // Placed and sized once: with its size fixed, a new text does not ask the
    // parent to lay its children out again (an event posted on every tick).
    label->move(geometry.topLeft());
    label->setFixedSize(geometry.size());
    // A value is plain text: no new text is looked through for tags.
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    return label;
}

void TickerLabel::Forget()
{
    rawValid_ = false;
    glyphs_.fill(Glyph{});
    halfX_ = -1;
    laidOut_.clear();
}

void TickerLabel::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange)
        Forget();
    QLabel::changeEvent(event);
}

void TickerLabel::Draw(Glyph& glyph)
{
    const QRectF bounds = raw_.boundingRect(glyph.index);
    // A pixel of room on every side for the anti-aliased edges.
    const QRect room(static_cast<int>(std::floor(bounds.left())) - 1, static_cast<int>(std::floor(bounds.top())) - 1,
                     static_cast<int>(std::ceil(bounds.width())) + 3, static_cast<int>(std::ceil(bounds.height())) + 3);
    glyph.offset = room.topLeft();
    glyph.picture = QImage(room.size() * ratio_, QImage::Format_ARGB32_Premultiplied);
    glyph.picture.setDevicePixelRatio(ratio_);
    const QSizeF extent = glyph.picture.deviceIndependentSize();
    glyph.extent = QSize(static_cast<int>(std::ceil(extent.width())), static_cast<int>(std::ceil(extent.height())));
    glyph.picture.fill(Qt::transparent);
    QGlyphRun run;
    run.setRawFont(raw_);
    run.setGlyphIndexes({glyph.index});
    run.setPositions({QPointF(0, 0)});
    QPainter painter(&glyph.picture);
    painter.setPen(colour_);
    painter.drawGlyphRun(-QPointF(room.topLeft()), run);
}

bool TickerLabel::LayOut(const QString& text)
{
    if (text.isEmpty() || wordWrap() || margin() != 0 || (textFormat() != Qt::PlainText && textFormat() != Qt::AutoText)) {
        laidOut_.clear();
        return false;
    }
    // Rich text needs a tag; a value has none.
    if (textFormat() == Qt::AutoText && text.contains(QLatin1Char('<')) && Qt::mightBeRichText(text)) {
        laidOut_.clear();
        return false;
    }
    // The pictures follow the colour (palette, enabled or not) and the screen's pixel ratio.
    const QColor colour = palette().color(foregroundRole());
    const qreal ratio = devicePixelRatioF();
    if (colour != colour_ || ratio != ratio_) {
        Forget();
        colour_ = colour;
        ratio_ = ratio;
    }
    if (!rawValid_) {
        raw_ = QRawFont::fromFont(font());
        rawValid_ = true;
        ascent_ = raw_.ascent();
        descent_ = raw_.descent();
    }
    if (!raw_.isValid()) {
        laidOut_.clear();
        return false;
    }
    // The line holds this text already (set last, or painted again).
    if (text == laidOut_)
        return true;
    laidOut_.clear();
    line_.resize(static_cast<size_t>(text.size()));
    xs_.resize(static_cast<size_t>(text.size()));
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
            if (glyph.index != 0) {
                glyph.advance = raw_.advancesForGlyphIndexes(found).front().x();
                Draw(glyph);
            }
        }
        if (glyph.index == 0)
            return false;
        line_[static_cast<size_t>(i)] = &glyph;
        xs_[static_cast<size_t>(i)] = x;
        x += glyph.advance;
    }
    width_ = x;
    laidOut_ = text;
    return true;
}

bool TickerLabel::PaintBackground(QPainter& painter, bool framed)
{
    const QBrush& brush = palette().brush(backgroundRole());
    if (!autoFillBackground() || !brush.isOpaque()) {
        // What lies beneath shows through: Qt paints it from the next paint on.
        if (testAttribute(Qt::WA_OpaquePaintEvent)) {
            setAttribute(Qt::WA_OpaquePaintEvent, false);
            update();
        }
        return false;
    }
    setAttribute(Qt::WA_OpaquePaintEvent);
    if (framed)
        painter.drawImage(QPoint(0, 0),
                          backdrop_.Picture(LookOf(*this, brush), [this](QPainter& onPicture) { drawFrame(&onPicture); }));
    else
        painter.fillRect(rect(), brush);
    return true;
}

QPointF TickerLabel::Origin()
{
    QRectF room = contentsRect();
    const Qt::Alignment align = QStyle::visualAlignment(layoutDirection(), alignment());
    // A framed label keeps half an "x" from the side it is aligned to, as a plain label does.
    if (indent() > 0 || (indent() < 0 && frameWidth() > 0)) {
        if (halfX_ < 0)
            halfX_ = QFontMetricsF(font()).horizontalAdvance(QLatin1Char('x')) / 2;
        const qreal inset = indent() > 0 ? indent() : halfX_;
        if (align & Qt::AlignLeft)
            room.adjust(inset, 0, 0, 0);
        else if (align & Qt::AlignRight)
            room.adjust(0, 0, -inset, 0);
    }
    const qreal height = ascent_ + descent_;
    qreal left = room.left(), top = room.top();
    if (align & Qt::AlignHCenter)
        left += (room.width() - width_) / 2;
    else if (align & Qt::AlignRight)
        left += room.width() - width_;
    if (align & Qt::AlignVCenter)
        top += (room.height() - height) / 2;
    else if (align & Qt::AlignBottom)
        top += room.height() - height;
    return QPointF(left, std::lround(top + ascent_));
}

QRect TickerLabel::Place(const Glyph& glyph, qreal x, QPointF origin)
{
    const QPoint corner(static_cast<int>(std::lround(origin.x() + x)) + glyph.offset.x(),
                        static_cast<int>(origin.y()) + glyph.offset.y());
    return QRect(corner, glyph.extent);
}

bool TickerLabel::ChangedPart(const QString& shown, const QString& text, QRect& part)
{
    // The shown text is laid out already when it was painted or set last.
    if (laidOut_ != shown && !LayOut(shown))
        return false;
    shownLine_.swap(line_);
    shownXs_.swap(xs_);
    const QPointF shownOrigin = Origin();
    if (!LayOut(text))
        return false;
    const QPointF origin = Origin();
    // One rectangle: a painter clipped to a rectangle draws faster than to a
    // region. A glyph that stays in its place is left as it is; one that
    // changed, moved, came or went is repainted where it was and where it is.
    part = QRect();
    const size_t shownSize = shownLine_.size(), size = line_.size();
    const bool sameLine = origin.y() == shownOrigin.y();
    for (size_t i = 0; i < std::max(shownSize, size); ++i) {
        const bool sameGlyph = i < shownSize && i < size && line_[i] == shownLine_[i];
        // Placed at the same point, the same glyph covers the same pixels.
        if (sameGlyph && sameLine && origin.x() + xs_[i] == shownOrigin.x() + shownXs_[i])
            continue;
        const QRect was = i < shownSize ? Place(*shownLine_[i], shownXs_[i], shownOrigin) : QRect();
        const QRect is = i < size ? Place(*line_[i], xs_[i], origin) : QRect();
        if (!sameGlyph || is != was)
            part |= was | is;
    }
    return true;
}

void TickerLabel::setText(const QString& text)
{
    const QString shown = this->text();
    QRect part;
    if (text == shown || !isVisible() || !updatesEnabled() || !ChangedPart(shown, text, part)) {
        QLabel::setText(text);
        return;
    }
    // The label takes the text without asking for a repaint of all of it.
    setAttribute(Qt::WA_UpdatesDisabled);
    QLabel::setText(text);
    setAttribute(Qt::WA_UpdatesDisabled, false);
    update(part);
}

void TickerLabel::paintEvent(QPaintEvent* event)
{
    if (!LayOut(text())) {
        {
            QPainter painter(this);
            PaintBackground(painter, false);
        }
        QLabel::paintEvent(event); // frame and text
        return;
    }
    QPainter painter(this);
    if (!PaintBackground(painter, true))
        drawFrame(&painter);
    // Only the glyphs within the part to repaint are drawn; Qt keeps the rest.
    const QRect repaint = event->rect();
    const QPointF origin = Origin();
    for (size_t i = 0; i < line_.size(); ++i) {
        const Glyph& glyph = *line_[i];
        const QRect place = Place(glyph, xs_[i], origin);
        if (place.intersects(repaint))
            painter.drawImage(place.topLeft(), glyph.picture);
    }
}
