#include "cli/Commands.h"

#include "biss/Identification.h"
#include "link/PortDiagnosis.h"
#include "link/PortList.h"
#include "link/PowerCycle.h"
#include "monitor/PositionDisplay.h"
#include "util/Text.h"

#include <chrono>
#include <cstdio>
#include <ostream>
#include <sstream>

namespace {

std::string Lines(const std::string& crlfText)
{
    std::string out;
    for (size_t i = 0; i < crlfText.size(); ++i) {
        if (crlfText[i] == '\r' && i + 1 < crlfText.size() && crlfText[i + 1] == '\n')
            continue;
        out += crlfText[i] == '\r' ? '\n' : crlfText[i];
    }
    return out;
}

const char* FamilyName(EncoderFamily family)
{
    switch (family) {
    case EncoderFamily::Torvik:
        return "Torvik";
    case EncoderFamily::Quenra:
        return "Quenra";
    case EncoderFamily::Linear:
        return "linear";
    case EncoderFamily::Unidentified:
        break;
    }
    return "unidentified";
}

const char* VerdictName(PortDiagnosis::Verdict verdict)
{
    switch (verdict) {
    case PortDiagnosis::Verdict::Box:
        return "box";
    case PortDiagnosis::Verdict::OtherDevice:
        return "other";
    case PortDiagnosis::Verdict::Silent:
        return "silent";
    case PortDiagnosis::Verdict::NoPermission:
        return "permission";
    case PortDiagnosis::Verdict::Busy:
        return "busy";
    case PortDiagnosis::Verdict::CannotOpen:
        break;
    }
    return "unusable";
}

std::string Hex(uint64_t value, int digits)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%0*llX", digits, static_cast<unsigned long long>(value));
    return text;
}

// The arguments left must be exactly the positional ones.
bool NoOptionsLeft(CliContext& c, const std::vector<std::string>& args)
{
    for (const std::string& a : args)
        if (a.size() > 1 && a[0] == '-' && !(a[1] >= '0' && a[1] <= '9')) {
            UsageError(c, "unknown option " + a);
            return false;
        }
    return true;
}

// --- ports --------------------------------------------------------------------

int Ports(CliContext& c, std::vector<std::string>& args)
{
    if (!NoOptionsLeft(c, args) || !args.empty())
        return args.empty() ? kExitUsage : UsageError(c, "ports takes no arguments");
    const std::vector<std::string> ports = c.CandidatePorts();
    bool anyBox = false;
    std::string text;
    for (const std::string& path : ports) {
        const PortDiagnosis d = DiagnosePort(path);
        anyBox = anyBox || d.verdict == PortDiagnosis::Verdict::Box;
        JsonObject json;
        json.Add("port", d.path).Add("verdict", VerdictName(d.verdict));
        if (!d.reply.empty())
            json.Add("reply", d.reply);
        if (!d.detail.empty())
            json.Add("detail", d.detail);
        const std::optional<UsbIds> ids = UsbIdsOf(path);
        if (ids)
            json.Add("usbVendor", ids->vendor).Add("usbProduct", ids->product).Add("udevRule", UdevRuleFor(*ids));
        if (c.Json()) {
            c.Print(json, {});
            continue;
        }
        text += d.path + "  " + (d.verdict == PortDiagnosis::Verdict::Box ? d.reply : d.detail) + "\n";
        if (ids) {
            text += "  USB " + ids->vendor + ":" + ids->product + "\n";
            // The rule that keeps ModemManager away and gives users access, ready for /etc/udev/rules.d/.
            if (d.verdict == PortDiagnosis::Verdict::Box || d.verdict == PortDiagnosis::Verdict::NoPermission ||
                d.verdict == PortDiagnosis::Verdict::Busy)
                text += "  udev rule: " + UdevRuleFor(*ids) + "\n";
        }
    }
    if (!c.Json()) {
        if (ports.empty())
            text = "no USB serial port found\n";
        c.Print({}, text);
    }
    return anyBox ? kExitOk : kExitNoBox;
}

// --- info -----------------------------------------------------------------------

int Info(CliContext& c, std::vector<std::string>& args)
{
    if (!NoOptionsLeft(c, args))
        return kExitUsage;
    if (!args.empty())
        return UsageError(c, "info takes no arguments");
    if (!c.ConnectIdentified())
        return Unreachable(c);
    Session& s = c.GetSession();
    const Link& link = s.GetLink();
    const EncoderCapabilities& caps = s.Capabilities();
    const TEncoderSignature& sig = link.EncoderSignature;
    const PositionUnits& units = s.Units();
    const std::string box = TrimControl(s.InterfaceText());
    const std::string port = link.Port() ? link.Port()->Path() : "";
    char serial[16];
    std::snprintf(serial, sizeof serial, "0x%08X", static_cast<unsigned>(sig.SerialNumber));
    const std::string manufacturer =
        ManufacturerText(static_cast<uint8_t>(sig.ManufacturerID >> 8), static_cast<uint8_t>(sig.ManufacturerID & 0xFF));

    JsonObject datasheet;
    datasheet.Add("multiturn", units.MultiturnLength())
        .Add("singleturn", units.SingleturnLength())
        .Add("dataLength", static_cast<int>(link.EdsDataLength));
    if (link.UserBankFirst != kBankNotRead)
        datasheet.Add("userBankFirst", static_cast<int>(link.UserBankFirst)).Add("userBankLast", static_cast<int>(link.UserBankLast));
    datasheet.Add("commonChecksumOk", link.EdsCommonChecksumOk).Add("profileChecksumOk", link.EdsProfileChecksumOk);
    JsonObject resolution;
    resolution.Add("nominator", static_cast<int64_t>(units.Nominator()))
        .Add("denominator", static_cast<int64_t>(units.Denominator()))
        .Add("unit", units.Unit());
    JsonObject json;
    json.Add("box", box).Add("port", port).Add("family", FamilyName(caps.family)).Add("partNumber", sig.Zolvan_PartNumber)
        .Add("serial", sig.Zolvan_Serial).Add("serialBiss", serial).Add("serialDecoded", sig.Zolvan_SerialDecoded)
        .Add("extendedSerial", sig.Zolvan_ExtendedSerial).Add("firmware", sig.Zolvan_FWverStr)
        .Add("deviceId", Hex(sig.DeviceID, 12)).Add("manufacturerId", manufacturer)
        .Add("datasheet", datasheet).Add("resolution", resolution);

    std::ostringstream t;
    t << "Box:              " << box << " on " << port << "\n"
      << "Family:           " << FamilyName(caps.family) << "\n"
      << "Part number:      " << sig.Zolvan_PartNumber << "\n"
      << "Serial:           " << sig.Zolvan_Serial << " (BiSS " << serial << ", decoded " << sig.Zolvan_SerialDecoded
      << ")\n";
    if (!sig.Zolvan_ExtendedSerial.empty())
        t << "Extended serial:  " << sig.Zolvan_ExtendedSerial << "\n";
    t << "Firmware:         " << sig.Zolvan_FWverStr << "\n"
      << "Device ID:        " << Hex(sig.DeviceID, 12) << "\n"
      << "Manufacturer ID:  " << manufacturer << "\n"
      << "Position:         " << units.MultiturnLength() << " multiturn + " << units.SingleturnLength()
      << " singleturn bits\n";
    if (link.UserBankFirst != kBankNotRead)
        t << "User banks:       " << link.UserBankFirst << " - " << link.UserBankLast << "\n";
    t << "Resolution:       " << units.Nominator() << " / " << units.Denominator() << " " << units.Unit() << "\n";
    c.Print(json, t.str());
    return kExitOk;
}

// --- position -------------------------------------------------------------------

int Position(CliContext& c, std::vector<std::string>& args)
{
    long long count = 0, interval = 50;
    std::string error;
    if (!TakeNumberOption(args, "--count", 1, 1000000000, count, error) ||
        !TakeNumberOption(args, "--interval", 0, 10000, interval, error))
        return UsageError(c, error);
    if (!NoOptionsLeft(c, args))
        return kExitUsage;
    if (!args.empty())
        return UsageError(c, "position takes no arguments besides --count and --interval");
    if (!c.ConnectIdentified())
        return Unreachable(c);
    Session& s = c.GetSession();
    int result = kExitOk;
    std::string line;
    for (long long n = 0; (count == 0 || n < count) && !CliStopRequested(); ++n) {
        if (n > 0 && interval > 0)
            c.Wait(static_cast<int>(interval));
        s.MonitorTick();
        const TickReport& r = s.Monitor().LastReport();
        const TEncoderPosition& pos = s.GetLink().EncoderPosition;
        if (r.ending == TickReport::Ending::Error) {
            c.PrintStatus(c.LastStatus().text);
            result = kExitFailed;
            if (r.portLost)
                break;
            continue;
        }
        if (r.disconnected) {
            JsonObject json;
            json.Add("raw", pos.RxData).Add("disconnected", true);
            c.Print(json, pos.RxData + "  ENCODER DISCONNECTED\n");
            result = kExitFailed;
            continue;
        }
        if (!r.positionDecoded)
            continue;
        const PositionTexts& t = s.Monitor().LastTexts();
        // Only the form that is printed is built: a reading costs no more than it must.
        JsonObject json;
        if (c.Json()) {
            json.Add("raw", pos.RxData).Add("multiturn", static_cast<int64_t>(pos.MT_value))
                .Add("singleturn", static_cast<int64_t>(pos.ST_value)).Add("error", pos.ErrBit)
                .Add("warning", pos.WarnBit).Add("crc", !pos.ErrCRC).Add("value", static_cast<double>(t.units))
                .Add("unit", s.Units().Unit()).Add("text", t.unitText);
        } else {
            line.assign(pos.RxData).append("  multiturn ").append(std::to_string(pos.MT_value))
                .append("  singleturn ").append(std::to_string(pos.ST_value))
                .append(pos.ErrBit ? "  error 1" : "  error 0").append(pos.WarnBit ? "  warning 1" : "  warning 0")
                .append(pos.ErrCRC ? "  crc bad  " : "  crc ok  ").append(t.unitText).append("\n");
        }
        // Readings a few milliseconds apart go out as they come; a run
        // without pause goes out in blocks, so writing costs no reading.
        c.Print(json, line, interval >= 10);
    }
    c.Out().flush();
    return result;
}

// --- read / write ------------------------------------------------------------------

// Takes "--bank B" out of args; the rest must be positional.
bool TakeBank(CliContext& c, std::vector<std::string>& args, long long& bank, int& result)
{
    std::string error;
    bank = -1;
    if (!TakeNumberOption(args, "--bank", 0, 255, bank, error)) {
        result = UsageError(c, error);
        return false;
    }
    if (!NoOptionsLeft(c, args)) {
        result = kExitUsage;
        return false;
    }
    return true;
}

// The encoder, with the bank selected when one was named.
bool ConnectAndSelect(CliContext& c, long long bank, int& result)
{
    if (!c.ConnectEncoder()) {
        result = c.GetSession().GetLink().IsOpen() ? kExitFailed : kExitNoBox;
        return false;
    }
    if (bank >= 0 && !c.GetSession().GetLink().WriteRegister(0x40, static_cast<uint8_t>(bank))) {
        c.PrintStatus("Error\r\n" + c.GetSession().GetLink().LastErrorText);
        result = kExitFailed;
        return false;
    }
    return true;
}

int Read(CliContext& c, std::vector<std::string>& args)
{
    int result = kExitOk;
    long long bank = -1;
    if (!TakeBank(c, args, bank, result))
        return result;
    // The arguments first, so that mistakes cost no traffic.
    long long address = 0, count = 1;
    if (args.empty() || args.size() > 2 || !ParseCliNumber(args[0], address) || address < 0 || address > 127)
        return UsageError(c, "read takes ADDR (0-127) and an optional COUNT (1-64)");
    if (args.size() == 2 && (!ParseCliNumber(args[1], count) || count < 1 || count > 64))
        return UsageError(c, "read: COUNT must be 1-64");
    if (address + count > 128)
        return UsageError(c, "read: ADDR + COUNT must not pass register 127");
    if (!ConnectAndSelect(c, bank, result))
        return result;
    Link& link = c.GetSession().GetLink();
    if (!link.ReadRegisters(static_cast<uint8_t>(address), static_cast<uint8_t>(count))) {
        c.PrintStatus("Error\r\n" + link.LastErrorText);
        return kExitFailed;
    }
    std::vector<int64_t> values;
    std::string text;
    for (long long i = 0; i < count; ++i) {
        const uint8_t v = link.RxBank[static_cast<size_t>(i)];
        values.push_back(v);
        text += Hex(static_cast<uint64_t>(address + i), 2) + "  " + Hex(v, 2) + "  " + std::to_string(v) + "\n";
    }
    JsonObject json;
    json.Add("address", static_cast<int64_t>(address));
    if (bank >= 0)
        json.Add("bank", static_cast<int64_t>(bank));
    else
        json.AddNull("bank");
    json.Add("values", values);
    c.Print(json, text);
    return kExitOk;
}

int Write(CliContext& c, std::vector<std::string>& args)
{
    int result = kExitOk;
    long long bank = -1;
    if (!TakeBank(c, args, bank, result))
        return result;
    long long address = 0, value = 0;
    if (args.size() != 2 || !ParseCliNumber(args[0], address) || address < 0 || address > 127 ||
        !ParseCliNumber(args[1], value) || value < 0 || value > 255)
        return UsageError(c, "write takes ADDR (0-127) and VALUE (0-255)");
    if (!ConnectAndSelect(c, bank, result))
        return result;
    Link& link = c.GetSession().GetLink();
    if (!link.WriteRegister(static_cast<uint8_t>(address), static_cast<uint8_t>(value))) {
        c.PrintStatus("Error\r\n" + link.LastErrorText);
        return kExitFailed;
    }
    JsonObject json;
    json.Add("address", static_cast<int64_t>(address)).Add("value", static_cast<int64_t>(value)).Add("written", true);
    c.Print(json, "Write OK\n");
    return kExitOk;
}

// --- eds ------------------------------------------------------------------------------

int Eds(CliContext& c, std::vector<std::string>& args)
{
    if (!NoOptionsLeft(c, args))
        return kExitUsage;
    if (!args.empty())
        return UsageError(c, "eds takes no arguments");
    if (!c.ConnectIdentified())
        return Unreachable(c);
    const EdsReadOutcome out = c.GetSession().ReadDatasheet();
    if (!out.started) {
        c.PrintStatus("Error\r\nThe encoder names no datasheet bank");
        return kExitFailed;
    }
    if (out.statusOk == false) {
        c.PrintStatus(out.statusText);
        return kExitFailed;
    }
    JsonObject json;
    std::string text;
    if (out.commonText) {
        json.Add("common", Lines(*out.commonText));
        text += "Common part\n" + Lines(*out.commonText) + "\n";
    }
    if (out.commonChecksum) {
        json.Add("commonChecksum", out.commonChecksum->text).Add("commonChecksumOk", out.commonChecksum->ok);
        text += out.commonChecksum->text + (out.commonChecksum->ok ? " (ok)\n" : " (wrong)\n");
    }
    if (out.profileText) {
        json.Add("profile", Lines(*out.profileText));
        text += "\nBiSS Profile\n" + Lines(*out.profileText);
    }
    if (out.profileChecksum) {
        json.Add("profileChecksum", out.profileChecksum->text).Add("profileChecksumOk", out.profileChecksum->ok);
        text += out.profileChecksum->text + (out.profileChecksum->ok ? " (ok)\n" : " (wrong)\n");
    }
    c.Print(json, text);
    const bool checksumsOk = (!out.commonChecksum || out.commonChecksum->ok) && (!out.profileChecksum || out.profileChecksum->ok);
    return checksumsOk ? kExitOk : kExitFailed;
}

} // namespace

int UsageError(CliContext& c, const std::string& error)
{
    c.Err() << "k417ctl: " << error << "\n";
    return kExitUsage;
}

int Unreachable(CliContext& c)
{
    return c.GetSession().GetLink().IsOpen() ? kExitFailed : kExitNoBox;
}

void CliPrompts::Message(const std::string& text)
{
    c_.PrintStatus(text);
}

bool CliPrompts::Confirm(const std::string& question)
{
    if (c_.Options().yes)
        return true;
    c_.PrintStatus(question);
    c_.Err() << "k417ctl: not confirmed; give --yes to answer Yes\n";
    refused_ = true;
    return false;
}

ServiceWaits CliWaits()
{
    ServiceWaits waits;
    waits.serving = SleepMs;
    waits.blocking = SleepMs;
    return waits;
}

void AddBasicSubcommands(std::vector<Subcommand>& list)
{
    list.push_back({"ports", "", "the candidate ports in probe order, each with its reply to \"v\" or why not", Ports});
    list.push_back({"info", "", "the box and the identified encoder: family, part number, serials, firmware, datasheet", Info});
    list.push_back({"position", "[--count N] [--interval MS]", "position words with their flags and value in units", Position});
    list.push_back({"read", "ADDR [COUNT] [--bank B]", "read registers (numbers decimal or 0x-hexadecimal)", Read});
    list.push_back({"write", "ADDR VALUE [--bank B]", "write one register", Write});
    list.push_back({"eds", "", "the electronic datasheet and its checksum verdicts", Eds});
}
