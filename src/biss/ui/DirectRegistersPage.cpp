#include "biss/ui/DirectRegistersPage.h"

#include "shell/Shell.h"
#include "shell/WidgetFactory.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

namespace {
// Two columns: captions with their value fields on the left, the grid of
// registers 0x4A-0x5B on the right.
constexpr int kCaptionLeft = 8;
constexpr int kFieldLeft = 160;
constexpr int kFieldWidth = 130; // room for a sixteen-character extended serial number
constexpr int kShortFieldWidth = 36; // one register: "0x" and two digits
constexpr int kGridLeft = 296;
constexpr int kGridRows = 18;
constexpr int kGridColumnWidths[3] = {36, 36, 30}; // "0x4A", "0xFF", "255"

// A read-only value field with its caption on the left.
QLineEdit* ValueRow(QWidget* parent, const char* name, const QString& caption, int y, int width = kFieldWidth)
{
    MakeLabel(parent, nullptr, caption, QRect(kCaptionLeft, y + 3, kFieldLeft - kCaptionLeft, 16));
    auto* field = Make<QLineEdit>(parent, name, QRect(kFieldLeft, y, width, 22));
    field->setReadOnly(true);
    return field;
}

// The caption beside a one-register field, up to the grid.
QRect BesideShortField(int y)
{
    const int left = kFieldLeft + kShortFieldWidth + 4;
    return QRect(left, y + 3, kGridLeft - 2 - left, 16);
}
} // namespace

DirectRegistersPage::DirectRegistersPage(Shell& shell, QWidget* parent)
    : Page(parent), shell_(shell), session_(shell.GetSession())
{
    setObjectName("DirectRegistersContent");
    pnl0x40_ = ValueRow(this, "pnl0x40", "0x40 Bank Select", 8);
    pnl0x41_ = ValueRow(this, "pnl0x41", "0x41 EDS Bank", 34);
    pnl0x42_ = ValueRow(this, "pnl0x42", "0x42 Profile ID", 60, kShortFieldWidth);
    lbl0x42_ = MakeLabel(this, "lbl0x42", "?", BesideShortField(60));
    pnl0x43_ = ValueRow(this, "pnl0x43", "0x43 SCD length", 86, kShortFieldWidth);
    lbl0x43_ = MakeLabel(this, "lbl0x43", "?", BesideShortField(86));
    QFont small = lbl0x42_->font();
    small.setPointSize(7);
    lbl0x42_->setFont(small);
    lbl0x43_->setFont(small);
    pnl0x44_ = ValueRow(this, "pnl0x44", "0x44 Serial Number", 112);

    // KEY and command: an entry and its "Write" button share the field column.
    constexpr int kEntryWidth = 62;
    constexpr int kButtonLeft = kFieldLeft + kEntryWidth + 4;
    constexpr int kButtonWidth = kFieldLeft + kFieldWidth - kButtonLeft;
    MakeLabel(this, nullptr, "0x48 Key", QRect(kCaptionLeft, 141, kFieldLeft - kCaptionLeft, 16));
    ed0x48_ = Make<QLineEdit>(this, "ed0x48", QRect(kFieldLeft, 138, kEntryWidth, 22));
    auto* btn0x48wr = Make<QPushButton>(this, "btn0x48wr", QRect(kButtonLeft, 137, kButtonWidth, 24));
    btn0x48wr->setText("Write");
    MakeLabel(this, nullptr, "0x49 Command", QRect(kCaptionLeft, 167, kFieldLeft - kCaptionLeft, 16));
    ed0x49_ = Make<QLineEdit>(this, "ed0x49", QRect(kFieldLeft, 164, kEntryWidth, 22));
    auto* btn0x49wr = Make<QPushButton>(this, "btn0x49wr", QRect(kButtonLeft, 163, kButtonWidth, 24));
    btn0x49wr->setText("Write");

    pnl0x5C_ = ValueRow(this, "pnl0x5C", "0x5C Zolvan Serial number", 196);
    pnl0x64_ = ValueRow(this, "pnl0x64", "0x64 Zolvan Part number", 222);
    pnl0x78_ = ValueRow(this, "pnl0x78", "0x78 Device ID", 248);
    pnl0x7E_ = ValueRow(this, "pnl0x7E", "0x7E Manufacturer ID", 274);
    lblManufIDTxt_ = MakeLabel(this, "lblManufIDTxt", "?", QRect(kFieldLeft, 298, kFieldWidth, 16));
    MakeLabel(this, "lblEncoderFWrevision", "Encoder firmware revision",
              QRect(kCaptionLeft, 323, kFieldLeft - kCaptionLeft, 16));
    pnlEncoderFWrev_ = Make<QLineEdit>(this, "pnlEncoderFWrev", QRect(kFieldLeft, 320, kFieldWidth, 22));
    pnlEncoderFWrev_->setReadOnly(true);
    lblEncoderExtSerial_ = MakeLabel(this, "lblEncoderExtSerial", "Extended serial number",
              QRect(kCaptionLeft, 349, kFieldLeft - kCaptionLeft, 16));
    pnlEncoderExtSerial_ = Make<QLineEdit>(this, "pnlEncoderExtSerial", QRect(kFieldLeft, 346, kFieldWidth, 22));
    pnlEncoderExtSerial_->setReadOnly(true);

    auto* btnReadDirect = Make<QPushButton>(this, "btnReadDirect", QRect(kFieldLeft, 384, kFieldWidth, 30));
    btnReadDirect->setText("Read");

    const int gridWidth = kGridColumnWidths[0] + kGridColumnWidths[1] + kGridColumnWidths[2] + 4;
    MakeLabel(this, nullptr, "0x4A-0x5B", QRect(kGridLeft, 4, gridWidth, 16));
    stgr0x4A_ = Make<QTableWidget>(this, "stgr0x4A", QRect(kGridLeft, 22, gridWidth, 20 * kGridRows + 4));
    stgr0x4A_->setRowCount(kGridRows);
    stgr0x4A_->setColumnCount(3);
    stgr0x4A_->horizontalHeader()->setVisible(false);
    stgr0x4A_->verticalHeader()->setVisible(false);
    stgr0x4A_->verticalHeader()->setDefaultSectionSize(20);
    for (int c = 0; c < 3; ++c)
        stgr0x4A_->setColumnWidth(c, kGridColumnWidths[c]);
    stgr0x4A_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    stgr0x4A_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    stgr0x4A_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    for (int r = 0; r < kGridRows; ++r)
        for (int c = 0; c < 3; ++c)
            stgr0x4A_->setItem(r, c, new QTableWidgetItem);

    connect(btnReadDirect, &QPushButton::clicked, this, &DirectRegistersPage::btnReadDirectClick);
    connect(btn0x48wr, &QPushButton::clicked, this, &DirectRegistersPage::btn0x48wrClick);
    connect(btn0x49wr, &QPushButton::clicked, this, &DirectRegistersPage::btn0x49wrClick);
    session_.AddObserver(this);
}

DirectRegistersPage::~DirectRegistersPage()
{
    session_.RemoveObserver(this);
}

void DirectRegistersPage::Ticked(const TickReport& report)
{
    if (!report.probedEdsBank.empty())
        pnl0x40_->setText(Latin1Text(report.probedEdsBank));
}

void DirectRegistersPage::Blank()
{
    for (QLineEdit* field : {pnl0x40_, pnl0x41_, pnl0x42_, pnl0x44_, pnl0x5C_, pnl0x64_, pnl0x78_, pnl0x7E_})
        field->clear();
    for (int r = 0; r < kGridRows; ++r)
        for (int c = 0; c < 3; ++c)
            stgr0x4A_->item(r, c)->setText(QString());
}

void DirectRegistersPage::ShowRegisters(const DirectRegisterTexts& t)
{
    pnl0x40_->setText(Utf8Text(t.bankSelect));
    pnl0x41_->setText(Utf8Text(t.edsBank));
    pnl0x42_->setText(Utf8Text(t.profileId));
    lbl0x42_->setText(Utf8Text(t.profileCaption));
    pnl0x43_->setText(Utf8Text(t.scdLength));
    lbl0x43_->setText(Utf8Text(t.scdLengthCaption));
    pnl0x44_->setText(Utf8Text(t.serialNumber));
    for (int r = 0; r < kGridRows; ++r)
        for (int c = 0; c < 3; ++c)
            stgr0x4A_->item(r, c)->setText(Utf8Text(t.grid[static_cast<size_t>(r)][static_cast<size_t>(c)]));
    pnl0x78_->setText(Utf8Text(t.deviceId));
    pnl0x7E_->setText(Utf8Text(t.manufacturer));
    lblManufIDTxt_->setText(ManufacturerCaption(t.makersEncoder));
}

void DirectRegistersPage::btnReadDirectClick()
{
    session_.Identify();
}

void DirectRegistersPage::Identified(const IdentificationOutcome& out, const EncoderCapabilities& caps)
{
    Blank();
    if (out.registers)
        ShowRegisters(*out.registers);
    if (!out.signatureRead)
        return;
    const TEncoderSignature& sig = caps.signature;
    pnl0x5C_->setText(Latin1Text(sig.Zolvan_Serial));
    pnl0x64_->setText(Latin1Text(sig.Zolvan_PartNumber));
    pnlEncoderExtSerial_->setText(Latin1Text(sig.Zolvan_ExtendedSerial));
    pnlEncoderFWrev_->setText(Latin1Text(sig.Zolvan_FWverStr));
    if (caps.torvikGates) {
        pnlEncoderExtSerial_->setEnabled(caps.torvikGates->extendedSerial);
        lblEncoderExtSerial_->setEnabled(caps.torvikGates->extendedSerial);
    }
}

void DirectRegistersPage::btn0x48wrClick()
{
    WriteByteRegister(ed0x48_, 0x48);
}

void DirectRegistersPage::btn0x49wrClick()
{
    WriteByteRegister(ed0x49_, 0x49);
}

void DirectRegistersPage::WriteByteRegister(QLineEdit* edit, uint8_t address)
{
    const QByteArray text = edit->text().toLatin1();
    const std::optional<uint8_t> value = ParseRegisterByte(std::string_view(text.constData(), static_cast<size_t>(text.size())));
    if (!value) {
        shell_.UserDialogs().Message("\"" + std::string(text.constData()) +
                                         "\" is not a number from 0 to 255 (decimal, or hexadecimal after \"0x\").",
                                     MessageKind::Error);
        return;
    }
    Link& link = session_.GetLink();
    // The raw writes keep the status line's colour.
    if (link.WriteRegister(address, *value)) {
        session_.ReportText("Write OK\r\n" + link.LastErrorText);
    } else {
        session_.ReportText("Error\r\n" + link.LastErrorText);
        session_.Identity().EncoderConnected = false;
    }
}
