#pragma once
// The error map of Torvik encoders: signed position corrections, one byte
// (-128..127) per point, 64 points to a page. Firmware from minor version 3
// on keeps eight pages in banks 8-15, older firmware four in banks 12-15;
// point p lives in page p / 64, register p % 64. Bank 0 stores an 8-bit sum
// for each page (register 0x2F + bank).
//
// Here: reading the map with its checksum report, the curve drawn from it,
// the CSV file (written and read), and writing a map into the encoder with
// the save to non-volatile memory.

#include "encoder/EncoderCommands.h"
#include "encoder/EncoderFile.h"
#include "encoder/RegisterModel.h"
#include "link/Link.h"
#include "util/CsvFile.h"

#include <array>
#include <string>
#include <vector>

constexpr int kErrorMapPageSize = 64;
constexpr int kErrorMapMaxPages = 8;

// The pages the firmware keeps: 8 when Zolvan_FWverMinor >= 3, else 4.
int ErrorMapPageCount(const TEncoderSignature& signature);
// The bank of page i (0-based) of a map of pageCount pages: the pages are
// the last banks below 16.
constexpr uint8_t ErrorMapPageBank(int pageCount, int page) { return static_cast<uint8_t>(16 - pageCount + page); }

// The stored bytes of a map: page i of the map in pages[i]; pages beyond the
// map's count stay unused.
using ErrorMapPages = std::array<TBiSS_bank, kErrorMapMaxPages>;

// The curve the chart draws: the signed bytes with their wraps undone. A
// step from one raw byte to the next below -150 adds 256 to the offset, one
// above 150 takes 256 off; the offset runs on across pages, and each step is
// measured between raw bytes.
class ErrorMapUnwrap {
public:
    int Next(int8_t raw);

private:
    int offset_ = 0;
    int previous_ = 0;
};

struct ErrorMapReadOutcome {
    bool ok = false;
    int pageCount = 0;
    ErrorMapPages pages{};
    int pagesRead = 0;          // pages read in full (all of them when ok)
    std::vector<int> curve;     // one unwrapped value per point of the pages read
    std::vector<ChecksumCheck> checksums; // one per page, when ok
    // "Checksum:\r\nPage  8: 103 / 103\r\n..." when ok.
    std::string checksumText;
    std::string statusText;     // "Comm OK\r\n" or "Error\r\n" and the link's LastErrorText

    bool ChecksumsOk() const;
};
// Reads every page (progress "Reading Bank " + bank before each), then the
// stored checksums from bank 0. A failed register operation ends the read;
// the pages read before it stay in the outcome.
ErrorMapReadOutcome ReadErrorMap(Link& link, int pageCount, const ProgressText& progress);

// --- The CSV file ------------------------------------------------------------
//
// Line 1: FileIdentityLine with the title "Torvik Error Map"; line 2
// "Point;Value"; then "point;value" for every point in ascending order, the
// value being the signed byte the encoder stores. So a saved map loads back
// to the same bytes, and the same checksums.

constexpr const char* kErrorMapTitle = "Torvik Error Map";
constexpr const char* kErrorMapColumns = "Point;Value";
constexpr const char* kErrorMapLineCountText = "Number of lines in the file is not correct (512+2)";
constexpr const char* kErrorMapErrorsText = "Errors were encountered during loading / writting error map:\r\n";
// The save refuses a map whose read failed or whose stored checksums differ.
constexpr const char* kErrorMapReadErrorText = "Error reading Error Map from encoder!";

// Writes the file whole. An empty text when it was written in full;
// otherwise the file's name and the cause, and an earlier file stays as it was.
std::string WriteErrorMapFile(const std::string& fileName, const TEncoderSignature& signature, const ErrorMapPages& pages,
                              int pageCount);

struct ErrorMapFile {
    ErrorMapPages pages{};  // the values of the file; points it does not name stay 0
    size_t lineCount = 0;   // lines looked at (up to a header error)
    // Every line error (the first LineErrorReport::kListed, then their count)
    // and a failed read of the file, as the report lists them; UTF-8.
    std::string errorText;
    bool headerError = false;

    // Enough lines for every point of the map and the two header lines.
    bool Complete(int pageCount) const { return lineCount >= static_cast<size_t>(kErrorMapPageSize * pageCount + 2); }
};
// Reads the lines of a map file for an encoder with pageCount pages, one at
// a time (progress "Loading Line " + n for each). Line 1 must begin with the
// title, line 2 with the column names: otherwise the reading stops there.
// Every other line is "point;value"; a line that is not is listed in
// errorText and skipped, and the reading goes on. Values lie in -128..127,
// points in the map's pages; a later line for a point overrides an earlier one.
ErrorMapFile ParseErrorMapFile(CsvLineReader& lines, int pageCount, const ProgressText& progress);

struct ErrorMapWriteOutcome {
    bool ok = false;            // every page written; the save's own failures do not count
    std::string writtenBanks;   // "8, 9, ..., 15, "
    // The write failure ("Bank 10, Register 20 write error! Process
    // terminated.\r\n") or the save's failures.
    std::string errorText;
    std::string statusText;     // of the failed write
};
// Writes the map into the encoder page by page (progress "Writing Bank " +
// bank), one register write per point, then "Saving to non-volatile
// memory..." and the paced save of CmdSaveToFlash (pauses through block). A
// failed selection or write stops at once: the pages before it stay
// written, and no save command is sent.
ErrorMapWriteOutcome WriteErrorMap(Link& link, const ErrorMapPages& pages, int pageCount, const ProgressText& progress,
                                   const Pause& block);
