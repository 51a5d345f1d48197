#pragma once
// A JSON object written field by field, for k417ctl --json.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class JsonObject {
public:
    JsonObject& Add(std::string_view key, std::string_view value);
    JsonObject& Add(std::string_view key, const char* value) { return Add(key, std::string_view(value)); }
    JsonObject& Add(std::string_view key, const std::string& value) { return Add(key, std::string_view(value)); }
    JsonObject& Add(std::string_view key, int64_t value);
    JsonObject& Add(std::string_view key, int value) { return Add(key, static_cast<int64_t>(value)); }
    JsonObject& Add(std::string_view key, unsigned value) { return Add(key, static_cast<int64_t>(value)); }
    JsonObject& Add(std::string_view key, double value);
    JsonObject& Add(std::string_view key, bool value);
    JsonObject& Add(std::string_view key, const std::vector<int64_t>& values);
    JsonObject& Add(std::string_view key, const JsonObject& object);
    JsonObject& AddNull(std::string_view key);
    std::string Text() const { return "{" + body_ + "}"; }

private:
    void Key(std::string_view key);
    std::string body_;
};

// A JSON string literal for the text (8-bit bytes above 0x7F are taken as ISO 8859-1).
std::string JsonString(std::string_view text);
