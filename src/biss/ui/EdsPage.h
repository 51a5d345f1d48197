#pragma once
// The "EDS" page: the electronic datasheet's common part and BP3 profile as
// text, with their checksums.

#include "biss/Eds.h"

#include <QWidget>

#include <functional>

class Shell;
class QLabel;

class EdsPage : public QWidget {
    Q_OBJECT
public:
    // profileIsBp3 asks the Direct registers page whether the last
    // identification found the BP3 profile id.
    EdsPage(Shell& shell, std::function<bool()> profileIsBp3, QWidget* parent = nullptr);

    // btnReadEDSClick: the datasheet read.
    void btnReadEDSClick();

    // Where the multiturn and singleturn lengths go (the position page).
    std::function<void(const EdsFieldLengths&)> handOverLengths;

private:
    void ShowChecksum(QLabel* label, const EdsChecksum& checksum);

    Shell& shell_;
    std::function<bool()> profileIsBp3_;
    QLabel* lblEDS1_;
    QLabel* lblEDS1checksum_;
    QLabel* lblEDS2_;
    QLabel* lblEDS2checksum_;
};
