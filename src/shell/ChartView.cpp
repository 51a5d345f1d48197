#include "shell/ChartView.h"

#include "chart/ChartRenderer.h"

#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

ChartView::ChartView(QWidget* parent) : QWidget(parent)
{
    // The chart paints every pixel itself.
    setAttribute(Qt::WA_OpaquePaintEvent);
    repaintLater_ = new QTimer(this);
    repaintLater_->setSingleShot(true);
    connect(repaintLater_, &QTimer::timeout, this, qOverload<>(&QWidget::update));
}

void ChartView::Changed()
{
    if (repaintLater_->isActive())
        return;
    const qint64 since = lastPainted_.isValid() ? lastPainted_.elapsed() : kMinRepaintMs;
    repaintLater_->start(static_cast<int>(std::max<qint64>(0, kMinRepaintMs - since)));
}

void ChartView::paintEvent(QPaintEvent*)
{
    lastPainted_.start();
    QPainter painter(this);
    painter.setFont(font());
    DrawChart(painter, model_, QRectF(rect()));
}

void ChartView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        emit doubleClicked();
}
