// The TeleDisk reader on real captures, the decoders' worked examples and damaged captures.
// Includes the capture model (imgconv/capture.h, not the test helper of that name).
#include "imgconv/capture/tele_disk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

using namespace imgconv;

namespace {

using Bytes = std::vector<unsigned char>;

Bytes load(const std::string& name) {
    std::ifstream f(std::string(HPKIT_CAPTURES_DIR) + "/" + name, std::ios::binary);
    EXPECT_TRUE(f.good()) << name;
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

Capture read_clean(const Bytes& file, const std::string& name) {
    Capture c;
    CaptureError e;
    EXPECT_TRUE(read_tele_disk(file, c, e)) << name << ": " << e.what << " at " << e.offset;
    EXPECT_TRUE(c.warnings.empty()) << name << ": " << c.warnings.front();
    return c;
}

void expect_same_tracks(const Capture& a, const Capture& b) {
    ASSERT_EQ(a.tracks.size(), b.tracks.size());
    for (size_t t = 0; t < a.tracks.size(); ++t) {
        const CaptureTrack &x = a.tracks[t], &y = b.tracks[t];
        ASSERT_EQ(x.sectors.size(), y.sectors.size()) << "track " << t;
        EXPECT_EQ(x.cylinder, y.cylinder);
        EXPECT_EQ(x.head, y.head);
        for (size_t s = 0; s < x.sectors.size(); ++s) {
            const CaptureSector &p = x.sectors[s], &q = y.sectors[s];
            EXPECT_TRUE(p.cyl_id == q.cyl_id && p.head_id == q.head_id && p.record == q.record &&
                        p.size == q.size && p.has_data == q.has_data &&
                        p.data_error == q.data_error && p.no_id_field == q.no_id_field &&
                        p.data == q.data)
                << "track " << t << " sector " << s;
        }
    }
}

// TeleDisk's own advanced files against their normal twins: the decoded stream
// is the twin's body, and both read to the same tracks and sectors.
TEST(TeleDiskSamples, AdvancedFileEqualsItsNormalTwin) {
    struct Case {
        const char* advanced;
        const char* normal;
        const char* version;
        const char* compression;
    } cases[] = {
        {"retrocompressor_td105.adv.td0", "retrocompressor_td105.norm.td0", "1.1",
         "LZW (old advanced)"},
        {"retrocompressor_td215.adv.td0", "retrocompressor_td215.norm.td0", "2.1",
         "LZHUF (advanced)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.advanced);
        const Bytes adv = load(c.advanced), norm = load(c.normal);
        ASSERT_GT(adv.size(), kTeleDiskHeaderBytes);
        const Bytes body(norm.begin() + kTeleDiskHeaderBytes, norm.end());
        const bool lzw = std::string(c.compression).find("LZW") != std::string::npos;
        const DecodedStream d = lzw ? decode_old_lzw(adv.data() + kTeleDiskHeaderBytes,
                                                     adv.size() - kTeleDiskHeaderBytes)
                                    : decode_lzhuf(adv.data() + kTeleDiskHeaderBytes,
                                                   adv.size() - kTeleDiskHeaderBytes);
        EXPECT_EQ(d.stop_reason, "");
        ASSERT_GE(d.bytes.size(), body.size());
        EXPECT_TRUE(std::equal(body.begin(), body.end(), d.bytes.begin()));

        const Capture a = read_clean(adv, c.advanced), n = read_clean(norm, c.normal);
        EXPECT_EQ(a.version, c.version);
        EXPECT_EQ(n.version, c.version);
        EXPECT_EQ(a.compression, c.compression);
        EXPECT_EQ(n.compression, "none");
        EXPECT_EQ(a.tracks.size(), 82u);
        expect_same_tracks(a, n);

        // Cut in half, the decoded stream ends inside a record.
        Capture cut;
        CaptureError e;
        EXPECT_FALSE(read_tele_disk(Bytes(adv.begin(), adv.begin() + adv.size() / 2), cut, e));
        EXPECT_TRUE(e.in_decoded_stream);
        EXPECT_NE(e.what.find("decoded stream ends inside"), std::string::npos) << e.what;
    }
}

// Every sector of the test disk, placed by its ID, gives the raw image.
TEST(TeleDiskSamples, TestDiskEqualsItsRawImage) {
    constexpr uint32_t kHeads = 2, kRecords = 9, kSectorBytes = 512;
    const Capture c = read_clean(load("fluxfox_sector_test_360k.td0"), "fluxfox td0");
    EXPECT_EQ(c.compression, "LZHUF (advanced)");
    EXPECT_EQ(c.comment, "sector test - 360k\n");
    const Bytes raw = load("fluxfox_sector_test_360k.img");
    ASSERT_EQ(raw.size(), 40u * kHeads * kRecords * kSectorBytes);
    Bytes image(raw.size(), 0);
    std::vector<int> copies(raw.size() / kSectorBytes, 0);
    for (const CaptureTrack& t : c.tracks) {
        for (const CaptureSector& s : t.sectors) {
            ASSERT_TRUE(s.has_data && s.size == kSectorBytes && s.record >= 1 &&
                        s.record <= kRecords && !s.data_error && !s.no_id_field);
            const size_t slot = (s.cyl_id * kHeads + s.head_id) * kRecords + s.record - 1;
            ASSERT_LT(slot, copies.size());
            ++copies[slot];
            std::copy(s.data.begin(), s.data.end(), image.begin() + slot * kSectorBytes);
        }
    }
    EXPECT_EQ(std::count(copies.begin(), copies.end(), 1),
              static_cast<std::ptrdiff_t>(copies.size()));
    EXPECT_TRUE(image == raw);
}

TEST(TeleDiskDecoders, WorkedExamples) {
    const std::string digits = "123456789";
    EXPECT_EQ(tele_disk_crc(reinterpret_cast<const unsigned char*>(digits.data()), digits.size()),
              0x0FB3);
    const unsigned char one = 1;
    EXPECT_EQ(tele_disk_crc(&one, 1), 0xA097);

    const Bytes sam = {0xEA, 0xEB, 0x3D, 0xBF, 0x9C, 0x4E, 0xFE, 0x1E, 0x16, 0xEA, 0x34, 0x09, 0x1C,
                       0x0D, 0xC0, 0x8C, 0x02, 0xFC, 0x3F, 0x77, 0x3F, 0x57, 0x20, 0x17, 0x7F, 0x1F,
                       0x5F, 0xBF, 0xC6, 0xAB, 0x7F, 0xA5, 0xAF, 0xFE, 0x4C, 0x39, 0x96};
    const std::string text = "I am Sam. Sam I am. I do not like this Sam I am.\n";
    DecodedStream d = decode_lzhuf(sam.data(), sam.size());
    EXPECT_EQ(std::string(d.bytes.begin(), d.bytes.end()), text);
    EXPECT_EQ(d.stop_reason, "");
    d = decode_lzhuf(sam.data(), sam.size(), 10); // the limit stops it short
    EXPECT_NE(d.stop_reason, "");
    EXPECT_TRUE(d.bytes.size() >= 10 && d.bytes.size() < text.size());

    struct LzwCase {
        const char* name;
        Bytes in;
        Bytes out;
        bool stops;           // at a code or length that cannot be decoded
        uint64_t stop_offset; // in the compressed bytes
    } lzw[] = {
        // td105.adv.td0 after its header: 6 codes, in a block cut short and in a whole one.
        {"cut block",
         {0x00, 0x30, 0x09, 0x00, 0x00, 0x00, 0x40, 0x03, 0x01, 0x11, 0x00},
         {0x09, 0x00, 0x00, 0x34, 0x00, 0x00, 0x01},
         false,
         0},
        {"whole block",
         {0x12, 0x00, 0x09, 0x00, 0x00, 0x00, 0x40, 0x03, 0x01, 0x11, 0x00},
         {0x09, 0x00, 0x00, 0x34, 0x00, 0x00, 0x01},
         false,
         0},
        // "AA" (code 256 = "AA"), then an odd count in 2 bytes, then a fresh
        // table where code 256 is "B" + "B".
        {"three blocks",
         {0x06, 0x00, 0x41, 0x10, 0x04, 0x03, 0x00, 0x43, 0x00, 0x06, 0x00, 0x42, 0x00, 0x10},
         {0x41, 0x41, 0x43, 0x42, 0x42, 0x42},
         false,
         0},
        {"second code of a pair cut", {0x06, 0x00, 0x41, 0x00}, {0x41, 0x00}, false, 0},
        {"code past the next free one", {0x06, 0x00, 0x41, 0x10, 0x10}, {0x41}, true, 3},
        {"first code not a byte", {0x03, 0x00, 0x00, 0x01}, {}, true, 2},
        {"length not whole codes",
         {0x06, 0x00, 0x00, 0x00, 0x00, 0x04, 0x00, 0x41, 0x00},
         {0, 0},
         true,
         5},
    };
    for (const LzwCase& c : lzw) {
        d = decode_old_lzw(c.in.data(), c.in.size());
        EXPECT_EQ(d.bytes, c.out) << c.name;
        EXPECT_EQ(!d.stop_reason.empty(), c.stops) << c.name;
        EXPECT_EQ(d.stop_offset, c.stop_offset) << c.name;
    }
}

// ---- damaged captures ----

void put_le16(Bytes& b, size_t at, unsigned v) {
    b[at] = static_cast<unsigned char>(v);
    b[at + 1] = static_cast<unsigned char>(v >> 8);
}
uint16_t crc_of(const Bytes& b, size_t at, size_t n) {
    return tele_disk_crc(b.data() + at, n);
}

void seal_header(Bytes& f) {
    put_le16(f, 10, crc_of(f, 0, 10));
}

// A normal capture: comment "hi", one track of one 128-byte sector "ab" x 64.
constexpr size_t kCommentAt = 12, kTrackAt = 26, kSectorAt = 30, kBlockAt = 36, kEndAt = 43;
Bytes small_capture() {
    Bytes f = {'T', 'D', 0, 0x21, 21, 0, 1, 0x80, 0, 2, 0, 0};
    seal_header(f);
    const Bytes comment = {0, 0, 4, 0, 126, 11, 24, 12, 0, 0, 'h', 'i', 0, 0};
    f.insert(f.end(), comment.begin(), comment.end());
    put_le16(f, kCommentAt, crc_of(f, kCommentAt + 2, comment.size() - 2));
    f.insert(f.end(), {1, 0, 0, 0});
    f[kTrackAt + 3] = crc_of(f, kTrackAt, 3) & 0xFF;
    f.insert(f.end(), {0, 0, 1, 0, 0, 0, 5, 0, 1, 64, 0, 'a', 'b', 0xFF});
    Bytes data;
    for (int i = 0; i < 64; ++i)
        data.insert(data.end(), {'a', 'b'});
    f[kSectorAt + 5] = tele_disk_crc(data.data(), data.size()) & 0xFF;
    return f;
}

TEST(TeleDiskReader, DamagedCaptures) {
    struct Case {
        const char* name;
        std::function<void(Bytes&)> damage;
        std::string warning; // the one warning, when the capture reads
        uint64_t error_at;   // where the error lies, when it does not
        const char* error_word;
    } cases[] = {
        {"clean", [](Bytes&) {}, "", 0, nullptr},
        {"truncated before the end marker", [](Bytes& f) { f.pop_back(); }, "", kEndAt,
         "end marker"},
        {"truncated in a data block", [](Bytes& f) { f.resize(kBlockAt + 4); }, "", kBlockAt,
         "inside a data block"},
        {"header CRC", [](Bytes& f) { f[11] ^= 1; }, "", 10, "CRC"},
        {"second volume",
         [](Bytes& f) {
             f[2] = 1;
             seal_header(f);
         },
         "", 2, "multi-volume"},
        {"comment CRC", [](Bytes& f) { f[kCommentAt + 4] = 127; },
         "Warning: the capture's CRC of the comment does not match; read as it stands.\n", 0,
         nullptr},
        {"track CRC", [](Bytes& f) { f[kTrackAt + 3] ^= 1; },
         "Warning: the capture's CRC of track 0 head 0 does not match; read as it stands.\n", 0,
         nullptr},
        {"sector CRC", [](Bytes& f) { f[kBlockAt + 5] = 'c'; },
         "Warning: the capture's CRC of record 1 (cylinder ID 0, head ID 0) on track 0 head 0 "
         "does not match; read as it stands.\n",
         0, nullptr},
        {"unknown encoding", [](Bytes& f) { f[kBlockAt + 2] = 3; }, "", kBlockAt, "encoding 3"},
        {"block one pair short", [](Bytes& f) { f[kBlockAt + 3] = 63; }, "", kBlockAt, "126 bytes"},
        {"old LZW code out of range",
         [](Bytes& f) {
             f = {'t', 'd', 0, 0x21, 11, 0, 1, 0, 0, 2, 0, 0, 0x06, 0x00, 0x41, 0x10, 0x10};
             seal_header(f);
         },
         "", kTeleDiskHeaderBytes + 3, "out of range"},
        {"sectors past the memory limit",
         [](Bytes& f) {
             // 16 KiB sectors of one repeated pair each: 7 bytes of file apiece.
             f.resize(kTeleDiskHeaderBytes);
             f[7] = 0; // no comment
             seal_header(f);
             for (int t = 0; t < 10; ++t) {
                 f.insert(f.end(), {254, static_cast<unsigned char>(t), 0, 0});
                 for (int s = 0; s < 254; ++s)
                     f.insert(f.end(), {0, 0, 1, 7, 0, 0, 5, 0, 1, 0x00, 0x20, 0, 0});
             }
             f.push_back(0xFF);
         },
         "", 0, "MiB"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes f = small_capture();
        c.damage(f);
        Capture capture;
        CaptureError e;
        const bool ok = read_tele_disk(f, capture, e);
        if (!c.error_word) {
            ASSERT_TRUE(ok) << e.what;
            EXPECT_EQ(capture.warnings, c.warning.empty() ? std::vector<std::string>{}
                                                          : std::vector<std::string>{c.warning});
            EXPECT_EQ(capture.comment, "hi\n");
            ASSERT_EQ(capture.tracks.size(), 1u);
            EXPECT_EQ(capture.tracks[0].sectors.at(0).data.size(), 128u);
            continue;
        }
        EXPECT_FALSE(ok);
        EXPECT_NE(e.what.find(c.error_word), std::string::npos) << e.what;
        if (c.error_at) {
            EXPECT_EQ(e.offset, c.error_at);
        }
        EXPECT_FALSE(e.in_decoded_stream);
    }
}

} // namespace
