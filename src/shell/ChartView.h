#pragma once
// A chart on a page: a thin widget that paints its chart model through the
// one chart renderer, so that saved images look exactly like the screen. A
// double click asks for the chart to be saved.

#include "chart/ChartModel.h"
#include "chart/ChartRenderer.h"

#include <QElapsedTimer>
#include <QFont>
#include <QPixmap>
#include <QWidget>

#include <vector>

class QTimer;

class ChartView : public QWidget {
    Q_OBJECT
public:
    // A chart fed on every monitor tick repaints at most this often.
    static constexpr int kMinRepaintMs = 100;

    explicit ChartView(QWidget* parent = nullptr);

    ChartModel& Model() { return model_; }
    const ChartModel& Model() const { return model_; }
    // The model changed: the picture follows soon (at once when it has not
    // been painted for kMinRepaintMs). When only points were added, only the
    // part of the plot they change is repainted.
    void Changed();

signals:
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    // The backdrop as last drawn, and what it was drawn for.
    struct Backdrop {
        QPixmap picture;
        ChartAxis left, bottom;
        ChartColour background = 0;
        QFont font;
        QRectF plot; // where the series go
        bool Shows(const ChartModel& chart, QSize pixels, const QFont& font) const;
    };
    void Repaint();
    // The part of the widget to repaint for the model as it is now, or false
    // when all of it.
    bool PartToRepaint(QRect& part) const;

    ChartModel model_;
    Backdrop backdrop_;
    // What the series on the screen were drawn from (all of it), empty
    // before the first paint.
    std::vector<SeriesDrawn> shown_;
    QTimer* repaintLater_;
    QElapsedTimer lastPainted_;
};
