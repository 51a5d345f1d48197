#pragma once
// The "Test" page: the power-cycling test, the monitor's reading interval and
// the measurement recording (position or debug values, one row per tick,
// into a file in the working folder).

#include "monitor/Recording.h"
#include "shell/Page.h"

#include <QElapsedTimer>

#include <cstdint>

class PowerCyclePanel;
class QCheckBox;
class QLabel;
class QPlainTextEdit;
class TickerLabel;
class QSpinBox;
class QTimer;

class TestPage : public Page, private SessionObserver {
    Q_OBJECT
public:
    // The elapsed time changes at most this often while a recording runs.
    static constexpr int kElapsedRepaintMs = 100;
    // Rows waiting in the file's buffer are written out at least once a second.
    static constexpr int kFlushCheckMs = 250;

    explicit TestPage(Shell& shell, QWidget* parent = nullptr);
    ~TestPage() override;

    void ServiceRevealed(ServiceGesture gesture) override;
    void WindowClosing() override;

    // Change handlers of the two recording boxes (also for changes the program makes).
    void cbShranjujMeritvePosClick();
    void cbShranjujMeritveDebugClick();

private:
    void MonitorIntervalChanged(int ms) override;
    void Ticked(const TickReport& report) override;

    void RecordingSwitched(RecordingKind kind, QCheckBox* box, QCheckBox* other);
    // A recording that ended by itself: its box goes off, a failure is told.
    void CheckEnd();
    void ShowElapsed();

    Shell& shell_;
    Session& session_;
    PowerCyclePanel* powerCycle_;
    QSpinBox* seFrekvencaBranja_;
    QCheckBox* cbShranjujMeritvePos_;
    QCheckBox* cbShranjujMeritveDebug_;
    QSpinBox* seSteviloShranjenihMeritev_;
    QPlainTextEdit* mmShranjujIme_;
    TickerLabel* lblShraniElapsedTimeMs_;
    QTimer* flushTimer_;
    QElapsedTimer elapsedShown_;
    uint64_t rowsShown_ = 0;
};
