#include "sim/Simulator.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <time.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {
using Clock = std::chrono::steady_clock;

// How often an idle box lets go of the tool's exclusive mark (see ReleaseExclusive).
constexpr int kIdleMs = 250;
// A command that stays incomplete this long (no further byte) is given up with
// "Error". Long enough for a person typing into a terminal program.
constexpr int kPartialCommandMs = 5000;
} // namespace

Simulator::Simulator(const SimOptions& options) : box_(options, Clock::now()), logLimit_(options.commandLogLimit) {}

Simulator::~Simulator()
{
    Stop();
}

bool Simulator::Start(std::string* error)
{
    std::lock_guard lock(mutex_);
    if (running_) {
        if (error)
            *error = "the simulator is already running";
        return false;
    }
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        if (error)
            *error = std::string("no pipe: ") + std::strerror(errno);
        return false;
    }
    wakeRead_ = pipeFds[0];
    wakeWrite_ = pipeFds[1];
    if (!OpenPty(error)) {
        ::close(wakeRead_);
        ::close(wakeWrite_);
        wakeRead_ = wakeWrite_ = -1;
        return false;
    }
    box_.Plugged(Clock::now());
    UpdateLink();
    stop_ = false;
    running_ = true;
    thread_ = std::thread([this] { Serve(); });
    clockid_t clock{};
    threadClock_.reset();
    if (pthread_getcpuclockid(thread_.native_handle(), &clock) == 0)
        threadClock_ = clock;
    return true;
}

double Simulator::ProcessorMs() const
{
    std::lock_guard lock(mutex_);
    timespec ts{};
    if (!running_ || !threadClock_ || clock_gettime(*threadClock_, &ts) != 0)
        return 0;
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

void Simulator::Stop()
{
    {
        std::lock_guard lock(mutex_);
        if (!running_)
            return;
        stop_ = true;
    }
    Wake();
    thread_.join();
    std::lock_guard lock(mutex_);
    ClosePty();
    UpdateLink();
    ::close(wakeRead_);
    ::close(wakeWrite_);
    wakeRead_ = wakeWrite_ = -1;
    running_ = false;
}

bool Simulator::Running() const
{
    std::lock_guard lock(mutex_);
    return running_;
}

std::string Simulator::PortPath() const
{
    std::lock_guard lock(mutex_);
    return path_;
}

bool Simulator::OpenPty(std::string* error)
{
    const std::string previous = lastPath_;
    int spare = -1; // a pseudo-terminal that got the previous name, kept until we have another
    for (int attempt = 0; attempt < 2; ++attempt) {
        int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
        char name[128];
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0 ||
            ::ptsname_r(master, name, sizeof name) != 0) {
            if (error)
                *error = std::string("no pseudo-terminal: ") + std::strerror(errno);
            if (master >= 0)
                ::close(master);
            break;
        }
        if (attempt == 0 && !previous.empty() && previous == name) {
            spare = master; // a replug shows up under a new name, like a USB device does
            continue;
        }
        // A fresh slave side echoes and turns CR into LF; the box's line is raw.
        // The slave stays open here so that the master never sees a hang-up
        // while the tool has the port closed.
        int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios tio{};
        if (slave < 0 || ::tcgetattr(slave, &tio) != 0) {
            if (error)
                *error = std::string("cannot set up ") + name + ": " + std::strerror(errno);
            if (slave >= 0)
                ::close(slave);
            ::close(master);
            break;
        }
        ::cfmakeraw(&tio);
        ::cfsetispeed(&tio, B115200);
        ::cfsetospeed(&tio, B115200);
        ::tcsetattr(slave, TCSANOW, &tio);
        master_ = master;
        slave_ = slave;
        path_ = name;
        lastPath_ = name;
        break;
    }
    if (spare >= 0)
        ::close(spare);
    return master_ >= 0;
}

void Simulator::ClosePty()
{
    if (slave_ >= 0)
        ::close(slave_);
    if (master_ >= 0)
        ::close(master_);
    master_ = slave_ = -1;
    path_.clear();
}

void Simulator::ReleaseExclusive()
{
    // The tool opens its port exclusively. On a real device the exclusive
    // mark goes with the last close; here the simulator's own slave handle
    // keeps the terminal alive, so the mark is dropped for it.
    if (slave_ >= 0)
        ::ioctl(slave_, TIOCNXCL);
}

void Simulator::UpdateLink()
{
    if (linkPath_.empty())
        return;
    struct stat st{};
    const bool exists = ::lstat(linkPath_.c_str(), &st) == 0;
    if (exists && !S_ISLNK(st.st_mode))
        return; // never replace something that is not our link
    if (path_.empty() || stop_) {
        if (exists)
            ::unlink(linkPath_.c_str());
        return;
    }
    // Re-point atomically: a new link beside the old one, renamed over it.
    const std::string temporary = linkPath_ + ".new";
    ::unlink(temporary.c_str());
    if (::symlink(path_.c_str(), temporary.c_str()) == 0 && ::rename(temporary.c_str(), linkPath_.c_str()) != 0)
        ::unlink(temporary.c_str());
}

void Simulator::SetLinkPath(std::string path)
{
    std::lock_guard lock(mutex_);
    if (!linkPath_.empty() && path != linkPath_) {
        struct stat st{};
        if (::lstat(linkPath_.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
            ::unlink(linkPath_.c_str());
    }
    linkPath_ = std::move(path);
    if (running_)
        UpdateLink();
}

void Simulator::Wake()
{
    if (wakeWrite_ >= 0)
        (void)!::write(wakeWrite_, "x", 1);
}

void Simulator::Unplug()
{
    std::lock_guard lock(mutex_);
    if (!running_ || master_ < 0)
        return;
    PullCable();
    Wake();
}

void Simulator::PullCable()
{
    ClosePty();
    box_.Unplugged(Clock::now());
    UpdateLink();
}

bool Simulator::Replug(std::string* error)
{
    std::lock_guard lock(mutex_);
    if (!running_) {
        if (error)
            *error = "the simulator is not running";
        return false;
    }
    if (master_ >= 0)
        return true;
    if (!OpenPty(error))
        return false;
    box_.Plugged(Clock::now());
    UpdateLink();
    Wake();
    return true;
}

bool Simulator::Plugged() const
{
    std::lock_guard lock(mutex_);
    return master_ >= 0;
}

void Simulator::Log(const std::string& command)
{
    if (logLimit_ == 0)
        return;
    if (log_.size() >= logLimit_)
        log_.pop_front();
    log_.push_back({Clock::now(), command});
    logChanged_.notify_all();
}

std::vector<SimLogEntry> Simulator::CommandLog() const
{
    std::lock_guard lock(mutex_);
    return std::vector<SimLogEntry>(log_.begin(), log_.end());
}

void Simulator::ClearCommandLog()
{
    std::lock_guard lock(mutex_);
    log_.clear();
}

bool Simulator::WaitForCommands(size_t count, int timeoutMs) const
{
    std::unique_lock lock(mutex_);
    return logChanged_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return log_.size() >= count; });
}

bool Simulator::WaitForCommand(const std::string& text, int timeoutMs, size_t skip) const
{
    std::unique_lock lock(mutex_);
    return logChanged_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        size_t seen = 0;
        for (const SimLogEntry& entry : log_)
            if (entry.command == text && ++seen > skip)
                return true;
        return false;
    });
}

void Simulator::SetTrace(std::function<void(const std::string&, const std::string&)> trace)
{
    std::lock_guard lock(mutex_);
    trace_ = std::move(trace);
}

void Simulator::SetFaults(const SimFaults& faults)
{
    std::lock_guard lock(mutex_);
    box_.SetFaults(faults, Clock::now());
}

SimFaults Simulator::Faults() const
{
    std::lock_guard lock(mutex_);
    return box_.Faults();
}

bool Simulator::EncoderPowered() const
{
    std::lock_guard lock(mutex_);
    return box_.Encoder().Powered();
}

void Simulator::SetEncoderPower(bool on)
{
    std::lock_guard lock(mutex_);
    box_.SetEncoderPower(on, Clock::now());
}

std::array<uint8_t, 64> Simulator::BankImage(uint8_t bank) const
{
    std::lock_guard lock(mutex_);
    return const_cast<SimBox&>(box_).Encoder().BankImage(bank, Clock::now());
}

std::array<uint8_t, 64> Simulator::StoredBankImage(uint8_t bank) const
{
    std::lock_guard lock(mutex_);
    return box_.Encoder().StoredBankImage(bank);
}

std::array<uint8_t, 64> Simulator::FixedArea() const
{
    std::lock_guard lock(mutex_);
    return const_cast<SimBox&>(box_).Encoder().FixedArea(Clock::now());
}

uint8_t Simulator::SelectedBank() const
{
    std::lock_guard lock(mutex_);
    return box_.Encoder().SelectedBank();
}

bool Simulator::DebugUnlocked() const
{
    std::lock_guard lock(mutex_);
    return box_.Encoder().DebugUnlocked();
}

void Simulator::SetShaftSpeed(double speed)
{
    std::lock_guard lock(mutex_);
    box_.Encoder().SetSpeed(speed, Clock::now());
}

double Simulator::ShaftSpeed() const
{
    std::lock_guard lock(mutex_);
    return box_.Encoder().Speed();
}

void Simulator::SetShaftPosition(int64_t turns, uint32_t singleturn)
{
    std::lock_guard lock(mutex_);
    box_.Encoder().SetShaftPosition(turns, singleturn, Clock::now());
}

SimPosition Simulator::ReportedPosition() const
{
    std::lock_guard lock(mutex_);
    return const_cast<SimBox&>(box_).Encoder().ReportedPosition(Clock::now());
}

SimEncoderInfo Simulator::EncoderInfo() const
{
    std::lock_guard lock(mutex_);
    return box_.Encoder().Info();
}

uint32_t Simulator::CalibrationsRun() const
{
    std::lock_guard lock(mutex_);
    const_cast<SimBox&>(box_).Encoder().AnswersRegisters(Clock::now()); // let time finish a calibration
    return box_.Encoder().CalibrationsRun();
}

void Simulator::Serve()
{
    std::vector<SimExchange> exchanges;
    std::function<void(const std::string&, const std::string&)> trace;
    char buffer[4096];
    for (;;) {
        int master;
        bool partial;
        {
            std::lock_guard lock(mutex_);
            if (stop_)
                return;
            master = master_;
            partial = box_.HasPartial();
        }
        pollfd fds[2] = {{wakeRead_, POLLIN, 0}, {master, POLLIN, 0}};
        const nfds_t count = master >= 0 ? 2 : 1;
        const int n = ::poll(fds, count, partial ? kPartialCommandMs : kIdleMs);
        if (n < 0 && errno != EINTR)
            return;
        if (fds[0].revents & POLLIN) {
            while (::read(wakeRead_, buffer, sizeof buffer) > 0) {
            }
            continue;
        }
        exchanges.clear();
        {
            std::lock_guard lock(mutex_);
            if (master != master_ || master < 0)
                continue;
            if (n == 0) {
                ReleaseExclusive();
                if (partial)
                    box_.ExpirePartial(Clock::now(), exchanges);
            } else if (fds[1].revents & POLLIN) {
                const ssize_t got = ::read(master, buffer, sizeof buffer);
                if (got > 0) {
                    ReleaseExclusive();
                    box_.Feed(std::string_view(buffer, static_cast<size_t>(got)), Clock::now(), exchanges);
                }
            }
            for (const SimExchange& e : exchanges)
                Log(e.command);
            trace = trace_;
        }
        if (trace)
            for (const SimExchange& e : exchanges)
                trace(e.command, e.reply);
        // Waits ms unless woken; false when the simulator stops meanwhile.
        auto pause = [&](int ms) {
            pollfd wake{wakeRead_, POLLIN, 0};
            if (ms > 0 && ::poll(&wake, 1, ms) > 0) {
                std::lock_guard lock(mutex_);
                return !stop_;
            }
            return true;
        };
        // Sends bytes unless the port changed meanwhile.
        auto send = [&](std::string_view bytes) {
            std::lock_guard lock(mutex_);
            if (master_ == master && master >= 0 && !bytes.empty())
                (void)!::write(master, bytes.data(), bytes.size());
        };
        for (const SimExchange& e : exchanges) {
            if (e.unplug) {
                std::lock_guard lock(mutex_);
                if (master_ == master && master >= 0)
                    PullCable();
                break;
            }
            if (!pause(e.delayMs))
                return;
            if (e.reply.empty())
                continue;
            const std::string_view reply(e.reply);
            if (e.splitAt > 0 && e.splitAt < reply.size()) {
                send(reply.substr(0, e.splitAt));
                if (!pause(e.splitGapMs))
                    return;
                send(reply.substr(e.splitAt));
            } else {
                send(reply);
            }
        }
    }
}
