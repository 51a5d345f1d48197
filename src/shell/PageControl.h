#pragma once
// The window's page control: tabs on as many rows as the width needs, and a
// hidden tab that stays unreachable. Ctrl+Tab, Ctrl+PgDown, the arrow keys on
// the tabs and the like step over hidden tabs, and any other way that would
// make a hidden page current is turned back.

#include <QTabBar>
#include <QTabWidget>

#include <vector>

// Tabs wrapped onto rows. Rows that are full are stretched to the whole
// width; the row of the current tab sits next to the page.
class MultiRowTabBar : public QTabBar {
    Q_OBJECT
public:
    explicit MultiRowTabBar(QWidget* parent = nullptr);

    // Where tab index is drawn; empty for a hidden tab.
    QRect RowTabRect(int index) const;
    // The visible tab at pos, or -1.
    int RowTabAt(QPoint pos) const;
    int RowCount() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Visible tabs in rows, in tab order.
    std::vector<std::vector<int>> Rows(int width) const;
    // Every tab's rectangle (empty when hidden) for the given width.
    std::vector<QRect> Layout(int width) const;
    int AvailableWidth() const;
    int RowHeight() const;

    int hover_ = -1;
};

class PageControl : public QTabWidget {
    Q_OBJECT
public:
    explicit PageControl(QWidget* parent = nullptr);

    // Hides or shows a tab; hiding the current one moves to the nearest visible tab.
    void SetPageVisible(int index, bool visible);
    MultiRowTabBar* Tabs() const { return tabs_; }
    // Off: neither the tabs nor the keys choose another page.
    void SetSwitching(bool enabled);
    bool Switching() const { return switching_; }

signals:
    // The active page changed to a visible page.
    void pageChanged(int index);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void OnCurrentChanged(int index);
    int NextVisible(int from, int step) const;

    MultiRowTabBar* tabs_;
    int lastVisible_ = -1;
    bool switching_ = true;
};
