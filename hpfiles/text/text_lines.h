// What the three text conversions share: the line end, converted characters, message lines.
#pragma once

#include "common/report.h"

#include <cstddef>
#include <string>

namespace hpfiles {

// Every line of a text ends in carriage return, line feed.
constexpr const char* kTextLineEnd = "\r\n";

// Appends `count` bytes from `from`, each converted as basiclist converts text.
void append_converted(std::string& text, const unsigned char* from, size_t count);

using common::format_message;

} // namespace hpfiles
