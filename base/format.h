#pragma once
// Figures, shares, times and ages as people read them, whatever the value:
// infinities, huge and negative values and times far off never come out
// as anything but the forms below.
#include <cstdint>
#include <optional>
#include <string>

namespace vt::base {

/// `value` exactly: the shortest decimal text that reads back to it,
/// without an exponent ("1000000", "0.25", "-3"); "-" when it is not finite.
std::string exact_figure(double value);

/// `value` in at most 6 characters: whole numbers as they are below 10,000,
/// others with 2 decimals or fewer, then 3 digits and a scale (k, M, G, T,
/// P), then one digit and a power of ten ("1e19", "-9e307"); "-" when it is
/// not finite.
std::string compact_figure(double value);

/// A share of a limit as a percentage rounded down, in at most 6
/// characters: the number, "%" and a mark, "!" at 100 % or more, "+" at
/// 90 % or more, else a blank ("98%+", "12% "). From 10,000 % on, the
/// number is rounded down to a scale ("12k%!", "3M%!"), and from 1e21 %
/// on it is "huge". Below 0 it is "<0%"; "-" when `share` is not a number.
std::string share_text(double share);

/// The whole second of `epoch` (seconds since 1970, UTC) where a calendar
/// shows it, from year 1 to year 9999; nothing when it is not finite or
/// outside those years.
std::optional<std::int64_t> calendar_second(double epoch);

/// `epoch` as "YYYY-MM-DDTHH:MM:SSZ"; "-" outside calendar_second's years.
std::string utc_time(double epoch);

/// `epoch` in local time through strftime's `format`; "?" outside
/// calendar_second's years.
std::string local_time(double epoch, const char* format);

/// A length of time in its largest unit, rounded down: seconds below 2
/// minutes, minutes below 2 hours, hours below 2 days, then days ("45s",
/// "3m", "5h", "12d"); "?" when it is negative, not finite or longer than
/// the calendar's years.
std::string duration_text(double seconds);

/// How long ago `then` was at `now`: "12s old", or "2h ahead" for a time
/// more than a second in the future; "?" when either is outside
/// calendar_second's years.
std::string age_text(double now, double then);

}  // namespace vt::base
