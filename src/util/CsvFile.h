#pragma once
// The tool's CSV files (user memory, error map): 8-bit text, one record per
// line, lines ended by CR LF, fields separated by ";". A file is read whole
// and closed before its lines are looked at; a file is written through a
// writer that checks every step, so a file that could not be created or
// written in full is reported with its name and the cause and is never
// taken for a success.

#include <cstdio>
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

// Writes a file line by line. After the first failure nothing more is
// written; Close() says whether the whole file reached the disk.
class CsvWriter {
public:
    CsvWriter() = default;
    ~CsvWriter();
    CsvWriter(const CsvWriter&) = delete;
    CsvWriter& operator=(const CsvWriter&) = delete;

    // Creates the file or empties an existing one.
    bool Open(const std::string& fileName);
    // The line and CR LF.
    bool WriteLine(std::string_view line);
    // A line of numbers in decimal, separated by ";".
    bool WriteNumbers(std::initializer_list<long long> fields);
    // Closes the file; true when every line was written. Safe to call twice.
    bool Close();

    bool Failed() const { return !errorText_.empty(); }
    // The file's name and the cause of the first failure.
    const std::string& ErrorText() const { return errorText_; }

private:
    void Fail(const char* doing, int error);
    // Hands the collected lines to the file once enough have come together.
    bool Collected();

    std::FILE* file_ = nullptr;
    std::string pending_; // lines not yet handed to the file
    std::string fileName_;
    std::string errorText_;
};

// A number field of a loaded line: an optional sign, then decimal digits, or
// hexadecimal digits after "0x" or "$". Blanks (spaces, tabs) may stand
// around it, and double quotes around that as a spreadsheet may write them
// ("\" 42\""). None for anything else (another control character anywhere
// included) or a value outside the signed 32-bit range.
std::optional<long long> ParseCsvInteger(std::string field);
