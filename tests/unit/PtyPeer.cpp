#include "PtyPeer.h"

#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

PtyPeer::PtyPeer()
{
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
        throw std::runtime_error("no pseudo-terminal");
    slavePath_ = ::ptsname(master_);
    // The slave side starts in cooked mode; make it raw so nothing is echoed or translated.
    int slave = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY);
    termios tio{};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave, TCSANOW, &tio);
    ::close(slave);
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        throw std::runtime_error("no pipe");
    wakeRead_ = pipeFds[0];
    wakeWrite_ = pipeFds[1];
    thread_ = std::thread([this] { Serve(); });
}

PtyPeer::~PtyPeer()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    (void)!::write(wakeWrite_, "x", 1);
    thread_.join();
    std::lock_guard lock(mutex_);
    if (master_ >= 0)
        ::close(master_);
    ::close(wakeRead_);
    ::close(wakeWrite_);
}

void PtyPeer::Queue(Reply reply)
{
    std::lock_guard lock(mutex_);
    replies_.push_back(std::move(reply));
}

void PtyPeer::SetDefaultReply(std::string bytes)
{
    std::lock_guard lock(mutex_);
    defaultReply_ = std::move(bytes);
}

void PtyPeer::Push(const std::string& bytes)
{
    std::lock_guard lock(mutex_);
    if (master_ >= 0)
        (void)!::write(master_, bytes.data(), bytes.size());
}

std::vector<std::string> PtyPeer::Received() const
{
    std::lock_guard lock(mutex_);
    return received_;
}

bool PtyPeer::WaitForReceived(size_t count, int timeoutMs) const
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return received_.size() >= count; });
}

void PtyPeer::Close()
{
    {
        std::lock_guard lock(mutex_);
        if (master_ < 0)
            return;
        ::close(master_);
        master_ = -1;
    }
    // The serving thread's poll() holds the device open until it returns.
    (void)!::write(wakeWrite_, "x", 1);
}

void PtyPeer::Serve()
{
    for (;;) {
        int master;
        {
            std::lock_guard lock(mutex_);
            if (stop_)
                return;
            master = master_;
        }
        pollfd fds[2] = {{wakeRead_, POLLIN, 0}, {master, POLLIN, 0}};
        // While the tool has no slave open the master reports a hang-up; look again a little later.
        int n = ::poll(fds, master >= 0 ? 2 : 1, master >= 0 && !(fds[1].revents & POLLHUP) ? -1 : 5);
        if (n <= 0)
            continue;
        if (fds[0].revents & POLLIN) {
            char drain[16];
            (void)!::read(wakeRead_, drain, sizeof drain);
            continue;
        }
        if (master < 0)
            continue;
        if (fds[1].revents & POLLHUP) {
            ::poll(nullptr, 0, 2);
            continue;
        }
        if (!(fds[1].revents & POLLIN))
            continue;
        char buffer[512];
        ssize_t got = ::read(master, buffer, sizeof buffer);
        if (got <= 0)
            continue;
        Reply reply;
        {
            std::lock_guard lock(mutex_);
            received_.emplace_back(buffer, static_cast<size_t>(got));
            if (!replies_.empty()) {
                reply = std::move(replies_.front());
                replies_.pop_front();
            } else if (!defaultReply_.empty()) {
                reply.push_back({defaultReply_, 0});
            }
        }
        changed_.notify_all();
        for (const Chunk& chunk : reply) {
            if (chunk.delayMsBefore > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(chunk.delayMsBefore));
            std::lock_guard lock(mutex_);
            if (master_ >= 0)
                (void)!::write(master_, chunk.bytes.data(), chunk.bytes.size());
        }
    }
}
