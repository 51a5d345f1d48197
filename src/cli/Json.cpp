#include "cli/Json.h"

#include <nlohmann/json.hpp>

#include <cmath>

JsonObject::JsonObject() : value_(std::make_unique<nlohmann::ordered_json>(nlohmann::ordered_json::object())) {}

JsonObject::JsonObject(const JsonObject& other) : value_(std::make_unique<nlohmann::ordered_json>(*other.value_)) {}

JsonObject& JsonObject::operator=(const JsonObject& other)
{
    *value_ = *other.value_;
    return *this;
}

JsonObject::~JsonObject() = default;

JsonObject& JsonObject::Add(std::string_view key, std::string_view value)
{
    (*value_)[std::string(key)] = std::string(value);
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, int64_t value)
{
    (*value_)[std::string(key)] = value;
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, double value)
{
    // JSON has no infinity nor NaN.
    if (std::isfinite(value))
        (*value_)[std::string(key)] = value;
    else
        (*value_)[std::string(key)] = nullptr;
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, bool value)
{
    (*value_)[std::string(key)] = value;
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, const std::vector<int64_t>& values)
{
    (*value_)[std::string(key)] = values;
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, const JsonObject& object)
{
    (*value_)[std::string(key)] = *object.value_;
    return *this;
}

JsonObject& JsonObject::AddNull(std::string_view key)
{
    (*value_)[std::string(key)] = nullptr;
    return *this;
}

std::string JsonObject::Text() const
{
    return value_->dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}
