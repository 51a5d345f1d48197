#pragma once
// The serial transport to the interface box: one command out, one reply back.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// An open serial device. The transport only needs these few operations;
// PosixSerialPort provides them with termios.
class SerialPort {
public:
    virtual ~SerialPort() = default;
    // Writes all bytes; 0 on success, otherwise the operating-system error code (> 0).
    virtual int WriteAll(std::string_view bytes) = 0;
    // Number of bytes waiting in the receive queue, or the negated OS error.
    virtual int BytesWaiting() = 0;
    // Reads up to size bytes that are already waiting; count read or the negated OS error.
    virtual int ReadWaiting(char* buffer, size_t size) = 0;
    // Sleeps until input arrives or microseconds pass (at least; a port may
    // round them up to whole milliseconds). 1 input (or an event to
    // look at), 0 nothing within the time, the negated OS error when the
    // device is gone (hang-up).
    virtual int WaitForInput(int64_t microseconds) = 0;
    // Discards what is waiting on the receive side.
    virtual bool PurgeInput() = 0;
    virtual const std::string& Path() const = 0;

    // Milliseconds a transaction on this port may wait for its reply.
    static constexpr uint32_t kDefaultReplyTimeoutMs = 400;
    uint32_t ReplyTimeoutMs() const { return replyTimeoutMs_; }
    void SetReplyTimeoutMs(uint32_t ms) { replyTimeoutMs_ = ms; }

    // After a transaction ran out of time its reply may still come. Until
    // this long after the time-out the port is not used for a new command:
    // whatever arrives meanwhile is discarded, so a late reply is never
    // taken for the next command's answer.
    static constexpr uint32_t kDefaultLateReplyMs = 150;
    uint32_t LateReplyMs() const { return lateReplyMs_; }
    void SetLateReplyMs(uint32_t ms) { lateReplyMs_ = ms; }
    using Clock = std::chrono::steady_clock;
    // The end of the late-reply wait; the clock's epoch when none is
    // expected (never, or the watch after it is over).
    Clock::time_point LateReplyUntil() const { return lateReplyUntil_; }
    void ExpectLateReply(Clock::time_point until) { lateReplyUntil_ = until; }

    // True while the receive queue is known to hold nothing: the last
    // transaction ended cleanly, its last read ending at the reply's end
    // with room to spare. The next transaction then need not look for
    // leftovers before it sends; any other ending makes it look, and so does
    // every command until a whole reply time has passed after the late-reply
    // wait (a reply later still comes at whichever command is next).
    bool InputKnownEmpty() const { return inputKnownEmpty_; }
    void SetInputKnownEmpty(bool empty) { inputKnownEmpty_ = empty; }

private:
    uint32_t replyTimeoutMs_ = kDefaultReplyTimeoutMs;
    bool inputKnownEmpty_ = false;
    uint32_t lateReplyMs_ = kDefaultLateReplyMs;
    Clock::time_point lateReplyUntil_{};
};

class PosixSerialPort final : public SerialPort {
public:
    // Opens an existing device exclusively (terminal exclusive mode and an
    // advisory lock) in raw mode at 115200 baud, 8N1.
    // Returns null and fills *error and *errorCode (the errno, when given)
    // if the device cannot be used.
    static std::unique_ptr<PosixSerialPort> Open(const std::string& path, std::string* error = nullptr,
                                                 int* errorCode = nullptr);
    ~PosixSerialPort() override;
    PosixSerialPort(const PosixSerialPort&) = delete;
    PosixSerialPort& operator=(const PosixSerialPort&) = delete;

    int WriteAll(std::string_view bytes) override;
    int BytesWaiting() override;
    int ReadWaiting(char* buffer, size_t size) override;
    int WaitForInput(int64_t microseconds) override;
    bool PurgeInput() override;
    const std::string& Path() const override { return path_; }
    int Fd() const { return fd_; }

private:
    PosixSerialPort(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    int fd_;
    std::string path_;
};

// Transport results.
constexpr int kSerialOk = 0;
constexpr int kSerialTimeout = -1;
constexpr int kSerialNoPort = -3;

// Sends command as it stands and collects the reply until it holds a CR
// (expected == 0) or at least expected bytes, waiting at most the port's
// reply time limit. Bytes already waiting before the command is sent are
// discarded (unless the last transaction ended cleanly: see InputKnownEmpty),
// and so are bytes after the reply's CR; after a time-out the next
// command waits out the port's late-reply time first (see ExpectLateReply). Returns 0, -1 on time-out (the
// partial reply is kept), -3 for a null handle (reply untouched), or the
// negated OS error when the write fails or the device goes away while waiting.
// Waits in poll(), never spinning; the elapsed time is taken from a monotonic clock.
int SerialTransact(SerialPort* handle, std::string_view command, uint32_t expected, std::string& reply);

// Discards pending input. False for a null handle.
bool SerialPurge(SerialPort* handle);
