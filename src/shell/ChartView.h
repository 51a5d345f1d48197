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
    // A chart fed on every monitor tick repaints at most about this often: a
    // change less than kDueEarlyMs before that time is shown at once.
    static constexpr int kMinRepaintMs = 100;
    static constexpr int kDueEarlyMs = 10;

    explicit ChartView(QWidget* parent = nullptr);

    ChartModel& Model() { return model_; }
    const ChartModel& Model() const { return model_; }
    // The model changed: the picture follows with the window's next repaint
    // when it has not been painted for kMinRepaintMs, else at the next change
    // that finds it so, or at the latest kMinRepaintMs / 2 after that time.
    // When only points were added, only the part of the plot they change is
    // repainted.
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
