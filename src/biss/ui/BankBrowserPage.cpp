#include "biss/ui/BankBrowserPage.h"

#include "biss/BankBrowser.h"
#include "shell/Shell.h"
#include "shell/WidgetFactory.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>

#include <algorithm>

namespace {
constexpr int kRowHeight = 20;
constexpr int kColumnWidths[3] = {60, 60, 60}; // "0x3F", "0xFF", "255"
} // namespace

BankBrowserPage::BankBrowserPage(Shell& shell, QWidget* parent)
    : Page(parent), shell_(shell), session_(shell.GetSession())
{
    setObjectName("BankBrowserContent");
    MakeLabel(this, "Label13", "Bank Select", QRect(8, 11, 76, 16));
    seBankSelect_ = Make<QSpinBox>(this, "seBankSelect", QRect(86, 8, 64, 24));
    seBankSelect_->setRange(0, 255);
    auto* btnBankRead = Make<QPushButton>(this, "btnBankRead", QRect(158, 7, 80, 26));
    btnBankRead->setText("Read");
    lblBankDesc_ = MakeLabel(this, "lblBankDesc", "...", QRect(246, 11, 157, 16));

    const int gridWidth = kColumnWidths[0] + kColumnWidths[1] + kColumnWidths[2] + 24; // and the scroll bar
    stgrBank_ = Make<QTableWidget>(this, "stgrBank", QRect(8, 40, gridWidth, 300));
    stgrBank_->setRowCount(64);
    stgrBank_->setColumnCount(3);
    stgrBank_->horizontalHeader()->setVisible(false);
    stgrBank_->verticalHeader()->setVisible(false);
    stgrBank_->verticalHeader()->setDefaultSectionSize(kRowHeight);
    for (int c = 0; c < 3; ++c)
        stgrBank_->setColumnWidth(c, kColumnWidths[c]);
    stgrBank_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    stgrBank_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    stgrBank_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    for (int r = 0; r < 64; ++r)
        for (int c = 0; c < 3; ++c)
            stgrBank_->setItem(r, c, new QTableWidgetItem);

    connect(btnBankRead, &QPushButton::clicked, this, &BankBrowserPage::btnBankReadClick);
    connect(seBankSelect_, &QSpinBox::valueChanged, this, &BankBrowserPage::btnBankReadClick);
}

void BankBrowserPage::resizeEvent(QResizeEvent* event)
{
    Page::resizeEvent(event);
    stgrBank_->resize(stgrBank_->width(), std::max(100, height() - stgrBank_->y() - 8));
}

void BankBrowserPage::btnBankReadClick()
{
    for (int r = 0; r < 64; ++r)
        for (int c = 0; c < 3; ++c)
            stgrBank_->item(r, c)->setText(QString());
    shell_.Status().FlipActivity();
    const BankReadOutcome out = ReadRegisterBank(session_.GetLink(), static_cast<uint8_t>(seBankSelect_->value()));
    if (out.description)
        lblBankDesc_->setText(Utf8Text(*out.description));
    if (out.rows)
        for (int r = 0; r < 64; ++r)
            for (int c = 0; c < 3; ++c)
                stgrBank_->item(r, c)->setText(Utf8Text((*out.rows)[static_cast<size_t>(r)][static_cast<size_t>(c)]));
    session_.Report(out.ok);
}
