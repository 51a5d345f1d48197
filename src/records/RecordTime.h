#pragma once
// Times of run records: ISO 8601 texts with the UTC offset, as the record
// keeps them, and the instants the stores sort and filter by.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Milliseconds since 1970-01-01 UTC of an ISO 8601 date ("2026-12-09") or
// date-time ("2026-12-09T18:41:12", with optional fraction and "Z" or
// "+01:00"/"+0100"). A date, or a date-time without an offset, is this
// station's local time. Empty when the text is not such a time.
std::optional<std::int64_t> IsoTimeToMs(std::string_view text);

// Now, as "2026-12-09T19:41:12.345+01:00" in this station's local time.
std::string NowIsoTime();
// An instant as such a local-time text (milliseconds kept).
std::string MsToIsoTime(std::int64_t ms);
