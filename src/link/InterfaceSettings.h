#pragma once
// The box's own settings: encoder power, BiSS clock frequency and data length.
// Each command goes out as it is and the box's reply is shown without
// interpretation; a transport failure shows "Error " and the result code.

#include "link/Link.h"

#include <optional>
#include <string>
#include <string_view>

// "N" switches the encoder supply on, "F" off.
std::string PowerCommand(bool on);

// The clock command for the text of the frequency field: "M" and the text,
// with a leading zero for a single character (4 gives M04, 30 gives M30).
// Nothing for an empty text.
std::optional<std::string> FrequencyCommand(std::string_view text);

// The data-length command for the text of its field: "B" and the digit.
// Only a text of exactly one character sends anything.
std::optional<std::string> DataLengthCommand(std::string_view text);

// Sends a settings command over the link's port and returns the text for its
// result label: the reply as received, or "Error " and the transport result.
std::string SendSettingsCommand(Link& link, const std::string& command);

// The encoder-power selector as other parts see it. Selecting the item that is
// already selected does nothing; a change sends the power command.
class PowerSwitch {
public:
    virtual ~PowerSwitch() = default;
    virtual bool IsOn() const = 0;
    virtual void Select(bool on) = 0;
};
