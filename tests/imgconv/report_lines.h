// Test-side writer of sector report lines, laid out at the columns a SECSCAN report uses.
#pragma once

#include <cstdio>
#include <string>

// Each number is right-aligned so that its last digit sits in the last
// column of its field: TRACK line cylinder 17-18, head 30-31, sectors 38-39.
inline std::string track_line(unsigned cylinder, unsigned head, unsigned sectors) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "\xFE TRACK:%11u%13u%8u\n", cylinder, head, sectors);
    return buf;
}

// Sector line: cylinder ID 13-14, head ID 19, record 24-25, size 32-34.
inline std::string sector_line(unsigned cyl_id, unsigned head_id, int record, int size) {
    char buf[64];
    std::snprintf(buf, sizeof buf, " + Sector:%5u%5u%6d%9d\n", cyl_id, head_id, record, size);
    return buf;
}
