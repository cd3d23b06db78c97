// Linear conversions run as a user runs them: worked examples, edges and the mended faults.
#include "e2e.h"
#include "imgconv_test_data.h"
#include "physical_dump.h"

namespace {

using e2e::Expected;
using e2e::kStatusMinusOne;
using testdata::kNoGuess;
using testdata::kNoLif;

class ImgconvLinear : public e2e::Test {};

// A dump whose every byte tells its position, so any record read shows where it came from.
std::string positional_bytes(size_t size) {
    std::string d;
    for (size_t i = 0; i < size; ++i)
        d += static_cast<char>((i * 7 + 3) & 0xFF);
    return d;
}

} // namespace

TEST_F(ImgconvLinear, WorkedGeometryReadsTheSixteenListedOffsets) {
    // 2 cylinders, 2 heads, 4 sectors of 16 bytes, 8 bytes junk, interleave 2,
    // both skews 1, cylinder skip 100, head skip 10.
    const uint32_t offsets[16] = {0,   32,  16,  48,  98,  130, 114, 82,
                                  276, 244, 292, 260, 374, 342, 326, 358};
    const std::string dump = positional_bytes(398); // exactly what the geometry reads
    write_file("in.ima", dump);
    std::string image;
    for (uint32_t o : offsets)
        image += dump.substr(o, 16);
    const std::vector<std::string> geometry{"in.ima", "out.bin", "-c",     "2",  "-h", "2",  "-s",
                                            "4",      "-r",      "16",     "-j", "8",  "-i", "2",
                                            "-cskip", "100",     "-hskip", "10", "-v"};
    std::vector<std::string> given = geometry;
    given.insert(given.end(), {"-cs", "1", "-hs", "1"});
    const std::string found_geometry = kNoLif + "Using tracks=2 heads=2 sectors=4 interleave=2\n";
    EXPECT_RUN(
        "imgconv", given,
        Expected{
            0, found_geometry + "using cylinder skew=1 head skew=1\n", "", {{"out.bin", image}}});
    // The same skews found from two known record positions.
    std::vector<std::string> searched = geometry;
    searched.insert(searched.end(), {"-m", "2", "6", "114", "13", "342"});
    EXPECT_RUN("imgconv", searched,
               Expected{0,
                        found_geometry + "found matching cskew=1 tskew=1\n"
                                         "using cylinder skew=1 head skew=1\n",
                        "",
                        {{"out.bin", image}}});
}

TEST_F(ImgconvLinear, LifDirectoryInSlotSixGivesInterleaveThree) {
    const std::string image = testdata::lif_image(4, 2, 16, 256, 2, 14);
    physical::Layout d;
    d.cylinders = 4;
    d.heads = 2;
    d.sectors = 16;
    d.rec_size = 256;
    d.interleave = 3;
    std::mt19937 rng(1);
    write_file("in.ima", physical::dump(image, d, rng));
    const std::string verbose = "LIF detected: dirstart=2 dirsize=14 datastart=16\n"
                                "Using tracks=4 heads=2 sectors=16 interleave=3\n"
                                "using cylinder skew=0 head skew=0\n";
    EXPECT_RUN("imgconv", {"in.ima", "out.bin", "-v"},
               Expected{0, verbose, "", {{"out.bin", image}}});
    // "-i -1" is the same as no "-i"; without -v a LIF run says nothing.
    EXPECT_RUN("imgconv", {"in.ima", "out.bin", "-i", "-1"},
               Expected{0, "", "", {{"out.bin", image}}});
}

TEST_F(ImgconvLinear, DefaultGeometryAndAShortDumpGiveZerosNotOldBytes) {
    // 1000 bytes: records 0 and 1 of 16:2 track 0 (slots 0 and 2) are whole,
    // the record in slot 3 (record 9) is cut, all others lie beyond the end.
    const std::string dump = positional_bytes(1000);
    write_file("in.ima", dump);
    const int slot_of_sector[16] = {0, 2, 4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15};
    std::string image;
    for (int s = 0; s < 16; ++s) {
        std::string rec = dump.size() > size_t(slot_of_sector[s]) * 256
                              ? dump.substr(size_t(slot_of_sector[s]) * 256, 256)
                              : "";
        image += rec + std::string(256 - rec.size(), '\0');
    }
    image += std::string(33 * 2 * 16 * 256 - image.size(), '\0');
    EXPECT_RUN("imgconv", {"in.ima", "out.bin", "-v"},
               Expected{0,
                        kNoLif + "Using tracks=33 heads=2 sectors=16 interleave=2\n"
                                 "using cylinder skew=0 head skew=0\n"
                                 "Warning: input ends before record 2; missing bytes written as "
                                 "zeros.\n",
                        "",
                        {{"out.bin", image}}});
}

TEST_F(ImgconvLinear, InterleaveOneOrZeroIsAPlainCopy) {
    const std::string dump = testdata::numbered_records(20, 8);
    write_file("in.ima", dump);
    for (const char* interleave : {"1", "0"})
        EXPECT_RUN(
            "imgconv",
            {"in.ima", "out.bin", "-c", "2", "-h", "2", "-s", "3", "-r", "8", "-i", interleave},
            Expected{0, kNoLif + testdata::unread_tail(64), "", {{"out.bin", dump.substr(0, 96)}}});
}

TEST_F(ImgconvLinear, JunkLeftOutLeavesTheDumpsTailUnreadAndSaysSo) {
    // Two tracks of two 8-byte records, each followed by 8 bytes of junk.
    const std::string dump = positional_bytes(48);
    write_file("in.ima", dump);
    const std::vector<std::string> geometry{"in.ima", "out.bin", "-c", "2", "-h", "1",
                                            "-s",     "2",       "-r", "8", "-i", "1"};
    std::vector<std::string> with_junk = geometry;
    with_junk.insert(with_junk.end(), {"-j", "8"});
    EXPECT_RUN("imgconv", with_junk,
               Expected{0, kNoLif, "", {{"out.bin", dump.substr(0, 16) + dump.substr(24, 16)}}});
    // Without -j the second track is read from the first one's junk on, and
    // the last 16 bytes are left: the image is wrong and the run says so.
    EXPECT_RUN(
        "imgconv", geometry,
        Expected{0, kNoLif + testdata::unread_tail(16), "", {{"out.bin", dump.substr(0, 32)}}});
}

TEST_F(ImgconvLinear, OneHeadMatchlistSaysBothSkewsActAlike) {
    // 2 cylinders, 1 head, 4 sectors of 16 bytes; record 4 (cylinder 1,
    // sector 0) found in slot 1: every pair whose skews add up to 1 mod 4 agrees.
    const std::string dump = positional_bytes(128);
    write_file("in.ima", dump);
    const std::vector<std::string> geometry{"in.ima", "out.bin", "-c", "2",  "-h", "1", "-s",
                                            "4",      "-r",      "16", "-i", "1",  "-v"};
    std::vector<std::string> args = geometry;
    args.insert(args.end(), {"-m", "1", "4", "80"});
    const std::string head = kNoLif + "Using tracks=2 heads=1 sectors=4 interleave=1\n";
    EXPECT_RUN(
        "imgconv", args,
        Expected{0,
                 head + "found matching cskew=0 tskew=1\n"
                        "found matching cskew=1 tskew=0\n"
                        "found matching cskew=2 tskew=3\n"
                        "found matching cskew=3 tskew=2\n"
                        "one head: the cylinder skew and the head skew act alike; any "
                        "listed pair is right.\n"
                        "using cylinder skew=0 head skew=1\n",
                 "",
                 {{"out.bin", dump.substr(0, 64) + dump.substr(80, 48) + dump.substr(64, 16)}}});
    // A list on cylinder 0 alone fits every pair, of every sum: they are not all right.
    args = geometry;
    args.insert(args.end(), {"-m", "1", "0", "0"});
    std::string every_pair = head;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            every_pair +=
                "found matching cskew=" + std::to_string(i) + " tskew=" + std::to_string(j) + "\n";
    EXPECT_RUN(
        "imgconv", args,
        Expected{0, every_pair + "using cylinder skew=0 head skew=0\n", "", {{"out.bin", dump}}});
}

TEST_F(ImgconvLinear, GeometryWithoutRecordsWritesAnEmptyImageAndSaysSo) {
    std::string header(256, '\0');
    header[0] = '\x80';
    testdata::put_be32(header, 8, 2); // dirstart 2, dirsize 0, geometry 0
    write_file("lif.ima", header);
    EXPECT_RUN("imgconv", {"lif.ima", "out.bin", "-v"},
               Expected{0,
                        kNoGuess + "LIF detected: dirstart=2 dirsize=0 datastart=2\n"
                                   "Using tracks=0 heads=0 sectors=0 interleave=2\n"
                                   "using cylinder skew=0 head skew=0\n"
                                   "Warning: geometry gives no records (cylinders=0 heads=0 "
                                   "sectors=0).\n"
                                   "Warning: give the geometry with -c, -h and -s.\n",
                        "",
                        {{"out.bin", ""}}});
    // A record count that wraps to 0 modulo 2^32 writes nothing either; the
    // geometry was given, so no hint.
    write_file("in.ima", std::string(300, 'x'));
    EXPECT_RUN("imgconv", {"in.ima", "out.bin", "-c", "65536", "-h", "65536", "-s", "1"},
               Expected{0,
                        kNoLif + "Warning: geometry gives no records (cylinders=65536 heads=65536 "
                                 "sectors=1).\n",
                        "",
                        {{"out.bin", ""}}});
}

TEST_F(ImgconvLinear, MoreThan256SectorsIsRefusedBeforeCopying) {
    write_file("in.ima", std::string(300, 'x'));
    EXPECT_RUN("imgconv", {"in.ima", "out.bin", "-s", "257"},
               Expected{kStatusMinusOne,
                        kNoLif,
                        "Sorry, max. sectors per track is 256 (sectors=257).\n",
                        {{"out.bin", std::nullopt}}});
    std::string header(256, '\0');
    header[0] = '\x80';
    testdata::put_be32(header, 24, 1);
    testdata::put_be32(header, 28, 1);
    testdata::put_be32(header, 32, 300);
    write_file("lif.ima", header);
    EXPECT_RUN("imgconv", {"lif.ima", "out.bin", "-i", "1"},
               Expected{kStatusMinusOne,
                        "",
                        "Sorry, max. sectors per track is 256 (sectors=300).\n",
                        {{"out.bin", std::nullopt}}});
    // 256 itself fits the table.
    EXPECT_RUN(
        "imgconv", {"in.ima", "out.bin", "-c", "1", "-h", "1", "-s", "256", "-r", "1", "-i", "1"},
        Expected{0, kNoLif + testdata::unread_tail(44), "", {{"out.bin", std::string(256, 'x')}}});
}

TEST_F(ImgconvLinear, DirectoryStartZeroGivesTheInterleaveWarning) {
    // Record 2 of the dump holds datastart 4, but dirstart 0 cannot divide it.
    std::string image = testdata::lif_image(1, 1, 16, 256, 0, 4);
    testdata::put_be32(image, 2 * 256 + 12, 4);
    physical::Layout d;
    d.sectors = 16;
    d.rec_size = 256;
    d.interleave = 2;
    std::mt19937 rng(1);
    write_file("in.ima", physical::dump(image, d, rng));
    EXPECT_RUN("imgconv", {"in.ima", "out.bin", "-v"},
               Expected{0,
                        kNoGuess + "LIF detected: dirstart=0 dirsize=4 datastart=4\n"
                                   "Using tracks=1 heads=1 sectors=16 interleave=2\n"
                                   "using cylinder skew=0 head skew=0\n",
                        "",
                        {{"out.bin", image}}});
}

TEST_F(ImgconvLinear, RandomLayoutsRoundTripThroughTheProgram) {
    std::mt19937 rng(45);
    for (int run = 0; run < 6; ++run) {
        const physical::Layout d = physical::random_layout(rng);
        std::string image = physical::random_image(d, rng);
        image[0] = '\x80';
        if (image.size() > 1)
            image[1] = '\x00';
        write_file("in.ima", physical::dump(image, d, rng));
        std::vector<std::string> args{"in.ima", "out.bin"};
        for (const auto& w : physical::options_for(d))
            args.push_back(w);
        // The last cylinder's skip filler lies past every record.
        const std::string unread =
            testdata::unread_tail(uint64_t(d.cylinder_skip) - uint64_t(d.heads - 1) * d.head_skip);
        EXPECT_RUN("imgconv", args, Expected{0, unread, "", {{"out.bin", image}}});
    }
}
