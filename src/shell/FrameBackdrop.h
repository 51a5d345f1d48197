#pragma once
// The background and frame of a framed widget, drawn once as a picture.
// A widget repainted on every monitor tick (a value label, the activity
// lamp) blits this picture instead of filling and framing itself anew:
// a styled frame costs the style's whole panel drawing each time.

#include <QBrush>
#include <QImage>
#include <QSize>

#include <functional>

class QFrame;
class QPainter;
class QStyle;

// What the picture depends on; a change of any of it draws it again.
struct FrameLook {
    QSize size;
    qreal ratio = 1;
    QBrush brush;
    qint64 palette = 0; // the palette's cache key (the frame's shades)
    int frameStyle = 0, lineWidth = 0, midLineWidth = 0;
    const QStyle* style = nullptr;
    bool enabled = true;

    bool operator==(const FrameLook& other) const;
};

// The look of frame as it stands, over brush.
FrameLook LookOf(const QFrame& frame, const QBrush& brush);

class FrameBackdrop {
public:
    // The picture for look: the brush over the whole size, then drawFrame.
    const QImage& Picture(const FrameLook& look, const std::function<void(QPainter&)>& drawFrame);
    bool Shows(const FrameLook& look) const { return !picture_.isNull() && look_ == look; }

private:
    FrameLook look_;
    QImage picture_;
};
