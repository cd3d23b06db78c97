// The exit statuses the programs end with; -1 reaches a POSIX shell as 255.
#pragma once

namespace common {

// Usage text, or a run that did all it was asked to.
constexpr int kExitDone = 0;
// A file that cannot be opened, a failed seek, read or write, or an output
// refused because it is one of the run's own inputs.
constexpr int kExitFailure = -1;

} // namespace common
