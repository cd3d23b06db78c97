// Captures converted as a user runs imgconv: every channel checked, the failures included.
#include "e2e.h"
#include "imgconv_test_data.h"

#include <cerrno>
#include <filesystem>
#include <fstream>

#if defined(__linux__)
#include <sys/resource.h>
#endif

namespace {

using e2e::Bytes;
using e2e::Expected;
using e2e::kStatusMinusOne;
namespace fs = std::filesystem;

class ImgconvCapture : public e2e::Test {};

constexpr size_t kBytes = 128; // size code 0

// One ImageDisk track record: mode 5, maps for C and H when given, then each
// sector's record type and its data (all `fill`, or one byte when compressed).
struct ImdSector {
    int record, cyl, head, type, fill;
};
Bytes imd_track(int cylinder, int head, bool maps, const std::vector<ImdSector>& sectors) {
    Bytes t = e2e::bytes_of({5, cylinder, head | (maps ? 0xC0 : 0), int(sectors.size()), 0});
    for (const ImdSector& s : sectors)
        t += static_cast<char>(s.record);
    for (int map = 0; maps && map < 2; ++map)
        for (const ImdSector& s : sectors)
            t += static_cast<char>(map == 0 ? s.cyl : s.head);
    for (const ImdSector& s : sectors) {
        t += static_cast<char>(s.type);
        if (s.type != 0)
            t += s.type % 2 == 0 ? Bytes(1, char(s.fill)) : e2e::repeat(s.fill, kBytes);
    }
    return t;
}

const Bytes kImdText = "IMD 1.18: 08/12/2026  9:30:22\r\nTest disk\r\n\x1A";

// Every record type 0..8, maps on some tracks, an empty track, a re-read
// track that fills cylinder 1 head 1 record 1, and a stray cylinder 9.
Bytes imd_capture() {
    return kImdText +
           imd_track(0, 0, true, {{2, 0, 0, 1, 0x02}, {1, 0, 0, 2, 0x01}, {3, 0, 0, 6, 0x03}}) +
           imd_track(0, 1, false, {{1, 0, 1, 3, 0x11}, {3, 0, 1, 4, 0x13}, {2, 0, 1, 0, 0}}) +
           imd_track(1, 0, false, {{1, 1, 0, 5, 0x21}, {2, 1, 0, 7, 0x22}, {3, 1, 0, 8, 0x23}}) +
           imd_track(1, 1, false, {}) +
           imd_track(2, 0, true, {{1, 1, 1, 1, 0x31}, {1, 9, 0, 1, 0x91}});
}

Bytes image_of(std::initializer_list<int> fills) {
    Bytes image;
    for (int f : fills)
        image += e2e::repeat(f, kBytes);
    return image;
}

} // namespace

TEST_F(ImgconvCapture, ImageDiskPlacedByIdsWithEveryHoleNamed) {
    write_file("in.imd", imd_capture());
    // -i, -r and the skews have no effect on a capture.
    EXPECT_RUN(
        "imgconv", {"in.imd", "out.bin", "-c", "2", "-v", "-i", "3", "-r", "512", "-cs", "1"},
        Expected{0,
                 "ImageDisk capture, version 1.18, compression none\n"
                 "Comment: Test disk\n"
                 "Records of 128 bytes, IDs 1 to 3 on each track (3 per track, from the "
                 "sectors' IDs)\n"
                 "Geometry: 2 cylinders (from the option), 2 heads (from the sectors' IDs)\n"
                 "Not placed: 0 sectors of another size, 1 without data, 0 without an ID "
                 "field\n"
                 "Warning: cylinder 0 head 0 record 3 was read with a data error; written "
                 "as read.\n"
                 "Warning: cylinder 0 head 1 record 2 not found; written as zeros.\n"
                 "Warning: cylinder 1 head 0 record 1 was read with a data error; written "
                 "as read.\n"
                 "Warning: cylinder 1 head 0 record 2 was read with a data error; written "
                 "as read.\n"
                 "Warning: cylinder 1 head 0 record 3 was read with a data error; written "
                 "as read.\n"
                 "Warning: cylinder 1 head 1 record 2 not found; written as zeros.\n"
                 "Warning: cylinder 1 head 1 record 3 not found; written as zeros.\n"
                 "Warning: cylinder 9 head 0 record 1 lies outside the image; not "
                 "written.\n"
                 "Warning: 3 records written as zeros, 1 sectors not written.\n",
                 "",
                 {{"out.bin",
                   image_of({0x01, 0x02, 0x03, 0x11, 0, 0x13, 0x21, 0x22, 0x23, 0x31, 0, 0})}}});
}

TEST_F(ImgconvCapture, ImageDiskFailuresWriteNothing) {
    const Bytes whole = imd_capture();
    // The first track: 5 header bytes, 3 maps of 3, a raw record, then the
    // type of a compressed one without its fill byte.
    const size_t cut = kImdText.size() + 14 + 1 + kBytes + 1;
    write_file("cut.imd", whole.substr(0, cut));
    write_file("one.imd", kImdText + imd_track(0, 0, false, {{1, 0, 0, 2, 0x41}}));
    write_file("whole.imd", whole);
    write_file("blank.imd", kImdText + imd_track(0, 0, false, {{1, 0, 0, 0, 0}}));
    write_file("report.txt", "");
    struct Case {
        std::vector<std::string> args;
        Bytes err;
    };
    const Case cases[] = {
        {{"cut.imd", "out.bin"},
         "ImageDisk capture \"cut.imd\", byte " + std::to_string(cut - 1) +
             ": the file ends inside a sector data record.\n"},
        {{"whole.imd", "out.bin", "-l", "report.txt"},
         "Input file \"whole.imd\" is an ImageDisk capture; a control file (-l) describes a raw "
         "dump, so the capture is not converted.\n"},
        {{"blank.imd", "out.bin"},
         "ImageDisk capture \"blank.imd\": no sector with data was read at cylinder 0 head 0; the "
         "disk's format is unknown.\n"},
    };
    for (const Case& c : cases)
        EXPECT_RUN("imgconv", c.args,
                   Expected{kStatusMinusOne, "", c.err, {{"out.bin", std::nullopt}}});

    if (e2e::windows_target())
        GTEST_SKIP() << "no /dev/full";
    fs::create_symlink("/dev/full", path("full.bin"));
    // Written in place through the link: no file appears beside it.
    EXPECT_RUN("imgconv", {"one.imd", "full.bin"},
               Expected{kStatusMinusOne,
                        "",
                        "Write error on file \"full.bin\" " + testdata::error_number(ENOSPC) + "\n",
                        {}});
    EXPECT_EQ(folder(), (std::vector<std::string>{"blank.imd", "cut.imd", "full.bin", "one.imd",
                                                  "report.txt", "whole.imd"}));
}

#if defined(__linux__)
// Inputs whose headers or counts ask for far more than they hold: each is
// refused before the output exists, and no run of imgconv grows past the
// memory limit while it finds out (the largest child process so far, as the
// system counts it).
TEST_F(ImgconvCapture, HostileInputsAreRefusedWithinTheMemoryLimit) {
    constexpr long kMemoryLimitKiB = 256 * 1024;
    constexpr uint64_t kCaptureLimit = uint64_t{64} << 20;
    // One sector of 4 KiB whose LIF header claims 256 x 256 x 256 records.
    Bytes header(4096, '\0');
    header[0] = '\x80';
    for (size_t at : {24, 28, 32})
        for (int i = 0; i < 4; ++i)
            header[at + i] = static_cast<char>(i == 2 ? 1 : 0); // 256, big-endian
    const Bytes lying = kImdText + e2e::bytes_of({5, 0, 0, 1, 5, 0, 1}) + header;
    write_file("lying.imd", lying);
    write_file("lying.bin", header.substr(0, 256));
    // 64 MiB of tracks of 255 sectors without data: 2 bytes of file per sector.
    Bytes track = e2e::bytes_of({5, 0, 0, 255, 0});
    for (int r = 0; r < 255; ++r)
        track += static_cast<char>(r);
    track += Bytes(255, '\0');
    {
        std::ofstream empty(path("empty.imd"), std::ios::binary);
        empty << kImdText;
        for (uint64_t size = kImdText.size(); size + track.size() <= kCaptureLimit;
             size += track.size())
            empty << track;
    }
    // 300 MB that begin "TD": refused by its size, before a byte is read.
    write_file("big.td0", "TD");
    fs::resize_file(path("big.td0"), 300000000);

    const auto image_refusal = [](const std::string& input, uint64_t bytes, const char* geometry,
                                  const char* source) {
        return "The image would be " + std::to_string(bytes) + " bytes from an input of " +
               std::to_string(input.size()) + " bytes (" + geometry + ", from " + source +
               "); give -c, -h and -s to write it.\n";
    };
    EXPECT_RUN("imgconv", {"lying.imd", "out.bin"},
               Expected{kStatusMinusOne,
                        "",
                        image_refusal(lying, uint64_t{1} << 36,
                                      "cylinders=256 heads=256 sectors=256", "the LIF header"),
                        {{"out.bin", std::nullopt}}});
    EXPECT_RUN("imgconv", {"lying.bin", "out.bin", "-i", "1"},
               Expected{kStatusMinusOne,
                        "",
                        image_refusal(header.substr(0, 256), uint64_t{1} << 32,
                                      "cylinders=256 heads=256 sectors=256", "the LIF header"),
                        {{"out.bin", std::nullopt}}});
    EXPECT_RUN("imgconv", {"big.td0", "out.bin"},
               Expected{kStatusMinusOne,
                        "",
                        "TeleDisk capture \"big.td0\" is 300000000 bytes; a capture larger than "
                        "67108864 bytes is not read.\n",
                        {{"out.bin", std::nullopt}}});
    // Where the limit is met depends on how large the bookkeeping of a sector is.
    const e2e::Outcome empty = run("imgconv", {"empty.imd", "out.bin"}, {"out.bin"});
    EXPECT_EQ(empty.status, kStatusMinusOne);
    EXPECT_EQ(empty.out, "");
    EXPECT_EQ(empty.err.rfind("ImageDisk capture \"empty.imd\", byte ", 0), 0u) << empty.err;
    EXPECT_NE(empty.err.find(e2e::as_text_stream(": tracks and sectors fill more than 32 MiB.\n")),
              std::string::npos)
        << empty.err;
    EXPECT_EQ(empty.files.at("out.bin"), std::nullopt);
    fs::remove(path("empty.imd"));
    fs::remove(path("big.td0"));

    rusage usage{};
    ASSERT_EQ(getrusage(RUSAGE_CHILDREN, &usage), 0);
    EXPECT_LT(usage.ru_maxrss, kMemoryLimitKiB); // KiB on Linux
}
#endif

namespace {

// TeleDisk's CRC-16 (polynomial 0xA097, MSB first, from 0), written out here
// on its own so that the reader's table is checked against it.
unsigned td_crc(const Bytes& bytes) {
    unsigned crc = 0;
    for (unsigned char b : bytes) {
        crc ^= unsigned(b) << 8;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? ((crc << 1) ^ 0xA097) & 0xFFFF : (crc << 1) & 0xFFFF;
    }
    return crc;
}

// One normal-mode sector of 128 bytes (size code 0), raw data, its CRC byte
// made wrong on request.
Bytes td_sector(int record, int flags, int fill, bool wrong_crc = false) {
    const Bytes data = e2e::repeat(fill, kBytes);
    const int crc = int(td_crc(data) & 0xFF) ^ (wrong_crc ? 0xFF : 0);
    return e2e::bytes_of(
               {0, 0, record, 0, flags, crc, int(kBytes + 1) & 0xFF, int(kBytes + 1) >> 8, 0}) +
           data;
}

Bytes td_track(int cylinder, int head, int count, bool wrong_crc) {
    const Bytes t = e2e::bytes_of({count, cylinder, head});
    return t + char(td_crc(t) ^ (wrong_crc ? 0x55 : 0));
}

// Version 2.1, DOS-allocated sectors only, two sides; no comment.
Bytes td_header() {
    const Bytes h = e2e::bytes_of({'T', 'D', 0, 0, 21, 0, 3, 0, 1, 2});
    const unsigned crc = td_crc(h);
    return h + e2e::bytes_of({int(crc & 0xFF), int(crc >> 8)});
}

} // namespace

TEST_F(ImgconvCapture, TeleDiskPlacedByIdsWithItsCrcsChecked) {
    const Bytes flagged = td_sector(1, 0, 0x11);
    Bytes head1 = flagged + td_sector(3, 0, 0x13);
    head1[1] = 1; // head ID 1
    head1[flagged.size() + 1] = 1;
    write_file("in.td0", td_header() + td_track(0, 0, 4, false) + td_sector(2, 0, 0x02, true) +
                             td_sector(9, 0x40, 0x09) + td_sector(1, 0, 0x01) +
                             td_sector(3, 0x02, 0x03) + td_track(0, 1, 2, true) + head1 +
                             e2e::bytes_of({0xFF, 0, 1, 0}));
    EXPECT_RUN("imgconv", {"in.td0", "out.bin", "-v"},
               Expected{0,
                        "TeleDisk capture, version 2.1, compression none\n"
                        "Warning: the capture holds only the sectors that DOS had allocated; the "
                        "others will show as not found.\n"
                        "Warning: the capture's CRC of record 2 (cylinder ID 0, head ID 0) on "
                        "track 0 head 0 does not match; read as it stands.\n"
                        "Warning: the capture's CRC of track 0 head 1 does not match; read as it "
                        "stands.\n"
                        "Records of 128 bytes, IDs 1 to 3 on each track (3 per track, from the "
                        "sectors' IDs)\n"
                        "Geometry: 1 cylinders (from the sectors' IDs), 2 heads (from the sectors' "
                        "IDs)\n"
                        "Not placed: 0 sectors of another size, 0 without data, 1 without an ID "
                        "field\n"
                        "Warning: cylinder 0 head 0 record 3 was read with a data error; written "
                        "as read.\n"
                        "Warning: cylinder 0 head 1 record 2 not found; written as zeros.\n"
                        "Warning: 1 records written as zeros, 0 sectors not written.\n",
                        "",
                        {{"out.bin", image_of({0x01, 0x02, 0x03, 0x11, 0, 0x13})}}});
    // A header whose CRC does not match is refused before anything is written.
    Bytes bad = td_header();
    bad[10] ^= 1;
    write_file("bad.td0", bad + e2e::bytes_of({0xFF}));
    EXPECT_RUN("imgconv", {"bad.td0", "out2.bin"},
               Expected{kStatusMinusOne,
                        "",
                        "TeleDisk capture \"bad.td0\", byte 10: header CRC does not match.\n",
                        {{"out2.bin", std::nullopt}}});
}
