#include "monitor/MonitorInstall.h"

#include "app/MainWindow.h"
#include "biss/DirectRegistersPage.h"
#include "biss/EdsPage.h"
#include "link/InterfaceSettingsPage.h"
#include "monitor/MonitorCycle.h"
#include "monitor/PositionPage.h"

#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>

namespace {
// The monitor cycle's view of the window. A child of the window, so it
// lives exactly as long as the window does.
class WindowMonitorHost final : public QObject, public MonitorHost {
public:
    WindowMonitorHost(MainWindow& window, const BissPages& biss, PositionPage& position)
        : QObject(&window), window_(window), biss_(biss), position_(position),
          cycle_(window.GetLink(), window.Identity(), *this),
          powerCycling_(window.findChild<QCheckBox*>("cbCiklirajIzklope"))
    {
    }

    MonitorCycle& Cycle() { return cycle_; }

    void SetLoopTimerActive(bool on) override { window_.SetLoopTimerActive(on); }
    void StartDiscovery() override { window_.SetInitTimerActive(true); }
    void WaitWithMessages(int ms) override { window_.WaitWithMessages(ms); }
    void IdentifyEncoder() override { biss_.direct->btnReadDirectClick(); }
    void ReadDatasheet() override { biss_.eds->btnReadEDSClick(); }
    Page ActivePage() const override { return window_.ActivePage(); }

    void ShowProbedEdsBank(const std::string& text) override { biss_.direct->ShowProbedEdsBank(Latin1Text(text)); }
    void ShowInterfaceReply(size_t index, const std::string& text) override
    {
        if (index < MonitorCycle::kInterfaceCommands.size())
            window_.SettingsPage()->ShowReadout(MonitorCycle::kInterfaceCommands[index][0], Latin1Text(text));
    }
    void ShowRawPosition(const std::string& reply) override { position_.ShowRaw(reply); }
    void ShowEncoderDisconnected() override { position_.ShowDisconnected(); }
    void ShowPosition(const TEncoderPosition& position, const PositionTexts& texts) override
    {
        position_.ShowPosition(position, texts);
    }
    const PositionScale& Scale() const override { return position_.Units().Scale(); }
    std::string UnitName() const override { return position_.UnitName(); }

    bool PositionLogOn() const override { return position_.LogOn(); }
    bool PowerCyclingOn() const override { return powerCycling_ && powerCycling_->isChecked(); }
    void AddLogLine(const std::string& line) override { window_.LogList()->appendPlainText(Latin1Text(line)); }

    void TickSucceeded() override
    {
        window_.Status().FlipActivity();
        window_.Status().ShowMonitorOk();
    }
    void TickFailed(const std::string& received, const std::string& singleturnText) override
    {
        window_.Status().ShowMonitorError(received);
        position_.ShowError(singleturnText);
    }

private:
    MainWindow& window_;
    BissPages biss_;
    PositionPage& position_;
    MonitorCycle cycle_;
    QCheckBox* powerCycling_;
};
} // namespace

MonitorParts InstallMonitor(MainWindow& window, const BissPages& biss)
{
    PositionPage::Strip strip;
    strip.lblPosUnit = window.findChild<QLabel*>("lblPosUnit");
    strip.pnlEncWarn = window.findChild<QWidget*>("pnlEncWarn");
    strip.pnlEncErr = window.findChild<QWidget*>("pnlEncErr");
    auto* position = new PositionPage(window, strip);
    window.InstallPage(Page::TabPosition, position);

    auto* host = new WindowMonitorHost(window, biss, *position);
    MonitorCycle* cycle = &host->Cycle();

    biss.direct->applyScale = [position](const UnitScaleSetting& scale) { position->ApplyScale(scale); };
    biss.eds->handOverLengths = [position](const EdsFieldLengths& lengths) { position->SetFieldLengths(lengths); };
    position->showLog = [&window](bool on) {
        window.ShowLogList(on);
        window.LogList()->clear();
    };
    position->rememberPosition = [cycle] { cycle->RememberCurrentPosition(); };

    window.OnPageChange([position](Page) { position->RefreshDataLengthReport(); });
    window.OnConnectionReset([position] { position->ResetResolution(); });
    window.SetMonitorTick([cycle] { cycle->Tick(); });

    EnsureIdentificationTargets(window, [&window](Page page) { return window.PageWidget(page); });
    return MonitorParts{position, cycle};
}
