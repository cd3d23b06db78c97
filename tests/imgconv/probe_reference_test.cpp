// The interleave scan on disks dumped by the dump model: it must find the interleave the disk was
// formatted with, and stop where a signed 32-bit seek ends.
#include "imgconv/dump/lif_probe.h"
#include "imgconv/options.h"

#include "common/report.h"

#include "capture.h"
#include "imgconv_test_data.h"
#include "physical_dump.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <random>
#include <string>

using namespace imgconv;

namespace {

using testdata::put_be32;

constexpr uint32_t kFirstUnreachable = 0x80000000u; // 2^31: a signed 32-bit seek fails there

} // namespace

TEST(InterleaveScan, FindsTheInterleaveTheDiskWasFormattedWith) {
    std::mt19937 rng(1984);
    auto pick = [&rng](uint32_t lo, uint32_t hi) {
        return std::uniform_int_distribution<uint32_t>(lo, hi)(rng);
    };
    int formatted_found = 0;
    for (int run = 0; run < 300; ++run) {
        physical::Layout d = physical::random_layout(rng);
        d.sectors = pick(4, 32);
        d.rec_size = std::vector<uint32_t>{36, 64, 256, 1024}[pick(0, 3)];
        d.interleave = pick(1, d.sectors - 1);
        const uint32_t records = d.cylinders * d.heads * d.sectors;
        const uint32_t dirstart = pick(1, std::min(4u, records - 1));
        // Now and then a directory so long that a scan that misses it runs
        // on to where a seek fails, or just short of it.
        const uint32_t first_beyond_reach = (kFirstUnreachable + d.rec_size - 1) / d.rec_size;
        const uint32_t datastart =
            pick(0, 4) == 0 ? first_beyond_reach - 2 + pick(0, 4) : dirstart + pick(1, 40);
        std::string image = physical::random_image(d, rng);
        image[0] = '\x80';
        image[1] = '\x00';
        put_be32(image, 8, dirstart);
        put_be32(image, 16, datastart - dirstart);
        put_be32(image, size_t{dirstart} * d.rec_size + 12, datastart);
        std::string dump = physical::dump(image, d, rng);
        // Where the dumping tool put the directory record; perhaps cut off.
        const size_t at = dump.find(image.substr(size_t{dirstart} * d.rec_size, d.rec_size));
        ASSERT_NE(at, std::string::npos);
        if (pick(0, 3) == 0)
            dump.resize(pick(d.rec_size, static_cast<uint32_t>(dump.size())));

        const bool aligned = at % d.rec_size == 0 && at / d.rec_size < datastart;
        const bool whole = dump.size() >= at + 16; // its bytes 12 to 15 are there
        std::string expected_out, expected_err;
        int32_t expected = -1;
        if (aligned && whole) {
            expected = static_cast<int32_t>(at / d.rec_size / dirstart);
        } else if (datastart > first_beyond_reach) {
            expected_err = "Seek error " + common::error_number_text(EINVAL) + "\n";
        } else {
            expected_out = testdata::kNoGuess;
            expected = 2;
        }

        FILE* input = std::tmpfile();
        ASSERT_NE(input, nullptr);
        std::fwrite(dump.data(), 1, dump.size(), input);
        unsigned char record_buffer[1024] = {};
        std::fseek(input, 0, SEEK_SET);
        ASSERT_EQ(std::fread(record_buffer, 1, d.rec_size, input), d.rec_size);
        ConvertOptions opts;
        opts.rec_size = d.rec_size;
        CapturedStream out, err;
        DumpPlan plan;
        const int status = probe_media(opts, input, record_buffer, plan, out.get(), err.get());
        std::fclose(input);

        const std::string what =
            "sectors " + std::to_string(d.sectors) + " interleave " + std::to_string(d.interleave) +
            " rec_size " + std::to_string(d.rec_size) + " dirstart " + std::to_string(dirstart) +
            " datastart " + std::to_string(datastart) + " dump " + std::to_string(dump.size());
        ASSERT_EQ(status, expected_err.empty() ? 0 : -1) << what;
        ASSERT_EQ(out.text(), expected_out) << what;
        ASSERT_EQ(err.text(), expected_err) << what;
        if (status == 0) {
            ASSERT_EQ(plan.interleave, expected) << what;
        }
        // On the first track, below its end, the directory lies interleave
        // slots per record further on: a scan that reaches it gives back the
        // formatting.
        if (dirstart * d.interleave < std::min(d.sectors, datastart) && whole) {
            ASSERT_EQ(plan.interleave, static_cast<int32_t>(d.interleave)) << what;
            ++formatted_found;
        }
    }
    EXPECT_GT(formatted_found, 50);
}
