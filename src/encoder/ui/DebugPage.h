#pragma once
// The "Debug" page: the diagnostics unlock, revealed by the debug gesture.

#include "shell/Page.h"

class QPushButton;

class DebugPage : public Page {
    Q_OBJECT
public:
    explicit DebugPage(Shell& shell, QWidget* parent = nullptr);

    void ServiceRevealed(ServiceGesture gesture) override;

private:
    QPushButton* btnTorvikDebugUnlock_;
};
