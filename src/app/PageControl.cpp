#include "app/PageControl.h"

#include <QKeyEvent>
#include <QTabBar>

PageControl::PageControl(QWidget* parent) : QTabWidget(parent)
{
    connect(this, &QTabWidget::currentChanged, this, &PageControl::OnCurrentChanged);
}

int PageControl::NextVisible(int from, int step) const
{
    const int n = count();
    for (int i = 1; i <= n; ++i) {
        int index = ((from + step * i) % n + n) % n;
        if (isTabVisible(index) && isTabEnabled(index))
            return index;
    }
    return -1;
}

void PageControl::SetPageVisible(int index, bool visible)
{
    if (isTabVisible(index) == visible)
        return;
    if (!visible && index == currentIndex()) {
        int next = NextVisible(index, 1);
        if (next >= 0 && next != index)
            setCurrentIndex(next);
    }
    setTabVisible(index, visible);
}

void PageControl::keyPressEvent(QKeyEvent* event)
{
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    int step = 0;
    if (ctrl && (event->key() == Qt::Key_Tab || event->key() == Qt::Key_PageDown))
        step = 1;
    else if (ctrl && (event->key() == Qt::Key_Backtab || event->key() == Qt::Key_PageUp))
        step = -1;
    if (event->key() == Qt::Key_Tab && (event->modifiers() & Qt::ShiftModifier))
        step = -1;
    if (step == 0) {
        QTabWidget::keyPressEvent(event);
        return;
    }
    int next = NextVisible(currentIndex(), step);
    if (next >= 0)
        setCurrentIndex(next);
    event->accept();
}

void PageControl::OnCurrentChanged(int index)
{
    if (index < 0)
        return;
    if (!isTabVisible(index)) {
        // Reached a hidden page some other way (wheel, arrow keys on the tab bar):
        // go back to where we were, or to the nearest visible page.
        int target = lastVisible_ >= 0 && lastVisible_ < count() && isTabVisible(lastVisible_) ? lastVisible_
                                                                                              : NextVisible(index, 1);
        if (target >= 0 && target != index)
            setCurrentIndex(target);
        return;
    }
    if (index == lastVisible_)
        return;
    lastVisible_ = index;
    emit pageChanged(index);
}
