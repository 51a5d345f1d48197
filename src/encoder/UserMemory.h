#pragma once
// The encoder's user memory: the banks UserBankFirst..UserBankLast that the
// datasheet declares, 64 byte registers each. One register read and written
// (with the save to non-volatile memory and an optional read-back), every
// bank saved to a CSV file and loaded back from one, and a destructive test
// that writes, saves, power-cycles and verifies every bank twice.

#include "encoder/EncoderCommands.h"
#include "encoder/EncoderFile.h"
#include "link/InterfaceSettings.h"
#include "link/Link.h"
#include "util/CsvFile.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

struct UserBankRange {
    uint16_t first = kBankNotRead;
    uint16_t last = kBankNotRead;

    // Both limits were read from the datasheet.
    bool Declared() const { return first != kBankNotRead && last != kBankNotRead; }
    bool Contains(long long bank) const { return Declared() && bank >= first && bank <= last; }
};
UserBankRange UserBanksOf(const Link& link);

// "First user bank: 24\r\nLast user bank:  27" (65535 for a limit not read).
std::string UserBankLimitsText(const UserBankRange& range);

// --- One register --------------------------------------------------------------

struct UserRegisterRead {
    EncoderOutcome outcome;
    uint8_t value = 0;
};
// Selects the bank and reads the register.
UserRegisterRead ReadUserRegister(Link& link, uint8_t bank, uint8_t address);

enum class VerifyResult { NotChecked, Ok, Fail };
constexpr const char* kVerifyUnknownText = "Verify ???";
const char* VerifyText(VerifyResult result); // "Verify ???", "Verify OK", "Verify FAIL"

struct UserRegisterWrite {
    EncoderOutcome outcome;
    VerifyResult verify = VerifyResult::NotChecked;
};
// Selects the bank, writes the register, issues CmdSaveUserMemory, waits
// 500 ms (block), and with verify reads the register back (without selecting
// the bank again). The first failure ends it.
UserRegisterWrite WriteUserRegister(Link& link, uint8_t bank, uint8_t address, uint8_t value, bool verify,
                                    const Pause& block);

// --- The CSV file ----------------------------------------------------------------
//
// Line 1: FileIdentityLine with the title "Torvik user memory"; line 2
// "Bank;Address;Value"; then "bank;address;value" in decimal, 64 lines per
// bank, banks and addresses ascending.

constexpr const char* kUserMemoryTitle = "Torvik user memory";
constexpr const char* kUserMemoryColumns = "Bank;Address;Value";
constexpr const char* kUserMemoryReadErrorsText = "Errors were encountered during reading user memory:\r\n";
constexpr const char* kUserMemoryLoadErrorsText = "Errors were encountered during loading / writting user memory data:\r\n";

// After a failed read, the last line of the errors.
constexpr const char* kUserMemoryNotSavedText = "Nothing was saved: the file is as it was.\r\n";

struct UserMemorySaveOutcome {
    bool saved = false;     // the file holds every user bank
    std::string errorText;  // the bank that could not be read ("Bank 25 read error! Process terminated.\r\n")
                            // and kUserMemoryNotSavedText
    std::string fileError;  // the file's name and the cause, when it could not be written in full
    std::string statusText; // of the failed read
    bool ReadOk() const { return errorText.empty(); }
};
// Reads every user bank (progress "Reading Bank " + bank) into the file:
// the two header lines, then each bank's 64 lines. The file replaces an
// earlier one only when every bank was read and written; a failed read ends
// the reading and leaves an earlier file as it was. A file that cannot be
// created is not read for.
UserMemorySaveOutcome SaveUserMemoryFile(Link& link, const UserBankRange& range, const TEncoderSignature& signature,
                                         const std::string& fileName, const ProgressText& progress);

struct UserMemoryLoadOutcome {
    // Line errors (the first LineErrorReport::kListed, then their count) and
    // failures of the reading and the writing, as the report lists them; UTF-8.
    std::string errorText;
    std::vector<size_t> skippedLines; // the first lines (from 1) the report lists as not taken
    bool toolHeader = false;   // lines 1 and 2 are the header lines of a file the tool saved
    std::string writtenBanks;  // "24, 25, "
    bool trafficOk = true;     // no register operation failed
    std::string statusText;    // of the first failed operation
};
// Writes the lines of a file into the user banks, reading and judging them
// one at a time (progress "Reading Line " + n per line, "Writing Bank  " +
// bank per bank). Every line is "bank;address;value" (commas read as points;
// decimal, or hexadecimal after "0x"); bank and value are bytes, the address
// 0-63, the bank one of the user banks. Other lines are listed and skipped.
// A run of lines for one bank collects in TxBank (zeros where no line names
// an address) and goes to the encoder in one buffered write when the bank
// changes and after the last line; then the user memory is saved to flash
// once (500 ms after it). A failed write or read of the file stops the
// reading of lines, but the collected bank is still written once more and
// the save still made.
UserMemoryLoadOutcome LoadUserMemoryLines(Link& link, const UserBankRange& range, CsvLineReader& lines,
                                          const ProgressText& progress, const Pause& block);
// What a load of these lines leaves in the banks it writes: each bank that
// a run of good lines names, with zeros where the bank's last run names no
// address. A saved file gives back the banks it holds.
std::map<unsigned, TBiSS_bank> UserMemoryImage(const UserBankRange& range, CsvLineReader& lines);

// --- The test ----------------------------------------------------------------------

constexpr const char* kUserMemoryTestQuestion = "User memory test will erase all user data!\r\nContinue?";
constexpr const char* kTestInProgressText = "Test in progress...";

// Why a declared range cannot be tested (its last bank below its first, or
// more than 255 banks); none when it can.
std::optional<std::string> UserMemoryTestRangeProblem(const UserBankRange& range);

struct UserMemoryTestHooks {
    // The progress bar's new position (-1: unchanged) and the result label's text.
    std::function<void(int position, const std::string& text)> show;
    // After each bank: the front end serves what is pending (a page switch, a
    // monitor tick). False stops the test at once, without any ending.
    std::function<bool()> serve;
    // The blocking waits after the save and around the power cycle.
    Pause block;
};

struct UserMemoryTestOutcome {
    enum class Ending { Passed, Failed, Stopped };
    Ending ending = Ending::Stopped;
    std::string resultText;  // "Verify OK." or "Error\r\n" + LastErrorText
    std::string statusText;
};
// The progress bar runs from 0 to 4 x banks.
inline int UserMemoryTestSteps(const UserBankRange& range) { return 4 * (range.last - range.first + 1); }
// Two runs over every user bank: random bytes 0-254 (from seed), then
// zeros. Each run writes every bank with a buffered write, saves the user
// memory (500 ms), switches the encoder off for 1200 ms and on for 200 ms,
// and reads every bank back. A failed operation or the first byte that
// differs ends the test ("Verify failed\r\nBank: ..." in LastErrorText). The
// range must have passed UserMemoryTestRangeProblem.
UserMemoryTestOutcome RunUserMemoryTest(Link& link, PowerSwitch& power, const UserBankRange& range, uint32_t seed,
                                        const UserMemoryTestHooks& hooks);
