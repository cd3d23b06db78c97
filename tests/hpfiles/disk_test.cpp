// The reading state of each 256-byte disk record, from capture slots of other sizes.
#include "hpfiles/disk.h"

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

} // namespace
