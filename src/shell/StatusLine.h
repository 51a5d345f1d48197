#pragma once
// The shared status line of the window and its activity lamp: the one place
// that shows the session's status reports. Success shows on light green,
// failure on light red, a plain text keeps the colour the line has. The
// activity lamp blinks by flipping its green component.

#include "session/Session.h"

#include <cstdint>
#include <string>

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

inline constexpr Rgb kColourOk{174, 255, 215};      // light green
inline constexpr Rgb kColourError{255, 91, 91};     // light red
inline constexpr Rgb kColourLampStart{0, 68, 0};    // dark green

// Where the status line shows: the window's label and lamp, or a test double.
class StatusView {
public:
    virtual ~StatusView() = default;
    virtual void ShowStatus(const std::string& text, Rgb background) = 0;
    virtual Rgb LampColour() const = 0;
    virtual void SetLampColour(Rgb colour) = 0;
};

class StatusLine final : public SessionObserver {
public:
    explicit StatusLine(StatusView& view) : view_(view) {}

    void StatusReported(const StatusReport& report) override;

    // The lamp: green g becomes 255 - g (68 and 187 alternate).
    void FlipActivity();

private:
    StatusView& view_;
    Rgb shown_{255, 255, 255}; // the line starts white
    // What the view shows now: a report that would show the same text on
    // the same colour (every "Comm OK" of the monitor) leaves it alone.
    std::string shownText_;
    Rgb shownColour_{};
    bool shownOnce_ = false;
};
