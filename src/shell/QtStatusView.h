#pragma once
// The status line on the window: the text lblStatus in its box under the
// logo, and the lamp pnlComm.

#include "shell/FrameBackdrop.h"
#include "shell/StatusLine.h"

#include <QFrame>
#include <QLabel>
#include <QScrollArea>

// A label that breaks its text at word boundaries, and inside a word that
// is longer than a line (a register reply), so that no part of it is cut off.
class WrappingLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
    // The height the whole text needs at the given width.
    int HeightFor(int width) const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// The status line's box: the whole text, the command and the reply
// included, wrapped to the box's width; a text taller than the box scrolls.
class StatusBox : public QScrollArea {
    Q_OBJECT
public:
    StatusBox(QWidget* parent, QRect geometry, const QFont& font);
    WrappingLabel* Label() const { return label_; }
    void SetText(const QString& text);
    // Lays the text out again for a new size of the box.
    void Relayout();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    WrappingLabel* label_;
};

// The activity lamp, a small sunken panel that changes colour on every
// monitor tick. It paints its colour itself: a new palette on every tick
// would cost more than the rest of the tick's display.
class ActivityLamp : public QFrame {
    Q_OBJECT
public:
    explicit ActivityLamp(QWidget* parent = nullptr);
    Rgb Colour() const { return colour_; }
    void SetColour(Rgb colour);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Rgb colour_{0, 0, 0};
    // The lamp blinks between two colours: one picture for each.
    FrameBackdrop pictures_[2];
    int older_ = 0;
};

class QtStatusView final : public StatusView {
public:
    QtStatusView(StatusBox* status, ActivityLamp* lamp) : status_(status), lamp_(lamp) {}
    void ShowStatus(const std::string& text, Rgb background) override;
    Rgb LampColour() const override;
    void SetLampColour(Rgb colour) override;

private:
    StatusBox* status_;
    ActivityLamp* lamp_;
};
