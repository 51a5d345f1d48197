#pragma once
// Small text helpers shared by the link and the pages.

#include <string>
#include <string_view>
#include <vector>

// Removes leading and trailing blanks and control characters (every byte of
// code 32 or below), the way the box's replies are trimmed before they are tested.
std::string TrimControl(std::string_view text);

// ASCII upper case; other bytes are left as they are.
std::string UpperAscii(std::string_view text);

// Whether text begins with prefix.
inline bool StartsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

// Cleans an identification text read from the encoder's registers: trims
// blanks and control characters at both ends (NUL padding included), then
// deletes every remaining blank. Control characters inside the text stay.
std::string CleanIdText(std::string_view text);

// Splits a CSV line at delimiter. Double quotes toggle a quoted state in which
// the delimiter is taken literally; the quotes stay in the field. Fields are
// cut at 255 characters. With a blank as delimiter, runs of blanks count as
// one separator. The last field is always added, even when empty.
void SplitFields(std::string_view text, char delimiter, std::vector<std::string>& fields);

// Replaces every "," by ".".
void CommaToPoint(std::string& text);

// Replaces the first "0x" by "$" so that the integer parser reads the number
// as hexadecimal ("0X" is not recognised).
void HexPrefixToDollar(std::string& text);

// Reads an integer the way the tool's number fields accept it: optional
// blanks around, optional sign, decimal digits or "$" followed by hexadecimal
// digits. Returns false for anything else or when the value does not fit.
bool ParseInteger(std::string_view text, long long& value);

// The name with its extension replaced by extension (".csv"), or with the
// extension added when it has none. A dot in a folder name is no extension.
std::string ReplaceExtension(const std::string& fileName, const std::string& extension);
// The name's extension in lower case (".png"), or empty.
std::string LowerExtension(const std::string& fileName);
