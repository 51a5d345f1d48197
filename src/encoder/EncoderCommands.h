#pragma once
// The maker's protected commands and the register writes around them. Every
// command is a key written to KEY (0x48) followed by its code written to CMD
// (0x49); the encoder acts on the CMD write only when its key came right
// before it. The functions here talk to the encoder through the link, one
// transaction at a time, and return what happened; the front end shows it.

#include "encoder/RegisterModel.h"
#include "link/InterfaceSettings.h"
#include "link/Link.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// Keys written to KEY.
constexpr uint8_t CommandKey = 0xB3;
constexpr uint8_t UnlockKey = 0x9E;

// Command codes written to CMD.
constexpr uint8_t CmdSaveToFlash = 0x63;
constexpr uint8_t CmdNewMultiturn = 0x6D;
constexpr uint8_t CmdFactoryReset = 0x72;
constexpr uint8_t CmdClearPersistentStatus = 0x62;
constexpr uint8_t CmdSaveUserMemory = 0x75;
constexpr uint8_t CmdStartCalibration = 0x41;
constexpr uint8_t CmdUnlock = 0x47;

// One command of the table: its code and the keys that go to KEY before it, in order.
struct EncoderCommandEntry {
    const char* name;
    uint8_t code;
    uint8_t keyCount;
    std::array<uint8_t, 2> keys;
};
// Every command the service functions send.
extern const std::array<EncoderCommandEntry, 7> kEncoderCommands;
// The entry of a code; a code outside the table takes CommandKey alone.
EncoderCommandEntry EncoderCommandFor(uint8_t code);

// A pause of the given length in ms. The front end decides how it waits: the
// window keeps serving its events where that is allowed, a command line
// sleeps, tests count.
using Pause = std::function<void(int ms)>;

// How an action that talks to the encoder ended, with the text of the status
// line: "Comm OK\r\n" or "Error\r\n" followed by the link's LastErrorText.
struct EncoderOutcome {
    bool ok = false;
    std::string statusText;
};
EncoderOutcome OutcomeOf(const Link& link, bool ok);

// WriteRegister(0x40, bank). The selection is the encoder's shared state:
// every use of the bank area selects its bank first.
bool SelectBank(Link& link, uint8_t bank);
// Selects a bank and reads all 64 of its registers into RxBank.
bool ReadWholeBank(Link& link, uint8_t bank);

// Selecting a bank the encoder may refuse (the diagnostic banks before the
// unlock): the selection is read back from register 0x40.
enum class BankSelection { Failed, Refused, Selected };
BankSelection SelectCheckedBank(Link& link, uint8_t bank);

// Writes the command's keys to KEY and then the code to CMD. Stops at the
// first failed write: after a failed key write no CMD write is made.
EncoderOutcome IssueEncoderCommand(Link& link, uint8_t command);

// Writes the low count bytes (1-4) of value big-endian to registers
// address .. address + count - 1 of the selected bank, one register at a
// time in ascending order; stops at the first failed write (the registers
// written before it keep their new values).
bool WriteBigEndian(Link& link, uint8_t address, uint32_t value, int count);

// Writing a configuration value typed into a field.
enum class ValueWrite {
    Written,    // every byte written
    Empty,      // an empty text: nothing to write, which is no failure
    Failed,     // a register write failed; statusText tells why
    NotANumber, // the text is not a number: the action ends with conversionError
    BadWidth    // byte count outside 1-4: nothing sent
};
struct ConfigWriteOutcome {
    ValueWrite result = ValueWrite::BadWidth;
    std::string conversionError; // NotANumber: the message naming the text
    std::string statusText;      // Written, Empty, Failed: the status line

    bool ok() const { return result == ValueWrite::Written || result == ValueWrite::Empty; }
};
// The number in text (see ParseConfigNumber) as a byteCount-byte big-endian
// value at address of the bank the caller selected. Only the low byteCount
// bytes are written: 300 into one byte writes 0x2C, -1 into four writes 0xFF
// four times.
ConfigWriteOutcome WriteConfigValue(Link& link, std::string_view text, uint8_t address, uint8_t byteCount);

// New multiturn counter: selects bank 0, writes the counter big-endian at
// baseAddress (ConfigRegister::TorvikNewMultiturn or QuenraNewMultiturn) and
// issues CmdNewMultiturn. The text is a signed 32-bit number; an empty text
// is not a number. A text that is not one ends after the bank selection.
ConfigWriteOutcome PresetMultiturn(Link& link, std::string_view counterText, uint8_t baseAddress);

// A save to non-volatile memory that never stops its action: failures are
// collected as texts, and the CMD write is made even after a failed key
// write. Pauses go before the key write, between the two writes and after the
// CMD write (0 skips one); they block, so that nothing else reaches the
// encoder between its key and its command.
struct SavePacing {
    int beforeKey = 0;
    int betweenKeyAndCommand = 0;
    int afterCommand = 0;
};
// The error-map load: 500 ms before, between and after.
constexpr SavePacing kErrorMapSavePacing{500, 500, 500};
// The user-memory load: 500 ms after the command.
constexpr SavePacing kUserMemorySavePacing{0, 0, 500};
constexpr const char* kSaveKeyErrorText = "Save to flash: Error writing to KEY register";
constexpr const char* kSaveCommandErrorText = "Save to flash: Error writing to CMD register";
struct SaveOutcome {
    bool keyWritten = false;
    bool commandWritten = false;
    std::string errorText; // the failure texts, each followed by "\r\n"

    bool ok() const { return keyWritten && commandWritten; }
};
SaveOutcome PacedSave(Link& link, uint8_t command, const SavePacing& pacing, const Pause& block);

// Start of a self-calibration: a failed key write fails; the result of the
// CMD write is not evaluated (the encoder stops answering while it
// calibrates, so the reply may be lost although the command arrived). On
// success the status line reads "Comm OK" alone while the encoder calibrates.
EncoderOutcome StartCalibrationCommand(Link& link);

// Factory reset: CmdFactoryReset, then 500 ms in which the window keeps
// serving (serving), then the encoder's supply off for 1200 ms and on again
// for 200 ms (block). A failed command ends at once, without the power cycle.
EncoderOutcome FactoryResetCommand(Link& link, PowerSwitch& power, const Pause& serving, const Pause& block);

// The unlock of the diagnostic banks: CommandKey and UnlockKey to KEY,
// CmdUnlock to CMD, then bank 0xDF selected. Stops at the first failed write.
// Whether the encoder accepted shows when the bank is read back
// (SelectCheckedBank).
EncoderOutcome UnlockDebugBanks(Link& link);
