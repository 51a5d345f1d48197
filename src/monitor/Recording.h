#pragma once
// Measurement recording: one row per monitor tick into a semicolon-separated
// file, so a run of positions, errors and encoder diagnostics can be
// analysed afterwards. The position recording ("POSITION_...") adds no
// transaction to the tick; the debug recording ("TEST_...") adds the Torvik
// status read-out, the debug read and the box's supply read-out "e", and
// writes their values as well. One recording runs at a time. It stops when
// its owner stops it, after the set number of rows, or when a row cannot be
// written: the file then keeps every row that reached it.
//
// Rows go through a buffer that is written out at least once a second (on a
// row, or by the front end's FlushIfDue) and when the recording stops, so a
// fast recording costs one write every second instead of one per tick.

#include "link/Link.h"
#include "monitor/DebugReadout.h"
#include "monitor/MonitorCycle.h"
#include "monitor/ServiceReadouts.h"
#include "monitor/TorvikStatus.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

enum class RecordingKind { Position, Debug };

// Folder + "POSITION_" or "TEST_" + part number + "_" + serial number + "_" +
// the local time as 14 digits (year to second) + ".csv". Characters that
// cannot stand in a file name ("/" and control characters) become "_".
std::string RecordingFileName(const std::string& folder, RecordingKind kind, std::string_view partNumber,
                              std::string_view serial, const std::tm& localTime);
// The first line of the file (without its line end).
std::string RecordingHeader(RecordingKind kind);
// The elapsed-time label: "12.34 seconds".
std::string ElapsedText(int64_t ms);

// A file written through a buffer. Every failure is kept as a text naming the
// file and its cause; after one nothing more is written.
//
// Unlike the files the tool writes whole (AtomicFile), a recording streams
// straight into its file: it runs for hours, its rows must reach the disk at
// least once a second so that a crash or a pulled cable keeps what was
// measured, and each file has a name of its own (the start time in it), so
// there is no earlier file to keep.
class RecordingFile {
public:
    static constexpr size_t kBufferLimit = 64 * 1024;

    RecordingFile() = default;
    ~RecordingFile();
    RecordingFile(const RecordingFile&) = delete;
    RecordingFile& operator=(const RecordingFile&) = delete;

    // Creates the file, replacing an old one of the same name.
    bool Open(const std::string& fileName);
    bool IsOpen() const { return fd_ >= 0; }
    // The line and CR LF, into the buffer.
    void Append(std::string_view line);
    size_t Buffered() const { return buffer_.size(); }
    // Writes the buffer out; false on failure.
    bool Flush();
    // Writes the buffer out and closes; true when everything reached the file. Safe to call twice.
    bool Close();
    const std::string& ErrorText() const { return errorText_; }

private:
    void Fail(const char* doing, int error);

    int fd_ = -1;
    std::string fileName_;
    std::string buffer_;
    std::string errorText_;
};

struct RecordingStart {
    bool ok = false;
    std::string fileName;  // the full name, also when it could not be created
    std::string errorText; // the file's name and the cause
};

// Why a recording ended by itself.
struct RecordingEnd {
    enum class Reason { RowLimit, WriteFailed };
    Reason reason = Reason::RowLimit;
    std::string errorText; // WriteFailed: the file's name and the cause
};

class Recorder final : public TickStep {
public:
    static constexpr int64_t kFlushIntervalMs = 1000;

    // Milliseconds of a monotonic clock; a steady clock when empty.
    using MonotonicMs = std::function<int64_t()>;

    Recorder(MonitorCycle& cycle, TorvikStatusReadout& status, const QuenraStatusReadout& quenra, DebugReadout& debug,
             MonotonicMs clock = {});
    ~Recorder() override;

    Phase StepPhase() const override { return Phase::Recording; }
    bool Active() const override { return running_; }
    // The debug recording's "e" ends the tick when it fails (no row then); a
    // file that cannot be written ends the recording, not the tick.
    bool Run(Link& link) override;

    // Where the files go; empty is the working folder.
    void SetFolder(std::string folder) { folder_ = std::move(folder); }
    std::string Folder() const;

    // Creates the file and writes its header. rowLimit 0 records until Stop.
    // The debug recording switches the status and debug read-outs on.
    // fileName, when given, replaces the generated name (the command line names its file).
    RecordingStart Start(RecordingKind kind, int64_t rowLimit, const TEncoderSignature& signature,
                         const std::string& fileName = {});
    // Stops and closes the file; the error text when its last rows could not be written.
    std::optional<std::string> Stop();
    // Writes buffered rows out once a second has passed since the last write.
    void FlushIfDue();
    // Tells once how a recording ended by itself (row limit, write failure).
    std::optional<RecordingEnd> TakeEnd();

    bool Running() const { return running_; }
    RecordingKind Kind() const { return kind_; }
    const std::string& FileName() const { return fileName_; }
    uint64_t Rows() const { return rows_; }
    // Elapsed time of the last row.
    int64_t ElapsedMs() const { return elapsedMs_; }
    // The debug recording's last reply to "e", trimmed, and how many arrived
    // since start-up: the Interface Settings page shows each once.
    const std::string& SupplyText() const { return supply_; }
    uint64_t SupplyReplies() const { return supplyReplies_; }

private:
    int64_t Now() const;
    void AppendRow(const Link& link, const std::string& supply);
    void Finish(RecordingEnd::Reason reason);
    void SetReadouts(bool on);

    MonitorCycle& cycle_;
    TorvikStatusReadout& status_;
    const QuenraStatusReadout& quenra_;
    DebugReadout& debug_;
    MonotonicMs clock_;
    std::string folder_;
    RecordingFile file_;
    bool running_ = false;
    RecordingKind kind_ = RecordingKind::Position;
    std::string fileName_;
    int64_t remaining_ = 0;
    int64_t startMs_ = 0;
    int64_t lastFlushMs_ = 0;
    int64_t elapsedMs_ = 0;
    uint64_t rows_ = 0;
    std::string row_;
    std::string supply_;
    uint64_t supplyReplies_ = 0;
    std::optional<RecordingEnd> end_;
};
