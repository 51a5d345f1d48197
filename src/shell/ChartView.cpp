#include "shell/ChartView.h"

#include "chart/ChartRenderer.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>

ChartView::ChartView(QWidget* parent) : QWidget(parent)
{
    // The chart paints every pixel itself.
    setAttribute(Qt::WA_OpaquePaintEvent);
    repaintLater_ = new QTimer(this);
    repaintLater_->setSingleShot(true);
    connect(repaintLater_, &QTimer::timeout, this, &ChartView::Repaint);
}

bool ChartView::PartToRepaint(QRect& part) const
{
    QRectF changed;
    if (shown_.empty() || !backdrop_.Shows(model_, size() * devicePixelRatioF(), font()) ||
        backdrop_.picture.devicePixelRatio() != devicePixelRatioF() ||
        !ChangedPart(model_, shown_, backdrop_.plot, changed))
        return false;
    part = changed.toAlignedRect() & rect();
    return true;
}

void ChartView::Repaint()
{
    QRect part;
    if (PartToRepaint(part))
        update(part);
    else
        update();
}

void ChartView::Changed()
{
    // Due: repainted in the same pass as the window's other changes of the
    // moment (a monitor tick's values), without a wake-up of its own.
    const qint64 since = lastPainted_.isValid() ? lastPainted_.elapsed() : kMinRepaintMs;
    if (since >= kMinRepaintMs - kDueEarlyMs) {
        repaintLater_->stop();
        Repaint();
        return;
    }
    // Not yet: a later change that finds it due comes first when changes come
    // at least every kMinRepaintMs / 2; the timer is for the last one.
    if (!repaintLater_->isActive())
        repaintLater_->start(static_cast<int>(kMinRepaintMs - since + kMinRepaintMs / 2));
}

namespace {
bool SameAxis(const ChartAxis& a, const ChartAxis& b)
{
    return a.min == b.min && a.max == b.max && a.increment == b.increment && a.title == b.title;
}
} // namespace

bool ChartView::Backdrop::Shows(const ChartModel& chart, QSize pixels, const QFont& f) const
{
    return !picture.isNull() && picture.size() == pixels &&
           SameAxis(left, chart.left) && SameAxis(bottom, chart.bottom) && background == chart.background && font == f;
}

void ChartView::paintEvent(QPaintEvent* event)
{
    lastPainted_.start();
    // What has to be painted for the screen to show the model as it is now.
    QRect needed = rect();
    const bool partial = PartToRepaint(needed);
    // The backdrop (grid, frame, labels, titles) changes with the axes, not
    // with the points: a chart fed on every tick draws only its series anew.
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = size() * ratio;
    if (!backdrop_.Shows(model_, pixels, font()) || backdrop_.picture.devicePixelRatio() != ratio) {
        backdrop_.picture = QPixmap(pixels);
        backdrop_.picture.setDevicePixelRatio(ratio);
        QPainter painter(&backdrop_.picture);
        painter.setFont(font());
        DrawChart(painter, model_, QRectF(rect()), ChartParts::Backdrop);
        backdrop_.left = model_.left;
        backdrop_.bottom = model_.bottom;
        backdrop_.background = model_.background;
        backdrop_.font = font();
        backdrop_.plot = LayOutChart(model_, QRectF(rect()), font()).plot;
    }
    QPainter painter(this);
    painter.drawPixmap(0, 0, backdrop_.picture);
    painter.setFont(font());
    DrawChart(painter, model_, QRectF(rect()), ChartParts::Series);
    // The screen shows the model now where this paint reached; when it did
    // not reach all that changed (another part was exposed first), the rest
    // follows, and until then the screen counts as showing the older model.
    if (QRegion(needed).subtracted(event->region()).isEmpty())
        shown_ = DrawnFrom(model_);
    else if (partial)
        update(needed);
    else
        update();
}

void ChartView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        emit doubleClicked();
}
