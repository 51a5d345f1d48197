#include "link/InterfaceSettings.h"

std::string PowerCommand(bool on)
{
    return on ? "N" : "F";
}

std::optional<std::string> FrequencyCommand(std::string_view text)
{
    if (text.empty())
        return std::nullopt;
    return (text.size() >= 2 ? "M" : "M0") + std::string(text);
}

std::optional<std::string> DataLengthCommand(std::string_view text)
{
    if (text.size() != 1)
        return std::nullopt;
    return "B" + std::string(text);
}

std::string SendSettingsCommand(Link& link, const std::string& command)
{
    std::string reply;
    int result = link.Transact(command, reply);
    if (result != kSerialOk)
        return "Error " + std::to_string(result);
    return reply;
}
