#pragma once
// The live view as plain text tables, for scripts and logs.
#include <cstdint>
#include <string>

#include "live/refresher.h"

namespace vt::live {

/// The table of one refresh: a line that describes the server, a line of
/// column names, then one line per account; fields apart by one or more
/// blanks, "-" for a figure that is not known. Figures are as the snapshot
/// gives them, in the statistics service's units; names hold no blank or
/// control character (each becomes U+FFFD).
std::string batch_table(const Shown& shown, std::uint64_t iteration, double now);

}  // namespace vt::live
