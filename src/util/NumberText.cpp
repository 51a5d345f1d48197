#include "util/NumberText.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string_view>

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

SignificantDigits SignificantDigitsByPrintf(long double value)
{
    SignificantDigits out;
    std::memset(out.digits, '0', sizeof out.digits);
    out.exponent = 0;
    if (!std::isfinite(value))
        return out;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.20Le", std::fabs(value));
    // The decimal point is the C locale's; take the digits around it whatever it is.
    size_t n = 0;
    for (const char* p = buf; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9' && n < sizeof out.digits)
            out.digits[n++] = *p;
    out.exponent = std::atoi(std::strchr(buf, 'e') + 1);
    return out;
}

SignificantDigits SignificantDigitsOf(long double value)
{
    using Wide = unsigned __int128;
    SignificantDigits out;
    std::memset(out.digits, '0', sizeof out.digits);
    out.exponent = 0;
    value = std::fabs(value);
    if (value == 0)
        return out;
    if (std::numeric_limits<long double>::digits > 64 || !std::isfinite(value))
        return SignificantDigitsByPrintf(value);

    // value = m * 2^q exactly, m odd.
    int q = 0;
    uint64_t m = static_cast<uint64_t>(std::ldexp(std::frexp(value, &q), 64));
    q -= 64;
    const int zeroBits = std::countr_zero(m);
    m >>= zeroBits;
    q += zeroBits;

    // value = n * 10^scale with n an integer below 2^128, or printf does it.
    Wide n = m;
    int scale = 0;
    const int width = std::bit_width(m);
    if (q >= 0) {
        if (width + q > 128)
            return SignificantDigitsByPrintf(value);
        n <<= q;
    } else {
        // 5^k < 2^(2.322 k)
        if (width + (-q * 2322) / 1000 + 1 > 128)
            return SignificantDigitsByPrintf(value);
        int k = -q;
        for (; k >= 13; k -= 13)
            n *= 1'220'703'125U; // 5^13
        for (; k > 0; --k)
            n *= 5;
        scale = q;
    }

    // All decimal digits of n, 19 at a time from the low end.
    constexpr uint64_t kChunk = 10'000'000'000'000'000'000ULL;
    char text[40];
    char* const end = text + sizeof text;
    char* p = end;
    for (;;) {
        const bool top = n < kChunk;
        uint64_t part = static_cast<uint64_t>(n);
        if (!top) {
            const Wide high = n / kChunk;
            part = static_cast<uint64_t>(n - high * kChunk);
            n = high;
        }
        for (int i = 0; top ? part != 0 : i < 19; ++i) {
            *--p = static_cast<char>('0' + part % 10);
            part /= 10;
        }
        if (top)
            break;
    }
    const int count = static_cast<int>(end - p);
    out.exponent = count - 1 + scale;
    std::memcpy(out.digits, p, static_cast<size_t>(std::min(count, 21)));
    if (count <= 21)
        return out;

    // Round the dropped digits off: above half up, an exact half to even.
    bool up = p[21] > '5';
    if (p[21] == '5') {
        up = (out.digits[20] - '0') % 2 == 1;
        for (const char* r = p + 22; r < end && !up; ++r)
            up = *r != '0';
    }
    if (up) {
        int i = 20;
        while (i >= 0 && out.digits[i] == '9')
            out.digits[i--] = '0';
        if (i >= 0) {
            ++out.digits[i];
        } else {
            out.digits[0] = '1';
            ++out.exponent;
        }
    }
    return out;
}

std::string FormatNumberText(long double value, int digits, int decimals)
{
    return FormatNumberText(value, digits, decimals, SignificantDigitsOf(value));
}

std::string FormatNumberText(long double value, int digits, int decimals, const SignificantDigits& exact)
{
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value < 0 ? "-INF" : "INF";
    digits = std::clamp(digits, 1, 18);
    decimals = std::clamp(decimals, 0, 18);

    const std::string_view mantissa(exact.digits, sizeof exact.digits);
    int exponent = exact.exponent;
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
