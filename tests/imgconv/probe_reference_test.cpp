// The interleave scan, which skips the records past the end of the dump, against a plain scan of
// every record.
#include "imgconv/dump/lif_probe.h"
#include "imgconv/options.h"

#include "common/report.h"

#include "capture.h"
#include "imgconv_test_data.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>
#include <string>

using namespace imgconv;

namespace {

using testdata::put_be32;

constexpr uint32_t kFirstUnreachable = 0x80000000u; // 2^31: a signed 32-bit seek fails there

struct ScanResult {
    int status = 0;
    std::string out, err;
    int32_t interleave = -1;
};

// Record 0 and then records 1, 2, ... below datastart read one by one from
// the dump held in memory: a record past the end delivers nothing and reads
// as zeros, an offset of 2^31 or more fails its seek.
ScanResult plain_scan(const std::string& dump, uint32_t rec_size) {
    unsigned char record[1024] = {};
    const size_t size = dump.size();
    std::memcpy(record, dump.data(), std::min<size_t>(rec_size, size));
    ScanResult res;
    const uint32_t dirstart = get_be32(record + 8);
    const uint32_t datastart = dirstart + get_be32(record + 16);
    for (uint32_t k = 1; k < datastart; ++k) {
        const uint32_t offset = k * rec_size;
        if (offset >= kFirstUnreachable) {
            res.err = "Seek error " + common::error_number_text(EINVAL) + "\n";
            res.status = -1;
            return res;
        }
        // A record wholly past the end reads as zeros, and zeros are no
        // datastart (which is above k here); no need to build them.
        if (offset >= size)
            continue;
        const size_t got = std::min<size_t>(rec_size, size - offset);
        std::memcpy(record, dump.data() + offset, got);
        std::memset(record + got, 0, rec_size - got);
        if (get_be32(record + 12) == datastart) {
            if (dirstart != 0)
                res.interleave = static_cast<int32_t>(k / dirstart);
            break;
        }
    }
    if (res.interleave < 0) {
        res.out = testdata::kNoGuess;
        res.interleave = 2;
    }
    return res;
}

} // namespace

TEST(InterleaveScan, SameResultAsReadingEveryRecord) {
    std::mt19937 rng(1984);
    for (int run = 0; run < 200; ++run) {
        // A scan that runs on to 2^31 reads millions of records: only large ones there.
        const bool long_scan = rng() % 5 == 0;
        const uint32_t rec_size =
            long_scan ? std::vector<uint32_t>{100, 1000, 1024}[rng() % 3]
                      : std::vector<uint32_t>{16, 36, 40, 64, 100, 256, 1000, 1024}[rng() % 8];
        const uint32_t records = 1 + rng() % 40;
        // At least the header fields read here, whatever the record size.
        const size_t size = std::max<size_t>(records * rec_size - rng() % rec_size, 20);
        std::string dump(size, '\0');
        for (char& c : dump)
            c = static_cast<char>(rng() % 4); // few distinct bytes: stray matches happen
        dump[0] = '\x80';
        dump[1] = '\x00';
        const uint32_t dirstart = rng() % 6;
        const uint32_t first_beyond_reach = (kFirstUnreachable + rec_size - 1) / rec_size;
        uint32_t datastart = 0;
        if (long_scan) // the scan just ends below 2^31 or just fails there
            datastart = first_beyond_reach - 2 + rng() % 5;
        else
            datastart = rng() % 2 ? rng() % (records + 5) : dirstart + 1 + rng() % 30;
        if (rec_size >= 20) { // else the fields lie beyond record 0 and read as 0
            put_be32(dump, 8, dirstart);
            put_be32(dump, 16, datastart - dirstart);
        }
        // The directory record somewhere, perhaps cut by the end of the dump.
        const size_t at = size_t(rng() % (records + 2)) * rec_size + 12;
        for (size_t i = 0; i < 4 && at + i < dump.size(); ++i)
            dump[at + i] = static_cast<char>(datastart >> (24 - 8 * i));

        FILE* input = std::tmpfile();
        ASSERT_NE(input, nullptr);
        std::fwrite(dump.data(), 1, dump.size(), input);
        unsigned char record_buffer[1024] = {};
        std::fseek(input, 0, SEEK_SET);
        const size_t got = std::fread(record_buffer, 1, rec_size, input);
        ASSERT_GT(got, 1u);
        ConvertOptions opts;
        opts.cylinders = opts.heads = opts.sectors = 1;
        opts.rec_size = rec_size;
        CapturedStream out, err;
        DumpPlan plan;
        const int status = probe_media(opts, input, record_buffer, plan, out.get(), err.get());
        std::fclose(input);

        const ScanResult expected = plain_scan(dump, rec_size);
        const std::string what = "rec_size " + std::to_string(rec_size) + " records " +
                                 std::to_string(records) + " dirstart " + std::to_string(dirstart) +
                                 " datastart " + std::to_string(datastart);
        ASSERT_EQ(status, expected.status) << what;
        ASSERT_EQ(out.text(), expected.out) << what;
        ASSERT_EQ(err.text(), expected.err) << what;
        if (status == 0) {
            ASSERT_EQ(plan.interleave, expected.interleave) << what;
        }
    }
}
