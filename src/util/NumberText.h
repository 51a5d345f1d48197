#pragma once
// Number texts as the pages print them.

#include <string>

// The separators used by every number text. They start as the user's locale's
// (the window sets them at start-up; "." and "," until then).
struct NumberSeparators {
    std::string decimal = ".";
    std::string thousands = ",";
};

const NumberSeparators& CurrentNumberSeparators();
void SetNumberSeparators(const NumberSeparators& separators);

// Once a user-memory or error-map CSV file has been loaded or saved, the
// decimal separator is "." for the rest of the run. A thousands separator that
// would then read the same as the decimal one becomes ",".
void UsePointAsDecimalSeparator();

// The value rounded to at most `digits` significant digits and at most
// `decimals` decimal places (halves away from zero). Written with grouped
// integer digits and exactly `decimals` decimals, or in exponent form
// (1.235E4) when the rounded value has more integer digits than `digits`.
std::string FormatNumberText(long double value, int digits, int decimals);
