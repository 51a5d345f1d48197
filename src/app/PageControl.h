#pragma once
// The window's page control. A hidden tab stays unreachable: Ctrl+Tab,
// Ctrl+PgDown and the like step over hidden tabs, and any other way that
// would make a hidden page current is turned back.

#include <QTabWidget>

class PageControl : public QTabWidget {
    Q_OBJECT
public:
    explicit PageControl(QWidget* parent = nullptr);

    // Hides or shows a tab; hiding the current one moves to the nearest visible tab.
    void SetPageVisible(int index, bool visible);

signals:
    // The active page changed to a visible page.
    void pageChanged(int index);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void OnCurrentChanged(int index);
    int NextVisible(int from, int step) const;

    int lastVisible_ = -1;
};
