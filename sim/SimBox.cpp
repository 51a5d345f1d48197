#include "sim/SimBox.h"

#include <cstdio>

namespace {
// Fixed-width forms of the multi-character commands; 'd' stands for a decimal digit.
constexpr std::string_view kReadForm = "Rdd:ddd";
constexpr std::string_view kWriteForm = "Wsddd:ddd";
constexpr std::string_view kLoadForm = "Wbfdd:ddd";
constexpr std::string_view kBufferForm = "Wcndd:ddd";
constexpr std::string_view kLengthForm = "Bd";
constexpr std::string_view kClockForm = "Mdd";
constexpr std::string_view kSingle = "v4NFimbetsr";

bool Blank(char c)
{
    return c == '\r' || c == '\n' || c == ' ' || c == '\t' || c == '\0';
}

bool StartsCommand(char c)
{
    return kSingle.find(c) != std::string_view::npos || c == 'R' || c == 'W' || c == 'B' || c == 'M';
}

// How text (from its start) fits form: the full length when it matches, 0
// when it is a matching but incomplete start, otherwise -(position of the first
// byte that does not fit).
int Fit(std::string_view text, std::string_view form)
{
    for (size_t i = 0; i < form.size(); ++i) {
        if (i >= text.size())
            return 0;
        const bool ok = form[i] == 'd' ? (text[i] >= '0' && text[i] <= '9') : text[i] == form[i];
        if (!ok)
            return -static_cast<int>(i);
    }
    return static_cast<int>(form.size());
}

int FitCommand(std::string_view text)
{
    switch (text[0]) {
    case 'R': return Fit(text, kReadForm);
    case 'B': return Fit(text, kLengthForm);
    case 'M': return Fit(text, kClockForm);
    case 'W':
        if (text.size() < 2)
            return 0;
        if (text[1] == 's')
            return Fit(text, kWriteForm);
        if (text[1] == 'b')
            return Fit(text, kLoadForm);
        if (text[1] == 'c')
            return Fit(text, kBufferForm);
        return -1;
    default: return 1;
    }
}

unsigned Number(std::string_view text, size_t from, size_t count)
{
    unsigned value = 0;
    for (size_t i = from; i < from + count; ++i)
        value = value * 10 + static_cast<unsigned>(text[i] - '0');
    return value;
}

void AppendHex(std::string& text, uint8_t value)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    text += kDigits[value >> 4];
    text += kDigits[value & 15];
}

SimExchange Exchange(std::string_view command, std::string reply)
{
    SimExchange e;
    e.command = std::string(command);
    e.reply = std::move(reply);
    return e;
}

std::string TwoDigits(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%02u", value % 100);
    return text;
}
} // namespace

SimBox::SimBox(const SimOptions& options, Clock::time_point now)
    : options_(options), faults_(options.faults), encoder_(options, now), powerOn_(options.powerOnAtStart),
      startedAt_(now), answersLeft_(options.faults.answersLeft), hitsLeft_(options.faults.hitsLeft),
      startAfter_(options.faults.startAfter),
      unplugAfter_(options.faults.unplugAfter), random_(options.faults.randomSeed)
{
}

void SimBox::SetFaults(const SimFaults& faults, Clock::time_point now)
{
    faults_ = faults;
    answersLeft_ = faults.answersLeft;
    hitsLeft_ = faults.hitsLeft;
    startAfter_ = faults.startAfter;
    unplugAfter_ = faults.unplugAfter;
    random_.seed(faults.randomSeed);
    encoder_.SetFaults(faults, now);
}

bool SimBox::AnswersRegisters(Clock::time_point now)
{
    if (!encoder_.AnswersRegisters(now) || answersLeft_ == 0)
        return false;
    if (answersLeft_ > 0)
        --answersLeft_;
    return true;
}

void SimBox::SetEncoderPower(bool on, Clock::time_point now)
{
    powerOn_ = on;
    encoder_.SetPower(on, now);
}

void SimBox::Unplugged(Clock::time_point now)
{
    pending_.clear();
    loaded_ = 0;
    encoder_.SetPower(false, now);
}

void SimBox::Plugged(Clock::time_point now)
{
    pending_.clear();
    loaded_ = 0;
    dataLength_ = 8;
    clock_ = 4;
    startedAt_ = now;
    SetEncoderPower(options_.powerOnAtStart, now);
}

void SimBox::Feed(std::string_view bytes, Clock::time_point now, std::vector<SimExchange>& out)
{
    pending_.append(bytes);
    size_t at = 0;
    while (at < pending_.size()) {
        const std::string_view rest = std::string_view(pending_).substr(at);
        if (Blank(rest[0])) { // line ends and blanks typed in a terminal
            ++at;
            continue;
        }
        // Answers one "Error" for the bytes from the start of rest up to the
        // next possible command, at least `from` of them.
        auto refuse = [&](size_t from) {
            size_t end = from;
            while (end < rest.size() && !StartsCommand(rest[end]) && !Blank(rest[end]))
                ++end;
            SimExchange e = Exchange(rest.substr(0, end), "Error\r");
            Shape(e);
            out.push_back(std::move(e));
            at += end;
        };
        if (!StartsCommand(rest[0])) {
            refuse(1); // stray bytes
            continue;
        }
        const int fit = FitCommand(rest);
        if (fit == 0)
            break; // wait for the rest
        if (fit < 0) {
            refuse(static_cast<size_t>(-fit)); // a broken command and any stray bytes after it
            continue;
        }
        SimExchange e = Exchange(rest.substr(0, static_cast<size_t>(fit)), "");
        e.reply = Execute(e.command, now);
        Shape(e);
        out.push_back(std::move(e));
        at += static_cast<size_t>(fit);
    }
    pending_.erase(0, at);
}

void SimBox::ExpirePartial(Clock::time_point now, std::vector<SimExchange>& out)
{
    (void)now;
    if (pending_.empty())
        return;
    SimExchange e = Exchange(pending_, "Error\r");
    Shape(e);
    out.push_back(std::move(e));
    pending_.clear();
}

namespace {
// The transport faults a random reply can meet.
enum FaultKind { kSilence, kLate, kGarbage, kNoCr, kSplit, kAfterCr, kTimeoutText, kFaultKinds };
constexpr const char* kGarbageReply = "#\x7fq~%\x15Z?\r";
} // namespace

void SimBox::ApplyFault(int kind, SimExchange& exchange) const
{
    std::string& reply = exchange.reply;
    switch (kind) {
    case kSilence: reply.clear(); break;
    case kLate: exchange.delayMs = faults_.lateMs; break;
    case kGarbage: reply = kGarbageReply; break;
    case kNoCr:
        if (!reply.empty() && reply.back() == '\r')
            reply.pop_back();
        break;
    case kSplit:
        exchange.splitAt = reply.size() / 2;
        exchange.splitGapMs = faults_.splitGapMs;
        break;
    case kAfterCr: reply += "0\r"; break; // what a late answer to a write looks like
    case kTimeoutText: reply = "TIMEOUT\r"; break;
    default: break;
    }
}

void SimBox::Shape(SimExchange& exchange)
{
    if (unplugAfter_ == 0) {
        exchange.unplug = true;
        exchange.reply.clear();
        unplugAfter_ = -1;
        return;
    }
    if (unplugAfter_ > 0)
        --unplugAfter_;
    if (startAfter_ > 0) {
        --startAfter_;
        return;
    }
    if (!faults_.HitsCommand(exchange.command) || hitsLeft_ == 0)
        return;
    bool hit = false;
    if (faults_.randomPercent > 0 && std::uniform_int_distribution<int>(0, 99)(random_) < faults_.randomPercent) {
        ApplyFault(std::uniform_int_distribution<int>(0, kFaultKinds - 1)(random_), exchange);
        hit = true;
    }
    if (faults_.noReply) {
        ApplyFault(kSilence, exchange); // nothing comes back, whatever else is set
        if (hitsLeft_ > 0)
            --hitsLeft_;
        return;
    }
    if (faults_.garbage) {
        ApplyFault(kGarbage, exchange);
        hit = true;
    }
    if (faults_.timeoutReply) {
        ApplyFault(kTimeoutText, exchange);
        hit = true;
    }
    if (faults_.missingCr) {
        ApplyFault(kNoCr, exchange);
        hit = true;
    }
    if (!faults_.afterCr.empty() && !exchange.reply.empty()) {
        exchange.reply += faults_.afterCr;
        hit = true;
    }
    if (faults_.splitReply) {
        ApplyFault(kSplit, exchange);
        hit = true;
    }
    if (faults_.replyDelayMs > 0) {
        exchange.delayMs = faults_.replyDelayMs;
        hit = true;
    }
    if (hit && hitsLeft_ > 0)
        --hitsLeft_;
}

std::string SimBox::Execute(std::string_view command, Clock::time_point now)
{
    switch (command[0]) {
    case 'v':
        return options_.boxVersion + "\r";
    case '4': {
        if (faults_.positionTimeout || !encoder_.AnswersPosition(now))
            return "TIMEOUT\r";
        const uint64_t frame = encoder_.PositionFrame(now);
        std::string reply;
        reply.reserve(17);
        for (int shift = 56; shift >= 0; shift -= 8)
            AppendHex(reply, static_cast<uint8_t>(frame >> shift));
        return reply + "\r";
    }
    case 'R':
        return ReadRegisters(Number(command, 1, 2), Number(command, 4, 3), now);
    case 'W':
        if (command[1] == 's')
            return WriteRegister(Number(command, 2, 3), Number(command, 6, 3), now);
        if (command[1] == 'b')
            return LoadBuffer(Number(command, 3, 2), Number(command, 6, 3));
        return WriteBuffer(Number(command, 3, 2), Number(command, 6, 3), now);
    case 'N':
        SetEncoderPower(true, now);
        return "Encoder power ON\r";
    case 'F':
        SetEncoderPower(false, now);
        return "Encoder power OFF\r";
    case 'B': {
        const unsigned length = Number(command, 1, 1);
        if (length < 1 || length > 8)
            return "Error\r";
        dataLength_ = length;
        return "Data length " + std::to_string(length) + "\r";
    }
    case 'M': {
        const unsigned clock = Number(command, 1, 2);
        if (clock > 30)
            return "Error\r";
        clock_ = clock;
        return "Clock " + TwoDigits(clock) + "\r";
    }
    default:
        return Readout(command[0], now);
    }
}

std::string SimBox::ReadRegisters(unsigned count, unsigned address, Clock::time_point now)
{
    if (count == 0 || count > 64 || address > 127)
        return "2:00:\r";
    if (!AnswersRegisters(now))
        return "3:00:\r";
    // The bank area ends at 63, the fixed area at 127.
    const unsigned end = address < 64 ? 64 : 128;
    const unsigned delivered = address + count > end ? end - address : count;
    std::string data;
    data.reserve(2 * count);
    for (unsigned i = 0; i < delivered; ++i)
        AppendHex(data, encoder_.Read(static_cast<uint8_t>(address + i), now));
    if (delivered == count)
        return "0:00:" + data + "\r";
    // Cut short: the delivered count, the data, and zeros up to the full length.
    data.append(2 * (count - delivered), '0');
    return "1:" + TwoDigits(delivered) + ":" + data + "\r";
}

std::string SimBox::WriteRegister(unsigned value, unsigned address, Clock::time_point now)
{
    if (value > 255)
        return "Error\r";
    if (address > 127)
        return "2:00\r";
    if (!AnswersRegisters(now))
        return "3:00\r";
    if (!encoder_.Writable(static_cast<uint8_t>(address)))
        return "1:00\r";
    encoder_.Write(static_cast<uint8_t>(address), static_cast<uint8_t>(value), now);
    return "0:00\r";
}

std::string SimBox::LoadBuffer(unsigned index, unsigned value)
{
    if (index > 63 || value > 255)
        return "1:00\r";
    buffer_[index] = static_cast<uint8_t>(value);
    loaded_ |= uint64_t{1} << index;
    return "0:00\r";
}

std::string SimBox::WriteBuffer(unsigned count, unsigned address, Clock::time_point now)
{
    const uint64_t loaded = loaded_;
    loaded_ = 0;
    if (count == 0 || count > 64 || address > 127)
        return "3:00\r";
    if (!AnswersRegisters(now))
        return "4:00\r";
    const uint64_t needed = count == 64 ? ~uint64_t{0} : (uint64_t{1} << count) - 1;
    if (faults_.crcError || (loaded & needed) != needed)
        return "2:00\r";
    const unsigned end = address < 64 ? 64 : 128;
    if (address + count > end)
        return "1:00\r";
    for (unsigned i = 0; i < count; ++i)
        if (!encoder_.Writable(static_cast<uint8_t>(address + i)))
            return "1:00\r";
    for (unsigned i = 0; i < count; ++i)
        encoder_.Write(static_cast<uint8_t>(address + i), buffer_[i], now);
    return "0:00\r";
}

std::string SimBox::Readout(char command, Clock::time_point now)
{
    const bool answers = encoder_.AnswersRegisters(now) || encoder_.AnswersPosition(now);
    const bool supplied = encoder_.Powered();
    char text[96];
    switch (command) {
    case 'i': {
        // BiSS master status: "84:20" while the slave answers, then the data length.
        const SimEncoderInfo& info = encoder_.Info();
        if (!answers)
            return "80:00:00\r";
        std::snprintf(text, sizeof text, "84:20:%02X\r", static_cast<unsigned>(info.mtLength + info.stLength + 2));
        return text;
    }
    case 'm':
        std::snprintf(text, sizeof text, "Mode BiSS-C, clock setting %02u\r", clock_);
        return text;
    case 'b':
        std::snprintf(text, sizeof text, "Data length %u\r", dataLength_);
        return text;
    case 'e':
        return supplied ? "Supply 5.02 V 74 mA\r" : "Supply 0.00 V 0 mA\r";
    case 't':
        return "Box temperature 31.5 C\r";
    case 's':
        std::snprintf(text, sizeof text, "Encoder %s, %s\r", powerOn_ ? "ON" : "OFF",
                      answers ? "BiSS OK" : "no BiSS answer");
        return text;
    case 'r': {
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now - startedAt_).count();
        std::snprintf(text, sizeof text, "Uptime %lld s\r", static_cast<long long>(seconds));
        return text;
    }
    default:
        return "Error\r";
    }
}
