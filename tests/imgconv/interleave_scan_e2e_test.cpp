// The LIF interleave scan on headers whose directory lies far beyond the end of a small dump.
#include "e2e.h"

#include <chrono>

namespace {

using e2e::Bytes;
using e2e::Expected;

constexpr size_t kRecordBytes = 16; // -r 16: small records, so offsets reach 2^31 late

// Four 16-byte records; record 0 is a LIF header with the given directory
// start (the length field lies beyond the record and reads as 0).
Bytes small_lif_dump(uint32_t dirstart) {
    Bytes dump;
    for (int r = 0; r < 4; ++r)
        dump += Bytes(kRecordBytes, static_cast<char>('A' + r));
    dump[0] = static_cast<char>(0x80);
    dump[1] = 0x00;
    for (int i = 0; i < 4; ++i)
        dump[8 + i] = static_cast<char>(dirstart >> (24 - 8 * i));
    return dump;
}

class InterleaveScan : public e2e::Test {};

} // namespace

TEST_F(InterleaveScan, DirectoryBeyond2GiBEndsAtTheFailingSeekWithoutReadingEveryRecord) {
    // Records 4 onwards lie beyond the dump; record 2^27 is the first at an
    // offset of 2^31, whose seek fails. Reaching it one record at a time
    // would take minutes.
    write_file("dump.ima", small_lif_dump(0xFFFFFFF0u));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_RUN("imgconv", {"dump.ima", "out.hpi", "-r", "16"},
               Expected{e2e::kStatusMinusOne,
                        "",
                        "Seek error #22 (Invalid argument)\n",
                        {{"out.hpi", std::nullopt}}});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST_F(InterleaveScan, DirectoryBeyondTheDumpButBelow2GiBGivesTheWarningAndInterleaveTwo) {
    const Bytes dump = small_lif_dump(100000000u);
    write_file("dump.ima", dump);
    // One track of four records with interleave 2: slots hold sectors 0 2 1 3.
    const Bytes image =
        dump.substr(0, 16) + dump.substr(32, 16) + dump.substr(16, 16) + dump.substr(48, 16);
    EXPECT_RUN("imgconv", {"dump.ima", "out.hpi", "-r", "16", "-c", "1", "-h", "1", "-s", "4"},
               Expected{0,
                        "Warning: could not guess interleave. setting interleave=2.\n",
                        "",
                        {{"out.hpi", image}}});
}
