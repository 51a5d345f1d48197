#include "encoder/ErrorMap.h"

#include "util/CsvFile.h"
#include "util/Text.h"

namespace {
void Tell(const ProgressText& progress, const std::string& text)
{
    if (progress)
        progress(text);
}

// "Page  8: " ... "Page 15: ".
std::string PageTitle(uint8_t bank)
{
    return std::string("Page ") + (bank < 10 ? " " : "") + std::to_string(bank) + ": ";
}
} // namespace

int ErrorMapPageCount(const TEncoderSignature& signature)
{
    return signature.Zolvan_FWverMinor >= 3 ? 8 : 4;
}

int ErrorMapUnwrap::Next(int8_t raw)
{
    const int step = raw - previous_;
    if (step < -150)
        offset_ += 256;
    else if (step > 150)
        offset_ -= 256;
    previous_ = raw;
    return raw + offset_;
}

bool ErrorMapReadOutcome::ChecksumsOk() const
{
    if (!ok)
        return false;
    for (const ChecksumCheck& check : checksums)
        if (!check.Ok())
            return false;
    return true;
}

ErrorMapReadOutcome ReadErrorMap(Link& link, int pageCount, const ProgressText& progress)
{
    ErrorMapReadOutcome out;
    out.pageCount = pageCount;
    out.curve.reserve(static_cast<size_t>(kErrorMapPageSize * pageCount));
    auto fail = [&] {
        out.statusText = OutcomeOf(link, false).statusText;
        return out;
    };
    ErrorMapUnwrap unwrap;
    for (int i = 0; i < pageCount; ++i) {
        const uint8_t bank = ErrorMapPageBank(pageCount, i);
        Tell(progress, "Reading Bank " + std::to_string(bank));
        if (!ReadWholeBank(link, bank))
            return fail();
        TBiSS_bank& page = out.pages[static_cast<size_t>(i)];
        page = link.RxBank;
        for (uint8_t r : page)
            out.curve.push_back(unwrap.Next(static_cast<int8_t>(r)));
        out.pagesRead = i + 1;
    }
    // The stored checksums: bank 0 from 0x2F + the first page's bank.
    if (!SelectBank(link, ConfigBank) || !link.ReadRegisters(ErrorMapChecksumRegister(8), 8))
        return fail();
    const uint8_t first = ErrorMapPageBank(pageCount, 0);
    if (!link.ReadRegisters(ErrorMapChecksumRegister(first), static_cast<uint8_t>(pageCount)))
        return fail();
    out.checksumText = "Checksum:";
    for (int i = 0; i < pageCount; ++i) {
        const ChecksumCheck check = ErrorMapPageChecksum(out.pages[static_cast<size_t>(i)], link.RxBank[static_cast<size_t>(i)]);
        out.checksums.push_back(check);
        out.checksumText += "\r\n" + PageTitle(ErrorMapPageBank(pageCount, i)) + check.Text();
    }
    out.ok = true;
    out.statusText = OutcomeOf(link, true).statusText;
    return out;
}

// --- The CSV file ------------------------------------------------------------

std::string WriteErrorMapFile(const std::string& fileName, const TEncoderSignature& signature, const ErrorMapPages& pages,
                              int pageCount)
{
    CsvWriter file;
    if (file.Open(fileName) && file.WriteLine(FileIdentityLine(kErrorMapTitle, signature)) &&
        file.WriteLine(kErrorMapColumns)) {
        for (int p = 0; p < kErrorMapPageSize * pageCount; ++p) {
            const auto value = static_cast<int8_t>(pages[static_cast<size_t>(p / kErrorMapPageSize)][static_cast<size_t>(p % kErrorMapPageSize)]);
            if (!file.WriteNumbers({p, value}))
                break;
        }
    }
    file.Commit();
    return file.ErrorText();
}

ErrorMapFile ParseErrorMapFile(CsvLineReader& lines, int pageCount, const ProgressText& progress)
{
    ErrorMapFile out;
    LineErrorReport bad;
    std::vector<std::string> fields;
    std::string line;
    while (lines.Next(line)) {
        const size_t n = ++out.lineCount;
        Tell(progress, "Loading Line " + std::to_string(n));
        const std::string at = std::to_string(n);
        if (n == 1 || n == 2) {
            const char* header = n == 1 ? kErrorMapTitle : kErrorMapColumns;
            if (!StartsWith(line, header)) {
                out.errorText = "Can't find \"" + std::string(header) + "\" on Line " + at + "!";
                out.headerError = true;
                return out;
            }
            continue;
        }
        SplitFields(line, kCsvDelimiter, fields);
        if (fields.size() != 2 || lines.LineCut()) {
            bad.Add("Ignoring data at line " + at + ": " + QuotedLine(line) + "\r\n");
            continue;
        }
        const std::optional<long long> point = ParseCsvInteger(fields[0]);
        const std::optional<long long> value = point ? ParseCsvInteger(fields[1]) : std::nullopt;
        if (!point || !value) {
            bad.Add("Convert Error at line " + at + ": " + QuotedLine(line) + "\r\n");
        } else if (*point < 0 || *point / kErrorMapPageSize >= pageCount) {
            // The two range messages end without a line break, as they always have.
            bad.Add("Bank number out of allowed range at line " + at + "): " + QuotedLine(line));
        } else if (*value < -128 || *value > 127) {
            bad.Add("Point value out of range at line " + at + "): " + QuotedLine(line));
        } else {
            out.pages[static_cast<size_t>(*point / kErrorMapPageSize)][static_cast<size_t>(*point % kErrorMapPageSize)] =
                static_cast<uint8_t>(static_cast<int8_t>(*value));
        }
    }
    out.errorText = bad.Text();
    if (lines.Failed())
        out.errorText += lines.ErrorText() + "\r\n";
    return out;
}

ErrorMapWriteOutcome WriteErrorMap(Link& link, const ErrorMapPages& pages, int pageCount, const ProgressText& progress,
                                   const Pause& block)
{
    ErrorMapWriteOutcome out;
    auto fail = [&](const std::string& text) {
        out.errorText += text + " Process terminated.\r\n";
        out.statusText = OutcomeOf(link, false).statusText;
        return out;
    };
    for (int i = 0; i < pageCount; ++i) {
        const uint8_t bank = ErrorMapPageBank(pageCount, i);
        const std::string name = std::to_string(bank);
        Tell(progress, "Writing Bank " + name);
        if (!SelectBank(link, bank))
            return fail("Bank " + name + " select error!");
        const TBiSS_bank& page = pages[static_cast<size_t>(i)];
        for (uint8_t r = 0; r < kErrorMapPageSize; ++r)
            if (!link.WriteRegister(r, page[r]))
                return fail("Bank " + name + ", Register " + std::to_string(r) + " write error!");
        out.writtenBanks += name + ", ";
    }
    Tell(progress, "Saving to non-volatile memory...");
    out.errorText += PacedSave(link, CmdSaveToFlash, kErrorMapSavePacing, block).errorText;
    out.ok = true;
    return out;
}
