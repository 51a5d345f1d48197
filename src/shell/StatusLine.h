#pragma once
// The shared status line of the window and its activity lamp.
//
// An action that talks to the encoder reports here, and only here:
//   success  "Comm OK\r\n" + LastErrorText on light green;
//   failure  "Error\r\n"   + LastErrorText on light red, and the encoder
//            counts as no longer connected, so the monitor cycle probes and
//            identifies it again.
// The monitor cycle writes "Comm OK" (no line break) on success and its own
// error text. The activity lamp blinks by flipping its green component.

#include "biss/EncoderIdentity.h"
#include "link/Link.h"

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

class StatusLine {
public:
    StatusLine(Link& link, EncoderIdentity& identity, StatusView& view) : link_(link), identity_(identity), view_(view) {}

    // Reports the outcome of an action; returns ok so that callers can write
    // `if (!status.Report(link.ReadRegisters(...))) return;`.
    bool Report(bool ok);
    void ReportOk() { Report(true); }
    void ReportError() { Report(false); }

    // The monitor cycle's own forms.
    void ShowMonitorOk();
    // "Error\r\n" + received + LastErrorText; clears EncoderConnected.
    void ShowMonitorError(const std::string& received);

    // Text only, on the colour the line has (the raw register writes of the
    // Direct registers page report this way).
    void ShowText(const std::string& text);

    // The lamp: green g becomes 255 - g (68 and 187 alternate).
    void FlipActivity();

private:
    void Show(const std::string& text, Rgb colour);

    Link& link_;
    EncoderIdentity& identity_;
    StatusView& view_;
    Rgb shown_{255, 255, 255}; // the line starts white
};
