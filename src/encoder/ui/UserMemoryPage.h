#pragma once
// The "User mem" page: one register of the user banks read and written,
// every user bank saved to a CSV file and loaded back from one, and the
// destructive test of all user banks. The test lets the window serve its
// events between banks; closing the window stops it at once.

#include "shell/Page.h"

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;
class Shell;

class UserMemoryPage : public Page, private SessionObserver {
    Q_OBJECT
public:
    explicit UserMemoryPage(Shell& shell, QWidget* parent = nullptr);
    ~UserMemoryPage() override;

    // Every page switch shows the user bank limits anew.
    void PageSwitched(PageId current) override;
    void WindowClosing() override { closing_ = true; }

    // The single read runs only while the page is shown, also on every
    // change of the bank or the address.
    void btnUserMemReadClick();
    void btnUserMemWriteClick();
    void btnUserMemSaveFileClick();
    void btnUserMemLoadFileClick();
    void btnTestUserMemClick();

private:
    // The datasheet's user banks become the range of the bank spin edit.
    void DatasheetRead(const EdsReadOutcome& outcome) override;

    void ShowBulkStatus(const std::string& text);

    Shell& shell_;
    Session& session_;
    bool shown_ = false;
    bool closing_ = false;

    QLabel* lblUserMemPageLimits_;
    QSpinBox* seUserMemBankSel_;
    QSpinBox* seUserMemAddr_;
    QSpinBox* seUserMemValue_;
    QPushButton* btnUserMemWrite_;
    QCheckBox* cbUserMemWriteVerify_;
    QLabel* lblUserMemVerifyStatus_;
    QLabel* lblUserMemBulkStatus_;
    QPushButton* btnTestUserMem_;
    QProgressBar* pbTestUserMem_;
    QLabel* lblUserMemTestResult_;
};
