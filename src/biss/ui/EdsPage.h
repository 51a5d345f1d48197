#pragma once
// The "EDS" page: the electronic datasheet's common part and BP3 profile as
// text, with their checksums. It shows every datasheet read, the monitor
// cycle's too.

#include "shell/Page.h"

class Shell;
class QLabel;

class EdsPage : public Page, private SessionObserver {
    Q_OBJECT
public:
    explicit EdsPage(Shell& shell, QWidget* parent = nullptr);
    ~EdsPage() override;

    // btnReadEDSClick: the datasheet read.
    void btnReadEDSClick();

private:
    void DatasheetRead(const EdsReadOutcome& outcome) override;
    void ShowChecksum(QLabel* label, const EdsChecksum& checksum);

    Session& session_;
    QLabel* lblEDS1_;
    QLabel* lblEDS1checksum_;
    QLabel* lblEDS2_;
    QLabel* lblEDS2checksum_;
};
