#pragma once
// The "Calibration" page: the self-calibration's arc length and time-out
// (which the encoder has depends on its firmware), its start and the wait
// while the encoder calibrates, and the outcome the monitor cycle reads on
// every tick while the page is shown: seven status panels, the progress bar
// and the eccentricity and accuracy report.

#include "encoder/ui/ServicePageSupport.h"
#include "monitor/ServiceReadouts.h"
#include "shell/Page.h"

#include <array>
#include <memory>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

class CalibrationPage : public Page, private SessionObserver {
    Q_OBJECT
public:
    explicit CalibrationPage(Shell& shell, QWidget* parent = nullptr);
    ~CalibrationPage() override;

    // Entering the page with an encoder connected reads the configuration;
    // the read-out runs while the page is shown.
    void PageSwitched(PageId current) override;
    CalibrationReadout& Readout() { return *readout_; }

    void btnTC_StartCalClick();

private:
    void Identified(const IdentificationOutcome& outcome, const EncoderCapabilities& capabilities) override;
    void ConnectionReset() override;
    void ConfigurationRead(const ConfigurationReading& reading) override;
    void Ticked(const TickReport& report) override;

    void ShowStatus(const CalibrationStatus& status);

    Shell& shell_;
    Session& session_;
    DialogPrompts prompts_;
    ServiceActions actions_;
    std::unique_ptr<CalibrationReadout> readout_;
    uint64_t runsShown_ = 0;

    QLabel* lbl_edTC0_19_;
    QLineEdit* edTC0_19_;
    QLabel* lbl_edTC0_21_;
    QLineEdit* edTC0_21_;
    QPushButton* btnTC_StartCal_;
    QProgressBar* progBarCal_;
    // Top to bottom: finished, time-out, out of range, arc out of range, no
    // correction, user error map, successful.
    std::array<QLabel*, 7> panels_{};
    QLabel* lblTselfCalResult_;
};
