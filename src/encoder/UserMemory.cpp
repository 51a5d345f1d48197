#include "encoder/UserMemory.h"

#include "link/PowerCycle.h"
#include "util/CsvFile.h"
#include "util/Text.h"

#include <random>

namespace {
void Tell(const ProgressText& progress, const std::string& text)
{
    if (progress)
        progress(text);
}
} // namespace

UserBankRange UserBanksOf(const Link& link)
{
    return {link.UserBankFirst, link.UserBankLast};
}

std::string UserBankLimitsText(const UserBankRange& range)
{
    return "First user bank: " + std::to_string(range.first) + "\r\n" + "Last user bank:  " + std::to_string(range.last);
}

// --- One register --------------------------------------------------------------

UserRegisterRead ReadUserRegister(Link& link, uint8_t bank, uint8_t address)
{
    UserRegisterRead out;
    const bool ok = SelectBank(link, bank) && link.ReadRegisters(address, 1);
    if (ok)
        out.value = link.RxBank[0];
    out.outcome = OutcomeOf(link, ok);
    return out;
}

const char* VerifyText(VerifyResult result)
{
    switch (result) {
    case VerifyResult::Ok: return "Verify OK";
    case VerifyResult::Fail: return "Verify FAIL";
    case VerifyResult::NotChecked: break;
    }
    return kVerifyUnknownText;
}

UserRegisterWrite WriteUserRegister(Link& link, uint8_t bank, uint8_t address, uint8_t value, bool verify,
                                    const Pause& block)
{
    UserRegisterWrite out;
    if (!SelectBank(link, bank) || !link.WriteRegister(address, value) || !IssueEncoderCommand(link, CmdSaveUserMemory).ok) {
        out.outcome = OutcomeOf(link, false);
        return out;
    }
    block(500);
    if (verify) {
        // The encoder keeps the bank selected: the read-back needs no selection.
        if (!link.ReadRegisters(address, 1)) {
            out.outcome = OutcomeOf(link, false);
            return out;
        }
        out.verify = link.RxBank[0] == value ? VerifyResult::Ok : VerifyResult::Fail;
    }
    out.outcome = OutcomeOf(link, true);
    return out;
}

// --- The CSV file ----------------------------------------------------------------

UserMemorySaveOutcome SaveUserMemoryFile(Link& link, const UserBankRange& range, const TEncoderSignature& signature,
                                         const std::string& fileName, const ProgressText& progress)
{
    UserMemorySaveOutcome out;
    CsvWriter file;
    if (file.Open(fileName) && file.WriteLine(FileIdentityLine(kUserMemoryTitle, signature)) &&
        file.WriteLine(kUserMemoryColumns)) {
        for (unsigned bank = range.first; range.Declared() && bank <= range.last && bank <= 255; ++bank) {
            const std::string name = std::to_string(bank);
            Tell(progress, "Reading Bank " + name);
            if (!SelectBank(link, static_cast<uint8_t>(bank))) {
                out.errorText += "Bank select error! Process terminated.\r\n";
                break;
            }
            if (!link.ReadRegisters(0, 64)) {
                out.errorText += "Bank " + name + " read error! Process terminated.\r\n";
                break;
            }
            for (size_t a = 0; a < link.RxBank.size(); ++a)
                file.WriteNumbers({bank, static_cast<long long>(a), link.RxBank[a]});
            if (file.Failed())
                break;
        }
        if (!out.errorText.empty()) {
            out.statusText = OutcomeOf(link, false).statusText;
            // A file of some banks is no copy of the memory: an earlier file stays.
            out.errorText += kUserMemoryNotSavedText;
            file.Discard();
        }
    }
    out.saved = out.errorText.empty() && file.Commit();
    out.fileError = file.ErrorText();
    return out;
}

namespace {
// The fields of a data line, each within its range; none when one is not.
struct UserMemoryLine {
    long long bank, address, value;
};
std::optional<UserMemoryLine> ParseUserMemoryLine(const std::vector<std::string>& fields)
{
    const long long limits[3] = {255, 63, 255};
    long long numbers[3] = {};
    for (size_t i = 0; i < 3; ++i) {
        const std::optional<long long> n = ParseCsvInteger(fields[i]);
        if (!n || *n < 0 || *n > limits[i])
            return std::nullopt;
        numbers[i] = *n;
    }
    return UserMemoryLine{numbers[0], numbers[1], numbers[2]};
}

// Writing the collected bank: the selection, then the buffered write of TxBank.
class BankFlush {
public:
    BankFlush(Link& link, UserMemoryLoadOutcome& out, const ProgressText& progress)
        : link_(link), out_(out), progress_(progress)
    {
    }

    // Inside the loop of lines: a failed selection writes nothing.
    bool Write(unsigned bank)
    {
        const std::string name = Announce(bank);
        if (!SelectBank(link_, static_cast<uint8_t>(bank)))
            return Failed("Bank select error! Process terminated.\r\n");
        if (!link_.WriteRegisterBuffer(0, 64))
            return Failed("Bank " + name + " write error! Process terminated.\r\n");
        return true;
    }

    // After the last line: the write is tried even after a failed selection.
    bool WriteLast(unsigned bank)
    {
        const std::string name = Announce(bank);
        bool ok = SelectBank(link_, static_cast<uint8_t>(bank));
        if (!ok)
            Failed("Bank select error!\r\n");
        if (!link_.WriteRegisterBuffer(0, 64))
            ok = Failed("Bank " + name + " write error!\r\n");
        return ok;
    }

    bool Failed(const std::string& text)
    {
        out_.errorText += text;
        if (out_.trafficOk)
            out_.statusText = OutcomeOf(link_, false).statusText;
        out_.trafficOk = false;
        return false;
    }

private:
    std::string Announce(unsigned bank)
    {
        const std::string name = std::to_string(bank);
        Tell(progress_, "Writing Bank  " + name);
        return name;
    }

    Link& link_;
    UserMemoryLoadOutcome& out_;
    const ProgressText& progress_;
};
} // namespace

UserMemoryLoadOutcome LoadUserMemoryLines(Link& link, const UserBankRange& range, CsvLineReader& lines,
                                          const ProgressText& progress, const Pause& block)
{
    UserMemoryLoadOutcome out;
    BankFlush flush(link, out, progress); // its failures collect in out.errorText
    LineErrorReport bad;
    auto skip = [&](size_t n, const std::string& message) {
        bad.Add(message);
        if (out.skippedLines.size() < LineErrorReport::kListed)
            out.skippedLines.push_back(n);
    };
    std::optional<unsigned> buffered;
    link.TxBank.fill(0);
    std::vector<std::string> fields;
    std::string text;
    for (size_t n = 1; lines.Next(text); ++n) {
        const std::string at = std::to_string(n);
        Tell(progress, "Reading Line " + at);
        if (n <= 2)
            out.toolHeader = (n == 1 || out.toolHeader) && StartsWith(text, n == 1 ? kUserMemoryTitle : kUserMemoryColumns);
        CommaToPoint(text);
        SplitFields(text, kCsvDelimiter, fields);
        if (fields.size() != 3 || lines.LineCut()) {
            skip(n, "Ignoring data at line " + at + ": " + QuotedLine(text) + "\r\n");
            continue;
        }
        const std::optional<UserMemoryLine> line = ParseUserMemoryLine(fields);
        if (!line) {
            skip(n, "Convert Error at line " + at + ": " + QuotedLine(text) + "\r\n");
            continue;
        }
        if (!range.Contains(line->bank)) {
            // Without a line break, as the report has always listed it.
            skip(n, "Bank number out of allowed range at line " + at + "): " + QuotedLine(text));
            continue;
        }
        const auto bank = static_cast<unsigned>(line->bank);
        if (buffered && *buffered != bank) {
            if (!flush.Write(*buffered))
                break;
            out.writtenBanks += std::to_string(*buffered) + ", ";
            link.TxBank.fill(0);
        }
        buffered = bank;
        link.TxBank[static_cast<size_t>(line->address)] = static_cast<uint8_t>(line->value);
    }
    if (lines.Failed())
        out.errorText += lines.ErrorText() + "\r\n";
    if (buffered && flush.WriteLast(*buffered))
        out.writtenBanks += std::to_string(*buffered) + ", ";
    const SaveOutcome save = PacedSave(link, CmdSaveUserMemory, kUserMemorySavePacing, block);
    if (!save.ok())
        flush.Failed(save.errorText);
    // The lines' errors came before any failure of the writing.
    out.errorText = bad.Text() + out.errorText;
    return out;
}

std::map<unsigned, TBiSS_bank> UserMemoryImage(const UserBankRange& range, CsvLineReader& lines)
{
    std::map<unsigned, TBiSS_bank> image;
    std::optional<unsigned> current;
    std::vector<std::string> fields;
    std::string text;
    while (lines.Next(text)) {
        CommaToPoint(text);
        SplitFields(text, kCsvDelimiter, fields);
        if (fields.size() != 3)
            continue;
        const std::optional<UserMemoryLine> line = ParseUserMemoryLine(fields);
        if (!line || !range.Contains(line->bank))
            continue;
        const auto bank = static_cast<unsigned>(line->bank);
        // A new run of lines for a bank writes the whole bank again.
        if (current != bank)
            image[bank].fill(0);
        current = bank;
        image[bank][static_cast<size_t>(line->address)] = static_cast<uint8_t>(line->value);
    }
    return image;
}

// --- The test ----------------------------------------------------------------------

std::optional<std::string> UserMemoryTestRangeProblem(const UserBankRange& range)
{
    if (range.last < range.first || range.last - range.first + 1 > 255 || range.last > 255)
        return "The datasheet declares the user banks " + std::to_string(range.first) + " to " +
               std::to_string(range.last) + ": no range that can be tested. Nothing was written.";
    return std::nullopt;
}

UserMemoryTestOutcome RunUserMemoryTest(Link& link, PowerSwitch& power, const UserBankRange& range, uint32_t seed,
                                        const UserMemoryTestHooks& hooks)
{
    using Ending = UserMemoryTestOutcome::Ending;
    UserMemoryTestOutcome out;
    auto end = [&](bool ok) {
        out.ending = ok ? Ending::Passed : Ending::Failed;
        out.statusText = OutcomeOf(link, ok).statusText;
        out.resultText = ok ? "Verify OK." : out.statusText;
        return out;
    };
    const int banks = range.last - range.first + 1;
    std::vector<TBiSS_bank> patterns(static_cast<size_t>(banks));
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> byte(0, 254);
    for (int run = 0; run < 2; ++run) {
        const std::string runText = std::string(kTestInProgressText) + "\r\nRun: " + std::to_string(run + 1) + "\r\n";
        for (TBiSS_bank& pattern : patterns)
            for (uint8_t& b : pattern)
                b = run == 0 ? static_cast<uint8_t>(byte(random)) : 0;
        for (int i = 0; i < banks; ++i) {
            const auto bank = static_cast<uint8_t>(range.first + i);
            link.TxBank = patterns[static_cast<size_t>(i)];
            if (!SelectBank(link, bank) || !link.WriteRegisterBuffer(0, 64))
                return end(false);
            hooks.show(2 * run * banks + i + 1, runText + "Write Bank: " + std::to_string(bank));
            if (!hooks.serve())
                return out;
        }
        hooks.show(-1, std::string(kTestInProgressText) + "\r\nSave to FLASH...");
        if (!IssueEncoderCommand(link, CmdSaveUserMemory).ok)
            return end(false);
        hooks.block(500);
        hooks.show(-1, std::string(kTestInProgressText) + "\r\nPower cycle...");
        PowerCycleEncoder(power, hooks.block);
        for (int i = 0; i < banks; ++i) {
            const auto bank = static_cast<uint8_t>(range.first + i);
            if (!ReadWholeBank(link, bank))
                return end(false);
            const TBiSS_bank& pattern = patterns[static_cast<size_t>(i)];
            for (size_t a = 0; a < pattern.size(); ++a) {
                if (link.RxBank[a] != pattern[a]) {
                    link.LastErrorText = "Verify failed\r\nBank: " + std::to_string(bank) + "\r\n" + "Address: " +
                                         std::to_string(a) + "\r\n" + "Expected " + std::to_string(pattern[a]) +
                                         ", Read " + std::to_string(link.RxBank[a]);
                    return end(false);
                }
            }
            hooks.show((2 * run + 1) * banks + i + 1, runText + "Read Bank: " + std::to_string(bank));
            if (!hooks.serve())
                return out;
        }
    }
    return end(true);
}
