#include "util/NumberText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
NumberSeparators g_separators;
}

const NumberSeparators& CurrentNumberSeparators()
{
    return g_separators;
}

void SetNumberSeparators(const NumberSeparators& separators)
{
    g_separators = separators;
}

void UsePointAsDecimalSeparator()
{
    g_separators.decimal = ".";
    if (g_separators.thousands == ".")
        g_separators.thousands = ",";
}

std::string FormatNumberText(long double value, int digits, int decimals)
{
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value < 0 ? "-INF" : "INF";
    digits = std::clamp(digits, 1, 18);
    decimals = std::clamp(decimals, 0, 18);

    // Exact decimal digits of |value|: d[0].d[1..] x 10^exponent.
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.20Le", std::fabs(value));
    std::string mantissa;
    for (const char* p = buf; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9')
            mantissa.push_back(*p);
    int exponent = std::atoi(std::strchr(buf, 'e') + 1);
    const bool zeroInput = value == 0;

    // Keep the digits allowed by both limits, rounding half away from zero.
    int keep = std::min(digits, exponent + 1 + decimals);
    std::string kept;
    if (!zeroInput && keep >= 0) {
        kept = mantissa.substr(0, static_cast<size_t>(keep));
        bool roundUp = static_cast<size_t>(keep) < mantissa.size() && mantissa[static_cast<size_t>(keep)] >= '5';
        if (roundUp) {
            int i = static_cast<int>(kept.size()) - 1;
            while (i >= 0 && kept[static_cast<size_t>(i)] == '9') {
                kept[static_cast<size_t>(i)] = '0';
                --i;
            }
            if (i >= 0) {
                ++kept[static_cast<size_t>(i)];
            } else {
                kept.insert(kept.begin(), '1');
                ++exponent;
                if (static_cast<int>(kept.size()) > keep && keep > 0)
                    kept.pop_back();
            }
        }
    }
    const bool isZero = kept.find_first_not_of('0') == std::string::npos;
    const bool negative = value < 0 && !isZero;
    const NumberSeparators& sep = g_separators;

    if (!isZero && exponent + 1 > digits) {
        while (kept.size() > 1 && kept.back() == '0')
            kept.pop_back();
        std::string out = negative ? "-" : "";
        out += kept.substr(0, 1);
        if (kept.size() > 1)
            out += sep.decimal + kept.substr(1);
        std::string exp = std::to_string(exponent);
        if (decimals <= 4 && static_cast<int>(exp.size()) < decimals)
            exp.insert(0, static_cast<size_t>(decimals) - exp.size(), '0');
        return out + "E" + exp;
    }

    // Digit at decimal position p (p = 0 is the units digit, negative p are decimals).
    auto digitAt = [&](int p) -> char {
        if (isZero)
            return '0';
        int index = exponent - p;
        if (index < 0 || index >= static_cast<int>(kept.size()))
            return '0';
        return kept[static_cast<size_t>(index)];
    };
    std::string integer;
    int topPosition = isZero ? 0 : std::max(exponent, 0);
    for (int p = topPosition; p >= 0; --p) {
        integer.push_back(digitAt(p));
        if (p > 0 && p % 3 == 0)
            integer += sep.thousands;
    }
    std::string out = negative ? "-" : "";
    out += integer;
    if (decimals > 0) {
        out += sep.decimal;
        for (int p = -1; p >= -decimals; --p)
            out.push_back(digitAt(p));
    }
    return out;
}
