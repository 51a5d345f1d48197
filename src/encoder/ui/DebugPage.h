#pragma once
// The "Debug" page: what the sensor of a Torvik encoder sees. The snapshot of
// 53 signal samples with its min/max envelope and the decoding points in a
// chart, the decoded code words above them, the three spectrum bars around
// the code length, the envelope fits and the sensor tilt with its traffic
// light, the cycle time and the sensor reset counter. Also the unlock of the
// diagnostic banks (revealed by the debug gesture) and the hard-fault dump
// into the log list. The debug read runs in the monitor cycle while the page
// is shown; the page shows what it read.

#include "encoder/Diagnostics.h"
#include "shell/Page.h"

#include <array>
#include <cstdint>

class ChartSeries;
class ChartView;
class QFrame;
class QLabel;
class QPushButton;
class Session;

class DebugPage : public Page, private SessionObserver {
    Q_OBJECT
public:
    // The spectrum bars' background: the bars stand on its bottom edge.
    static constexpr int kSpectrumHeight = 171;

    explicit DebugPage(Shell& shell, QWidget* parent = nullptr);
    ~DebugPage() override;

    void PageSwitched(PageId current) override;
    void ServiceRevealed(ServiceGesture gesture) override;
    ChartView& Chart() { return *ChartDebug_; }

    // Click handlers.
    void btnTorvikDebugReadClick();
    void btnTorvikDebugUnlockClick();
    void btnTorvikReadHardFaultClick();
    void btnDbgOvojnicaResetClick();
    void btnDbgMaxUpdateClick();
    void lblTorvikdbg_NaklonSenzorjaClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Ticked(const TickReport& report) override;
    // One unlock uses the button up, whoever ran it.
    void DebugUnlocked(bool ok) override;

    void Show(const Diagnostics& diagnostics);
    void ShowChart(const Diagnostics& diagnostics);
    void ShowBars(const std::array<int, 3>& bars, int codeLength);
    void PlaceCodeLabel();

    Shell& shell_;
    Session& session_;
    uint64_t readsShown_ = 0;

    QPushButton* btnTorvikDebugRead_;
    QPushButton* btnTorvikDebugUnlock_;
    QPushButton* btnTorvikReadHardFault_;
    QPushButton* btnDbgOvojnicaReset_;
    QPushButton* btnDbgMaxUpdate_;
    QLabel* lblSensorResetCounter_;
    QLabel* lblTorvikdbg_dekod_;
    QLabel* lblTorvikdbg_cycle_;
    QLabel* lblTorvikdbg_NaklonSenzorja_;
    QFrame* shBgFFT_;
    std::array<QFrame*, 3> bars_{}; // shLevo, shCenter, shDesno
    QLabel* lblSpectrumBins_;
    ChartView* ChartDebug_;
    QLabel* lblKodaNaGrafu_;

    ChartSeries* seriesMIS_;
    ChartSeries* SeriesMISovojnicaMax_;
    ChartSeries* SeriesMISovojnicaMin_;
    ChartSeries* seriesDekodiranje_;
    ChartSeries* Series1_;
    ChartSeries* Series2_;

    // Where the code label stands: above the first decoding point, in a font
    // whose bits and spacers span the decoding step.
    int codeLabelIndex_ = 1;
    int codeLabelLength_ = 0;
};
