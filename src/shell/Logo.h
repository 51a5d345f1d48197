#pragma once
// The banner logo: a drawn picture of our own, clickable.

#include <QLabel>

class QPixmap;

// Draws the logo: a code disc and the maker's name.
QPixmap MakeLogo(int width, int height);

class LogoLabel : public QLabel {
    Q_OBJECT
public:
    explicit LogoLabel(QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};
