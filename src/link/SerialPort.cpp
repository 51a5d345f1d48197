#include "link/SerialPort.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <limits>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

std::unique_ptr<PosixSerialPort> PosixSerialPort::Open(const std::string& path, std::string* error, int* errorCode)
{
    auto fail = [&](int fd, const char* what) -> std::unique_ptr<PosixSerialPort> {
        int err = errno;
        if (error)
            *error = std::string(what) + " " + path + ": " + std::strerror(err);
        if (errorCode)
            *errorCode = err;
        if (fd >= 0)
            ::close(fd);
        return nullptr;
    };
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return fail(fd, "cannot open");
    if (::ioctl(fd, TIOCEXCL) != 0)
        return fail(fd, "cannot lock");
    // Exclusive mode does not keep out a privileged process: an advisory lock
    // does, for every program that takes one on the device (this tool among them).
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK)
            errno = EBUSY;
        return fail(fd, "in use:");
    }
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0)
        return fail(fd, "not a serial device:");
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB);
    tio.c_cflag |= CS8;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, B115200) != 0 || ::cfsetospeed(&tio, B115200) != 0 || ::tcsetattr(fd, TCSANOW, &tio) != 0)
        return fail(fd, "cannot set line settings of");
    return std::unique_ptr<PosixSerialPort>(new PosixSerialPort(fd, path));
}

PosixSerialPort::~PosixSerialPort()
{
    // Exclusive mode outlives the descriptor on some devices (pseudo-terminals
    // among them); release it so that the port can be opened again.
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
}

int PosixSerialPort::WriteAll(std::string_view bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd p{fd_, POLLOUT, 0};
            if (::poll(&p, 1, 1000) <= 0 || (p.revents & (POLLERR | POLLHUP)))
                return EIO;
            continue;
        }
        return n < 0 ? errno : EIO;
    }
    // A zero-length write still tells whether the device is there.
    if (bytes.empty() && ::write(fd_, "", 0) < 0)
        return errno;
    return 0;
}

int PosixSerialPort::BytesWaiting()
{
    int count = 0;
    if (::ioctl(fd_, FIONREAD, &count) != 0)
        return -errno;
    return count;
}

int PosixSerialPort::ReadWaiting(char* buffer, size_t size)
{
    for (;;) {
        ssize_t n = ::read(fd_, buffer, size);
        if (n >= 0)
            return static_cast<int>(n);
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN)
            return 0;
        return -errno;
    }
}

int PosixSerialPort::WaitForInput(int64_t microseconds)
{
    pollfd p{fd_, POLLIN, 0};
    // poll() and whole milliseconds, rounded up: a wait ends as soon as
    // input comes, and poll() is a little lighter on every transaction than
    // ppoll() with its exact time.
    const int ms = microseconds <= 0 ? 0
                                     : static_cast<int>(std::min<int64_t>((microseconds + 999) / 1000,
                                                                          std::numeric_limits<int>::max()));
    int r = ::poll(&p, 1, ms);
    if (r < 0)
        return errno == EINTR ? 1 : -errno;
    if (r == 0)
        return 0;
    // A hang-up with nothing left to read means the device is gone.
    if ((p.revents & (POLLHUP | POLLERR | POLLNVAL)) && BytesWaiting() <= 0)
        return -EIO;
    return 1;
}

bool PosixSerialPort::PurgeInput()
{
    return ::tcflush(fd_, TCIFLUSH) == 0;
}

int SerialTransact(SerialPort* handle, std::string_view command, uint32_t expected, std::string& reply)
{
    using Clock = std::chrono::steady_clock;
    if (!handle)
        return kSerialNoPort;
    // Bytes waiting now answer no command of this transaction: a reply that
    // came after its time limit, or noise. Taken as the start of this reply
    // they would make it another command's answer (a late "0" turning a
    // failed write into a success), so they go before the command is sent.
    // With no late reply expected (none ever, or its watch is over) the
    // clock need not be read.
    const auto lateUntil = handle->LateReplyUntil();
    bool watching = false;
    if (lateUntil != Clock::time_point{}) {
        auto now = Clock::now();
        for (auto left = lateUntil - now; left > Clock::duration::zero(); left = lateUntil - now) {
            const int woke = handle->WaitForInput(std::chrono::duration_cast<std::chrono::microseconds>(left).count());
            if (woke < 0)
                return woke;
            if (woke > 0)
                handle->PurgeInput();
            now = Clock::now();
        }
        watching = now < lateUntil + std::chrono::milliseconds(handle->ReplyTimeoutMs());
        if (!watching)
            handle->ExpectLateReply(Clock::time_point{});
    }
    if ((watching || !handle->InputKnownEmpty()) && handle->BytesWaiting() > 0)
        handle->PurgeInput();
    // Until this transaction ends cleanly the next one looks for leftovers.
    handle->SetInputKnownEmpty(false);
    if (int err = handle->WriteAll(command); err != 0)
        return -err;
    reply.clear();
    const auto start = Clock::now();
    const auto limit = std::chrono::milliseconds(handle->ReplyTimeoutMs());
    auto complete = [&] {
        return expected == 0 ? reply.find('\r') != std::string::npos : reply.size() >= expected;
    };
    // Sleep in poll() until bytes arrive, then take all that are waiting in
    // one read. Bytes left over from an earlier reply wake the poll at once.
    constexpr size_t kChunk = 256;
    int lastRead = 0;
    // The first wait is the whole limit: start was taken just now.
    for (auto elapsed = Clock::duration::zero();; elapsed = Clock::now() - start) {
        auto left = std::chrono::duration_cast<std::chrono::microseconds>(limit - elapsed).count() + 1000;
        int woke = handle->WaitForInput(left > 0 ? left : 0);
        if (woke < 0)
            return woke;
        if (woke > 0) {
            char chunk[kChunk];
            const int got = handle->ReadWaiting(chunk, kChunk);
            if (got < 0)
                return got;
            reply.append(chunk, static_cast<size_t>(got));
            lastRead = got;
        }
        if (complete()) {
            // A reply ends at its CR; what came after it belongs to none.
            const size_t end = expected == 0 ? reply.find('\r') + 1 : expected;
            // A last read that ended right at the reply's end, short of a
            // whole chunk, left nothing behind in the queue.
            handle->SetInputKnownEmpty(reply.size() == end && lastRead < static_cast<int>(kChunk));
            if (expected == 0)
                reply.resize(end);
            return kSerialOk;
        }
        if (Clock::now() - start > limit) {
            handle->ExpectLateReply(Clock::now() + std::chrono::milliseconds(handle->LateReplyMs()));
            return kSerialTimeout;
        }
    }
}

bool SerialPurge(SerialPort* handle)
{
    return handle && handle->PurgeInput();
}
