#pragma once
// What the encoder's CSV files share: the first line, which names the file's
// kind and the encoder it came from, and the progress texts the long file
// actions show while they run.

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

// Tells the front end what a long action is doing now ("Reading Bank 8").
// The front end shows it at once.
using ProgressText = std::function<void(const std::string& text)>;
