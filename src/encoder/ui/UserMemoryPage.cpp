#include "encoder/ui/UserMemoryPage.h"

#include "encoder/ui/CsvDialog.h"
#include "encoder/UserMemory.h"
#include "link/PowerCycle.h"
#include "shell/Shell.h"
#include "shell/WaitCursor.h"
#include "shell/WidgetFactory.h"
#include "util/CsvFile.h"
#include "util/Text.h"
#include "util/NumberText.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>

#include <chrono>

namespace {
// A spin edit with its caption on the left.
QSpinBox* SpinRow(QWidget* parent, const char* name, const char* caption, int x, int y, int maximum)
{
    MakeLabel(parent, nullptr, caption, QRect(x, y + 4, 48, 16));
    auto* spin = Make<QSpinBox>(parent, name, QRect(x + 50, y, 60, 24));
    spin->setRange(0, maximum);
    return spin;
}

QPushButton* Button(QWidget* parent, const char* name, const char* caption, QRect geometry)
{
    auto* button = Make<QPushButton>(parent, name, geometry);
    button->setText(caption);
    return button;
}
} // namespace

UserMemoryPage::UserMemoryPage(Shell& shell, QWidget* parent)
    : Page(parent), shell_(shell), session_(shell.GetSession())
{
    setObjectName("UserMemoryContent");
    lblUserMemPageLimits_ = MakeLabel(this, "lblUserMemPageLimits", "lblUserMemPageLimits", QRect(8, 6, 250, 32));
    lblUserMemPageLimits_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto* single = Make<QGroupBox>(this, "GroupBox1", QRect(8, 42, 395, 92));
    single->setTitle(" Single parameter ");
    seUserMemBankSel_ = SpinRow(single, "seUserMemBankSel", "Bank", 8, 22, 255);
    seUserMemAddr_ = SpinRow(single, "seUserMemAddr", "Address", 138, 22, 63);
    seUserMemValue_ = SpinRow(single, "seUserMemValue", "Value", 268, 22, 255);
    auto* btnUserMemRead = Button(single, "btnUserMemRead", "Read", QRect(8, 56, 80, 26));
    btnUserMemWrite_ = Button(single, "btnUserMemWrite", "Write", QRect(96, 56, 80, 26));
    cbUserMemWriteVerify_ = Make<QCheckBox>(single, "cbUserMemWriteVerify", QRect(188, 59, 70, 20));
    cbUserMemWriteVerify_->setText("Verify");
    cbUserMemWriteVerify_->setChecked(true);
    lblUserMemVerifyStatus_ = MakeLabel(single, "lblUserMemVerifyStatus", "...", QRect(264, 61, 120, 16));

    auto* bulk = Make<QGroupBox>(this, "GroupBox2", QRect(8, 140, 395, 84));
    bulk->setTitle(" Bulk read / write ");
    auto* btnUserMemLoadFile = Button(bulk, "btnUserMemLoadFile", "Load File && Bulk Write", QRect(8, 22, 184, 26));
    auto* btnUserMemSaveFile = Button(bulk, "btnUserMemSaveFile", "Bulk Read && Save File", QRect(200, 22, 184, 26));
    lblUserMemBulkStatus_ = MakeLabel(bulk, "lblUserMemBulkStatus", "...", QRect(8, 56, 376, 18));

    auto* test = Make<QGroupBox>(this, "GroupBox3", QRect(8, 230, 395, 150));
    test->setTitle(" Test ");
    btnTestUserMem_ = Button(test, "btnTestUserMem", "Test all user banks", QRect(8, 22, 150, 26));
    pbTestUserMem_ = Make<QProgressBar>(test, "pbTestUserMem", QRect(166, 24, 218, 22));
    pbTestUserMem_->setRange(0, 100);
    pbTestUserMem_->setValue(0);
    pbTestUserMem_->setTextVisible(false);
    // Room for a verify failure: "Error" and four lines of where and what.
    lblUserMemTestResult_ = MakeLabel(test, "lblUserMemTestResult", "...", QRect(8, 54, 376, 88));
    lblUserMemTestResult_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblUserMemTestResult_->setWordWrap(true);

    connect(btnUserMemRead, &QPushButton::clicked, this, &UserMemoryPage::btnUserMemReadClick);
    connect(btnUserMemWrite_, &QPushButton::clicked, this, &UserMemoryPage::btnUserMemWriteClick);
    connect(btnUserMemLoadFile, &QPushButton::clicked, this, &UserMemoryPage::btnUserMemLoadFileClick);
    connect(btnUserMemSaveFile, &QPushButton::clicked, this, &UserMemoryPage::btnUserMemSaveFileClick);
    connect(btnTestUserMem_, &QPushButton::clicked, this, &UserMemoryPage::btnTestUserMemClick);
    connect(seUserMemBankSel_, &QSpinBox::valueChanged, this, &UserMemoryPage::btnUserMemReadClick);
    connect(seUserMemAddr_, &QSpinBox::valueChanged, this, &UserMemoryPage::btnUserMemReadClick);
    session_.AddObserver(this);
}

UserMemoryPage::~UserMemoryPage()
{
    session_.RemoveObserver(this);
}

void UserMemoryPage::PageSwitched(PageId current)
{
    shown_ = current == PageId::TabUserMem;
    lblUserMemPageLimits_->setText(Utf8Text(UserBankLimitsText(UserBanksOf(session_.GetLink()))));
}

void UserMemoryPage::DatasheetRead(const EdsReadOutcome& outcome)
{
    if (!outcome.userBanksKnown)
        return;
    const UserBankRange range = UserBanksOf(session_.GetLink());
    // Set from inside a monitor tick as well: no single read in the middle of it.
    const QSignalBlocker quiet(seUserMemBankSel_);
    seUserMemBankSel_->setRange(range.first, range.last);
    seUserMemBankSel_->setValue(range.first);
}

void UserMemoryPage::ShowBulkStatus(const std::string& text)
{
    lblUserMemBulkStatus_->setText(Utf8Text(text));
    lblUserMemBulkStatus_->repaint();
}

// --- One register --------------------------------------------------------------

void UserMemoryPage::btnUserMemReadClick()
{
    const int bank = seUserMemBankSel_->value();
    if (!shown_ || !UserBanksOf(session_.GetLink()).Contains(bank))
        return;
    shell_.Status().FlipActivity();
    const UserRegisterRead read = ReadUserRegister(session_.GetLink(), static_cast<uint8_t>(bank),
                                                   static_cast<uint8_t>(seUserMemAddr_->value()));
    if (read.outcome.ok)
        seUserMemValue_->setValue(read.value);
    session_.Report(read.outcome.ok, read.outcome.statusText);
}

void UserMemoryPage::btnUserMemWriteClick()
{
    // The write-protect text comes fresh from the configuration read.
    session_.ReadConfiguration(ConfigPage::Other);
    const EncoderCapabilities& caps = session_.Capabilities();
    if (WarnIfWriteProtected(caps.signature, caps.family, false, session_.Configuration().writeProtect))
        shell_.UserDialogs().Message(kWriteProtectedWarning, MessageKind::Warning);
    lblUserMemVerifyStatus_->setText(kVerifyUnknownText);
    const int bank = seUserMemBankSel_->value();
    if (!UserBanksOf(session_.GetLink()).Contains(bank))
        return;
    btnUserMemWrite_->setEnabled(false);
    btnUserMemWrite_->repaint();
    shell_.Status().FlipActivity();
    const UserRegisterWrite write =
        WriteUserRegister(session_.GetLink(), static_cast<uint8_t>(bank), static_cast<uint8_t>(seUserMemAddr_->value()),
                          static_cast<uint8_t>(seUserMemValue_->value()), cbUserMemWriteVerify_->isChecked(), SleepMs);
    if (write.verify != VerifyResult::NotChecked)
        lblUserMemVerifyStatus_->setText(VerifyText(write.verify));
    session_.Report(write.outcome.ok, write.outcome.statusText);
    btnUserMemWrite_->setEnabled(true);
}

// --- The CSV file ----------------------------------------------------------------

void UserMemoryPage::btnUserMemSaveFileClick()
{
    Link& link = session_.GetLink();
    const UserBankRange range = UserBanksOf(link);
    if (!range.Declared())
        return;
    Dialogs& dialogs = shell_.UserDialogs();
    if (!link.ReadEncoderSignature()) {
        dialogs.Message(kSignatureErrorText, MessageKind::Error);
        return;
    }
    UsePointAsDecimalSeparator();
    dialogs.Beep();
    const std::optional<FileChoice> choice = dialogs.SaveFileName(CsvDialog("Save user memmory data"), CsvFileName);
    UserMemorySaveOutcome out;
    {
        WaitCursor busy;
        if (choice)
            out = SaveUserMemoryFile(link, range, link.EncoderSignature, choice->fileName,
                                     [this](const std::string& text) { ShowBulkStatus(text); });
        ShowBulkStatus(!choice || out.saved ? "Reading finished." : "Reading stopped: the file was not written.");
    }
    if (!out.fileError.empty())
        dialogs.Message(out.fileError, MessageKind::Error);
    if (!out.ReadOk()) {
        dialogs.Message(kUserMemoryReadErrorsText + out.errorText, MessageKind::Error);
        session_.Report(false, out.statusText);
    }
}

void UserMemoryPage::btnUserMemLoadFileClick()
{
    const UserBankRange range = UserBanksOf(session_.GetLink());
    if (!range.Declared())
        return;
    Dialogs& dialogs = shell_.UserDialogs();
    UsePointAsDecimalSeparator();
    dialogs.Beep();
    const std::optional<FileChoice> choice = dialogs.OpenFileName(CsvDialog("Load user memmory data"));
    UserMemoryLoadOutcome out;
    if (choice) {
        WaitCursor busy;
        CsvLineReader in;
        if (in.Open(choice->fileName)) {
            out = LoadUserMemoryLines(session_.GetLink(), range, in,
                                      [this](const std::string& text) { ShowBulkStatus(text); }, SleepMs);
            ShowBulkStatus("Write finished.");
            if (!out.trafficOk)
                session_.Report(false, out.statusText);
        } else {
            dialogs.Message(in.ErrorText(), MessageKind::Error);
        }
    }
    if (!out.errorText.empty())
        dialogs.Message(kUserMemoryLoadErrorsText + out.errorText, MessageKind::Error);
    dialogs.Message(kWrittenBanksText + out.writtenBanks);
}

// --- The test ----------------------------------------------------------------------

void UserMemoryPage::btnTestUserMemClick()
{
    const UserBankRange range = UserBanksOf(session_.GetLink());
    if (!range.Declared())
        return;
    Dialogs& dialogs = shell_.UserDialogs();
    if (const std::optional<std::string> problem = UserMemoryTestRangeProblem(range)) {
        dialogs.Message(*problem, MessageKind::Error);
        return;
    }
    if (!dialogs.Confirm(kUserMemoryTestQuestion))
        return;
    btnTestUserMem_->setEnabled(false);
    pbTestUserMem_->setRange(0, UserMemoryTestSteps(range));
    pbTestUserMem_->setValue(0);
    lblUserMemTestResult_->setText(kTestInProgressText);
    WaitCursor busy;

    UserMemoryTestHooks hooks;
    hooks.show = [this](int position, const std::string& text) {
        if (position >= 0)
            pbTestUserMem_->setValue(position);
        lblUserMemTestResult_->setText(Utf8Text(text));
        lblUserMemTestResult_->repaint();
    };
    hooks.serve = [this] {
        shell_.WaitWithMessages(0);
        return !closing_ && !QCoreApplication::closingDown();
    };
    hooks.block = SleepMs;
    const auto seed = static_cast<uint32_t>(std::chrono::system_clock::now().time_since_epoch().count());
    const UserMemoryTestOutcome out = RunUserMemoryTest(session_.GetLink(), session_, range, seed, hooks);
    if (out.ending == UserMemoryTestOutcome::Ending::Stopped)
        return; // the window is closing: nothing more to show
    lblUserMemTestResult_->setText(Latin1Text(out.resultText)); // the link's text, bytes from the box included
    session_.Report(out.ending == UserMemoryTestOutcome::Ending::Passed, out.statusText);
    btnTestUserMem_->setEnabled(true);
}
