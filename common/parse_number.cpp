// The 32-bit base-0 number reader shared by every command line.
#include "common/parse_number.h"

#include <cctype>
#include <cstdlib>

namespace common {

namespace {

constexpr uint32_t kAllBits32 = 0xFFFFFFFFu;
constexpr int kNumberBaseAuto = 0; // 0x hex, leading 0 octal, else decimal

} // namespace

uint32_t parse_number(const char* text) {
    const char* p = text;
    while (std::isspace(static_cast<unsigned char>(*p)))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    // Only digits may follow the sign, so strtoull sees no second sign or blank.
    if (!std::isdigit(static_cast<unsigned char>(*p)))
        return 0;
    const unsigned long long magnitude = std::strtoull(p, nullptr, kNumberBaseAuto);
    if (magnitude > kAllBits32)
        return kAllBits32; // out of range of a 32-bit unsigned long, sign or not
    const uint32_t value = static_cast<uint32_t>(magnitude);
    return negative ? 0u - value : value;
}

} // namespace common
