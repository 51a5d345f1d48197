#include "biss/ui/EdsPage.h"

#include "shell/Colours.h"
#include "shell/Shell.h"
#include "shell/WidgetFactory.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

namespace {
QLabel* TextLabel(QWidget* parent, const char* name, QRect geometry)
{
    auto* label = Make<QLabel>(parent, name, geometry);
    label->setText("...");
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QFont small = label->font();
    small.setPointSize(7);
    label->setFont(small);
    return label;
}
} // namespace

EdsPage::EdsPage(Shell& shell, QWidget* parent) : Page(parent), session_(shell.GetSession())
{
    setObjectName("EdsContent");
    auto* btnReadEDS = Make<QPushButton>(this, "btnReadEDS", QRect(8, 4, 100, 26));
    btnReadEDS->setText("Read");

    // Both groups fit the page with every tab shown (the most rows of tabs):
    // room for the 31 lines of the profile at the small font.
    auto* gbEDS1 = Make<QGroupBox>(this, "gbEDS1", QRect(8, 34, 190, 380));
    gbEDS1->setTitle(" Common part ");
    lblEDS1checksum_ = Make<QLabel>(gbEDS1, "lblEDS1checksum", QRect(8, 18, 174, 16));
    lblEDS1checksum_->setText("...");
    lblEDS1checksum_->setAutoFillBackground(true);
    lblEDS1_ = TextLabel(gbEDS1, "lblEDS1", QRect(8, 38, 178, 336));

    auto* gbEDS2 = Make<QGroupBox>(this, "gbEDS2", QRect(202, 34, 200, 380));
    gbEDS2->setTitle(" BiSS Profile ");
    lblEDS2checksum_ = Make<QLabel>(gbEDS2, "lblEDS2checksum", QRect(8, 18, 184, 16));
    lblEDS2checksum_->setAutoFillBackground(true);
    lblEDS2_ = TextLabel(gbEDS2, "lblEDS2", QRect(8, 38, 188, 336));

    connect(btnReadEDS, &QPushButton::clicked, this, &EdsPage::btnReadEDSClick);
    session_.AddObserver(this);
}

EdsPage::~EdsPage()
{
    session_.RemoveObserver(this);
}

void EdsPage::ShowChecksum(QLabel* label, const EdsChecksum& checksum)
{
    label->setText(Utf8Text(checksum.text));
    SetPanelColour(label, checksum.ok ? kColourOk : kColourError);
}

void EdsPage::btnReadEDSClick()
{
    session_.ReadDatasheet();
}

void EdsPage::DatasheetRead(const EdsReadOutcome& out)
{
    if (out.commonText)
        lblEDS1_->setText(Utf8Text(*out.commonText));
    if (out.commonChecksum)
        ShowChecksum(lblEDS1checksum_, *out.commonChecksum);
    if (out.profileText)
        lblEDS2_->setText(Utf8Text(*out.profileText));
    if (out.profileChecksum)
        ShowChecksum(lblEDS2checksum_, *out.profileChecksum);
}
