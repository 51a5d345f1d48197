#pragma once
// The simulated K417-3C interface box with an encoder attached, served on the
// master side of a pseudo-terminal from a thread of its own. The tool opens
// PortPath() like any serial device. The same class serves the k417-sim
// program, the tool's --simulate switch and the tests.

#include "sim/SimBox.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <time.h>

struct SimLogEntry {
    std::chrono::steady_clock::time_point time;
    std::string command; // as framed by the box; stray bytes appear as they came
};

class Simulator {
public:
    explicit Simulator(const SimOptions& options = {});
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Creates the pseudo-terminal and starts serving. False (with *error) when
    // no pseudo-terminal can be had or it is already running.
    bool Start(std::string* error = nullptr);
    // Stops serving and closes the pseudo-terminal. Safe to call twice.
    void Stop();
    bool Running() const;
    // The slave path the tool opens, for example /dev/pts/7; empty while unplugged or stopped.
    std::string PortPath() const;

    // The commands received (the latest SimOptions::commandLogLimit of them),
    // with their arrival times.
    std::vector<SimLogEntry> CommandLog() const;
    void ClearCommandLog();
    // Blocks until the log holds at least count entries or timeoutMs passes.
    bool WaitForCommands(size_t count, int timeoutMs) const;
    // Blocks until a command equal to text has been logged (after the first
    // skip such commands) or timeoutMs passes.
    bool WaitForCommand(const std::string& text, int timeoutMs, size_t skip = 0) const;

    // Called from the serving thread with every command and its reply (after
    // faults), for a trace of the traffic. Empty switches it off.
    void SetTrace(std::function<void(const std::string& command, const std::string& reply)> trace);

    // Faults, effective from the next command on.
    void SetFaults(const SimFaults& faults);
    SimFaults Faults() const;

    // Pulls the box out: the pseudo-terminal is closed, its path disappears,
    // and the tool's next write or wait on it fails.
    void Unplug();
    // Plugs the box in again on a new pseudo-terminal with a new path. The
    // encoder keeps its non-volatile memory; it starts like after a power-up.
    bool Replug(std::string* error = nullptr);
    bool Plugged() const;
    // Keeps a symbolic link at path pointing to the current port (re-pointed
    // after a replug, removed while unplugged and when stopped). Empty stops it.
    void SetLinkPath(std::string path);

    // The encoder, for tests and the program's own controls. Thread-safe.
    bool EncoderPowered() const;
    void SetEncoderPower(bool on); // like the box's N / F commands
    // Image of a bank as the encoder holds it now (working memory) or in its
    // non-volatile memory.
    std::array<uint8_t, 64> BankImage(uint8_t bank) const;
    std::array<uint8_t, 64> StoredBankImage(uint8_t bank) const;
    std::array<uint8_t, 64> FixedArea() const; // registers 0x40-0x7F
    uint8_t SelectedBank() const;
    bool DebugUnlocked() const;
    void SetShaftSpeed(double speed); // rpm (linear scales: mm/s)
    double ShaftSpeed() const;
    // Sets the physical shaft position: whole turns and counts within the turn,
    // before the encoder's zero offset and multiturn preset are applied.
    void SetShaftPosition(int64_t turns, uint32_t singleturn);
    // The position the encoder reports right now.
    SimPosition ReportedPosition() const;
    SimEncoderInfo EncoderInfo() const;
    uint32_t CalibrationsRun() const;
    // The processor time the box's own thread has taken while it runs, in ms:
    // a benchmark of the tool leaves it out of the process's.
    double ProcessorMs() const;

private:
    void Serve();
    bool OpenPty(std::string* error);
    void ClosePty();
    // The cable is pulled: the port goes, the box loses its supply. Called
    // with the mutex held.
    void PullCable();
    void ReleaseExclusive();
    void UpdateLink();
    void Wake();
    void Log(const std::string& command);

    mutable std::mutex mutex_;
    mutable std::condition_variable logChanged_;
    SimBox box_;
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
    std::string lastPath_;
    std::string linkPath_;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    bool running_ = false;
    bool stop_ = false;
    std::deque<SimLogEntry> log_;
    std::function<void(const std::string&, const std::string&)> trace_;
    size_t logLimit_;
    std::thread thread_;
    std::optional<clockid_t> threadClock_; // of thread_
};
