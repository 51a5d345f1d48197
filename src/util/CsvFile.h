#pragma once
// The tool's CSV files (user memory, error map): 8-bit text, one record per
// line, lines ended by CR LF, fields separated by ";". A file is read whole
// and closed before its lines are looked at; a file is written whole through
// a writer that checks every step, so a file that could not be created or
// written in full is reported with its name and the cause, is never taken
// for a success, and leaves an earlier file of its name as it was.

#include "util/AtomicFile.h"

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

constexpr char kCsvDelimiter = ';';

// The filter of the CSV file dialogs.
constexpr const char* kCsvFilterDescription = "Comma separated";
constexpr const char* kCsvFilterPattern = "*.csv";

// A UTF-8 text in the files' 8-bit code page (ISO 8859-1): characters
// beyond it become "?".
std::string EightBitText(std::string_view utf8);
// And back: an 8-bit text of a file (quoted in a message) as UTF-8.
std::string Utf8FromEightBit(std::string_view text);

struct CsvReadOutcome {
    bool ok = false;
    // Without their line ends. A line may end in CR LF, LF or CR; the end of
    // the last line is optional, and nothing follows it.
    std::vector<std::string> lines;
    std::string errorText; // when not ok: the file's name and the cause
};
CsvReadOutcome ReadCsvLines(const std::string& fileName);

// Writes a file line by line, as a whole (AtomicFile): only Commit() puts
// it in place of an earlier file. After the first failure nothing more is
// written.
class CsvWriter {
public:
    // Starts the file; an earlier file stays as it is until Commit().
    bool Open(const std::string& fileName);
    // The line and CR LF.
    bool WriteLine(std::string_view line);
    // A line of numbers in decimal, separated by ";".
    bool WriteNumbers(std::initializer_list<long long> fields);
    // Puts the file in place; true when every line is in it.
    bool Commit();
    // Drops the lines; the earlier file stays as it was. So does a writer
    // destroyed without a commit.
    void Discard();

    bool Failed() const { return file_.Failed(); }
    // The file's name and the cause of the first failure.
    const std::string& ErrorText() const { return file_.ErrorText(); }

private:
    // Hands the collected lines to the file once enough have come together.
    bool Collected();

    AtomicFile file_;
    std::string pending_; // lines not yet handed to the file
};

// A number field of a loaded line: an optional sign, then decimal digits, or
// hexadecimal digits after "0x" or "$". Blanks (spaces, tabs) may stand
// around it, and double quotes around that as a spreadsheet may write them
// ("\" 42\""). None for anything else (another control character anywhere
// included) or a value outside the signed 32-bit range.
std::optional<long long> ParseCsvInteger(std::string field);
