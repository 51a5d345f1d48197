#pragma once
// The electronic datasheet: the common part in the bank named by register
// 0x41 and the BiSS profile part (BP3 form) in the bank the common part names.
// Both are shown as text, both checksums are verified, and the values other
// parts need (user banks, data lengths, position field lengths) are taken over
// into the link state.

#include "biss/EncoderIdentity.h"
#include "link/Link.h"

#include <optional>
#include <string>

// Text of the common part; lines end with "\r\n" except the last one.
std::string EdsCommonText(const TBiSS_bank& bank);
// Text of the BP3 profile part; every line ends with "\r\n".
std::string EdsProfileText(const TBiSS_bank& bank);
// Low 8 bits of the sum of bytes 0-62 equal byte 63.
bool EdsChecksumOk(const TBiSS_bank& bank);
// "Checksum: " and the stored checksum byte.
std::string EdsChecksumText(const TBiSS_bank& bank);

constexpr const char* kEdsProfileNotBp3 = "BiSS Profile is not in PB3 format";

struct EdsChecksum {
    std::string text;
    bool ok = false;
};

// Multiturn and singleturn lengths from the profile, for the position page.
struct EdsFieldLengths {
    int multiturn = 0;
    int singleturn = 0;
};

struct EdsReadOutcome {
    bool started = false;                       // the common bank was known
    std::optional<std::string> commonText;
    std::optional<EdsChecksum> commonChecksum;
    bool userBanksKnown = false;                // UserBankFirst/Last were taken over
    std::optional<std::string> profileText;     // profile text or kEdsProfileNotBp3
    std::optional<EdsChecksum> profileChecksum;
    std::optional<EdsFieldLengths> fieldLengths; // hand-over to the position scale
    bool lengthsLimited = false;                // the profile declared lengths beyond the frame word
    // Status line: none when the read stopped without an error (no common
    // bank, or a profile that is not BP3).
    std::optional<bool> statusOk;
    std::string statusText;
};

// The datasheet read. profileIsBp3 tells whether the last identification
// found the BP3 profile id in register 0x42. The field lengths are limited
// to 24 multiturn and 32 singleturn bits (what a frame word carries); a
// datasheet declaring more still reads, with a status text naming the
// lengths. A failed transaction clears EncoderConnected, so the monitor
// cycle identifies the encoder anew.
EdsReadOutcome ReadEds(Link& link, EncoderIdentity& identity, bool profileIsBp3);

// The data-length report of the position page.
std::string EdsDataLengthReport(const Link& link);
