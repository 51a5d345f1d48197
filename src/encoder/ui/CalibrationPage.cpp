#include "encoder/ui/CalibrationPage.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>

namespace {
enum Panel { Finished, Timeout, OutOfRange, ArcOutOfRange, NoCorrection, UserErrorMap, Successful };

constexpr std::array<std::pair<const char*, const char*>, 7> kPanels{{
    {"pnlTselfCalFinished", "Procedure finished"},
    {"pnlTselfCalTimeout", "Timeout - 10 seconds expired"},
    {"pnlTselfCalOutOfRange", "Calibration out of range"},
    {"pnlTselfCalParamOutOfRange", "Input Arc Length out of range"},
    {"pnlTselfCalNoCorrection", "No correction necessary"},
    {"pnlTSelfCalUserErrMap", "User Error map in use"},
    {"pnlTselfCalSucessfull", "Calibration successfull"},
}};

QLineEdit* ParameterField(QWidget* page, const char* captionName, const char* caption, const char* editName, int y,
                          QLabel** captionLabel)
{
    QLineEdit* edit = MakeRegisterField(page, captionName, caption, editName, y, captionLabel);
    edit->setAlignment(Qt::AlignCenter);
    edit->setToolTip("Valid range: 180 to 360");
    UseButtonFace(edit);
    return edit;
}
} // namespace

CalibrationPage::CalibrationPage(Shell& shell, QWidget* parent)
    : Page(parent), shell_(shell), session_(shell.GetSession()), prompts_(shell.UserDialogs()),
      actions_(session_, prompts_, WindowWaits(shell)),
      readout_(std::make_unique<CalibrationReadout>(session_.Identity(), SleepMs))
{
    setObjectName("CalibrationContent");
    edTC0_19_ = ParameterField(this, "lbl_edTC0_19", "Calibration arc length (deg)", "edTC0_19", 8, &lbl_edTC0_19_);
    edTC0_21_ = ParameterField(this, "lbl_edTC0_21", "Calibration Timeout (sec)", "edTC0_21", 36, &lbl_edTC0_21_);
    btnTC_StartCal_ = Make<QPushButton>(this, "btnTC_StartCal", QRect(8, 68, 120, 26));
    btnTC_StartCal_->setText("Start calibration");
    progBarCal_ = Make<QProgressBar>(this, "progBarCal", QRect(8, 102, 395, 18));
    progBarCal_->setRange(0, 100);
    progBarCal_->setValue(0);
    progBarCal_->setTextVisible(false);

    auto* group = Make<QGroupBox>(this, "gbTselfCalStatus", QRect(8, 128, 395, 176));
    group->setTitle("Self-calibration status");
    for (size_t i = 0; i < kPanels.size(); ++i)
        panels_[i] = MakeLamp(group, kPanels[i].first, kPanels[i].second,
                              QRect(8, 20 + static_cast<int>(i) * 22, 240, 20));
    lblTselfCalResult_ = MakeLabel(this, "lblTselfCalResult", "...", QRect(8, 310, 395, 96));
    lblTselfCalResult_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    connect(btnTC_StartCal_, &QPushButton::clicked, this, &CalibrationPage::btnTC_StartCalClick);
    session_.Monitor().AddStep(readout_.get());
    session_.AddObserver(this);
}

CalibrationPage::~CalibrationPage()
{
    session_.RemoveObserver(this);
    session_.Monitor().RemoveStep(readout_.get());
}

void CalibrationPage::PageSwitched(PageId current)
{
    readout_->SetPageShown(current == Id());
    if (current == Id() && session_.Identity().EncoderConnected)
        actions_.Read(ConfigPage::Other);
}

void CalibrationPage::Identified(const IdentificationOutcome&, const EncoderCapabilities& caps)
{
    if (!caps.torvikGates)
        return;
    edTC0_19_->setEnabled(caps.torvikGates->calibrationArc);
    lbl_edTC0_19_->setEnabled(caps.torvikGates->calibrationArc);
    edTC0_21_->setEnabled(caps.torvikGates->calibrationTimeout);
    lbl_edTC0_21_->setEnabled(caps.torvikGates->calibrationTimeout);
}

void CalibrationPage::ConnectionReset()
{
    readout_->SetCounterStart(0);
}

void CalibrationPage::ConfigurationRead(const ConfigurationReading& r)
{
    edTC0_19_->setText(QString::fromStdString(r.calibrationArc));
    if (r.calibrationArcEnabled)
        edTC0_19_->setEnabled(*r.calibrationArcEnabled);
    edTC0_21_->setText(QString::fromStdString(r.calibrationTimeout));
    if (r.calibrationTimeoutEnabled)
        edTC0_21_->setEnabled(*r.calibrationTimeoutEnabled);
}

void CalibrationPage::btnTC_StartCalClick()
{
    for (QLabel* panel : panels_)
        SetPanelColour(panel, ButtonFaceColour());
    const CalibrationStart start =
        actions_.StartCalibration(edTC0_19_->text().toStdString(), edTC0_21_->text().toStdString());
    if (start.timing) {
        panels_[Timeout]->setText(QString::fromStdString(start.timing->timeoutCaption));
        if (start.timing->progressMaximum)
            progBarCal_->setMaximum(*start.timing->progressMaximum);
    }
    if (start.result != CalibrationStart::Result::Started)
        return;
    SetPanelColour(panels_[Finished], kColourGrey);
    progBarCal_->setValue(0);
    readout_->SetCounterStart(start.counterStart);

    // No page can be chosen and no tick runs while the encoder calibrates.
    shell_.EnablePageControl(false);
    btnTC_StartCal_->setEnabled(false);
    actions_.WaitForCalibration(
        *start.timing,
        [this](int64_t elapsedMs) {
            progBarCal_->setValue(static_cast<int>(std::min<int64_t>(elapsedMs / 100, progBarCal_->maximum())));
        },
        [this] { shell_.WaitWithMessages(0); });
    shell_.EnablePageControl(true);
    btnTC_StartCal_->setEnabled(true);
}

void CalibrationPage::Ticked(const TickReport&)
{
    if (readout_->Runs() == runsShown_)
        return;
    runsShown_ = readout_->Runs();
    const CalibrationReading& reading = readout_->Reading();
    if (reading.statusRead)
        ShowStatus(reading.status);
    if (reading.report)
        lblTselfCalResult_->setText(Utf8Text(*reading.report));
}

void CalibrationPage::ShowStatus(const CalibrationStatus& s)
{
    const IndicatorColour colours[] = {s.finished,     s.timeout,      s.outOfRange, s.arcOutOfRange,
                                       s.noCorrection, s.userErrorMap, s.successful};
    for (size_t i = 0; i < panels_.size(); ++i)
        SetLamp(panels_[i], IndicatorRgb(colours[i]));
    // A successful calibration fills the bar, whatever its maximum.
    progBarCal_->setValue(s.succeeded ? progBarCal_->maximum() : 0);
}
