#pragma once
// The tool's CSV files (user memory, error map): 8-bit text, one record per
// line, lines ended by CR LF, fields separated by ";". A file is read line
// by line, each judged as it comes; a file is written whole through
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

// Reads a file one line at a time, so that a file of any size (a long
// recording chosen by mistake) costs the memory of one line. A line may end
// in CR LF, LF or CR; the end of the last line is optional, and nothing
// follows it. A UTF-8 byte order mark at the start is no part of line 1.
class CsvLineReader {
public:
    // Lines longer than this are cut here: no line of these files comes near it.
    static constexpr size_t kLongestLine = 4096;

    CsvLineReader() = default;
    // The lines of a text in memory.
    explicit CsvLineReader(std::string text);
    ~CsvLineReader();
    CsvLineReader(const CsvLineReader&) = delete;
    CsvLineReader& operator=(const CsvLineReader&) = delete;

    // False when the file cannot be opened: ErrorText() names it and the cause.
    bool Open(const std::string& fileName);
    // The next line without its end; false at the end of the file and after
    // a failed read (ErrorText() then says why).
    bool Next(std::string& line);
    // The line Next() gave was longer than kLongestLine and was cut.
    bool LineCut() const { return cut_; }
    bool Failed() const { return !errorText_.empty(); }
    const std::string& ErrorText() const { return errorText_; }

private:
    // More bytes into the buffer; false at the end of the file or on failure.
    bool Fill();

    int fd_ = -1;
    std::string fileName_;
    std::string buffer_;
    size_t at_ = 0;          // the next byte of buffer_ to look at
    bool ended_ = true;      // no more bytes than those in buffer_
    bool afterCr_ = false;   // the last line ended with CR: an LF right after it belongs to it
    bool started_ = false;   // line 1 was read (the byte order mark is looked for once)
    bool cut_ = false;
    std::string errorText_;
};

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
// hexadecimal digits after "0x" or "$", after any number of leading blanks.
// None for anything else (a trailing blank, a tab, quotes, another control
// character) or a value outside the signed 32-bit range.
std::optional<long long> ParseCsvInteger(std::string field);
