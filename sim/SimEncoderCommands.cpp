// The maker's KEY/CMD commands and the self-calibration they start, up to the
// end of the busy spell that carries its results.
#include "sim/SimEncoder.h"
#include "sim/SimEncoderDetail.h"

#include <algorithm>
#include <chrono>
#include <cmath>

using namespace sim;
using namespace sim::detail;

void SimEncoder::Execute(uint8_t command, Clock::time_point now)
{
    if (!info_.maker)
        return;
    if (command == kCmdUnlock) {
        if (previousKey_ == kCommandKey && key_ == kUnlockKey)
            unlocked_ = true;
        return;
    }
    if (key_ != kCommandKey)
        return;
    Bank& config = ram_.banks[kConfigBank];
    switch (command) {
    case kCmdSaveToFlash:
        nv_.banks[kConfigBank] = config;
        for (uint8_t b = info_.errorMapFirstBank; b < 16; ++b)
            nv_.banks[b] = ram_.banks[b];
        RefreshChecksums(nv_);
        StayBusySaving(now);
        break;
    case kCmdSaveUserMemory:
        for (unsigned b = info_.userBankFirst; b <= info_.userBankLast; ++b)
            nv_.banks[b] = ram_.banks[b];
        StayBusySaving(now);
        break;
    case kCmdNewMultiturn: {
        const uint8_t base = info_.family == SimFamily::Quenra ? 0x04 : 0x14;
        const int64_t wanted = static_cast<int32_t>(GetBE(&config[base], 4));
        const int64_t period = int64_t{1} << info_.stLength;
        const int64_t turns = FloorDiv(counts_ - static_cast<int64_t>(Offset()), period);
        ram_.multiturnBase = nv_.multiturnBase = wanted - turns;
        break;
    }
    case kCmdFactoryReset: {
        Bank fresh = factoryConfig_;
        fresh[0x2E] = config[0x2E]; // a lock stays
        for (Memory* m : {&ram_, &nv_}) {
            m->banks[kConfigBank] = fresh;
            for (uint8_t b = info_.errorMapFirstBank; b < 16; ++b)
                m->banks[b] = factoryErrorMap_[b - 8];
            m->persistentStatus = 0;
            RefreshChecksums(*m);
        }
        calFlags_ = 0;
        busy_ = Busy::Resetting;
        busyUntil_ = now + std::chrono::milliseconds(300);
        break;
    }
    case kCmdClearPersistentStatus:
        ram_.persistentStatus = nv_.persistentStatus = 0;
        RefreshChecksums(ram_);
        RefreshChecksums(nv_);
        break;
    case kCmdStartCalibration:
        StartCalibration(now);
        break;
    default:
        break;
    }
}

void SimEncoder::StayBusySaving(Clock::time_point now)
{
    if (faults_.saveBusyMs <= 0)
        return;
    busy_ = Busy::Saving;
    busyUntil_ = now + std::chrono::milliseconds(faults_.saveBusyMs);
}

void SimEncoder::StartCalibration(Clock::time_point now)
{
    const Bank& config = ram_.banks[kConfigBank];
    const unsigned arc = GetBE(&config[0x19], 2);
    unsigned timeoutS = info_.fwSvn >= 9568 ? config[0x21] : 10;
    if (timeoutS == 0)
        timeoutS = 10;
    busy_ = Busy::Calibrating;
    calFlags_ = 0;
    double seconds;
    if (arc < 180 || arc > 360) {
        calPendingFlags_ = kCalArcOutOfRange;
        seconds = 0.2;
    } else {
        // The shaft has to turn through the arc before the time-out.
        const double degreesPerSecond = std::max(std::fabs(speed_), calibrationSpeed_) * 6.0;
        const double needed = degreesPerSecond > 0 ? arc / degreesPerSecond : 1e9;
        if (needed > timeoutS) {
            calPendingFlags_ = kCalTimeout;
            seconds = timeoutS;
        } else {
            calPendingFlags_ = eccentricityUm_ > 150 ? kCalOutOfRange : eccentricityUm_ < 3 ? kCalNoCorrection : 0;
            seconds = std::max(needed, 0.05);
        }
    }
    busyUntil_ = now + std::chrono::microseconds(static_cast<int64_t>(seconds * 1e6));
}

void SimEncoder::FinishBusySpell(Clock::time_point now)
{
    if (busy_ != Busy::No && now >= busyUntil_) {
        if (busy_ == Busy::Calibrating) {
            calCounter_ = static_cast<uint8_t>((calCounter_ + 1) & 3);
            calFlags_ = calPendingFlags_;
            ++calibrationsRun_;
            if (info_.fwSvn >= 2589 && !(calFlags_ & (kCalTimeout | kCalArcOutOfRange))) {
                // The results go to the configuration bank and are stored at once.
                for (Memory* m : {&ram_, &nv_}) {
                    Bank& config = m->banks[kConfigBank];
                    PutBE(&config[0x1B], static_cast<uint64_t>(std::lround(eccentricityUm_)), 2);
                    PutBE(&config[0x1D], 137, 2);
                    PutBE(&config[0x1F], static_cast<uint16_t>(int16_t{-12}), 2);
                    RefreshChecksums(*m);
                }
            }
        }
        busy_ = Busy::No;
    }
}
