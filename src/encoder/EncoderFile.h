#pragma once
// What the encoder's CSV files share: the first line, which names the file's
// kind and the encoder it came from, the report of a loaded file's bad lines,
// and the progress texts the long file actions show while they run.

#include "link/Link.h"

#include <functional>
#include <string>
#include <string_view>

// title + ";Serial: " + the maker's serial + ";Part: " + part number +
// ";Serial#: 0x" + the BiSS serial number in eight upper-case hexadecimal
// digits + ";DeviID: " + the device ID + ";ManufID: " + the manufacturer ID,
// both as the Direct registers page shows them. In the files' 8-bit text.
std::string FileIdentityLine(std::string_view title, const TEncoderSignature& signature);

// The saves read the signature afresh for line 1; when that fails they end with this.
constexpr const char* kSignatureErrorText = "Error reading encoder signature!";

// The report after a file was written into the encoder, before the banks' numbers.
constexpr const char* kWrittenBanksText = "Sucessfully written banks: ";

// The bad lines of a loaded file as its report lists them: the first 50,
// then "… and N more lines". A wrong file of any length (a recording chosen
// by mistake) so gives a message the user can read, and one a message box
// shows at once. UTF-8.
class LineErrorReport {
public:
    static constexpr size_t kListed = 50;

    // One bad line's message (made with QuotedLine).
    void Add(const std::string& message);
    // The listed messages, and the count of the others.
    std::string Text() const;

private:
    std::string text_;
    size_t count_ = 0;
};

// A line of a file as a message quotes it: its 8-bit text as UTF-8, cut
// after 200 characters ("…").
std::string QuotedLine(std::string_view line);

// Tells the front end what a long action is doing now ("Reading Bank 8").
// The front end shows it at once.
using ProgressText = std::function<void(const std::string& text)>;
