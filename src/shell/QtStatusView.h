#pragma once
// The status line on the window: the label lblStatus and the lamp pnlComm.

#include "shell/StatusLine.h"

class QLabel;
class QWidget;

class QtStatusView final : public StatusView {
public:
    QtStatusView(QLabel* status, QWidget* lamp) : status_(status), lamp_(lamp) {}
    void ShowStatus(const std::string& text, Rgb background) override;
    Rgb LampColour() const override;
    void SetLampColour(Rgb colour) override;

private:
    QLabel* status_;
    QWidget* lamp_;
};
