#include "monitor/Recording.h"

#include "util/AtomicFile.h"
#include "util/NumberText.h"
#include "util/Text.h"

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {
constexpr char kDisconnected[] = "ENCODER DISCONNECTED";
constexpr char kSupplyCommand[] = "e";

// Characters of the encoder's texts that cannot be part of a file name.
void AppendNamePart(std::string& name, std::string_view part)
{
    for (char c : part)
        name += c == '/' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '_' : c;
}

// A reply's text without the blanks and control characters around it: a
// "TIMEOUT" reply keeps its CR, which would break the row in two.
std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= 32)
        text.remove_suffix(1);
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= 32)
        text.remove_prefix(1);
    return text;
}

void AppendField(std::string& row, std::string_view text)
{
    row += text;
    row += ';';
}

template <class N>
void AppendNumber(std::string& row, N value)
{
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    AppendField(row, std::string_view(digits, static_cast<size_t>(end - digits)));
}

int64_t SteadyMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
} // namespace

std::string RecordingFileName(const std::string& folder, RecordingKind kind, std::string_view partNumber,
                              std::string_view serial, const std::tm& localTime)
{
    std::string name = folder;
    if (!name.empty() && name.back() != '/')
        name += '/';
    name += kind == RecordingKind::Position ? "POSITION_" : "TEST_";
    AppendNamePart(name, partNumber);
    name += '_';
    AppendNamePart(name, serial);
    name += '_';
    char stamp[32];
    if (std::strftime(stamp, sizeof stamp, "%Y%m%d%H%M%S", &localTime) == 0)
        stamp[0] = '\0';
    name += stamp;
    name += ".csv";
    return name;
}

std::string RecordingHeader(RecordingKind kind)
{
    std::string header = "Time(ms);RX;MT;ST;Error;";
    if (kind == RecordingKind::Debug) {
        header += "Status;Supply;Signal;Temperature;CodeA;CodeB;ResetCnt;CycleTime(clks);DecodSelect;";
        for (int n = 1; n <= kDebugSampleCount; ++n)
            header += "MIS" + std::to_string(n) + ";";
    }
    return header;
}

std::string ElapsedText(int64_t ms)
{
    return FormatNumberText(static_cast<long double>(ms) / 1000, 8, 2) + " seconds";
}

// --- The file ---------------------------------------------------------------

RecordingFile::~RecordingFile()
{
    Close();
}

void RecordingFile::Fail(const char* doing, int error)
{
    if (errorText_.empty())
        errorText_ = FileErrorText(doing, fileName_, error);
}

bool RecordingFile::Open(const std::string& fileName)
{
    Close();
    fileName_ = fileName;
    errorText_.clear();
    buffer_.clear();
    buffer_.reserve(kBufferLimit + 4096);
    fd_ = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0)
        Fail("Cannot create the file", errno);
    return fd_ >= 0;
}

void RecordingFile::Append(std::string_view line)
{
    if (fd_ < 0 || !errorText_.empty())
        return;
    buffer_ += line;
    buffer_ += "\r\n";
}

bool RecordingFile::Flush()
{
    if (fd_ < 0 || !errorText_.empty())
        return errorText_.empty();
    size_t done = 0;
    while (done < buffer_.size()) {
        const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            Fail("Cannot write the file", n < 0 ? errno : ENOSPC);
            break;
        }
        done += static_cast<size_t>(n);
    }
    buffer_.clear();
    return errorText_.empty();
}

bool RecordingFile::Close()
{
    if (fd_ < 0)
        return errorText_.empty();
    Flush();
    if (::close(fd_) != 0)
        Fail("Cannot write the file", errno);
    fd_ = -1;
    return errorText_.empty();
}

// --- The recorder -----------------------------------------------------------

Recorder::Recorder(MonitorCycle& cycle, TorvikStatusReadout& status, const QuenraStatusReadout& quenra,
                   DebugReadout& debug, MonotonicMs clock)
    : cycle_(cycle), status_(status), quenra_(quenra), debug_(debug), clock_(std::move(clock))
{
}

Recorder::~Recorder()
{
    Stop();
}

int64_t Recorder::Now() const
{
    return clock_ ? clock_() : SteadyMs();
}

std::string Recorder::Folder() const
{
    if (!folder_.empty())
        return folder_;
    char here[4096];
    return ::getcwd(here, sizeof here) ? std::string(here) : std::string(".");
}

void Recorder::SetReadouts(bool on)
{
    debug_.SetRecording(on);
    // The status values come from the status read-out, which runs while it records.
    status_.SetRecording(on);
}

RecordingStart Recorder::Start(RecordingKind kind, int64_t rowLimit, const TEncoderSignature& signature,
                               const std::string& fileName)
{
    Stop();
    end_.reset();
    RecordingStart out;
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    out.fileName = !fileName.empty() ? fileName
                                     : RecordingFileName(Folder(), kind, CleanIdText(signature.Zolvan_PartNumber),
                                                         CleanIdText(signature.Zolvan_Serial), local);
    fileName_ = out.fileName;
    if (file_.Open(out.fileName)) {
        file_.Append(RecordingHeader(kind));
        file_.Flush();
    }
    if (!file_.ErrorText().empty()) {
        out.errorText = file_.ErrorText();
        file_.Close();
        return out;
    }
    kind_ = kind;
    remaining_ = rowLimit > 0 ? rowLimit : 0;
    rows_ = 0;
    elapsedMs_ = 0;
    startMs_ = lastFlushMs_ = Now();
    running_ = true;
    if (kind == RecordingKind::Debug)
        SetReadouts(true);
    out.ok = true;
    return out;
}

std::optional<std::string> Recorder::Stop()
{
    if (!running_)
        return std::nullopt;
    running_ = false;
    if (kind_ == RecordingKind::Debug)
        SetReadouts(false);
    if (file_.Close())
        return std::nullopt;
    return file_.ErrorText();
}

void Recorder::Finish(RecordingEnd::Reason reason)
{
    std::optional<std::string> error = Stop();
    if (error)
        end_ = RecordingEnd{RecordingEnd::Reason::WriteFailed, *error};
    else
        end_ = RecordingEnd{reason, {}};
}

std::optional<RecordingEnd> Recorder::TakeEnd()
{
    std::optional<RecordingEnd> end;
    end.swap(end_);
    return end;
}

void Recorder::FlushIfDue()
{
    if (!running_ || file_.Buffered() == 0)
        return;
    const int64_t now = Now();
    if (now - lastFlushMs_ < kFlushIntervalMs)
        return;
    lastFlushMs_ = now;
    if (!file_.Flush())
        Finish(RecordingEnd::Reason::WriteFailed);
}

bool Recorder::Run(Link& link)
{
    supply_.clear();
    if (kind_ == RecordingKind::Debug) {
        std::string& received = cycle_.PlainReply();
        received.clear();
        link.EncoderPosition.ErrComm = SerialTransact(link.Port(), kSupplyCommand, 0, received);
        if (link.EncoderPosition.ErrComm != 0)
            return false;
        supply_.assign(Trimmed(received));
        ++supplyReplies_;
    }
    AppendRow(link, supply_);
    ++rows_;
    if (file_.Buffered() >= RecordingFile::kBufferLimit || Now() - lastFlushMs_ >= kFlushIntervalMs) {
        lastFlushMs_ = Now();
        if (!file_.Flush()) {
            Finish(RecordingEnd::Reason::WriteFailed);
            return true;
        }
    }
    if (remaining_ > 0 && --remaining_ == 0)
        Finish(RecordingEnd::Reason::RowLimit);
    return true;
}

void Recorder::AppendRow(const Link& link, const std::string& supply)
{
    elapsedMs_ = Now() - startMs_;
    row_.clear();
    AppendNumber(row_, elapsedMs_);
    AppendField(row_, Trimmed(link.EncoderPosition.RxData));
    if (cycle_.LastReport().disconnected) {
        AppendField(row_, kDisconnected);
        AppendField(row_, kDisconnected);
        AppendField(row_, "");
    } else {
        const PositionTexts& texts = cycle_.LastTexts();
        AppendField(row_, texts.multiturn);
        AppendField(row_, texts.singleturn);
        AppendField(row_, texts.errorText);
    }
    if (kind_ == RecordingKind::Debug) {
        const TorvikStatusReading& status = status_.Reading();
        const DebugSnapshot& snapshot = debug_.State().Snapshot();
        // While the Quenra Status page is shown its read-out has the encoder's
        // values: the Torvik layout would take the velocity for the signal
        // level and tenths of a degree for degrees.
        const QuenraStatusReading& quenra = quenra_.Reading();
        if (quenra_.Active() && quenra.complete) {
            AppendField(row_, *quenra.bitsText);
            AppendField(row_, supply);
            AppendNumber(row_, quenra.signalLevel);
            AppendField(row_, FormatNumberText(static_cast<float>(quenra.temperatureTenths) / 10, 4, 1));
        } else {
            AppendField(row_, status.bitsText);
            AppendField(row_, supply);
            AppendField(row_, status.signalText);
            AppendField(row_, status.temperatureText);
        }
        AppendField(row_, snapshot.codeA);
        AppendField(row_, snapshot.codeB);
        AppendNumber(row_, snapshot.resetCount);
        AppendNumber(row_, snapshot.cycleTime);
        AppendNumber(row_, static_cast<unsigned>(snapshot.decodingIndex));
        for (int8_t sample : snapshot.samples)
            AppendNumber(row_, static_cast<int>(sample));
    }
    file_.Append(row_);
}
