#pragma once
// The "Encoder Position" page and the position strip above the pages: raw
// reply, bits, multiturn and singleturn values, lamps, the unit scale and the
// position log switch.

#include "shell/Page.h"
#include "shell/Shell.h"
#include "shell/StatusLine.h"

#include <QElapsedTimer>

class Shell;
class QCheckBox;
class QLabel;
class QLineEdit;
class TickerLabel;
class QSpinBox;
class QTimer;

class PositionPage : public Page, private SessionObserver {
    Q_OBJECT
public:
    // The position strip (pnl1) lives in the window frame, above the pages;
    // this page fills it.
    explicit PositionPage(Shell& shell, QWidget* parent = nullptr);
    ~PositionPage() override;

    const PositionUnits& Units() const { return session_.Units(); }

    // Every page change refreshes the data-length report.
    void PageSwitched(PageId current) override;
    void RefreshDataLengthReport();

    // What the monitor cycle shows. At intervals below kMinRepaintMs the
    // raw reply and the position reach the labels at most once per
    // kMinRepaintMs (the latest ones; more would only burn the processor
    // faster than any screen refreshes); at longer intervals every tick shows
    // at once.
    static constexpr int kMinRepaintMs = 10;
    void ShowRaw(const std::string& reply);
    void ShowPosition(const TEncoderPosition& position, const PositionTexts& texts);
    void ShowDisconnected();
    void ShowError(const std::string& singleturnText);

    // Change handlers.
    void seNominatorChange();
    void sePosMTlenChange();
    void sePosSTlenChange();
    void cbLogErrorsPosClick();

private:
    void Ticked(const TickReport& report) override;
    // The session set the scale (family, datasheet lengths): the fields follow.
    void ScaleChanged(const PositionUnits& units) override;
    // The box follows the log, also when an action switched it off.
    void PositionLogSwitched(bool on) override;

    enum class Lamp { Unset, Grey, Lit, ButtonFace };
    void Schedule();
    void Flush();
    void SetLamp(QWidget* panel, Lamp& state, Lamp wanted, Rgb lit);

    Shell& shell_;
    Session& session_;
    PositionStripWidgets strip_;
    TickerLabel* lblPosRX_;
    TickerLabel* lblRxBin_;
    QSpinBox* sePosMTlen_;
    QSpinBox* sePosSTlen_;
    QLabel* lblEDSreportDataLen_;
    QSpinBox* seNominator_;
    QSpinBox* seDenominator_;
    QLineEdit* edUnit_;
    TickerLabel* lblPosMT_;
    TickerLabel* lblPosST_;
    QWidget* pnlCRCerror_;
    QCheckBox* cbLogErrorsPos_;
    Lamp errLamp_ = Lamp::Unset;
    Lamp warnLamp_ = Lamp::Unset;
    Lamp crcLamp_ = Lamp::Unset;
    // Display waiting for its turn.
    QTimer* showLater_;
    QElapsedTimer lastShown_;
    bool rawPending_ = false;
    bool positionPending_ = false;
    std::string pendingRaw_;
    std::string pendingBits_;
    PositionTexts pendingTexts_;
};

// A spin edit's value as the handlers read it: its text as a decimal
// integer, or its minimum when the text is not a number.
long long SpinValue(const QSpinBox* spin);
