// What get works out before it writes: each disk record's reading state, and the file names.
#include "hpfiles/disk.h"
#include "hpfiles/extract.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using hpfiles::kRecordCopiesDiffer;
using hpfiles::kRecordDataError;
using hpfiles::kRecordNotFound;
using hpfiles::record_flags_from_slots;
using Flags = std::vector<uint8_t>;

TEST(RecordFlags, EachDiskRecordCarriesTheStateOfTheSlotsItOverlaps) {
    // 512-byte slots: each state covers two disk records.
    EXPECT_EQ(record_flags_from_slots({0, kRecordNotFound, kRecordDataError}, 512, 1536),
              (Flags{0, 0, kRecordNotFound, kRecordNotFound, kRecordDataError, kRecordDataError}));
    // 128-byte slots: two share a disk record and both states count; a last
    // half record is a record too.
    EXPECT_EQ(record_flags_from_slots(
                  {kRecordNotFound, kRecordDataError, 0, 0, kRecordCopiesDiffer}, 128, 640),
              (Flags{kRecordNotFound | kRecordDataError, 0, kRecordCopiesDiffer}));
}

TEST(OutputNames, NamesWindowsKeepsForDevicesGetAnUnderscore) {
    hpfiles::OutputNames names;
    EXPECT_EQ(names.claim("con", "PROG"), "con_.PROG");
    EXPECT_EQ(names.claim("LPT1.X", "DATA"), "LPT1_.X.DATA");
    EXPECT_EQ(names.claim("CONS", "DATA"), "CONS.DATA");
    EXPECT_EQ(names.claim("COMA", "DATA"), "COMA.DATA");
    EXPECT_EQ(names.claim("", "DATA"), "_.DATA");
}

} // namespace
