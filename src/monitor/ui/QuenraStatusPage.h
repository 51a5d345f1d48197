#pragma once
// The "Quenra Status" page: the serial caption, the status word with its nine
// lamps (held over the monitor's hold window), temperature, velocity, signal
// level with its bar, the air gap for the magnet, and the battery-buffered
// multiturn status byte with its seven lamps. The read-out runs in the
// monitor cycle while the page is shown; the page shows what it read.

#include "monitor/ServiceReadouts.h"
#include "shell/Page.h"

#include <array>

class QFrame;
class QLabel;

class QuenraStatusPage : public Page, private SessionObserver {
    Q_OBJECT
public:
    explicit QuenraStatusPage(Shell& shell, QWidget* parent = nullptr);
    ~QuenraStatusPage() override;

    void PageSwitched(PageId current) override;
    QuenraStatusReadout& Readout() { return readout_; }

private:
    void Identified(const IdentificationOutcome& outcome, const EncoderCapabilities& capabilities) override;
    void Ticked(const TickReport& report) override;

    void Show(const QuenraStatusReading& reading);

    Session& session_;
    // The session runs it in the monitor cycle; the page switches it and shows it.
    QuenraStatusReadout& readout_;
    uint64_t runsShown_ = 0;

    QLabel* lblQuenraSerial_;
    std::array<QLabel*, 9> statusLamps_{};
    std::array<QLabel*, 7> bbmLamps_{};
    QLabel* pnlQuenraStatus_;
    QLabel* pnlQuenraTemp_;
    QLabel* pnlQuenraVelocity_;
    QLabel* pnlQuenraSignalLvl_;
    QLabel* pnlQuenraBBMstatus_;
    QFrame* shQBgSignal_;
    QFrame* shQSignalLevel_;
    QLabel* lblQuenraAirGap_;
};
