// The step kinds of a test plan. Each is one function over the session and
// the actions that already serve the window and k417ctl; none talks to the
// encoder any other way.

#include "production/StepContext.h"
#include "production/StepKinds.h"
#include "production/Validators.h"

#include "chart/ChartExport.h"
#include "chart/ErrorMapChart.h"
#include "encoder/ErrorMap.h"
#include "encoder/QuenraStatus.h"
#include "encoder/UserMemory.h"
#include "monitor/TorvikStatus.h"
#include "util/CsvFile.h"
#include "util/NumberText.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

StepRecord Errored(std::string message)
{
    StepRecord r;
    r.outcome = Outcome::Error;
    r.message = std::move(message);
    return r;
}

StepRecord Judged(std::vector<Measurement> measurements)
{
    StepRecord r;
    r.measurements = std::move(measurements);
    r.outcome = Judge(r.measurements);
    return r;
}

// The encoder's reason for the last failure, as the status line shows it.
std::string LinkFailure(const Session& session, const std::string& doing)
{
    const std::string& why = session.GetLink().LastErrorText;
    return doing + (why.empty() ? std::string() : ": " + StatusLineText(why));
}

// A family as plans name it: "torvik", "quenra", "linear", or "other".
std::string FamilyKey(EncoderFamily family)
{
    std::string key = FamilyText(family);
    std::transform(key.begin(), key.end(), key.begin(), [](unsigned char ch) { return std::tolower(ch); });
    return key.empty() ? "other" : key;
}

ConfigPage PageFor(const Session& session)
{
    return session.Capabilities().family == EncoderFamily::Quenra ? ConfigPage::Quenra : ConfigPage::Torvik;
}

bool MakersEncoder(const Session& session)
{
    return session.Capabilities().identified && session.Capabilities().family != EncoderFamily::Unidentified;
}

StepRecord NotMakers()
{
    return Errored("Not one of the maker's encoders: the service functions do not apply");
}

// A file written by an action, read back whole; a temporary name of its own.
class TemporaryFile {
public:
    explicit TemporaryFile(const char* extension)
    {
        char pattern[] = "/tmp/k417-step-XXXXXX";
        const int fd = ::mkstemp(pattern);
        if (fd >= 0)
            ::close(fd);
        base_ = pattern;
        path_ = base_ + extension;
    }
    ~TemporaryFile()
    {
        std::remove(path_.c_str());
        std::remove(base_.c_str());
    }
    const std::string& Path() const { return path_; }
    std::string Content() const
    {
        std::ifstream in(path_, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }

private:
    std::string base_, path_;
};

// --- identify -------------------------------------------------------------------

StepRecord Identify(StepContext& c, const PlanStep& s)
{
    const IdentificationOutcome id = c.session.Identify();
    if (!id.ok)
        return Errored(StatusLineText(id.statusText));
    // The datasheet belongs to the identification, as the monitor cycle reads them together.
    c.session.ReadDatasheet();
    const TEncoderSignature& sig = c.session.GetLink().EncoderSignature;
    std::vector<Measurement> m;
    const std::string family = id.signatureRead ? FamilyKey(id.family.family) : "other";
    if (!c.plan.family.empty())
        m.push_back(TextEquals("family", family, c.plan.family));
    m.push_back(s.Has("part_number") ? TextMatches("part_number", sig.Zolvan_PartNumber, s.Text("part_number"))
                                     : TextEquals("part_number", sig.Zolvan_PartNumber, sig.Zolvan_PartNumber));
    m.push_back(InRange("firmware_build", sig.Zolvan_FWverSVN, s.OptionalNumber("min_firmware"), std::nullopt));
    StepRecord r;
    if (!c.identity.labelSerial.empty()) {
        std::string label = c.identity.labelSerial, decoded = sig.Zolvan_SerialDecoded;
        for (std::string* t : {&label, &decoded})
            std::transform(t->begin(), t->end(), t->begin(), [](unsigned char ch) { return std::toupper(ch); });
        m.push_back(Holds("label_serial_match", !decoded.empty() && label == decoded));
        if (label != decoded)
            r.message = "label serial " + c.identity.labelSerial + ", encoder serial " + sig.Zolvan_SerialDecoded;
    }
    StepRecord judged = Judged(std::move(m));
    judged.message = r.message;
    return judged;
}

// --- datasheet ------------------------------------------------------------------

StepRecord Datasheet(StepContext& c, const PlanStep& s)
{
    const EdsReadOutcome out = c.session.ReadDatasheet();
    if (!out.started)
        return Errored("The encoder names no datasheet bank");
    if (out.statusOk && !*out.statusOk)
        return Errored(StatusLineText(out.statusText));
    std::vector<Measurement> m;
    m.push_back(Holds("common_checksum_ok", out.commonChecksum && out.commonChecksum->ok));
    m.push_back(Holds("profile_checksum_ok", out.profileChecksum && out.profileChecksum->ok));
    for (const auto& [key, bits] : {std::pair<const char*, int EdsFieldLengths::*>{"singleturn_bits", &EdsFieldLengths::singleturn},
                                    {"multiturn_bits", &EdsFieldLengths::multiturn}}) {
        if (!s.Has(key))
            continue;
        if (!out.fieldLengths)
            return Errored("The datasheet gives no position field lengths");
        m.push_back(Equals(key, (*out.fieldLengths).*bits, s.Number(key, 0), "bits"));
    }
    return Judged(std::move(m));
}

// --- config ---------------------------------------------------------------------

std::vector<ParamFault> CheckConfig(const PlanStep& s)
{
    std::vector<ParamFault> faults;
    for (const char* key : {"set", "expect"}) {
        const ParamValue* p = s.Find(key);
        if (!p)
            continue;
        for (const auto& [field, value] : p->registers) {
            if (!FindConfigField(field))
                faults.push_back({std::string(key) + "." + field,
                                  "no configuration field \"" + field + "\" (" + ConfigFieldNames() + ")"});
            else if (value < 0 || value > 0xFFFFFFFFLL)
                faults.push_back({std::string(key) + "." + field, "the value lies outside 0 to 4294967295"});
        }
    }
    if (!s.Has("set") && !s.Has("expect"))
        faults.push_back({"set", "a config step needs set or expect"});
    return faults;
}

std::string FieldName(const ConfigFieldSlot& slot)
{
    const std::string notation = FormatRegisterRef(slot.field.ref);
    return notation.substr(0, notation.rfind('.'));
}

StepRecord Config(StepContext& c, const PlanStep& s)
{
    if (!MakersEncoder(c.session))
        return NotMakers();
    const ConfigPage page = PageFor(c.session);
    ConfigurationReading reading = c.actions.Read(page);
    if (!reading.ok)
        return Errored(StatusLineText(reading.statusText));
    std::vector<std::pair<const ConfigFieldSlot*, long long>> wanted;
    if (const ParamValue* set = s.Find("set")) {
        ConfigurationTexts texts;
        for (const auto& [field, value] : set->registers) {
            const ConfigFieldSlot* slot = FindConfigField(field);
            texts.*(slot->text) = std::to_string(value);
            wanted.emplace_back(slot, value);
        }
        if (!c.actions.Write(page, texts)) {
            const std::string told = c.prompts.Take();
            return Errored(told.empty() ? LinkFailure(c.session, "The configuration was not stored") : told);
        }
        reading = c.actions.Read(page);
        if (!reading.ok)
            return Errored(StatusLineText(reading.statusText));
    }
    if (const ParamValue* expect = s.Find("expect"))
        for (const auto& [field, value] : expect->registers)
            wanted.emplace_back(FindConfigField(field), value);
    std::vector<Measurement> m;
    for (const auto& [slot, value] : wanted) {
        const std::optional<std::string>& text = reading.*(slot->reading);
        if (!text)
            return Errored("The configuration field " + FieldName(*slot) + " is not read on this encoder");
        m.push_back(Equals("config " + FieldName(*slot), static_cast<double>(FieldValue(*text)),
                           static_cast<double>(value)));
    }
    return Judged(std::move(m));
}

// --- usermem --------------------------------------------------------------------

StepRecord UserMemory(StepContext& c, const PlanStep& s)
{
    const std::string path = PlanRelativePath(c.plan, s.Text("file"));
    CsvLineReader planned;
    if (!planned.Open(path))
        return Errored(StatusLineText(planned.ErrorText()));
    Link& link = c.session.GetLink();
    const UserBankRange range = UserBanksOf(link);
    if (!range.Declared())
        return Errored("The encoder's datasheet declares no user memory");
    const std::map<unsigned, TBiSS_bank> expected = UserMemoryImage(range, planned);
    if (planned.Failed())
        return Errored(StatusLineText(planned.ErrorText()));
    if (expected.empty())
        return Errored(path + " holds no line for the encoder's user banks (" + std::to_string(range.first) + "-" +
                       std::to_string(range.last) + ")");
    CsvLineReader lines;
    if (!lines.Open(path))
        return Errored(StatusLineText(lines.ErrorText()));
    const UserMemoryLoadOutcome load = LoadUserMemoryLines(link, range, lines, {}, c.control.waits.blocking);
    UsePointAsDecimalSeparator();
    if (!load.trafficOk)
        return Errored(StatusLineText(load.statusText));
    // Read back through the save of the user memory, into a file of the tool's own form.
    TemporaryFile back(".csv");
    const UserMemorySaveOutcome save = SaveUserMemoryFile(link, range, link.EncoderSignature, back.Path(), {});
    if (!save.fileError.empty())
        return Errored(StatusLineText(save.fileError));
    if (!save.ReadOk())
        return Errored(StatusLineText(save.statusText));
    CsvLineReader saved;
    if (!saved.Open(back.Path()))
        return Errored(StatusLineText(saved.ErrorText()));
    const std::map<unsigned, TBiSS_bank> found = UserMemoryImage(range, saved);
    int differing = 0;
    std::string first;
    for (const auto& [bank, values] : expected) {
        const auto it = found.find(bank);
        for (size_t a = 0; a < values.size(); ++a)
            if (it == found.end() || it->second[a] != values[a]) {
                if (differing++ == 0)
                    first = "first difference: bank " + std::to_string(bank) + ", address " + std::to_string(a);
            }
    }
    StepRecord r = Judged({Holds("usermem_match", differing == 0), Recorded("usermem_banks", static_cast<double>(expected.size()))});
    if (differing)
        r.message = std::to_string(differing) + " registers differ; " + first;
    return r;
}

// --- errmap ---------------------------------------------------------------------

StepRecord ErrorMapStep(StepContext& c, const PlanStep& s)
{
    Link& link = c.session.GetLink();
    const int pageCount = ErrorMapPageCount(link.EncoderSignature);
    const ErrorMapReadOutcome out = ReadErrorMap(link, pageCount, {});
    if (!out.ok)
        return Errored(StatusLineText(out.statusText));
    std::vector<Measurement> m;
    m.push_back(Holds("errmap_checksums_ok", out.ChecksumsOk()));
    const auto [low, high] = std::minmax_element(out.curve.begin(), out.curve.end());
    const double peakToPeak = out.curve.empty() ? 0 : *high - *low;
    m.push_back(InRange("peak_to_peak", peakToPeak, std::nullopt, s.OptionalNumber("max_peak_to_peak"), "counts"));
    StepRecord r = Judged(std::move(m));
    if (!out.ChecksumsOk()) {
        std::string report = out.checksumText;
        std::replace(report.begin(), report.end(), '\r', ' ');
        std::replace(report.begin(), report.end(), '\n', ';');
        r.message = "stored checksums do not match: " + report;
    }
    // The map as its file and its chart, kept with the record.
    TemporaryFile csv(".csv");
    if (WriteErrorMapFile(csv.Path(), link.EncoderSignature, out.pages, pageCount).empty())
        r.attachments.push_back({"errmap.csv", "text/csv", csv.Content()});
    UsePointAsDecimalSeparator();
    ChartModel chart;
    SetUpErrorMapChart(chart);
    DrawErrorMapCurve(chart, out.curve, pageCount);
    TemporaryFile svg(".svg");
    if (SaveChartFile(chart, svg.Path()))
        r.attachments.push_back({"errmap.svg", "image/svg+xml", svg.Content()});
    return r;
}

// --- calibrate ------------------------------------------------------------------

StepRecord Calibrate(StepContext& c, const PlanStep& s)
{
    if (!MakersEncoder(c.session))
        return NotMakers();
    const std::string arc = s.Has("arc") ? std::to_string(static_cast<long long>(s.Number("arc", 0))) : "";
    const std::string timeout = s.Has("timeout") ? std::to_string(static_cast<long long>(s.Number("timeout", 0))) : "";
    const CalibrationRun run = c.actions.Calibrate(arc, timeout, [](int64_t) {}, [&c] { c.Serve(); });
    if (run.start.result != CalibrationStart::Result::Started) {
        const std::string told = c.prompts.Take();
        return Errored(!told.empty() ? told : LinkFailure(c.session, "The calibration did not start"));
    }
    if (!run.reading.statusRead)
        return Errored(LinkFailure(c.session, "The calibration status could not be read"));
    std::vector<Measurement> m;
    m.push_back(Holds("calibration_ok", run.Succeeded()));
    if (run.reading.results) {
        const CalibrationResults& results = *run.reading.results;
        m.push_back(InRange("eccentricity_um", results.eccentricityUm, std::nullopt,
                            s.OptionalNumber("max_eccentricity_um"), "µm"));
        const bool noCorrection = (run.reading.status.flags & kCalNoCorrectionFlag) != 0;
        const std::optional<CalibrationAccuracy> accuracy =
            EstimateAccuracy(results.eccentricityUm, c.session.Identity().PremerKodeRinga, noCorrection);
        // No accuracy is estimated without the code ring's diameter: a limit
        // on it cannot be judged on such a unit.
        if (accuracy)
            m.push_back(InRange("accuracy_after_deg", std::round(accuracy->after * 1e4) / 1e4, std::nullopt,
                                s.OptionalNumber("max_accuracy_after_deg"), "°"));
        else if (s.Has("max_accuracy_after_deg"))
            return Errored("The accuracy cannot be estimated: the code ring's diameter of this encoder is unknown");
    } else if (s.Has("max_eccentricity_um") || s.Has("max_accuracy_after_deg")) {
        return Errored("The encoder's firmware keeps no calibration results");
    }
    StepRecord r = Judged(std::move(m));
    if (!run.Succeeded()) {
        std::string why = !run.answered ? "the encoder did not answer within the time-out" : "";
        const uint8_t flags = run.reading.status.flags;
        if (flags & kCalTimeoutFlag)
            why = "time-out: the shaft did not turn through the arc";
        else if (flags & kCalArcOutOfRangeFlag)
            why = "arc length out of range";
        else if (flags & kCalOutOfRangeFlag)
            why = "eccentricity out of range";
        r.message = "calibration failed" + (why.empty() ? std::string() : ": " + why);
    }
    return r;
}

// --- status ---------------------------------------------------------------------

bool LampKnown(const std::string& caption)
{
    for (const TorvikStatusBit& bit : kTorvikStatusBits)
        if (caption == bit.caption)
            return true;
    for (const QuenraStatusLamp& lamp : kQuenraStatusLamps)
        if (caption == lamp.caption)
            return true;
    return false;
}

std::vector<ParamFault> CheckStatus(const PlanStep& s)
{
    std::vector<ParamFault> faults;
    if (const ParamValue* lamps = s.Find("lamps_off")) {
        if (lamps->list.empty() && lamps->text != "all")
            faults.push_back({"lamps_off", "wants \"all\" or a list of lamp captions"});
        for (const std::string& caption : lamps->list)
            if (!LampKnown(caption))
                faults.push_back({"lamps_off", "no lamp \"" + caption + "\" on the status pages"});
    }
    return faults;
}

// Lamps that must be off: each lamp the plan names (or every lamp) and whether it is lit.
void JudgeLamps(const PlanStep& s, const std::vector<std::pair<std::string, bool>>& lamps, std::vector<Measurement>& m)
{
    const ParamValue* wanted = s.Find("lamps_off");
    if (!wanted)
        return;
    for (const auto& [caption, lit] : lamps) {
        const bool named = wanted->list.empty() || std::find(wanted->list.begin(), wanted->list.end(), caption) != wanted->list.end();
        if (named)
            m.push_back(TextEquals("lamp " + caption, lit ? "on" : "off", "off"));
    }
}

std::optional<double> Low(const PlanStep& s, const char* key)
{
    const ParamValue* p = s.Find(key);
    return p ? std::optional<double>(p->low) : std::nullopt;
}

std::optional<double> High(const PlanStep& s, const char* key)
{
    const ParamValue* p = s.Find(key);
    return p ? std::optional<double>(p->high) : std::nullopt;
}

StepRecord Status(StepContext& c, const PlanStep& s)
{
    if (!MakersEncoder(c.session))
        return NotMakers();
    std::vector<std::pair<std::string, bool>> lamps;
    double temperature = 0, signal = 0, airGapUm = 0;
    if (c.session.Capabilities().family == EncoderFamily::Quenra) {
        const QuenraStatusReading r = ReadQuenraStatusNow(c.session);
        if (!r.complete)
            return Errored(LinkFailure(c.session, "The status could not be read"));
        for (const QuenraStatusLamp& lamp : kQuenraStatusLamps)
            lamps.emplace_back(lamp.caption, QuenraLampColour(lamp, r.heldWord) != IndicatorColour::Grey);
        temperature = r.temperatureTenths / 10.0;
        signal = r.signalLevel;
        airGapUm = static_cast<double>(r.airGap) * 1000.0;
    } else {
        const TorvikStatusReading r = ReadTorvikStatusNow(c.session);
        if (!r.valuesRead)
            return Errored(LinkFailure(c.session, "The status could not be read"));
        for (const TorvikStatusBit& bit : kTorvikStatusBits)
            lamps.emplace_back(bit.caption, (r.word & bit.mask) != 0);
        temperature = r.temperature;
        signal = r.signalLevel;
        airGapUm = static_cast<double>(r.airGap);
    }
    c.session.StopMonitor();
    std::vector<Measurement> m;
    JudgeLamps(s, lamps, m);
    m.push_back(InRange("temperature", temperature, Low(s, "temperature"), High(s, "temperature"), "°C"));
    m.push_back(InRange("signal_level", signal, Low(s, "signal_level"), High(s, "signal_level")));
    m.push_back(InRange("air_gap_um", std::round(airGapUm), Low(s, "air_gap_um"), High(s, "air_gap_um"), "µm"));
    return Judged(std::move(m));
}

// --- position -------------------------------------------------------------------

StepRecord Position(StepContext& c, const PlanStep& s)
{
    Link& link = c.session.GetLink();
    const long long count = static_cast<long long>(s.Number("count", 100));
    const int interval = static_cast<int>(s.Number("interval_ms", 1));
    const uint32_t period = link.PositionSTLength >= 32 ? 0 : (uint32_t{1} << link.PositionSTLength);
    long long crc = 0, errors = 0, warnings = 0, timeouts = 0, good = 0;
    // Welford's running mean and variance of the singleturn value, unwrapped around the first word.
    double mean = 0, m2 = 0;
    std::optional<uint32_t> first;
    // The interval is the period of the reads: each is due interval_ms after
    // the one before it was due, so the time a read and a wait take beyond
    // their share does not add up over the count.
    const auto start = std::chrono::steady_clock::now();
    for (long long n = 0; n < count; ++n) {
        if (c.Stopped())
            return {};
        if (n > 0 && interval > 0) {
            const auto due = start + std::chrono::milliseconds(n * interval);
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(due - std::chrono::steady_clock::now());
            if (left.count() > 0)
                c.control.waits.serving(static_cast<int>(left.count()));
        }
        link.ReadPosition();
        const TEncoderPosition& p = link.EncoderPosition;
        if (p.ErrComm < -1)
            return Errored(LinkFailure(c.session, "The box is lost"));
        if (p.ErrComm != 0 || p.ErrTimeout) {
            ++timeouts;
            continue;
        }
        if (p.ErrCRC) {
            ++crc;
            continue;
        }
        errors += p.ErrBit;
        warnings += p.WarnBit;
        if (!first)
            first = p.ST_value;
        double delta = static_cast<double>(p.ST_value) - static_cast<double>(*first);
        if (period && delta > period / 2.0)
            delta -= period;
        else if (period && delta < -(period / 2.0))
            delta += period;
        ++good;
        const double d = delta - mean;
        mean += d / static_cast<double>(good);
        m2 += d * (delta - mean);
    }
    // Words that came with a bad CRC were measured; no word at all was not.
    if (good == 0 && crc == 0)
        return Errored("No position word came through (" + std::to_string(timeouts) + " time-outs, " +
                       std::to_string(crc) + " CRC errors)");
    const double noise = good > 1 ? std::sqrt(m2 / static_cast<double>(good - 1)) : 0;
    std::vector<Measurement> m;
    m.push_back(InRange("crc_errors", static_cast<double>(crc), std::nullopt, s.Number("max_crc_errors", 0)));
    m.push_back(InRange("error_bits", static_cast<double>(errors), std::nullopt, s.Number("max_error_bits", 0)));
    m.push_back(InRange("warning_bits", static_cast<double>(warnings), std::nullopt, s.Number("max_warning_bits", 0)));
    m.push_back(InRange("timeouts", static_cast<double>(timeouts), std::nullopt, s.Number("max_timeouts", 0)));
    if (good > 0)
        m.push_back(InRange("noise_counts", std::round(noise * 100) / 100, std::nullopt,
                            s.OptionalNumber("max_noise_counts"), "counts"));
    return Judged(std::move(m));
}

// --- zero -----------------------------------------------------------------------

StepRecord Zero(StepContext& c, const PlanStep& s)
{
    if (!MakersEncoder(c.session))
        return NotMakers();
    const ZeroPresetOutcome out = c.actions.SetZero(PageFor(c.session));
    const std::string told = c.prompts.Take();
    if (!out.preset || !told.empty())
        return Errored(told.empty() ? LinkFailure(c.session, "The zero was not set") : told);
    Link& link = c.session.GetLink();
    link.ReadPosition();
    const TEncoderPosition& p = link.EncoderPosition;
    if (p.ErrComm != 0 || p.ErrTimeout || p.ErrCRC)
        return Errored(LinkFailure(c.session, "No good position word after the zero"));
    const uint64_t period = link.PositionSTLength >= 32 ? (uint64_t{1} << 32) : (uint64_t{1} << link.PositionSTLength);
    const uint64_t value = p.ST_value;
    const double distance = static_cast<double>(std::min<uint64_t>(value, period - value));
    return Judged({InRange("after_zero_counts", distance, std::nullopt, s.Number("max_after_counts", 0), "counts")});
}

// --- power_cycle ----------------------------------------------------------------

StepRecord PowerCycle(StepContext& c, const PlanStep& s)
{
    const int cycles = static_cast<int>(s.Number("cycles", 1));
    const int offMs = static_cast<int>(s.Number("off_ms", 500));
    Link& link = c.session.GetLink();
    int answered = 0;
    for (int n = 0; n < cycles; ++n) {
        if (c.Stopped())
            return {};
        c.session.Select(false);
        c.control.waits.blocking(offMs);
        c.session.Select(true);
        // As every power cycle of the tool: the encoder answers 200 ms after its supply is on.
        c.control.waits.blocking(200);
        bool good = true;
        for (int word = 0; word < 3 && good; ++word) {
            link.ReadPosition();
            const TEncoderPosition& p = link.EncoderPosition;
            if (p.ErrComm < -1)
                return Errored(LinkFailure(c.session, "The box is lost"));
            good = p.ErrComm == 0 && !p.ErrTimeout && !p.ErrCRC && !p.ErrBit;
        }
        answered += good;
        c.Serve();
    }
    return Judged({InRange("cycles_answered", answered, cycles, std::nullopt)});
}

// --- prompt ---------------------------------------------------------------------

// Keys that count something must count at least one.
std::vector<ParamFault> AtLeastOne(const PlanStep& s, std::initializer_list<const char*> keys)
{
    std::vector<ParamFault> faults;
    for (const char* key : keys)
        if (s.Has(key) && s.Number(key, 1) < 1)
            faults.push_back({key, "wants 1 or more"});
    return faults;
}

std::vector<ParamFault> CheckPosition(const PlanStep& s)
{
    return AtLeastOne(s, {"count"});
}

std::vector<ParamFault> CheckPowerCycle(const PlanStep& s)
{
    return AtLeastOne(s, {"cycles"});
}

std::vector<ParamFault> CheckPrompt(const PlanStep& s)
{
    if (s.Text("text").empty())
        return {{"text", "a prompt step needs the text the operator reads"}};
    return {};
}

StepRecord PromptStep(StepContext& c, const PlanStep& s)
{
    if (!c.observer.Prompt(s.Text("text")))
        return {};
    StepRecord r;
    r.outcome = Outcome::Pass;
    return r;
}

std::vector<ParamFault> CheckUserMemory(const PlanStep& s)
{
    if (s.Text("file").empty())
        return {{"file", "a usermem step needs the file to load"}};
    return {};
}

} // namespace

std::string StepPrompts::Take()
{
    std::string text;
    for (const std::string& m : messages_)
        text += (text.empty() ? "" : "; ") + StatusLineText(m);
    messages_.clear();
    return text;
}

std::string StatusLineText(const std::string& statusText)
{
    std::string text;
    for (size_t i = 0; i < statusText.size(); ++i) {
        const char ch = statusText[i];
        if (ch == '\r' || ch == '\n') {
            if (ch == '\r' && i + 1 < statusText.size() && statusText[i + 1] == '\n')
                ++i;
            if (!text.empty() && text.back() != ' ')
                text += text.back() == ':' ? " " : ": ";
            continue;
        }
        text += ch;
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == ':'))
        text.pop_back();
    return text;
}

const std::vector<StepKind>& StepKinds()
{
    using P = ParamType;
    static const std::vector<StepKind> kinds = {
        {"identify", {{"part_number", P::Text}, {"min_firmware", P::Integer}}, nullptr, Identify},
        {"datasheet", {{"singleturn_bits", P::Integer}, {"multiturn_bits", P::Integer}}, nullptr, Datasheet},
        {"config", {{"set", P::RegisterValues}, {"expect", P::RegisterValues}}, CheckConfig, Config},
        {"usermem", {{"file", P::Text}}, CheckUserMemory, UserMemory},
        {"errmap", {{"max_peak_to_peak", P::Number}}, nullptr, ErrorMapStep},
        {"calibrate",
         {{"arc", P::Integer}, {"timeout", P::Integer}, {"max_eccentricity_um", P::Number},
          {"max_accuracy_after_deg", P::Number}},
         nullptr, Calibrate},
        {"status",
         {{"lamps_off", P::TextOrList}, {"temperature", P::Range}, {"signal_level", P::Range}, {"air_gap_um", P::Range}},
         CheckStatus, Status},
        {"position",
         {{"count", P::Integer}, {"interval_ms", P::Integer}, {"max_crc_errors", P::Integer},
          {"max_error_bits", P::Integer}, {"max_warning_bits", P::Integer}, {"max_timeouts", P::Integer},
          {"max_noise_counts", P::Number}},
         CheckPosition, Position},
        {"zero", {{"max_after_counts", P::Integer}}, nullptr, Zero},
        {"power_cycle", {{"cycles", P::Integer}, {"off_ms", P::Integer}}, CheckPowerCycle, PowerCycle},
        {"prompt", {{"text", P::Text}}, CheckPrompt, PromptStep},
    };
    return kinds;
}

const StepKind* FindStepKind(std::string_view kind)
{
    for (const StepKind& k : StepKinds())
        if (kind == k.kind)
            return &k;
    return nullptr;
}
