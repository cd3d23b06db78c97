// Interleave tables, record offsets and the matchlist search on hand-worked geometries.
#include "imgconv/dump/mapping.h"
#include "imgconv/dump/matchlist.h"

#include "capture.h"

#include <gtest/gtest.h>

#include <vector>

using namespace imgconv;

namespace {

std::vector<int> slots(const int32_t* a, int n) {
    return std::vector<int>(a, a + n);
}

// The small worked geometry: 2 cylinders, 2 heads, 4 sectors of 16 bytes, 8
// bytes of junk per track, cylinder skip 100, head skip 10, interleave 2.
ConvertOptions worked_geometry() {
    ConvertOptions o;
    o.cylinders = 2;
    o.heads = 2;
    o.sectors = 4;
    o.rec_size = 16;
    o.junk = 8;
    o.interleave = 2;
    o.cylinder_skip = 100;
    o.head_skip = 10;
    o.skew_count = 4; // 0 on the command line: every track
    return o;
}

} // namespace

TEST(InterleaveTable, SixteenSectorsInterleaveTwo) {
    InterleaveTable t;
    build_interleave_table(t, 16, 2);
    EXPECT_EQ(slots(t.slot_to_sector, 16),
              (std::vector<int>{0, 8, 1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14, 7, 15}));
    EXPECT_EQ(slots(t.sector_to_slot, 16),
              (std::vector<int>{0, 2, 4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15}));
}

TEST(InterleaveTable, NineSectorsInterleaveThree) {
    InterleaveTable t;
    build_interleave_table(t, 9, 3);
    const std::vector<int> order{0, 3, 6, 1, 4, 7, 2, 5, 8};
    EXPECT_EQ(slots(t.slot_to_sector, 9), order);
    EXPECT_EQ(slots(t.sector_to_slot, 9), order);
}

TEST(InterleaveTable, ZeroOneAndMultiplesOfNGiveIdentityOrder) {
    for (uint32_t a : {0u, 1u, 17u, 33u}) {
        InterleaveTable t;
        build_interleave_table(t, 16, a);
        for (int s = 0; s < 16; ++s)
            EXPECT_EQ(t.sector_to_slot[s], s) << "interleave " << a;
    }
    InterleaveTable big, small;
    build_interleave_table(big, 16, 0x7FFFFFFF); // remainder 15 modulo 16
    build_interleave_table(small, 16, 15);
    EXPECT_EQ(slots(big.slot_to_sector, 16), slots(small.slot_to_sector, 16));
}

TEST(InterleaveTable, FullTrackOf256IsAPermutation) {
    InterleaveTable t;
    build_interleave_table(t, 256, 7);
    std::vector<bool> seen(256, false);
    for (int p = 0; p < 256; ++p) {
        ASSERT_GE(t.slot_to_sector[p], 0);
        ASSERT_LT(t.slot_to_sector[p], 256);
        EXPECT_FALSE(seen[t.slot_to_sector[p]]);
        seen[t.slot_to_sector[p]] = true;
        EXPECT_EQ(t.slot_to_sector[t.sector_to_slot[p]], p);
    }
}

TEST(RecordOffset, WorkedGeometryAllSixteenRecords) {
    const ConvertOptions o = worked_geometry();
    InterleaveTable t;
    build_interleave_table(t, o.sectors, 2);
    EXPECT_EQ(slots(t.slot_to_sector, 4), (std::vector<int>{0, 2, 1, 3}));
    const uint32_t expected[16] = {0,   32,  16,  48,  98,  130, 114, 82,
                                   276, 244, 292, 260, 374, 342, 326, 358};
    for (uint32_t r = 0; r < 16; ++r)
        EXPECT_EQ(record_offset(plan_from_options(o), t, r, 1, 1, true), expected[r])
            << "record " << r;
}

TEST(RecordOffset, SkewCountSkewsWholeCylindersOnly) {
    ConvertOptions o = worked_geometry();
    o.cylinders = 3;
    o.skew_count = 3; // tracks 0..2: cylinder 0 and 1 start below 3, cylinder 2 does not
    InterleaveTable t;
    build_interleave_table(t, 4, 1);
    // Cylinder 1, head 1, sector 0: skewed by 1*1 + 2*1 = 3.
    EXPECT_EQ(record_offset(plan_from_options(o), t, 12, 1, 1, true),
              (3u * 4 + 3) * 16 + 3 * 8 + 100 + 10);
    // Cylinder 2, head 0, sector 0: not skewed in the copy loop ...
    EXPECT_EQ(record_offset(plan_from_options(o), t, 16, 1, 1, true),
              (4u * 4 + 0) * 16 + 4 * 8 + 200);
    // ... but always skewed in the search: 2*1 + 2*1 = 4, which is 0 modulo 4.
    EXPECT_EQ(record_offset(plan_from_options(o), t, 17, 1, 1, false),
              (4u * 4 + 1) * 16 + 4 * 8 + 200);
}

TEST(RecordOffset, SkewEqualToSectorsActsLikeZero) {
    const ConvertOptions o = worked_geometry();
    InterleaveTable t;
    build_interleave_table(t, 4, 2);
    for (uint32_t r = 0; r < 16; ++r)
        EXPECT_EQ(record_offset(plan_from_options(o), t, r, 4, 4, true),
                  record_offset(plan_from_options(o), t, r, 0, 0, true));
}

TEST(RecordOffset, ArithmeticWrapsModulo2To32) {
    ConvertOptions o;
    o.heads = 1;
    o.sectors = 1;
    o.rec_size = 1024;
    o.junk = 0xFFFFFFFFu; // every track goes one byte back, modulo 2^32
    InterleaveTable t;
    build_interleave_table(t, 1, 0);
    // Track 5: 5 * 1024 + 5 * (2^32 - 1) = 5 * 1023 modulo 2^32.
    EXPECT_EQ(record_offset(plan_from_options(o), t, 5, 0, 0, true), 5u * 1023u);
    o.junk = 0;
    o.rec_size = 0x80000000u; // record 1 at 2^31, record 2 wraps to 0
    EXPECT_EQ(record_offset(plan_from_options(o), t, 1, 0, 0, true), 0x80000000u);
    EXPECT_EQ(record_offset(plan_from_options(o), t, 2, 0, 0, true), 0u);
}

namespace {

// The skew search on the plan the options give; the skews it settles are
// read back into `o`, where the cases below look for them.
void search(ConvertOptions& o, const InterleaveTable& t, FILE* out) {
    DumpPlan plan = plan_from_options(o);
    search_skews(o, plan, t, out);
    o.cylinder_skew = plan.cylinder_skew;
    o.head_skew = plan.head_skew;
}

} // namespace

TEST(MatchlistSearch, UniquePairFromTwoRecordsOnCylinderOne) {
    ConvertOptions o = worked_geometry();
    o.verbose = true;
    o.match_count = 2;
    o.match_entries[0] = {6, 114};
    o.match_entries[1] = {13, 342};
    InterleaveTable t;
    build_interleave_table(t, 4, 2);
    CapturedStream out;
    search(o, t, out.get());
    EXPECT_EQ(out.text(), "found matching cskew=1 tskew=1\n");
    EXPECT_EQ(o.cylinder_skew, 1);
    EXPECT_EQ(o.head_skew, 1);
}

TEST(MatchlistSearch, CylinderZeroRecordsLeaveCylinderSkewOpen) {
    ConvertOptions o = worked_geometry();
    o.verbose = true;
    o.match_count = 2;
    o.match_entries[0] = {0, 0};
    o.match_entries[1] = {4, 98};
    InterleaveTable t;
    build_interleave_table(t, 4, 2);
    CapturedStream out;
    search(o, t, out.get());
    EXPECT_EQ(out.text(), "found matching cskew=0 tskew=1\n"
                          "found matching cskew=1 tskew=1\n"
                          "found matching cskew=2 tskew=1\n"
                          "found matching cskew=3 tskew=1\n");
    EXPECT_EQ(o.cylinder_skew, 0);
    EXPECT_EQ(o.head_skew, 1);
}

TEST(MatchlistSearch, GivenSkewsAreKeptButPairsStillReported) {
    InterleaveTable t;
    build_interleave_table(t, 4, 2);
    ConvertOptions o = worked_geometry();
    o.verbose = true;
    o.match_count = 2;
    o.match_entries[0] = {6, 114};
    o.match_entries[1] = {13, 342};
    o.cylinder_skew = 3;
    CapturedStream out;
    search(o, t, out.get());
    EXPECT_EQ(out.text(), "found matching cskew=1 tskew=1\n");
    EXPECT_EQ(o.cylinder_skew, 3); // given: kept
    EXPECT_EQ(o.head_skew, 1);     // searched: from the agreeing pair

    o.cylinder_skew = 2;
    o.head_skew = 0;
    search(o, t, out.get());
    EXPECT_EQ(o.cylinder_skew, 2);
    EXPECT_EQ(o.head_skew, 0);
}

TEST(MatchlistSearch, NothingFoundLeavesSkewsNotGiven) {
    InterleaveTable t;
    build_interleave_table(t, 4, 2);
    ConvertOptions o = worked_geometry();
    o.verbose = true;
    o.match_count = 1;
    o.match_entries[0] = {1, 17}; // no candidate puts a record at an odd offset
    const std::string none = "Warning: no skew pair places every matchlist record.\n";
    CapturedStream out;
    search(o, t, out.get());
    EXPECT_EQ(out.text(), none);
    EXPECT_EQ(o.cylinder_skew, -1);
    EXPECT_EQ(o.head_skew, -1);

    o.match_count = -1; // reads no pairs, and no pair can agree
    o.verbose = false;  // the warning is no verbose line
    search(o, t, out.get());
    EXPECT_EQ(out.text(), none + none);
    EXPECT_EQ(o.cylinder_skew, -1);
}

TEST(MatchlistSearch, NoRecordsPerCylinderFindsNothing) {
    InterleaveTable t;
    build_interleave_table(t, 4, 2);
    ConvertOptions o = worked_geometry();
    o.verbose = true;
    o.match_count = 1;
    o.match_entries[0] = {0, 0};
    CapturedStream out;
    o.heads = 0; // would divide by zero
    search(o, t, out.get());
    o.heads = 2;
    o.sectors = 0; // no candidate at all
    search(o, t, out.get());
    EXPECT_EQ(out.text(), "Warning: no skew pair places every matchlist record.\n"
                          "Warning: no skew pair places every matchlist record.\n");
    EXPECT_EQ(o.cylinder_skew, -1);
    EXPECT_EQ(o.head_skew, -1);
}

TEST(MatchlistSearch, EmptyOrOverlongListSearchesNothing) {
    InterleaveTable t;
    build_interleave_table(t, 4, 2);
    ConvertOptions o = worked_geometry();
    o.verbose = true;
    CapturedStream out;
    o.match_count = 0; // every candidate would agree with an empty list
    search(o, t, out.get());
    EXPECT_EQ(out.text(), "");            // no search, so nothing to report
    o.match_count = kMaxMatchEntries + 1; // names a pair that was never stored
    for (MatchEntry& m : o.match_entries)
        m = {0, 0}; // the ten stored pairs agree with every candidate
    search(o, t, out.get());
    const std::string none = "Warning: no skew pair places every matchlist record.\n";
    EXPECT_EQ(out.text(), none);
    EXPECT_EQ(o.cylinder_skew, -1);
    EXPECT_EQ(o.head_skew, -1);

    o.match_count = kMaxMatchEntries; // a full list is searched
    search(o, t, out.get());
    EXPECT_EQ(out.text().substr(none.size(), 31), "found matching cskew=0 tskew=0\n");
    EXPECT_EQ(o.cylinder_skew, 0);
}
