#pragma once
// The "Torvik Status" page (it also serves the linear family): the status
// word with its 14 lamps, temperature, signal level, velocity and air gap,
// the persistent status and its clear command, the status log, and the
// install chart of the air gap over the rotation angle with its limit lines,
// Clear and Copy. The read-out runs in the monitor cycle while the page is
// shown; the page shows what it read.

#include "monitor/TorvikStatus.h"
#include "shell/Page.h"
#include "shell/StatusLine.h"

#include <QElapsedTimer>

#include <array>

class ChartSeries;
class ChartView;
class TickerLabel;
class QCheckBox;
class QLabel;
class QPushButton;
class QTimer;
class Session;
class Shell;

class TorvikStatusPage : public Page, private SessionObserver {
    Q_OBJECT
public:
    // The lamps and values change at most this often; the latest reading shows.
    static constexpr int kMinRepaintMs = 10;
    static constexpr int kLeftAxisStartMax = 550;

    explicit TorvikStatusPage(Shell& shell, QWidget* parent = nullptr);
    ~TorvikStatusPage() override;

    void PageSwitched(PageId current) override;
    TorvikStatusReadout& Readout() { return readout_; }
    ChartView& InstallChart() { return *chartTinstall_; }

    // Click handlers.
    void cbTorvikShowPersistentStatusClick();
    void btnTorvikClearPersistentStatusClick();
    void cbLogErrorsTorvikStatusClick();
    void cbTinstallDrawClick();
    void btnTinstallClearClick();
    void btnTCopyClipboardClick();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Identified(const IdentificationOutcome& outcome, const EncoderCapabilities& capabilities) override;
    void Ticked(const TickReport& report) override;

    void Show(const TorvikStatusReading& reading);
    void AddPoint(const InstallPoint& point);
    void Flush();
    void SetLamp(size_t index, LampColour colour);

    Shell& shell_;
    Session& session_;
    // The session runs it in the monitor cycle; the page switches it and shows it.
    TorvikStatusReadout& readout_;
    uint64_t runsShown_ = 0;

    QLabel* lblTorvikSerial_;
    std::array<QLabel*, 14> lamps_{};
    std::array<LampColour, 14> lampColours_{};
    TickerLabel* pnlTorvikstatus_;
    TickerLabel* pnlTorviktemp_;
    TickerLabel* pnlTorviksignalLvl_;
    TickerLabel* pnlTorvikvelocity_;
    TickerLabel* lblTorvikairGap_;
    QCheckBox* cbTorvikShowPersistentStatus_;
    QPushButton* btnTorvikClearPersistentStatus_;
    QCheckBox* cbLogErrorsTorvikStatus_;
    ChartView* chartTinstall_;
    QCheckBox* cbTinstallDraw_;
    QPushButton* btnTinstallClear_;
    QPushButton* btnTCopyClipboard_;

    ChartSeries* serSignal_;
    ChartSeries* serPointErrWarn_;
    ChartSeries* serAmplMax_;
    ChartSeries* serAmplWarning_;
    ChartSeries* serAmplError_;

    // The display waiting for its turn.
    QTimer* showLater_;
    QElapsedTimer lastShown_;
    bool pending_ = false;
    TorvikStatusReading pendingReading_;
};
