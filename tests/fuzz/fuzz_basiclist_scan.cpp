// Fuzzes the BASIC record scan: any 256 bytes must list as 7-bit text and CR LF line ends only.
#include "basiclist/record_scan.h"

#include <cstdint>
#include <cstring>
#include <vector>

using namespace basiclist;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Exact-size heap buffers, so that a read or write past either is caught.
    std::vector<unsigned char> record(kRecordBytes, 0x0D);
    std::memcpy(record.data(), data, size < kRecordBytes ? size : kRecordBytes);
    std::vector<unsigned char> text(kMaxRecordTextBytes);
    const RecordScan scan = scan_record(record.data(), kRecordBytes, text.data());
    if (scan.text_length > kMaxRecordTextBytes)
        __builtin_trap();
    for (size_t i = 0; i < scan.text_length; ++i) {
        const unsigned char b = text[i];
        if (b == 0x0D) {
            if (i + 1 >= scan.text_length || text[i + 1] != 0x0A)
                __builtin_trap();
            ++i;
        } else if (b < 0x20 || b > 0x7F) {
            __builtin_trap();
        }
    }
    if (scan.first_unknown != kNoPosition && scan.first_unknown >= kRecordBytes)
        __builtin_trap();
    return 0;
}
