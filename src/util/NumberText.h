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

// The first 21 significant decimal digits of |value|, correctly rounded (an
// exact half to even), as printf's "%.20Le" gives them: digits[0].digits[1..20]
// x 10^exponent. Zero (and anything not finite) is all '0' with exponent 0.
struct SignificantDigits {
    char digits[21];
    int exponent;
};

// Worked out with integer arithmetic for the values the monitor shows (every
// float from about 5e-7 up, short doubles); others go through printf.
SignificantDigits SignificantDigitsOf(long double value);
// The same through printf alone, the reference for the one above.
SignificantDigits SignificantDigitsByPrintf(long double value);

// FormatNumberText from digits of |value| worked out beforehand.
std::string FormatNumberText(long double value, int digits, int decimals, const SignificantDigits& exact);
