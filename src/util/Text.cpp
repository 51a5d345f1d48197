#include "util/Text.h"

#include <cctype>
#include <limits>

std::string TrimControl(std::string_view text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= 32)
        ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32)
        --end;
    return std::string(text.substr(begin, end - begin));
}

std::string UpperAscii(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return out;
}

std::string CleanIdText(std::string_view text)
{
    std::string trimmed = TrimControl(text);
    std::string out;
    out.reserve(trimmed.size());
    for (char c : trimmed)
        if (c != ' ')
            out.push_back(c);
    return out;
}

namespace {
bool IsBlankOnly(const std::string& field)
{
    for (char c : field)
        if (static_cast<unsigned char>(c) > 32)
            return false;
    return true;
}
} // namespace

void SplitFields(std::string_view text, char delimiter, std::vector<std::string>& fields)
{
    constexpr size_t kMaxField = 255;
    fields.clear();
    std::string field;
    bool quoted = false;
    for (char c : text) {
        if (c == '"')
            quoted = !quoted;
        if (c != delimiter || quoted) {
            if (field.size() < kMaxField)
                field.push_back(c);
            continue;
        }
        if (!(delimiter == ' ' && IsBlankOnly(field)))
            fields.push_back(field);
        field.clear();
    }
    fields.push_back(field);
}

void CommaToPoint(std::string& text)
{
    for (char& c : text)
        if (c == ',')
            c = '.';
}

void HexPrefixToDollar(std::string& text)
{
    size_t at = text.find("0x");
    if (at != std::string::npos) {
        text[at] = '$';
        text.erase(at + 1, 1);
    }
}

bool ParseInteger(std::string_view text, long long& value)
{
    std::string t = TrimControl(text);
    size_t i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
        negative = t[i] == '-';
        ++i;
    }
    unsigned base = 10;
    if (i < t.size() && t[i] == '$') {
        base = 16;
        ++i;
    }
    if (i >= t.size())
        return false;
    unsigned long long acc = 0;
    const unsigned long long limit = static_cast<unsigned long long>(std::numeric_limits<long long>::max()) + (negative ? 1 : 0);
    for (; i < t.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(t[i]);
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && std::isxdigit(c))
            digit = static_cast<unsigned>(std::toupper(c) - 'A' + 10);
        else
            return false;
        if (acc > (limit - digit) / base)
            return false;
        acc = acc * base + digit;
    }
    value = negative ? static_cast<long long>(0 - acc) : static_cast<long long>(acc);
    return true;
}

namespace {
// Where the extension starts, or npos.
size_t ExtensionStart(const std::string& fileName)
{
    const size_t slash = fileName.find_last_of('/');
    const size_t dot = fileName.find_last_of('.');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash) ? dot : std::string::npos;
}
} // namespace

std::string ReplaceExtension(const std::string& fileName, const std::string& extension)
{
    return fileName.substr(0, ExtensionStart(fileName)) + extension;
}

std::string LowerExtension(const std::string& fileName)
{
    const size_t dot = ExtensionStart(fileName);
    std::string extension = dot == std::string::npos ? std::string() : fileName.substr(dot);
    for (char& c : extension)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return extension;
}
