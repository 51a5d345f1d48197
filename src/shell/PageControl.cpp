#include "shell/PageControl.h"

#include <QEvent>
#include <QHelpEvent>
#include <QHoverEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyleOptionTab>
#include <QStylePainter>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>

// --- Tabs on rows -----------------------------------------------------------

MultiRowTabBar::MultiRowTabBar(QWidget* parent) : QTabBar(parent)
{
    setObjectName("PageTabs");
    setUsesScrollButtons(false);
    setElideMode(Qt::ElideNone);
    setExpanding(false);
    setDrawBase(false);
}

int MultiRowTabBar::AvailableWidth() const
{
    return parentWidget() ? parentWidget()->width() : width();
}

int MultiRowTabBar::RowHeight() const
{
    int height = 0;
    for (int i = 0; i < count(); ++i)
        if (isTabVisible(i))
            height = std::max(height, tabSizeHint(i).height());
    return height > 0 ? height : fontMetrics().height() + 8;
}

std::vector<std::vector<int>> MultiRowTabBar::Rows(int width) const
{
    std::vector<std::vector<int>> rows;
    int x = 0;
    for (int i = 0; i < count(); ++i) {
        if (!isTabVisible(i))
            continue;
        const int w = tabSizeHint(i).width();
        if (rows.empty() || (!rows.back().empty() && x + w > width)) {
            rows.emplace_back();
            x = 0;
        }
        rows.back().push_back(i);
        x += w;
    }
    return rows;
}

std::vector<QRect> MultiRowTabBar::Layout(int width) const
{
    std::vector<QRect> rects(static_cast<size_t>(std::max(count(), 0)));
    const std::vector<std::vector<int>> rows = Rows(width);
    const int n = static_cast<int>(rows.size());
    if (n == 0)
        return rects;
    // The row of the current tab goes next to the page; the rows after it
    // move to the top, keeping their order.
    int currentRow = n - 1;
    for (int r = 0; r < n; ++r)
        if (std::find(rows[static_cast<size_t>(r)].begin(), rows[static_cast<size_t>(r)].end(), currentIndex()) !=
            rows[static_cast<size_t>(r)].end())
            currentRow = r;
    const int rowHeight = RowHeight();
    for (int k = 0; k < n; ++k) {
        const std::vector<int>& row = rows[static_cast<size_t>((currentRow + 1 + k) % n)];
        int natural = 0;
        for (int i : row)
            natural += tabSizeHint(i).width();
        // With more than one row every row spans the whole width.
        const int extra = n > 1 ? std::max(0, width - natural) : 0;
        const int tabs = static_cast<int>(row.size());
        int x = 0;
        for (int j = 0; j < tabs; ++j) {
            const int i = row[static_cast<size_t>(j)];
            int w = tabSizeHint(i).width() + extra / tabs + (j == tabs - 1 ? extra % tabs : 0);
            rects[static_cast<size_t>(i)] = QRect(x, k * rowHeight, w, rowHeight);
            x += w;
        }
    }
    return rects;
}

int MultiRowTabBar::RowCount() const
{
    return std::max(1, static_cast<int>(Rows(AvailableWidth()).size()));
}

QRect MultiRowTabBar::RowTabRect(int index) const
{
    if (index < 0 || index >= count())
        return {};
    return Layout(width())[static_cast<size_t>(index)];
}

int MultiRowTabBar::RowTabAt(QPoint pos) const
{
    const std::vector<QRect> rects = Layout(width());
    for (int i = 0; i < count(); ++i)
        if (isTabVisible(i) && rects[static_cast<size_t>(i)].contains(pos))
            return i;
    return -1;
}

QSize MultiRowTabBar::sizeHint() const
{
    return QSize(AvailableWidth(), RowCount() * RowHeight());
}

QSize MultiRowTabBar::minimumSizeHint() const
{
    return sizeHint();
}

bool MultiRowTabBar::event(QEvent* event)
{
    switch (event->type()) {
    case QEvent::HoverEnter:
    case QEvent::HoverMove: {
        const int tab = RowTabAt(static_cast<QHoverEvent*>(event)->position().toPoint());
        if (tab != hover_) {
            hover_ = tab;
            update();
        }
        break;
    }
    case QEvent::HoverLeave:
        hover_ = -1;
        update();
        break;
    case QEvent::ToolTip: {
        auto* help = static_cast<QHelpEvent*>(event);
        const int tab = RowTabAt(help->pos());
        const QString tip = tab >= 0 ? tabToolTip(tab) : QString();
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, this);
        return true;
    }
    default:
        break;
    }
    return QTabBar::event(event);
}

void MultiRowTabBar::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    const std::vector<QRect> rects = Layout(width());
    auto draw = [&](int i) {
        QStyleOptionTab option;
        initStyleOption(&option, i);
        const QRect rect = rects[static_cast<size_t>(i)];
        option.rect = rect;
        // Neighbours on the same row decide how the tab's ends are drawn.
        bool left = false, right = false;
        for (int j = 0; j < count(); ++j) {
            if (j == i || !isTabVisible(j) || rects[static_cast<size_t>(j)].top() != rect.top())
                continue;
            left = left || rects[static_cast<size_t>(j)].right() < rect.left();
            right = right || rects[static_cast<size_t>(j)].left() > rect.right();
        }
        option.position = !left && !right ? QStyleOptionTab::OnlyOneTab
                          : !left         ? QStyleOptionTab::Beginning
                          : !right        ? QStyleOptionTab::End
                                          : QStyleOptionTab::Middle;
        option.selectedPosition = QStyleOptionTab::NotAdjacent;
        option.state &= ~QStyle::State_MouseOver;
        if (i == hover_)
            option.state |= QStyle::State_MouseOver;
        painter.drawControl(QStyle::CE_TabBarTab, option);
        if (i == currentIndex() && hasFocus()) {
            QStyleOptionFocusRect focus;
            focus.initFrom(this);
            focus.rect = rect.adjusted(3, 3, -3, -3);
            painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
        }
    };
    // The current tab last, so that it lies over its neighbours and the page.
    for (int i = 0; i < count(); ++i)
        if (isTabVisible(i) && i != currentIndex())
            draw(i);
    if (currentIndex() >= 0 && isTabVisible(currentIndex()))
        draw(currentIndex());
}

void MultiRowTabBar::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    const int tab = RowTabAt(event->position().toPoint());
    if (tab >= 0 && isTabEnabled(tab))
        setCurrentIndex(tab);
    event->accept();
}

void MultiRowTabBar::mouseMoveEvent(QMouseEvent* event)
{
    event->accept();
}

void MultiRowTabBar::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
}

void MultiRowTabBar::mouseDoubleClickEvent(QMouseEvent* event)
{
    event->accept();
}

void MultiRowTabBar::wheelEvent(QWheelEvent* event)
{
    event->ignore();
}

void MultiRowTabBar::keyPressEvent(QKeyEvent* event)
{
    int step = 0;
    if (event->key() == Qt::Key_Left || event->key() == Qt::Key_Up)
        step = -1;
    else if (event->key() == Qt::Key_Right || event->key() == Qt::Key_Down)
        step = 1;
    if (step == 0) {
        event->ignore();
        return;
    }
    for (int i = currentIndex() + step; i >= 0 && i < count(); i += step) {
        if (isTabVisible(i) && isTabEnabled(i)) {
            setCurrentIndex(i);
            break;
        }
    }
    event->accept();
}

// --- The page control -------------------------------------------------------

PageControl::PageControl(QWidget* parent) : QTabWidget(parent), tabs_(new MultiRowTabBar(this))
{
    setTabBar(tabs_);
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
    // The number of tab rows may have changed: the page area follows at once.
    QEvent relayout(QEvent::LayoutRequest);
    QTabWidget::event(&relayout);
}

void PageControl::SetSwitching(bool enabled)
{
    switching_ = enabled;
    tabs_->setEnabled(enabled);
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
    if (!switching_) {
        event->accept();
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
        // Reached a hidden page some other way: go back to where we were, or
        // to the nearest visible page.
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
