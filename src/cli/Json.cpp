#include "cli/Json.h"

#include <nlohmann/json.hpp>

#include <cmath>

// The object is made with its first field: an empty one, built and dropped
// for every reading that is printed as text, costs nothing.
JsonObject::JsonObject() = default;

JsonObject::JsonObject(const JsonObject& other)
    : value_(other.value_ ? std::make_unique<nlohmann::ordered_json>(*other.value_) : nullptr)
{
}

JsonObject& JsonObject::operator=(const JsonObject& other)
{
    if (this == &other)
        return *this;
    if (!other.value_)
        value_.reset();
    else if (value_)
        *value_ = *other.value_;
    else
        value_ = std::make_unique<nlohmann::ordered_json>(*other.value_);
    return *this;
}

nlohmann::ordered_json& JsonObject::Value()
{
    if (!value_)
        value_ = std::make_unique<nlohmann::ordered_json>(nlohmann::ordered_json::object());
    return *value_;
}

JsonObject::~JsonObject() = default;

JsonObject& JsonObject::Add(std::string_view key, std::string_view value)
{
    Value()[std::string(key)] = std::string(value);
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, int64_t value)
{
    Value()[std::string(key)] = value;
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, double value)
{
    // JSON has no infinity nor NaN.
    if (std::isfinite(value))
        Value()[std::string(key)] = value;
    else
        Value()[std::string(key)] = nullptr;
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, bool value)
{
    Value()[std::string(key)] = value;
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, const std::vector<int64_t>& values)
{
    Value()[std::string(key)] = values;
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, const JsonObject& object)
{
    Value()[std::string(key)] = object.value_ ? *object.value_ : nlohmann::ordered_json::object();
    return *this;
}

JsonObject& JsonObject::AddNull(std::string_view key)
{
    Value()[std::string(key)] = nullptr;
    return *this;
}

std::string JsonObject::Text() const
{
    if (!value_)
        return "{}";
    return value_->dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}
