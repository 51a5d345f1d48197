#pragma once
// The "BiSS Banks" page: any register bank as a table of 64 rows, with the
// bank the encoder reports as selected and its kind.

#include "shell/Page.h"

class Shell;
class QLabel;
class QSpinBox;
class QTableWidget;

class BankBrowserPage : public Page {
    Q_OBJECT
public:
    explicit BankBrowserPage(Shell& shell, QWidget* parent = nullptr);

    // btnBankReadClick: the read of the bank in seBankSelect; every change
    // of the spin edit runs it too.
    void btnBankReadClick();

protected:
    // The table takes the height the page has.
    void resizeEvent(QResizeEvent* event) override;

private:
    Shell& shell_;
    Session& session_;
    QSpinBox* seBankSelect_;
    QLabel* lblBankDesc_;
    QTableWidget* stgrBank_;
};
