#pragma once
// What the simulated box and encoder are: the encoder family and its
// identity, and the faults the box and the encoder show.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

enum class SimFamily { Torvik, Quenra, Linear, Foreign };

// Accepts "torvik", "quenra", "linear" and "foreign" in any case.
bool ParseSimFamily(std::string_view text, SimFamily& out);
const char* SimFamilyName(SimFamily family);

// Faults that can be switched at any time. The transport faults act on the
// box's replies; the others on what the encoder reports.
struct SimFaults {
    // Box replies.
    bool noReply = false;     // commands are swallowed, nothing comes back
    int replyDelayMs = 0;     // every reply waits this long before it is sent
    bool garbage = false;     // replies are replaced by noise that ends in CR
    bool missingCr = false;   // replies come without their CR
    bool splitReply = false;  // replies come in two pieces, splitGapMs apart
    int splitGapMs = 30;
    std::string afterCr;      // bytes sent right after each reply's CR
    bool timeoutReply = false; // replies are replaced by "TIMEOUT"
    // A share of the replies, in percent, meets one of the faults above (or a
    // reply sent lateMs late) chosen at random; randomSeed makes it repeatable.
    int randomPercent = 0;
    uint32_t randomSeed = 1;
    int lateMs = 450;
    // When not empty, the transport faults above only hit commands whose first
    // character is one of these (for example "4" or "RW").
    std::string onlyCommands;
    // The transport faults leave this many commands alone first (so that
    // they start in the middle of a long action) ...
    int startAfter = 0;
    // ... and hit only this many replies (of the commands they apply to)
    // before they clear themselves; -1: every reply.
    int hitsLeft = -1;
    // After this many more commands the cable is pulled, before the last one
    // is answered; -1: it stays plugged in.
    int unplugAfter = -1;

    // Encoder.
    bool encoderUnpowered = false; // the encoder gets no supply whatever the box is told: no BiSS answer
    bool positionTimeout = false;  // the box answers "4" with TIMEOUT while registers still work
    bool crcError = false;         // position frames carry a wrong CRC; buffered writes answer with a CRC error
    bool errorBit = false;         // the error bit of the frame and the status word are active
    bool warningBit = false;       // the same for the warning bit
    uint16_t extraStatus = 0;      // bits added to the encoder's status word
    uint8_t bbmStatus = 0;         // battery multiturn status byte of Quenra encoders
    // Mean signal level of the maker's encoders (the air gap); 0 is the
    // family's healthy level (2400 Torvik and linear, 6100 Quenra). Levels
    // beyond the limits raise the signal bits of the status word, and the
    // debug samples grow and shrink with it.
    uint16_t signalLevel = 0;
    // The temperature the encoder reports, in degrees C; 0: it warms from 24
    // towards 33 after switching on.
    int temperatureC = 0;
    // Noise on the reported singleturn value: its standard deviation in counts.
    int positionNoise = 0;
    // After this many more switch-ons the encoder gets no supply any more
    // (a unit that dies in the power-cycling test); -1: it always comes on.
    int powerOnsLeft = -1;
    // After a save to non-volatile memory (0x63, 0x75) the encoder stays busy
    // this long storing and does not answer register access.
    int saveBusyMs = 0;
    // Stored checksums that do not match their data.
    bool badEdsChecksum = false;
    bool badProfileChecksum = false;
    bool badConfigChecksum = false;
    bool badErrorMapChecksum = false;
    // A write the encoder refuses (the box answers "1", non-writable): to
    // register refuseAddress of bank refuseBank, or to any register of that
    // bank when refuseAddress is -1. A refuseBank of -1 refuses nothing. A
    // refuseAddress of 0x40-0x7F (KEY, CMD) is refused whatever bank is selected.
    int refuseBank = -1;
    int refuseAddress = -1;
    // After this many more register commands (reads, writes, buffered
    // writes) the encoder stops answering in the middle of whatever it was
    // doing: the box reports its BiSS time-out until the faults are set
    // again. -1: it keeps answering.
    int answersLeft = -1;

    bool HitsCommand(std::string_view command) const
    {
        return onlyCommands.empty() || (!command.empty() && onlyCommands.find(command[0]) != std::string::npos);
    }
};

struct SimOptions {
    SimFamily family = SimFamily::Torvik;
    // Firmware version "major.minor.comm.svn"; empty takes the family's default.
    std::string firmware;
    // Bank 0 address of the firmware version, 47 or 51; 0 chooses 51 for a
    // major version other than 2 (where the tool looks for it) and 47 otherwise.
    int fwAddress = 0;
    std::string partNumber;    // up to 20 characters; empty: the family's default
    uint32_t serialNumber = 0; // 0: the family's default
    int codeLength = 0;        // code word length of the code ring, 5-9; 0: the family's default
    double speed = 10;         // shaft speed in rpm (linear scales: mm/s)
    // A station's test motor: while a self-calibration runs the shaft is
    // taken to turn at least this fast (rpm), whatever its speed otherwise.
    double calibrationSpeed = 0;
    bool powerOnAtStart = true;
    // User banks the datasheet declares; -1 takes the family's (Torvik
    // 24-27). Any pair is declared as it stands, a last bank below the first
    // included.
    int userBankFirst = -1;
    int userBankLast = -1;
    bool writeProtected = false;  // write-protect register not at the "writes allowed" marker
    unsigned eccentricityUm = 18; // ring eccentricity a self-calibration finds
    double sensorTilt = 4;        // tilt figure the debug samples show
    std::string boxVersion = "K417-3C v2.14";
    SimFaults faults;
    // The command log keeps at most this many of the latest commands, so that
    // a simulator serving a monitor at full speed for hours stays small.
    size_t commandLogLimit = 100000;
};

// A position as the encoder reports it.
struct SimPosition {
    int64_t multiturn = 0; // modulo 2^mtLength
    uint32_t singleturn = 0;
    uint8_t mtLength = 0;
    uint8_t stLength = 0;
};

// The encoder's make-up, as the options resolved it.
struct SimEncoderInfo {
    SimFamily family = SimFamily::Torvik;
    std::string partNumber;
    uint16_t fwMajor = 0, fwMinor = 0, fwComm = 0, fwSvn = 0;
    uint8_t fwAddress = 47;
    uint8_t mtLength = 0, stLength = 0;
    int codeLength = 7;
    uint8_t edsBank = 16, profileBank = 17;
    uint8_t userBankFirst = 24, userBankLast = 27;
    uint8_t errorMapFirstBank = 8;
    uint8_t calStatusRegister = 0x52;
    bool maker = true; // the maker's register model (KEY/CMD, configuration bank, ...)
};
