#include "session/ServiceActions.h"

#include "biss/FirmwareGates.h"

#include <chrono>
#include <utility>

namespace {
int64_t SteadyMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
} // namespace

ServiceActions::ServiceActions(Session& session, ServicePrompts& prompts, ServiceWaits waits)
    : session_(session), link_(session.GetLink()), prompts_(prompts), waits_(std::move(waits))
{
    if (!waits_.monotonicMs)
        waits_.monotonicMs = SteadyMs;
}

ConfigurationReading ServiceActions::Read(ConfigPage page)
{
    lastReading_ = session_.ReadConfiguration(page);
    return lastReading_;
}

void ServiceActions::WarnIfWriteProtected(bool torvikOnly)
{
    if (::WarnIfWriteProtected(link_.EncoderSignature, session_.Identity().DruzinaEnkoderja, torvikOnly,
                               session_.Configuration().writeProtect))
        prompts_.Message(kWriteProtectedWarning);
}

bool ServiceActions::Finish(const ConfigWriteOutcome& outcome)
{
    if (outcome.result == ValueWrite::NotANumber) {
        prompts_.Message(outcome.conversionError);
        return false;
    }
    session_.Report(outcome.ok(), outcome.statusText);
    return outcome.ok();
}

bool ServiceActions::Write(ConfigPage page, const ConfigurationTexts& texts)
{
    const ConfigurationState& state = session_.Configuration();
    if (FirmwareGate::WarnsIfWriteProtected(link_.EncoderSignature.Zolvan_FWverSVN)) {
        WarnIfWriteProtected(false);
        if ((WouldLockEncoder(state.writeProtect) || WouldLockEncoder(state.quenraWriteProtect)) &&
            !prompts_.Confirm(kLockQuestion))
            return false;
    }
    ConfigurationTexts written = texts;
    written.writeProtect = page == ConfigPage::Quenra ? state.quenraWriteProtect : state.writeProtect;
    // Only the offset this write sends is checked: a field of the other page
    // may hold an offset of an encoder attached earlier.
    if (!ZeroInRange(written.offset, link_.PositionSTLength)) {
        prompts_.Message(kZeroOutOfRangeText);
        return false;
    }
    return Finish(WriteConfiguration(link_, link_.EncoderSignature, page, written));
}

bool ServiceActions::NewMultiturn(ConfigPage page, std::string_view counterText)
{
    Read(page);
    WarnIfWriteProtected(true);
    return Finish(PresetMultiturn(link_, counterText,
                                  page == ConfigPage::Quenra ? ConfigRegister::QuenraNewMultiturn
                                                             : ConfigRegister::TorvikNewMultiturn));
}

bool ServiceActions::FactoryReset(ConfigPage page)
{
    if (!prompts_.Confirm(kFactoryResetQuestion))
        return false;
    Read(page);
    WarnIfWriteProtected(false);
    const EncoderOutcome reset = FactoryResetCommand(link_, session_, waits_.serving, waits_.blocking);
    if (!reset.ok) {
        session_.Report(false, reset.statusText);
        return false;
    }
    prompts_.Message(kFactoryResetDoneText);
    // The read reports on the status line: a read that fails after the reset
    // is not covered by a success.
    return Read(page).ok;
}

void ServiceActions::TellIfFailed(bool ok)
{
    if (!ok && !link_.LastErrorText.empty())
        prompts_.Message(kZeroWriteErrorText + link_.LastErrorText);
}

ZeroPresetOutcome ServiceActions::SetZero(ConfigPage page)
{
    ZeroPresetOutcome out;
    session_.ReadDatasheet();
    const uint8_t stLength = link_.PositionSTLength;
    link_.ReadPosition();
    const std::string errors =
        ZeroPresetErrors(link_.EncoderPosition, link_.EdsCommonChecksumOk, link_.EdsProfileChecksumOk);
    if (!errors.empty()) {
        prompts_.Message(kZeroUnableText + errors);
        return out;
    }
    const uint32_t singleturn = link_.EncoderPosition.ST_value;
    const ConfigurationReading before = Read(page);
    WarnIfWriteProtected(false);

    link_.LastErrorText.clear();
    TellIfFailed(NewMultiturn(page, "0"));
    // The offset as the read inside the preset found it, else as the read
    // before it found it. An offset no read delivered is never taken for 0:
    // the preset stops there and writes nothing.
    const ConfigurationReading& r = lastReading_.offset ? lastReading_ : before;
    if (!r.offset) {
        const std::string& status = lastReading_.statusText;
        const size_t reason = status.find("\r\n");
        prompts_.Message(kZeroWriteErrorText + (reason == std::string::npos ? status : status.substr(reason + 2)));
        return out;
    }
    const long long offset = FieldValue(*r.offset);
    out.report =
        "Current zero pos: " + std::to_string(offset) + "\r\nEncoder pos: " + std::to_string(singleturn) + "\r\n";
    out.newOffset = NewZeroOffset(offset, singleturn, stLength);

    ConfigurationTexts texts;
    texts.offset = std::to_string(out.newOffset);
    texts.posFilterValue = r.posFilterValue.value_or("");
    texts.posFilterSpeed = r.posFilterSpeed.value_or("");
    texts.velocityFilterValue = r.velocityFilterValue.value_or("");
    texts.velocityFilterSpeed = r.velocityFilterSpeed.value_or("");
    texts.errorArc = r.errorArc.value_or("");
    link_.LastErrorText.clear();
    const bool written = Write(page, texts);
    TellIfFailed(written);
    link_.LastErrorText.clear();
    const bool counterPreset = NewMultiturn(page, "0");
    TellIfFailed(counterPreset);

    out.report += "New zero pos: " + std::to_string(out.newOffset) + "\r\nMultiturn preset: 0";
    out.computed = true;
    out.preset = written && counterPreset;
    return out;
}

CalibrationStart ServiceActions::StartCalibration(std::string_view arcText, std::string_view timeoutText)
{
    const EncoderFamily family = session_.Identity().DruzinaEnkoderja;
    const TEncoderSignature& signature = link_.EncoderSignature;
    CalibrationStart out;
    // A negative time-out is refused before anything else happens.
    if (!CalibrationTimingFor(FirmwareGate::HasCalibrationTimeout(family, signature.Zolvan_FWverSVN), timeoutText)) {
        prompts_.Message(kNegativeTimeoutText);
        out.result = CalibrationStart::Result::NegativeTimeout;
        return out;
    }
    WarnIfWriteProtected(false);
    out = StartSelfCalibration(link_, family, signature, arcText, timeoutText);
    switch (out.result) {
    case CalibrationStart::Result::NotANumber:
        prompts_.Message(out.conversionError);
        break;
    case CalibrationStart::Result::Failed:
    case CalibrationStart::Result::Started:
        session_.Report(out.result == CalibrationStart::Result::Started, out.statusText);
        break;
    case CalibrationStart::Result::NegativeTimeout:
        prompts_.Message(kNegativeTimeoutText);
        break;
    }
    return out;
}

bool ServiceActions::WaitForCalibration(const CalibrationTiming& timing, const std::function<void(int64_t)>& progress,
                                        const std::function<void()>& serve)
{
    session_.StopMonitor();
    const bool answered =
        ::WaitForCalibration(link_, timing.waitLimitMs, {waits_.monotonicMs, progress, serve, waits_.blocking});
    session_.RestartMonitor();
    // After a wait that ran out, the last failed poll shows under "Comm OK":
    // the read-out of the page tells the outcome.
    session_.Report(true);
    return answered;
}

CalibrationRun ServiceActions::Calibrate(const std::string& arcText, const std::string& timeoutText,
                                         const std::function<void(int64_t)>& progress,
                                         const std::function<void()>& serve)
{
    CalibrationRun run;
    const ConfigurationReading reading = Read(ConfigPage::Other);
    run.start = StartCalibration(arcText.empty() ? reading.calibrationArc : arcText,
                                 timeoutText.empty() ? reading.calibrationTimeout : timeoutText);
    if (run.start.result != CalibrationStart::Result::Started)
        return run;
    run.answered = WaitForCalibration(*run.start.timing, progress, serve);
    // The outcome from the calibration status register, as the page's read-out shows it.
    CalibrationReadout readout(session_.Identity(), waits_.blocking);
    readout.SetCounterStart(run.start.counterStart);
    readout.SetPageShown(true);
    readout.Run(link_);
    run.reading = readout.Reading();
    return run;
}

// --- Configuration fields by name and the status read-outs -------------------

namespace {
const ConfigFieldSlot kSettableFields[] = {
    {ConfigFields::PositionOffset, &ConfigurationTexts::offset, &ConfigurationReading::offset},
    {ConfigFields::PosFilterValue, &ConfigurationTexts::posFilterValue, &ConfigurationReading::posFilterValue},
    {ConfigFields::PosFilterSpeed, &ConfigurationTexts::posFilterSpeed, &ConfigurationReading::posFilterSpeed},
    {ConfigFields::VelocityFilterValue, &ConfigurationTexts::velocityFilterValue,
     &ConfigurationReading::velocityFilterValue},
    {ConfigFields::VelocityFilterSpeed, &ConfigurationTexts::velocityFilterSpeed,
     &ConfigurationReading::velocityFilterSpeed},
    {ConfigFields::MultiturnErrorArc, &ConfigurationTexts::errorArc, &ConfigurationReading::errorArc},
    {ConfigFields::WriteProtect, &ConfigurationTexts::writeProtect, &ConfigurationReading::writeProtect},
};
} // namespace

const ConfigFieldSlot* FindConfigField(std::string_view name)
{
    for (const ConfigFieldSlot& slot : kSettableFields) {
        const std::string notation = FormatRegisterRef(slot.field.ref);
        if (name == notation || name == notation.substr(0, notation.rfind('.')) || name == ConfigFieldCaption(slot.field))
            return &slot;
    }
    return nullptr;
}

std::string ConfigFieldNames()
{
    std::string names;
    for (const ConfigFieldSlot& slot : kSettableFields) {
        const std::string notation = FormatRegisterRef(slot.field.ref);
        names += (names.empty() ? "" : ", ") + notation.substr(0, notation.rfind('.'));
    }
    return names;
}

TorvikStatusReading ReadTorvikStatusNow(Session& session)
{
    // The session's own read-out, as the status page switches it on.
    TorvikStatusReadout& readout = session.TorvikStatus();
    readout.SetPageShown(true);
    session.MonitorTick();
    readout.SetPageShown(false);
    return readout.Reading();
}

QuenraStatusReading ReadQuenraStatusNow(Session& session)
{
    QuenraStatusReadout readout(session.Monitor(), session.Identity());
    readout.SetPageShown(true);
    session.Monitor().AddStep(&readout);
    session.MonitorTick();
    session.Monitor().RemoveStep(&readout);
    return readout.Reading();
}
