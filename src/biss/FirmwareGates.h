#pragma once
// Which of the maker's registers and layouts exist, decided from the firmware
// version words of the encoder signature. Every action asks these on its own,
// from the signature read last; the identification uses them to enable or
// disable the matching edit fields.

#include "biss/EncoderIdentity.h"

#include <cstdint>

namespace FirmwareGate {

// Builds (SVN) from which the write-protect register 0.2E exists.
constexpr uint16_t kWriteProtectFirst = 1523;
// Last build that writes 0.2E with the configuration; later builds never do.
constexpr uint16_t kWriteProtectWrittenLast = 9572;
constexpr uint16_t kMultiturnErrorArcFirst = 2211;
constexpr uint16_t kCalibrationArcFirst = 2589;
constexpr uint16_t kCalibrationTimeoutFirst = 9568;
constexpr uint16_t kPersistentStatusFirst = 9568;

// Protected actions warn about write protection and the configuration write
// asks for the lock confirmation.
constexpr bool WarnsIfWriteProtected(uint16_t svn) { return svn >= kWriteProtectFirst; }
constexpr bool ReadsWriteProtect(EncoderFamily family, uint16_t svn)
{
    return family == EncoderFamily::Torvik && svn >= kWriteProtectFirst;
}
constexpr bool WritesWriteProtect(uint16_t svn) { return svn >= kWriteProtectFirst && svn <= kWriteProtectWrittenLast; }
constexpr bool HasMultiturnErrorArc(uint16_t svn) { return svn >= kMultiturnErrorArcFirst; }
constexpr bool HasCalibrationArc(EncoderFamily family, uint16_t svn)
{
    return family == EncoderFamily::Torvik && svn >= kCalibrationArcFirst;
}
// Calibration results (eccentricity, its angle, readhead shift), any family.
constexpr bool HasCalibrationResults(uint16_t svn) { return svn >= kCalibrationArcFirst; }
constexpr bool HasCalibrationTimeout(EncoderFamily family, uint16_t svn)
{
    return family == EncoderFamily::Torvik && svn >= kCalibrationTimeoutFirst;
}
constexpr bool HasPersistentStatus(uint16_t svn) { return svn >= kPersistentStatusFirst; }
constexpr bool HasExtendedSerial(uint16_t minor) { return minor >= 5; }
// Error map: 8 pages in banks 8-15 from minor version 3 on, else 4 pages in banks 12-15.
constexpr int ErrorMapPageCount(uint16_t minor) { return minor >= 3 ? 8 : 4; }
constexpr int ErrorMapFirstBank(uint16_t minor) { return minor >= 3 ? 8 : 12; }
// The debug bank carries a decoding index from this firmware version word on.
constexpr bool DebugBankHasDecodingIndex(uint16_t comm) { return comm >= 8; }

} // namespace FirmwareGate
