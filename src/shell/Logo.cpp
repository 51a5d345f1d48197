#include "shell/Logo.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <cmath>

QPixmap MakeLogo(int width, int height)
{
    QPixmap pixmap(width, height);
    pixmap.fill(Qt::white);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);

    // A code disc: a ring of alternating segments around a hub.
    const double d = height - 2;
    const QRectF disc(1, 1, d, d);
    const QPointF centre = disc.center();
    const QColor navy(0, 40, 110);
    const QColor orange(255, 128, 64);
    const int segments = 16;
    for (int i = 0; i < segments; ++i) {
        QPainterPath path;
        path.moveTo(centre);
        path.arcTo(disc, i * 360.0 / segments, 360.0 / segments);
        path.closeSubpath();
        p.fillPath(path, (i % 2 == 0 || i % 5 == 0) ? navy : Qt::white);
    }
    p.setPen(QPen(navy, 1));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(disc);
    p.setPen(Qt::NoPen);
    p.setBrush(orange);
    p.drawEllipse(centre, d * 0.30, d * 0.30);
    p.setBrush(Qt::white);
    p.drawEllipse(centre, d * 0.10, d * 0.10);

    // The name beside it.
    QFont font("DejaVu Sans");
    font.setBold(true);
    font.setPixelSize(static_cast<int>(height * 0.62));
    font.setLetterSpacing(QFont::PercentageSpacing, 108);
    p.setFont(font);
    p.setPen(navy);
    const QRectF textRect(height + 4, 0, width - height - 4, height * 0.78);
    p.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("ZOLVAN"));
    p.fillRect(QRectF(height + 4, height * 0.80, width - height - 6, 2), orange);
    return pixmap;
}

LogoLabel::LogoLabel(QWidget* parent) : QLabel(parent) {}

void LogoLabel::mouseReleaseEvent(QMouseEvent* event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}
