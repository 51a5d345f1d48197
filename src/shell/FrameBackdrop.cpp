#include "shell/FrameBackdrop.h"

#include <QFrame>
#include <QPainter>

bool FrameLook::operator==(const FrameLook& other) const
{
    return size == other.size && ratio == other.ratio && brush == other.brush && palette == other.palette &&
           frameStyle == other.frameStyle && lineWidth == other.lineWidth && midLineWidth == other.midLineWidth &&
           style == other.style && enabled == other.enabled;
}

FrameLook LookOf(const QFrame& frame, const QBrush& brush)
{
    FrameLook look;
    look.size = frame.size();
    look.ratio = frame.devicePixelRatioF();
    look.brush = brush;
    look.palette = frame.palette().cacheKey();
    look.frameStyle = frame.frameStyle();
    look.lineWidth = frame.lineWidth();
    look.midLineWidth = frame.midLineWidth();
    look.style = frame.style();
    look.enabled = frame.isEnabled();
    return look;
}

const QImage& FrameBackdrop::Picture(const FrameLook& look, const std::function<void(QPainter&)>& drawFrame)
{
    if (Shows(look))
        return picture_;
    look_ = look;
    // Over an opaque brush the picture is opaque too, and is copied rather than blended.
    picture_ = QImage(look.size * look.ratio,
                      look.brush.isOpaque() ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied);
    picture_.setDevicePixelRatio(look.ratio);
    picture_.fill(Qt::transparent);
    QPainter painter(&picture_);
    painter.fillRect(QRect(QPoint(0, 0), look.size), look.brush);
    drawFrame(painter);
    return picture_;
}
