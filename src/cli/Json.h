#pragma once
// A JSON object written field by field, for k417ctl --json. The texts the
// tool builds are UTF-8 and go out as they are; bytes that are not UTF-8
// (an encoder's 8-bit text) become U+FFFD, so every line is valid JSON.

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class JsonObject {
public:
    JsonObject();
    JsonObject(const JsonObject& other);
    JsonObject& operator=(const JsonObject& other);
    ~JsonObject();

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
    // One line, the fields in the order they were added.
    std::string Text() const;

private:
    nlohmann::ordered_json& Value();
    std::unique_ptr<nlohmann::ordered_json> value_; // none until the first field
};
