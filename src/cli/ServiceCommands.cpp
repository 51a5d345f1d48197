// k417ctl's service functions: the configuration pages, presets, factory
// reset, self-calibration and the status pages of the maker's encoders.

#include "cli/Commands.h"

#include "biss/FirmwareGates.h"
#include "encoder/QuenraStatus.h"
#include "link/PowerCycle.h"
#include "monitor/ServiceReadouts.h"
#include "monitor/TorvikStatus.h"
#include "session/ServiceActions.h"

#include <cstdio>
#include <limits>
#include <optional>
#include <ostream>

namespace {


// The session's actions with the command line's prompts and waits.
struct Service {
    explicit Service(CliContext& c) : prompts(c), actions(c.GetSession(), prompts, CliWaits()) {}
    CliPrompts prompts;
    ServiceActions actions;
};

ConfigPage PageFor(const Session& session)
{
    return session.Capabilities().family == EncoderFamily::Quenra ? ConfigPage::Quenra : ConfigPage::Torvik;
}

bool MakersEncoder(CliContext& c)
{
    if (!c.ConnectIdentified())
        return false;
    if (c.GetSession().Capabilities().family == EncoderFamily::Unidentified) {
        c.PrintStatus("Error\r\nNot one of the maker's encoders: the service functions do not apply");
        return false;
    }
    return true;
}

int Finish(CliContext& c, bool ok)
{
    if (!ok && c.LastStatus().kind == StatusKind::Error)
        c.PrintStatus(c.LastStatus().text);
    return ok ? kExitOk : kExitFailed;
}

// --- config -----------------------------------------------------------------

int ConfigGet(CliContext& c)
{
    Service s(c);
    const ConfigurationReading r = s.actions.Read(PageFor(c.GetSession()));
    if (!r.ok) {
        c.PrintStatus(r.statusText);
        return kExitFailed;
    }
    JsonObject json;
    std::string text;
    auto field = [&](const ConfigField& f, const std::optional<std::string>& value, const char* key) {
        if (!value)
            return;
        json.Add(key, *value);
        text += ConfigFieldCaption(f) + " = " + *value + "\n";
    };
    field(ConfigFields::PositionOffset, r.offset, "positionOffset");
    field(ConfigFields::PosFilterValue, r.posFilterValue, "posFilterValue");
    field(ConfigFields::PosFilterSpeed, r.posFilterSpeed, "posFilterSpeed");
    field(ConfigFields::VelocityFilterValue, r.velocityFilterValue, "velocityFilterValue");
    field(ConfigFields::VelocityFilterSpeed, r.velocityFilterSpeed, "velocityFilterSpeed");
    field(ConfigFields::MultiturnErrorArc, r.errorArc, "multiturnErrorArc");
    if (r.errorArcDegrees)
        json.Add("multiturnErrorArcDegrees", *r.errorArcDegrees);
    if (r.calibrationArcEnabled && *r.calibrationArcEnabled) {
        json.Add("calibrationArc", r.calibrationArc);
        text += "Calibration arc length (deg) = " + r.calibrationArc + "\n";
    }
    if (r.calibrationTimeoutEnabled && *r.calibrationTimeoutEnabled) {
        json.Add("calibrationTimeout", r.calibrationTimeout);
        text += "Calibration Timeout (sec) = " + r.calibrationTimeout + "\n";
    }
    field(ConfigFields::WriteProtect, r.writeProtect, "writeProtect");
    if (r.checksum) {
        json.Add("checksum", r.checksum->Text()).Add("checksumOk", r.checksum->Ok());
        text += ConfigChecksumText(*r.checksum) + (r.checksum->Ok() ? " (ok)\n" : " (wrong)\n");
    }
    c.Print(json, text);
    return r.checksum && !r.checksum->Ok() ? kExitFailed : kExitOk;
}

const char* PageName(ConfigPage page)
{
    return page == ConfigPage::Quenra ? "Quenra Config" : "Torvik Config";
}

int ConfigSet(CliContext& c, const std::string& name, const std::string& value)
{
    const ConfigFieldSlot* slot = FindConfigField(name);
    if (!slot)
        return UsageError(c, "config set: no configuration field \"" + name + "\" (" + ConfigFieldNames() + ")");
    if (!MakersEncoder(c))
        return Unreachable(c);
    Session& session = c.GetSession();
    const ConfigPage page = PageFor(session);
    const std::string caption = ConfigFieldCaption(slot->field);
    // A field the page does not write for this firmware would be reported
    // saved and never reach the encoder.
    const TEncoderSignature& signature = session.GetLink().EncoderSignature;
    if (!ConfigPageWrites(page, signature, slot->field.ref.address)) {
        c.Err() << "k417ctl: config set: the " << PageName(page) << " page does not write " << caption
                << " to this encoder (firmware " << signature.Zolvan_FWverStr << ")\n";
        return kExitFailed;
    }
    Service s(c);
    // The page as the read leaves it, then only this field written.
    const ConfigurationReading reading = s.actions.Read(page);
    if (!reading.ok) {
        c.PrintStatus(reading.statusText);
        return kExitFailed;
    }
    ConfigurationTexts texts;
    texts.*(slot->text) = value;
    if (slot->text == &ConfigurationTexts::writeProtect) {
        // The value typed into the page's write-protect field: the write
        // sends it, and the lock question is about it.
        long long number = 0;
        const std::string field =
            ParseCliNumber(value, number) && number >= 0 && number <= 255 ? WriteProtectText(static_cast<uint8_t>(number)) : value;
        (page == ConfigPage::Quenra ? session.Configuration().quenraWriteProtect : session.Configuration().writeProtect) = field;
    }
    const bool ok = s.actions.Write(page, texts);
    if (s.prompts.Refused())
        return kExitFailed;
    JsonObject json;
    json.Add("field", caption).Add("value", value).Add("saved", ok);
    if (ok)
        c.Print(json, caption + " = " + value + " saved\n");
    return Finish(c, ok);
}

int Config(CliContext& c, std::vector<std::string>& args)
{
    if (args.size() == 1 && args[0] == "get") {
        if (!MakersEncoder(c))
            return Unreachable(c);
        return ConfigGet(c);
    }
    if (args.size() == 3 && args[0] == "set")
        return ConfigSet(c, args[1], args[2]);
    return UsageError(c, "config takes get, or set FIELD VALUE");
}

// --- presets and commands -------------------------------------------------------

int PresetMultiturn(CliContext& c, std::vector<std::string>& args)
{
    long long value = 0;
    if (args.size() != 1 || !ParseCliNumber(args[0], value))
        return UsageError(c, "preset-mt takes the new multiturn counter");
    if (!MakersEncoder(c))
        return Unreachable(c);
    Service s(c);
    const bool ok = s.actions.NewMultiturn(PageFor(c.GetSession()), args[0]);
    JsonObject json;
    json.Add("multiturn", static_cast<int64_t>(value)).Add("done", ok);
    if (ok)
        c.Print(json, "Multiturn counter set to " + args[0] + "\n");
    return Finish(c, ok);
}

int Zero(CliContext& c, std::vector<std::string>& args)
{
    if (!args.empty())
        return UsageError(c, "zero takes no arguments");
    if (!MakersEncoder(c))
        return Unreachable(c);
    Service s(c);
    const ZeroPresetOutcome out = s.actions.SetZero(PageFor(c.GetSession()));
    std::string report = out.report;
    for (size_t at; (at = report.find("\r\n")) != std::string::npos;)
        report.replace(at, 2, "\n");
    // The report names the new zero: only printed when it is in the encoder.
    JsonObject json;
    json.Add("done", out.preset).Add("offset", out.newOffset).Add("report", report);
    if (out.preset)
        c.Print(json, report + "\n");
    return Finish(c, out.preset);
}

int FactoryReset(CliContext& c, std::vector<std::string>& args)
{
    if (!args.empty())
        return UsageError(c, "factory-reset takes no arguments");
    if (!c.Options().yes) {
        c.PrintStatus(kFactoryResetQuestion);
        c.Err() << "k417ctl: not confirmed; give --yes to answer Yes\n";
        return kExitFailed;
    }
    if (!MakersEncoder(c))
        return Unreachable(c);
    Service s(c);
    const bool ok = s.actions.FactoryReset(PageFor(c.GetSession()));
    JsonObject json;
    json.Add("done", ok);
    if (ok)
        c.Print(json, std::string(kFactoryResetDoneText) + "\n");
    return Finish(c, ok);
}

int ClearPersistent(CliContext& c, std::vector<std::string>& args)
{
    if (!args.empty())
        return UsageError(c, "clear-persistent takes no arguments");
    if (!MakersEncoder(c))
        return Unreachable(c);
    const EncoderOutcome out = ClearPersistentStatus(c.GetSession().GetLink());
    if (!out.ok) {
        c.PrintStatus(out.statusText);
        return kExitFailed;
    }
    JsonObject json;
    json.Add("cleared", true);
    c.Print(json, "Persistent status cleared\n");
    return kExitOk;
}

// --- calibrate ------------------------------------------------------------------

int Calibrate(CliContext& c, std::vector<std::string>& args)
{
    std::optional<long long> arc, timeout;
    std::string error;
    if (!TakeNumberOption(args, "--arc", 0, 65535, arc, error) ||
        !TakeNumberOption(args, "--timeout", std::numeric_limits<int32_t>::min(), 255, timeout, error))
        return UsageError(c, error);
    if (!args.empty())
        return UsageError(c, "calibrate takes only --arc DEG and --timeout S");
    // As the page refuses it, and before any traffic.
    if (timeout && *timeout < 0)
        return UsageError(c, kNegativeTimeoutText);
    if (!MakersEncoder(c))
        return Unreachable(c);
    Service s(c);
    // The page's fields as the configuration read fills them, then the options.
    c.Err() << "Calibrating: turn the shaft through the calibration arc\n";
    int64_t shown = -1;
    const CalibrationRun run = s.actions.Calibrate(
        arc ? std::to_string(*arc) : std::string(), timeout ? std::to_string(*timeout) : std::string(),
        [&](int64_t elapsedMs) {
            if (elapsedMs / 1000 != shown) {
                shown = elapsedMs / 1000;
                c.Err() << "  " << shown << " s\n";
            }
        },
        [] {});
    if (run.start.result != CalibrationStart::Result::Started) {
        if (!run.start.conversionError.empty())
            c.PrintStatus(run.start.conversionError);
        return Finish(c, false);
    }
    const CalibrationReading& r = run.reading;
    std::string report = r.report ? *r.report : std::string();
    for (size_t at; (at = report.find("\r\n")) != std::string::npos;)
        report.replace(at, 2, "\n");
    const bool succeeded = run.Succeeded();
    JsonObject json;
    json.Add("succeeded", succeeded).Add("flags", static_cast<int>(r.status.flags)).Add("report", report);
    c.Print(json, std::string(succeeded ? "Calibration successful\n" : "Calibration failed\n") + report +
                      (report.empty() ? "" : "\n"));
    return succeeded ? kExitOk : kExitFailed;
}

// --- status ---------------------------------------------------------------------

std::string Hex4(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", value & 0xFFFFu);
    return text;
}

// The captions of the lamps a status word lights.
std::string LitLamps(uint16_t word)
{
    std::string lit;
    for (const TorvikStatusBit& bit : kTorvikStatusBits)
        if (word & bit.mask)
            lit += std::string(lit.empty() ? "" : ", ") + bit.caption;
    return lit;
}

std::string OrNone(const std::string& list)
{
    return list.empty() ? "none" : list;
}

int TorvikStatusCommand(CliContext& c)
{
    Session& session = c.GetSession();
    const TorvikStatusReading r = ReadTorvikStatusNow(session);
    TorvikStatusReadout& readout = session.TorvikStatus();
    // The persistent status, every bit raised since it was last cleared, as
    // the page's "Show Persistent Status" reads it.
    std::optional<uint16_t> persistent;
    if (r.valuesRead && FirmwareGate::HasPersistentStatus(session.GetLink().EncoderSignature.Zolvan_FWverSVN)) {
        SelectPersistentStatusBank(session.GetLink(), session.Identity());
        readout.SetPageShown(true);
        readout.SetShowPersistent(true);
        session.MonitorTick();
        readout.SetShowPersistent(false);
        readout.SetPageShown(false);
        if (readout.Reading().valuesRead)
            persistent = readout.Reading().word;
    }
    if (!r.valuesRead) {
        c.PrintStatus(c.LastStatus().text);
        return kExitFailed;
    }
    JsonObject json;
    json.Add("word", Hex4(r.word)).Add("bits", r.bitsText).Add("lamps", LitLamps(r.word))
        .Add("temperature", r.temperatureText).Add("signal", r.signalText).Add("velocity", r.velocityText)
        .Add("airGap", r.airGapText);
    std::string text = "Status:       " + Hex4(r.word) + "  " + r.bitsText + "\n" + "Lamps:        " +
                       OrNone(LitLamps(r.word)) + "\n" + "Temperature:  " + r.temperatureText + "\n" +
                       "Signal level: " + r.signalText + "\n" + "Velocity:     " + r.velocityText + "\n" + r.airGapText +
                       "\n";
    if (persistent) {
        json.Add("persistent", Hex4(*persistent)).Add("persistentLamps", LitLamps(*persistent));
        text += "Persistent:   " + Hex4(*persistent) + "  " + OrNone(LitLamps(*persistent)) + "\n";
    }
    c.Print(json, text);
    return kExitOk;
}

int QuenraStatusCommand(CliContext& c)
{
    const QuenraStatusReading r = ReadQuenraStatusNow(c.GetSession());
    if (!r.complete) {
        c.PrintStatus(c.LastStatus().text);
        return kExitFailed;
    }
    std::string lamps, bbm;
    for (const QuenraStatusLamp& lamp : kQuenraStatusLamps)
        if (QuenraLampColour(lamp, r.heldWord) != IndicatorColour::Grey)
            lamps += std::string(lamps.empty() ? "" : ", ") + lamp.caption;
    for (const BbmLamp& lamp : kBbmLamps)
        if (r.bbm & lamp.mask)
            bbm += std::string(bbm.empty() ? "" : ", ") + lamp.caption;
    JsonObject json;
    json.Add("word", Hex4(r.heldWord)).Add("bits", r.bitsText.value_or("")).Add("lamps", lamps)
        .Add("temperature", r.temperatureText.value_or("")).Add("velocity", r.velocityText.value_or(""))
        .Add("signal", r.signalText.value_or("")).Add("bbm", r.bbmText.value_or("")).Add("bbmLamps", bbm)
        .Add("airGap", r.airGapText);
    c.Print(json, "Status:       " + Hex4(r.heldWord) + "  " + r.bitsText.value_or("") + "\n" +
                      "Lamps:        " + OrNone(lamps) + "\n" +
                      "Temperature:  " + r.temperatureText.value_or("") + "\n" +
                      "Velocity:     " + r.velocityText.value_or("") + "\n" +
                      "Signal level: " + r.signalText.value_or("") + "\n" + "BBM status:   " +
                      r.bbmText.value_or("") + "  " + OrNone(bbm) + "\n" + r.airGapText + "\n");
    return kExitOk;
}

int Status(CliContext& c, std::vector<std::string>& args)
{
    if (!args.empty())
        return UsageError(c, "status takes no arguments");
    if (!MakersEncoder(c))
        return Unreachable(c);
    return c.GetSession().Capabilities().family == EncoderFamily::Quenra ? QuenraStatusCommand(c)
                                                                          : TorvikStatusCommand(c);
}

} // namespace

void AddServiceSubcommands(std::vector<Subcommand>& list)
{
    list.push_back({"config", "get | set FIELD VALUE",
                    "the configuration bank; FIELD in the captions' notation, e.g. 0.18", Config});
    list.push_back({"preset-mt", "VALUE", "a new multiturn counter", PresetMultiturn});
    list.push_back({"zero", "", "zero at the current shaft position", Zero});
    list.push_back({"factory-reset", "", "back to factory settings (needs --yes)", FactoryReset});
    list.push_back({"clear-persistent", "", "clears the persistent status", ClearPersistent});
    list.push_back({"calibrate", "[--arc DEG] [--timeout S]", "self-calibration, progress on stderr", Calibrate});
    list.push_back({"status", "", "the Torvik or Quenra status and the persistent status", Status});
}
