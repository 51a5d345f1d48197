#pragma once
// Colours of the indicator panels of the service read-outs. The front end
// maps them to its own colours; the logic only decides which one is due.

enum class IndicatorColour {
    Grey,   // inactive
    Red,    // error
    Orange, // warning
    Green,  // done
    Lime    // success
};
