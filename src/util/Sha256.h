#pragma once
// SHA-256 of a byte string (FIPS 180-4), for the fingerprint of a test plan.

#include <string>
#include <string_view>

// The digest as 64 lower-case hexadecimal digits.
std::string Sha256Hex(std::string_view bytes);
