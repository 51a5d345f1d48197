#pragma once
// The encoder model: a BiSS-C slave with its fixed registers 0x40-0x7F, its
// banks behind the bank-select register, working and non-volatile memory, the
// maker's protected commands, a self-calibration that takes time, status
// blocks that move, and a shaft that turns.
//
// Not thread-safe; the Simulator serialises every call. Everything that moves
// is a function of the time passed in, so a given sequence of calls with
// given times always gives the same answers.

#include "sim/SimOptions.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// Maker's register model: the addresses and codes both sides agree on.
namespace sim {
constexpr uint8_t kRegBankSelect = 0x40;
constexpr uint8_t kRegKey = 0x48;
constexpr uint8_t kRegCmd = 0x49;
constexpr uint8_t kCommandKey = 0xB3;
constexpr uint8_t kUnlockKey = 0x9E;
constexpr uint8_t kCmdSaveToFlash = 0x63;
constexpr uint8_t kCmdNewMultiturn = 0x6D;
constexpr uint8_t kCmdFactoryReset = 0x72;
constexpr uint8_t kCmdClearPersistentStatus = 0x62;
constexpr uint8_t kCmdSaveUserMemory = 0x75;
constexpr uint8_t kCmdStartCalibration = 0x41;
constexpr uint8_t kCmdUnlock = 0x47;
constexpr uint8_t kWriteAllowedMarker = 0xC6;
constexpr uint8_t kConfigBank = 0;
constexpr uint8_t kExtendedSerialBank = 1;
constexpr uint8_t kDebugBank = 0xDF;
constexpr uint8_t kHardFaultBank0 = 0xE0;
constexpr uint8_t kHardFaultBank1 = 0xE1;
constexpr uint16_t kMakerId = 0x4B58; // register 0x7F high byte, 0x7E low byte

// Calibration status flags (bits 2-5; bits 0-1 count finished calibrations).
constexpr uint8_t kCalTimeout = 0x04;
constexpr uint8_t kCalOutOfRange = 0x08;
constexpr uint8_t kCalArcOutOfRange = 0x10;
constexpr uint8_t kCalNoCorrection = 0x20;
constexpr uint8_t kCalUserErrorMap = 0x40; // not an outcome: the stored error map is a user's

// 8-bit sum of bytes [first, last].
uint8_t ByteSum(const uint8_t* bytes, size_t first, size_t last);
} // namespace sim

class SimEncoder {
public:
    using Clock = std::chrono::steady_clock;
    using Bank = std::array<uint8_t, 64>;

    SimEncoder(const SimOptions& options, Clock::time_point now);

    const SimEncoderInfo& Info() const { return info_; }
    void SetFaults(const SimFaults& faults, Clock::time_point now);

    // Supply as the box switches it. The encoder is powered while the box
    // supplies it and no fault cuts the supply. Powering up loads the working
    // memory from the non-volatile memory, selects bank 0 and forgets the
    // unlock; losing power loses every unsaved write and stops a calibration.
    void SetPower(bool on, Clock::time_point now);
    bool Powered() const { return powered_; }

    // Whether the encoder answers register access now: powered, supplied,
    // and not busy (calibrating or resetting).
    bool AnswersRegisters(Clock::time_point now);
    // Whether the encoder answers position requests now.
    bool AnswersPosition(Clock::time_point now);

    // Register access, address 0-127 (0-63 is the selected bank). The caller
    // checks AnswersRegisters first.
    uint8_t Read(uint8_t address, Clock::time_point now);
    bool Writable(uint8_t address) const;
    void Write(uint8_t address, uint8_t value, Clock::time_point now);

    // The 64-bit left-aligned single-cycle frame of the current position.
    uint64_t PositionFrame(Clock::time_point now);
    SimPosition ReportedPosition(Clock::time_point now);

    void SetSpeed(double speed, Clock::time_point now);
    double Speed() const { return speed_; }
    void SetShaftPosition(int64_t turns, uint32_t singleturn, Clock::time_point now);

    // Views for tests; no side effects on the encoder's state beyond time passing.
    Bank BankImage(uint8_t bank, Clock::time_point now);
    Bank StoredBankImage(uint8_t bank) const { return nv_.banks[bank]; }
    Bank FixedArea(Clock::time_point now);
    uint8_t SelectedBank() const { return selected_; }
    bool DebugUnlocked() const { return unlocked_; }
    uint32_t CalibrationsRun() const { return calibrationsRun_; }
    // Status word as the status block reports it now.
    uint16_t StatusWord(Clock::time_point now);

private:
    struct Memory {
        std::array<Bank, 256> banks{};
        int64_t multiturnBase = 0;    // turns added to the shaft's own turn count
        uint16_t persistentStatus = 0;
    };

    enum class Busy { No, Calibrating, Resetting, Saving };

    void UpdateSupply(Clock::time_point now);
    void BuildIdentity(const SimOptions& options);
    void BuildFactoryMemory(const SimOptions& options);
    void BuildEds();
    void BuildFactoryConfig(Bank& config) const;
    void BuildFactoryErrorMap();
    void BuildHardFault();
    void RefreshChecksums(Memory& memory) const;
    bool ErrorMapBank(uint8_t bank) const;
    bool UserBank(uint8_t bank) const;
    bool ProtectedBank(uint8_t bank) const;
    bool WriteProtected() const;
    uint8_t ReadBank(uint8_t bank, uint8_t address, Clock::time_point now);
    uint8_t ReadFixed(uint8_t address, Clock::time_point now);
    void Execute(uint8_t command, Clock::time_point now);
    void StartCalibration(Clock::time_point now);
    void StayBusySaving(Clock::time_point now);
    // Brings everything that moves up to now: the shaft turns, and a busy
    // spell whose time is up ends (a calibration with its results).
    void Advance(Clock::time_point now);
    void MoveShaft(Clock::time_point now);
    void FinishBusySpell(Clock::time_point now);
    void FillStatusBlock(Clock::time_point now);
    double HealthyLevel() const;
    double SignalLevel(Clock::time_point now);
    void FillDebugBank(Clock::time_point now);
    uint64_t debugSnapshots_ = 0;
    uint64_t ReportedCounts() const; // shaft counts after offset and multiturn preset
    uint32_t Offset() const;
    double SecondsOn(Clock::time_point now) const;
    double Angle() const; // 0-1 of a turn (of the scale's period for linear)

    SimEncoderInfo info_;
    SimFaults faults_;
    Memory ram_;
    Memory nv_;
    Bank factoryConfig_{};
    std::array<Bank, 8> factoryErrorMap_{};
    std::array<uint8_t, 64> fixed_{};
    std::array<uint8_t, 18> statusBlock_{}; // registers 0x4A-0x5B as last computed
    std::string partNumber_;
    std::string serialText_;
    std::string extendedSerial_;
    uint32_t serial_ = 0;
    uint8_t deviceId_[6] = {};
    uint8_t coarse_ = 0, fine_ = 0;
    std::vector<uint8_t> codeRing_;
    bool writeProtectedAtStart_ = false;
    double eccentricityUm_ = 18;
    double sensorTilt_ = 4;
    unsigned clockMhz_ = 72;

    bool powerWanted_ = false;
    bool powered_ = false;
    Clock::time_point poweredAt_{};
    uint8_t selected_ = 0;
    bool unlocked_ = false;
    uint8_t key_ = 0;
    uint8_t previousKey_ = 0;
    uint8_t sensorResets_ = 0;
    Clock::time_point debugFilledAt_{};

    // Shaft.
    double speed_ = 0;
    double calibrationSpeed_ = 0;
    uint64_t frames_ = 0;             // position frames sent, the seed of their noise
    double countsPerSpeedSecond_ = 0; // counts per second for a speed of 1
    int64_t counts_ = 0;              // physical shaft position in counts
    double fraction_ = 0;
    Clock::time_point movedAt_{};

    // Self-calibration and other busy spells.
    Busy busy_ = Busy::No;
    Clock::time_point busyUntil_{};
    uint8_t calCounter_ = 0;
    uint8_t calFlags_ = 0;
    uint8_t calPendingFlags_ = 0;
    uint32_t calibrationsRun_ = 0;
};
