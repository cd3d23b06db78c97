// Numbers on the command line, read alike on every platform.
#pragma once

#include <cstdint>

namespace common {

// Reads a number as a 32-bit strtoul with base 0 does: decimal, "0x" hex or
// leading-0 octal after optional blanks and one sign; a minus sign negates
// modulo 2^32, a value beyond 32 bits gives 0xFFFFFFFF, no digits give 0.
// Trailing characters are ignored. The platform's own strtoul would read
// "-4294967295" as 1 where long has 32 bits and as a huge value where it has
// 64: this reader gives 1 everywhere.
uint32_t parse_number(const char* text);

} // namespace common
