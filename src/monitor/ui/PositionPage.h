#pragma once
// The "Encoder Position" page and the position strip above the pages: raw
// reply, bits, multiturn and singleturn values, lamps, the unit scale and the
// position log switch.

#include "biss/Eds.h"
#include "biss/Identification.h"
#include "app/StatusLine.h"
#include "monitor/PositionDisplay.h"

#include <QElapsedTimer>
#include <QWidget>

#include <functional>

class Shell;
class QCheckBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class QTimer;

class PositionPage : public QWidget {
    Q_OBJECT
public:
    // The position strip (pnl1) lives in the window frame, above the pages.
    struct Strip {
        QLabel* lblPosUnit = nullptr;
        QWidget* pnlEncWarn = nullptr;
        QWidget* pnlEncErr = nullptr;
    };
    PositionPage(Shell& shell, Strip strip, QWidget* parent = nullptr);

    const PositionUnits& Units() const { return units_; }
    std::string UnitName() const;
    bool LogOn() const;

    // The datasheet read hands over the field lengths: limited to the spin
    // edits' ranges, multiturn first, each followed by its change handler.
    void SetFieldLengths(const EdsFieldLengths& lengths);
    // The identification sets the unit scale of the family.
    void ApplyScale(const UnitScaleSetting& scale);
    // Every page change refreshes the data-length report.
    void RefreshDataLengthReport();
    // Discovery of an interface box: one count is one unit again.
    void ResetResolution() { units_.ResetResolution(); }

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

    // The position log switch reveals (or hides) and clears the window's log list
    std::function<void(bool on)> showLog;
    // and takes the current word as the reference of the jump test.
    std::function<void()> rememberPosition;

private:
    enum class Lamp { Unset, Grey, Lit, ButtonFace };
    void Schedule();
    void Flush();
    void SetLamp(QWidget* panel, Lamp& state, Lamp wanted, Rgb lit);

    Shell& shell_;
    Strip strip_;
    PositionUnits units_;
    QLabel* lblPosRX_;
    QLabel* lblRxBin_;
    QSpinBox* sePosMTlen_;
    QSpinBox* sePosSTlen_;
    QLabel* lblEDSreportDataLen_;
    QSpinBox* seNominator_;
    QSpinBox* seDenominator_;
    QLineEdit* edUnit_;
    QLabel* lblPosMT_;
    QLabel* lblPosST_;
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
