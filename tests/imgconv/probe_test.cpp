// Record reads at 32-bit offsets and the LIF probe on small generated dumps.
#include "imgconv/dump/dump_reader.h"
#include "imgconv/dump/lif_probe.h"

#include "common/report.h"

#include "capture.h"
#include "imgconv_test_data.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

using namespace imgconv;

namespace {

using testdata::put_be32;

// A temporary file holding `bytes`, open for reading from its start.
class Dump {
  public:
    explicit Dump(const std::string& bytes) : f_(std::tmpfile()) {
        std::fwrite(bytes.data(), 1, bytes.size(), f_);
        std::rewind(f_);
    }
    ~Dump() { std::fclose(f_); }
    FILE* get() const { return f_; }

  private:
    FILE* f_;
};

// Record 0 of a LIF volume with the given directory and geometry.
std::string lif_header(uint32_t rec_size, uint32_t dirstart, uint32_t dirsize, uint32_t tracks,
                       uint32_t surfaces, uint32_t sectors) {
    std::string r(rec_size, '\x55');
    r[0] = '\x80';
    r[1] = '\x00';
    put_be32(r, kLifDirStartOffset, dirstart);
    put_be32(r, kLifDirSizeOffset, dirsize);
    put_be32(r, kLifTracksOffset, tracks);
    put_be32(r, kLifSurfacesOffset, surfaces);
    put_be32(r, kLifSectorsOffset, sectors);
    return r;
}

// A dump of `records` records of 256 bytes after the header; record `dir_at`
// holds `file_start` in its bytes 12 to 15.
std::string lif_dump(uint32_t dirstart, uint32_t dirsize, uint32_t records, uint32_t dir_at) {
    std::string d = lif_header(256, dirstart, dirsize, 33, 2, 16);
    for (uint32_t k = 1; k < records; ++k) {
        std::string rec(256, static_cast<char>(k));
        if (k == dir_at)
            put_be32(rec, kLifFileStartOffset, dirstart + dirsize);
        d += rec;
    }
    return d;
}

// Runs the probe as the driver does: record 0 first, then the probe.
struct Probe {
    DumpPlan opts; // the plan the probe settled
    int status = 0;
    std::string out, err;
    long position = 0; // where the input stands afterwards
};

Probe probe(const std::string& dump, ConvertOptions opts = {}) {
    Dump f(dump);
    CapturedStream out, err;
    unsigned char buffer[kRecordBufferBytes] = {};
    Probe p;
    p.status = read_block(f.get(), buffer, 0, opts.rec_size, err.get());
    if (p.status == 0)
        p.status = probe_media(opts, f.get(), buffer, p.opts, out.get(), err.get());
    p.out = out.text();
    p.err = err.text();
    p.position = std::ftell(f.get());
    return p;
}

const char kNoLif[] = "Warning: no LIF file\n"
                      "Unable to perform auto-detection of media parameters (using defaults)\n";
const char kNoGuess[] = "Warning: could not guess interleave. setting interleave=2.\n";

} // namespace

TEST(GetBe32, MostSignificantByteFirst) {
    const unsigned char b[] = {0x12, 0x34, 0x56, 0x78, 0xFF, 0xFF, 0xFF, 0xFE};
    EXPECT_EQ(get_be32(b), 0x12345678u);
    EXPECT_EQ(get_be32(b + 4), 0xFFFFFFFEu);
}

TEST(ReadBlock, ShortAndAbsentReadsSucceedWithZeros) {
    Dump f("abcdefghij");
    CapturedStream err;
    unsigned char buf[16];
    std::memset(buf, 'x', sizeof buf);
    uint32_t got = 99;
    ASSERT_EQ(read_block(f.get(), buf, 6, 8, err.get(), &got), 0);
    EXPECT_EQ(got, 4u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 10), std::string("ghij\0\0\0\0xx", 10));
    ASSERT_EQ(read_block(f.get(), buf, 1000, 8, err.get(), &got), 0); // beyond the end
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 8), std::string(8, '\0'));
    ASSERT_EQ(read_block(f.get(), buf, 2, 3, err.get(), &got), 0);
    EXPECT_EQ(got, 3u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 3), "cde");
    EXPECT_EQ(err.text(), "");
}

TEST(ReadBlock, OffsetOf2To31OrMoreFailsItsSeek) {
    Dump f("abc");
    CapturedStream err;
    unsigned char buf[4];
    EXPECT_EQ(read_block(f.get(), buf, 0x7FFFFFFFu, 4, err.get()), 0); // last reachable position
    EXPECT_EQ(read_block(f.get(), buf, 0x80000000u, 4, err.get()), -1);
    EXPECT_EQ(read_block(f.get(), buf, 0xFFFFFFFFu, 4, err.get()), -1);
    EXPECT_EQ(err.text(), "Seek error " + common::error_number_text(EINVAL) + "\n" + "Seek error " +
                              common::error_number_text(EINVAL) + "\n");
}

TEST(ReadBlock, DirectoryGivesReadErrorNotEndOfInput) {
    FILE* dir = std::fopen(".", "rb");
    ASSERT_NE(dir, nullptr) << "fopen of a directory is expected to succeed here";
    CapturedStream err;
    unsigned char buf[8];
    EXPECT_EQ(read_block(dir, buf, 0, 8, err.get()), -1);
    EXPECT_EQ(err.text(), "Read error (0 bytes read)\n");
    std::fclose(dir);
}

TEST(LifProbe, IdentifierIsTheFirstTwoBytesOnly) {
    std::string rec(256, '\0');
    rec[0] = '\x80';
    EXPECT_TRUE(is_lif_header(reinterpret_cast<const unsigned char*>(rec.data())));
    rec[1] = '\x01';
    EXPECT_FALSE(is_lif_header(reinterpret_cast<const unsigned char*>(rec.data())));
    rec[0] = '\x00';
    rec[1] = '\x80';
    EXPECT_FALSE(is_lif_header(reinterpret_cast<const unsigned char*>(rec.data())));
}

TEST(LifProbe, NotLifTakesDefaultsAndKeepsGivenValues) {
    const Probe p = probe(std::string(512, '\0'));
    EXPECT_EQ(p.out, kNoLif);
    EXPECT_EQ(p.opts.cylinders, 33u);
    EXPECT_EQ(p.opts.heads, 2u);
    EXPECT_EQ(p.opts.sectors, 16u);
    EXPECT_EQ(p.opts.interleave, 2);
    EXPECT_EQ(p.position, 256); // nothing read after record 0
    EXPECT_STREQ(geometry_origin_text(p.opts), "the defaults");
    EXPECT_EQ(p.opts.interleave_origin, Origin::defaults);

    ConvertOptions given;
    given.cylinders = 77;
    given.heads = 1;
    given.sectors = 9;
    given.interleave = 0;
    given.verbose = true;
    const Probe q = probe(std::string(16, 'x'), given);
    EXPECT_EQ(q.out, std::string(kNoLif) + "Using tracks=77 heads=1 sectors=9 interleave=0\n");
}

TEST(LifProbe, WorkedExampleInterleaveThreeFoundAtRecordSix) {
    ConvertOptions v;
    v.verbose = true;
    const Probe p = probe(lif_dump(2, 14, 20, 6), v);
    EXPECT_EQ(p.status, 0);
    EXPECT_EQ(p.opts.interleave, 3);
    EXPECT_EQ(p.opts.interleave_origin, Origin::interleave_scan);
    EXPECT_EQ(p.out, "LIF detected: dirstart=2 dirsize=14 datastart=16\n"
                     "Using tracks=33 heads=2 sectors=16 interleave=3\n");
    EXPECT_EQ(p.position, 7 * 256); // the scan stopped at record 6
    EXPECT_EQ(p.err, "");
}

TEST(LifProbe, HeaderGeometryOnlyForValuesNotGiven) {
    ConvertOptions o;
    o.cylinders = 5;
    o.interleave = 1;
    Probe p = probe(lif_header(256, 2, 14, 70, 3, 30), o);
    EXPECT_EQ(p.opts.cylinders, 5u);
    EXPECT_EQ(p.opts.heads, 3u);
    EXPECT_EQ(p.opts.sectors, 30u);
    EXPECT_EQ(p.opts.interleave, 1);
    EXPECT_EQ(p.out, ""); // quiet LIF run with the interleave given
    EXPECT_EQ(p.opts.cylinders_origin, Origin::option);
    EXPECT_EQ(p.opts.heads_origin, Origin::lif_header);
    EXPECT_STREQ(geometry_origin_text(p.opts), "the LIF header");
    EXPECT_EQ(p.position, 256); // no scan

    // Zero geometry in the header stays zero: no default on this path.
    p = probe(lif_header(256, 2, 14, 0, 0, 0), o);
    EXPECT_EQ(p.opts.heads, 0u);
    EXPECT_EQ(p.opts.sectors, 0u);
}

TEST(LifProbe, ScanWithoutMatchWarnsAndSetsTwo) {
    // Directory record 3 never holds datastart: the scan runs to datastart - 1
    // (records past the end of the dump cannot match) and warns.
    const Probe p = probe(lif_dump(2, 6, 4, 0));
    EXPECT_EQ(p.out, kNoGuess);
    EXPECT_EQ(p.opts.interleave, 2);
    EXPECT_EQ(p.err, "");

    // datastart 0 or 1: nothing to scan.
    for (uint32_t dirsize : {0u, 1u}) {
        const Probe q = probe(lif_dump(0, dirsize, 4, 1));
        EXPECT_EQ(q.out, kNoGuess);
        EXPECT_EQ(q.position, 256);
    }
}

TEST(LifProbe, DirStartTwoDirSizeZeroScansRecordOneOnly) {
    // Record 1 holds datastart 2: a match below dirstart gives interleave 0.
    Probe p = probe(lif_dump(2, 0, 4, 1));
    EXPECT_EQ(p.opts.interleave, 0);
    EXPECT_EQ(p.out, "");
    // The match at record 2 lies beyond the scan.
    p = probe(lif_dump(2, 0, 4, 2));
    EXPECT_EQ(p.out, kNoGuess);
    EXPECT_EQ(p.position, 2 * 256);
}

TEST(LifProbe, DirStartZeroGivesNoInterleave) {
    // Record 3 matches datastart 5 but dividing by dirstart 0 gives nothing.
    const Probe p = probe(lif_dump(0, 5, 8, 3));
    EXPECT_EQ(p.status, 0);
    EXPECT_EQ(p.out, kNoGuess);
    EXPECT_EQ(p.opts.interleave, 2);
}

TEST(LifProbe, RecordCutByTheEndCannotMatchOnOldBytes) {
    // datastart 5. Record 1 holds 01 00 00 05 (no match); record 2 is cut
    // after byte 12, which is 00. Completed with record 1's old bytes it would
    // read 00 00 00 05 and match; its missing bytes are zeros, so it does not.
    std::string d = lif_header(256, 1, 4, 33, 2, 16);
    std::string rec1(256, '\7');
    put_be32(rec1, kLifFileStartOffset, 0x01000005);
    d += rec1 + std::string(13, '\0');
    const Probe p = probe(d);
    EXPECT_EQ(p.out, kNoGuess);
    EXPECT_EQ(p.opts.interleave, 2);
}

TEST(LifProbe, ShortRecordZeroReadsMissingHeaderBytesAsZero) {
    ConvertOptions o;
    o.rec_size = 20; // dirstart and dirsize come from the record, geometry from zeros
    o.interleave = 1;
    o.verbose = true;
    const Probe p = probe(lif_header(256, 2, 3, 80, 2, 16), o);
    EXPECT_EQ(p.out, "LIF detected: dirstart=2 dirsize=3 datastart=5\n"
                     "Using tracks=0 heads=0 sectors=0 interleave=1\n");
}

TEST(LifProbe, ScanReadFailureEndsTheProbe) {
    ConvertOptions o;
    o.rec_size = 1024;
    // datastart far beyond the dump: record 2^21 lies at 2^31 and fails its seek.
    const Probe p = probe(lif_header(1024, 1, 0x7FFFFFFF, 1, 1, 1), o);
    EXPECT_EQ(p.status, -1);
    EXPECT_EQ(p.err, "Seek error " + common::error_number_text(EINVAL) + "\n");
    EXPECT_EQ(p.out, "");
}
