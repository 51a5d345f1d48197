#pragma once
// The "Direct registers" page: the fixed register area 0x40-0x7F, the raw
// KEY and command writes, and the "Read" that identifies the encoder and
// decides the family, its constants and the pages the window shows.

#include "app/WidgetFactory.h" // Latin1Text, Utf8Text
#include "biss/Identification.h"

#include <QWidget>

#include <functional>

class Shell;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

class DirectRegistersPage : public QWidget {
    Q_OBJECT
public:
    explicit DirectRegistersPage(Shell& shell, QWidget* parent = nullptr);

    // btnReadDirectClick: the identification read.
    void btnReadDirectClick();
    void btn0x48wrClick();
    void btn0x49wrClick();

    // The monitor cycle's probe shows the EDS bank register in pnl0x40.
    void ShowProbedEdsBank(const QString& text);
    // lbl0x42 names the BP3 profile: the datasheet read relies on it.
    bool ProfileIsBp3() const;

    // Where the family's unit scale goes (the position page).
    std::function<void(const UnitScaleSetting&)> applyScale;

private:
    void WriteByteRegister(QLineEdit* edit, uint8_t address);
    void Blank();
    void ShowRegisters(const DirectRegisterTexts& t);
    void ApplyIdentification(const IdentificationOutcome& out);
    void ApplyGates(const TorvikControlGates& g);
    // A control elsewhere in the window, by its object name (null when absent).
    QWidget* Control(const char* name) const;

    Shell& shell_;
    QLineEdit* pnl0x40_;
    QLineEdit* pnl0x41_;
    QLineEdit* pnl0x42_;
    QLabel* lbl0x42_;
    QLineEdit* pnl0x43_;
    QLabel* lbl0x43_;
    QLineEdit* pnl0x44_;
    QLineEdit* ed0x48_;
    QLineEdit* ed0x49_;
    QTableWidget* stgr0x4A_;
    QLineEdit* pnl0x5C_;
    QLineEdit* pnl0x64_;
    QLineEdit* pnl0x78_;
    QLineEdit* pnl0x7E_;
    QLabel* lblManufIDTxt_;
    QLineEdit* pnlEncoderFWrev_;
    QLineEdit* pnlEncoderExtSerial_;
};

// Creates, on the pages that own them, the controls the identification
// enables by firmware and the serial captions it writes, unless the window
// already has a control of that name. The pages built later create their own
// and leave nothing for this to do.
void EnsureIdentificationTargets(QWidget& window, const std::function<QWidget*(Page)>& pageWidget);
