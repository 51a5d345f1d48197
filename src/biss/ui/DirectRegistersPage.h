#pragma once
// The "Direct registers" page: the fixed register area 0x40-0x7F, the raw
// KEY and command writes, and the "Read" that has the session identify the
// encoder. It shows every identification, the monitor cycle's too.

#include "shell/Page.h"

class Shell;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

class DirectRegistersPage : public Page, private SessionObserver {
    Q_OBJECT
public:
    explicit DirectRegistersPage(Shell& shell, QWidget* parent = nullptr);
    ~DirectRegistersPage() override;

    // btnReadDirectClick: the identification read.
    void btnReadDirectClick();
    void btn0x48wrClick();
    void btn0x49wrClick();

private:
    void Identified(const IdentificationOutcome& outcome, const EncoderCapabilities& capabilities) override;
    // The monitor cycle's probe shows the EDS bank register in pnl0x40.
    void Ticked(const TickReport& report) override;

    void WriteByteRegister(QLineEdit* edit, uint8_t address);
    void Blank();
    void ShowRegisters(const DirectRegisterTexts& t);

    Shell& shell_;
    Session& session_;
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
    QLabel* lblEncoderExtSerial_;
};
