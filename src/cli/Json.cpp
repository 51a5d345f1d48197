#include "cli/Json.h"

#include <cmath>
#include <cstdio>

std::string JsonString(std::string_view text)
{
    std::string out = "\"";
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        } else if (byte >= 0x80) {
            // One character per byte: the box and the encoder speak 8-bit text.
            out += static_cast<char>(0xC0 | (byte >> 6));
            out += static_cast<char>(0x80 | (byte & 0x3F));
        } else {
            out += c;
        }
    }
    return out + "\"";
}

void JsonObject::Key(std::string_view key)
{
    if (!body_.empty())
        body_ += ',';
    body_ += JsonString(key);
    body_ += ':';
}

JsonObject& JsonObject::Add(std::string_view key, std::string_view value)
{
    Key(key);
    body_ += JsonString(value);
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, int64_t value)
{
    Key(key);
    body_ += std::to_string(value);
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, double value)
{
    Key(key);
    if (!std::isfinite(value)) {
        body_ += "null";
        return *this;
    }
    char text[40];
    std::snprintf(text, sizeof text, "%.10g", value);
    // The C library may write a decimal comma under some locales.
    for (char* p = text; *p; ++p)
        if (*p == ',')
            *p = '.';
    body_ += text;
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, bool value)
{
    Key(key);
    body_ += value ? "true" : "false";
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, const std::vector<int64_t>& values)
{
    Key(key);
    body_ += '[';
    for (size_t i = 0; i < values.size(); ++i) {
        if (i)
            body_ += ',';
        body_ += std::to_string(values[i]);
    }
    body_ += ']';
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, const JsonObject& object)
{
    Key(key);
    body_ += object.Text();
    return *this;
}

JsonObject& JsonObject::AddNull(std::string_view key)
{
    Key(key);
    body_ += "null";
    return *this;
}
