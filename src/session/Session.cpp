#include "session/Session.h"

#include "link/PortDiagnosis.h"
#include "link/PortList.h"

#include <algorithm>

Session::Session(SessionEnvironment environment)
    : env_(std::move(environment)), units_(link_.PositionMTLength, link_.PositionSTLength),
      cycle_(link_, identity_, units_, *this), torvikStatus_(cycle_, identity_), debug_(identity_),
      quenraStatus_(cycle_, identity_), recorder_(cycle_, torvikStatus_, quenraStatus_, debug_)
{
    // In the order of the tick: status values, debug read, Quenra status, then
    // the recording row that writes them.
    cycle_.AddStep(&torvikStatus_);
    cycle_.AddStep(&debug_);
    cycle_.AddStep(&quenraStatus_);
    cycle_.AddStep(&recorder_);
    if (!env_.portLister)
        env_.portLister = [] { return ListUsbSerialPorts(); };
    if (!env_.portOpener)
        env_.portOpener = OpenSerialDevice;
}

Session::~Session() = default;

void Session::AddObserver(SessionObserver* observer)
{
    if (observer && std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
        observers_.push_back(observer);
}

void Session::RemoveObserver(SessionObserver* observer)
{
    observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

// --- The search for the box -------------------------------------------------

bool Session::SearchTick()
{
    if (searching_)
        return false;
    searching_ = true;
    if (env_.searchTimer)
        env_.searchTimer->Stop();
    if (env_.monitorTimer)
        env_.monitorTimer->Stop();
    // Switching the power off still goes over the port that was in use, if any.
    Select(false);
    link_.ClosePort();

    interfaceText_ = std::string(NextSearchingText(interfaceText_));
    Notify([&](SessionObserver& o) { o.SearchStarted(interfaceText_); });

    SearchOutcome out;
    std::optional<FoundBox> found = ProbeForBox(
        env_.portLister ? env_.portLister() : std::vector<std::string>{}, env_.portOpener,
        [this](const std::string& candidate) { Notify([&](SessionObserver& o) { o.Probing(candidate); }); },
        [&out](const std::string& candidate) {
            if (std::optional<PortDiagnosis> problem = OpenProblem(candidate))
                out.portProblems.push_back(PortProblemText(*problem));
        });

    if (found) {
        link_.ComHandle = std::move(found->port);
        interfaceText_ = found->version;
        out.found = true;
        out.port = found->path;
        out.oldFirmware = IsOldBoxFirmware(found->version);
        out.interfaceText = interfaceText_;
        Notify([&](SessionObserver& o) { o.BoxFound(out); });
        Select(true);

        // Nothing read from the previous encoder stays valid.
        link_.ForgetEncoder();
        identity_.ResetForConnection();
        caps_ = EncoderCapabilities{};
        units_.ResetResolution();
        debug_.State().ResetForConnection();
        Notify([&](SessionObserver& o) { o.ConnectionReset(); });
        if (env_.searchTimer)
            env_.searchTimer->Stop();
        if (env_.monitorTimer)
            env_.monitorTimer->Start();
    } else {
        out.interfaceText = interfaceText_;
        if (env_.searchTimer)
            env_.searchTimer->Start();
        // A box the user cannot reach yet is named with the fix; the search goes on.
        if (!out.portProblems.empty()) {
            std::string text = "Error";
            for (const std::string& problem : out.portProblems)
                text += "\r\n" + problem;
            Publish({text, StatusKind::Error});
        }
    }
    Notify([&](SessionObserver& o) { o.SearchFinished(out); });
    searching_ = false;
    return out.found;
}

void Session::StartSearch()
{
    if (env_.searchTimer)
        env_.searchTimer->Start();
}

void Session::StopMonitor()
{
    if (env_.monitorTimer)
        env_.monitorTimer->Stop();
}

// --- The monitor cycle ------------------------------------------------------

void Session::MonitorTick()
{
    if (inTick_ || searching_)
        return;
    inTick_ = true;
    if (env_.monitorTimer)
        env_.monitorTimer->Stop();
    const TickReport& report = cycle_.Tick();
    bool rearm = true;
    if (report.ending == TickReport::Ending::Error && report.portLost) {
        rearm = false;
        StartSearch();
    }
    if (rearm && env_.monitorTimer)
        env_.monitorTimer->Rearm();
    Notify([&](SessionObserver& o) { o.Ticked(report); });
    if (report.ending == TickReport::Ending::Ok) {
        Publish({"Comm OK", StatusKind::Ok});
    } else if (report.ending == TickReport::Ending::Error) {
        identity_.EncoderConnected = false;
        Publish({"Error\r\n" + report.received + link_.LastErrorText, StatusKind::Error});
    }
    inTick_ = false;
}

void Session::ResumeMonitor()
{
    // Leaving the monitor off while a search is due; a running tick re-arms it itself.
    if ((!env_.searchTimer || !env_.searchTimer->Active()) && !searching_ && !inTick_ && env_.monitorTimer)
        env_.monitorTimer->Start();
}

void Session::RestartMonitor()
{
    if (!searching_ && !inTick_ && env_.monitorTimer)
        env_.monitorTimer->Start();
}

int Session::MonitorInterval() const
{
    return env_.monitorTimer ? env_.monitorTimer->Interval() : 0;
}

void Session::SetMonitorInterval(int ms)
{
    if (env_.monitorTimer)
        env_.monitorTimer->SetInterval(ms);
    Notify([&](SessionObserver& o) { o.MonitorIntervalChanged(ms); });
}

void Session::Wait(int ms)
{
    if (env_.clock)
        env_.clock->Wait(ms);
}

void Session::IdentifyNewEncoder()
{
    Identify();
    ReadDatasheet();
}

// --- Identification and datasheet -------------------------------------------

IdentificationOutcome Session::Identify()
{
    IdentificationOutcome out = ReadIdentification(link_, identity_);
    caps_ = EncoderCapabilities{};
    caps_.profileIsBp3 = out.profileIsBp3;
    caps_.datasheetBankKnown = link_.EncoderSignature.EDS_Common_bank_num != kBankNotRead;
    if (out.signatureRead) {
        caps_.identified = true;
        caps_.family = out.family.family;
        caps_.partNumber = link_.EncoderSignature.Zolvan_PartNumber;
        caps_.serialCaption = out.serialCaption;
        caps_.signature = link_.EncoderSignature;
        caps_.torvikGates = out.gates;
        if (out.family.scale) {
            const UnitScaleSetting& s = *out.family.scale;
            units_.SetFamilyScale(s.nominator, s.denominator, s.unit, out.family.family);
            Notify([&](SessionObserver& o) { o.ScaleChanged(units_); });
        }
    }
    Notify([&](SessionObserver& o) { o.Identified(out, caps_); });
    Report(out.ok);
    if (!out.ok && out.portLost)
        StartSearch();
    return out;
}

EdsReadOutcome Session::ReadDatasheet()
{
    EdsReadOutcome out = ReadEds(link_, identity_, caps_.profileIsBp3);
    if (!out.started)
        return out;
    if (out.fieldLengths) {
        units_.SetFieldLengths(out.fieldLengths->multiturn, out.fieldLengths->singleturn, identity_.DruzinaEnkoderja);
        Notify([&](SessionObserver& o) { o.ScaleChanged(units_); });
    }
    Notify([&](SessionObserver& o) { o.DatasheetRead(out); });
    if (out.statusOk)
        Report(*out.statusOk, out.statusText);
    return out;
}

ConfigurationReading Session::ReadConfiguration(ConfigPage page)
{
    ConfigurationReading out = ::ReadConfiguration(link_, identity_.DruzinaEnkoderja, link_.EncoderSignature, page);
    if (out.writeProtect)
        config_.writeProtect = config_.quenraWriteProtect = *out.writeProtect;
    Notify([&](SessionObserver& o) { o.ConfigurationRead(out); });
    Report(out.ok, out.statusText);
    return out;
}

// --- Power and box settings -------------------------------------------------

void Session::Select(bool on)
{
    if (on == powerOn_)
        return;
    powerOn_ = on;
    const std::string result = SendSettingsCommand(link_, PowerCommand(on));
    Notify([&](SessionObserver& o) { o.PowerSwitched(on, result); });
}

void Session::SendBoxSetting(BoxSetting setting, const std::string& text)
{
    const std::optional<std::string> command =
        setting == BoxSetting::Clock ? FrequencyCommand(text) : DataLengthCommand(text);
    if (!command)
        return;
    const std::string result = SendSettingsCommand(link_, *command);
    Notify([&](SessionObserver& o) { o.BoxSettingSent(setting, text, result); });
}

// --- Status -----------------------------------------------------------------

void Session::SetPositionLog(bool on)
{
    if (cycle_.PositionLog() == on)
        return;
    cycle_.SetPositionLog(on);
    cycle_.RememberCurrentPosition();
    Notify([on](SessionObserver& o) { o.PositionLogSwitched(on); });
}

EncoderOutcome Session::UnlockDebugBanks()
{
    const EncoderOutcome outcome = debug_.Unlock(link_);
    Notify([&outcome](SessionObserver& o) { o.DebugUnlocked(outcome.ok); });
    return outcome;
}

bool Session::Report(bool ok)
{
    Report(ok, (ok ? "Comm OK\r\n" : "Error\r\n") + link_.LastErrorText);
    return ok;
}

void Session::Report(bool ok, const std::string& text)
{
    if (!ok)
        identity_.EncoderConnected = false;
    Publish({text, ok ? StatusKind::Ok : StatusKind::Error});
}

void Session::ReportText(const std::string& text)
{
    Publish({text, StatusKind::Plain});
}

void Session::Publish(const StatusReport& report)
{
    status_ = report;
    Notify([&](SessionObserver& o) { o.StatusReported(status_); });
}

void Session::Close()
{
    // An open recording keeps every row written so far.
    recorder_.Stop();
    if (env_.searchTimer)
        env_.searchTimer->Stop();
    if (env_.monitorTimer)
        env_.monitorTimer->Stop();
    link_.ClosePort();
}
