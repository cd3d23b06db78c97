// The track-at-a-time copy loop against the dump model: each record read whole from where the
// dumping tool put it.
#include "imgconv/dump/linear.h"
#include "imgconv/dump/mapping.h"
#include "imgconv/imgconv.h"
#include "imgconv/options.h"

#include "common/report.h"

#include "capture.h"
#include "imgconv_test_data.h"
#include "physical_dump.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

using namespace imgconv;

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kFirstUnreachable = 0x80000000u; // 2^31: a signed 32-bit seek fails there

// One linear conversion with everything given on the command line.
struct Case {
    uint32_t cylinders = 1, heads = 1, sectors = 1, rec_size = 256;
    int32_t interleave = 0, cylinder_skew = -1, head_skew = -1;
    uint32_t skew_count = 0, junk = 0, cylinder_skip = 0, head_skip = 0;
    bool verbose = false;
};

struct Result {
    int status = 0;
    std::string out, err, image;
    std::vector<std::string> folder; // the names in the folder after the run, sorted
};

// Where a run's image goes: over a plain file that holds an earlier image,
// which only a run that succeeds replaces; or through a symbolic link to a
// file, written in place, where a failed run leaves what it wrote.
enum class Output { replaced, through_link };

const std::string kEarlierImage = "an earlier image";

std::vector<std::string> words_of(const Case& k) {
    std::vector<std::string> w{
        "-c",     std::to_string(k.cylinders),  "-h",     std::to_string(k.heads),
        "-s",     std::to_string(k.sectors),    "-r",     std::to_string(k.rec_size),
        "-i",     std::to_string(k.interleave), "-cs",    std::to_string(k.cylinder_skew),
        "-hs",    std::to_string(k.head_skew),  "-sc",    std::to_string(k.skew_count),
        "-j",     std::to_string(k.junk),       "-cskip", std::to_string(k.cylinder_skip),
        "-hskip", std::to_string(k.head_skip)};
    if (k.verbose)
        w.push_back("-v");
    return w;
}

std::string describe(const Case& k) {
    std::string s;
    for (const std::string& w : words_of(k))
        s += w + " ";
    return s;
}

ConvertOptions options_of(const Case& k) {
    ConvertOptions o;
    o.cylinders = k.cylinders;
    o.heads = k.heads;
    o.sectors = k.sectors;
    o.rec_size = k.rec_size;
    o.interleave = k.interleave;
    o.cylinder_skew = k.cylinder_skew;
    o.head_skew = k.head_skew;
    o.skew_count = k.skew_count;
    o.junk = k.junk;
    o.cylinder_skip = k.cylinder_skip;
    o.head_skip = k.head_skip;
    o.verbose = k.verbose;
    return o;
}

// Where record r lies in the dump as the dumping tool laid it out
// (physical_dump.h): the slot the formatter gave its sector, turned by its
// track's rotation, after the tracks, junk and skips before it. Sums wrap
// modulo 2^32 as imgconv's numbers do.
uint32_t model_offset(const Case& k, uint32_t r) {
    physical::Layout d;
    d.cylinders = k.cylinders;
    d.heads = k.heads;
    d.sectors = k.sectors;
    d.rec_size = k.rec_size;
    d.interleave = static_cast<uint32_t>(k.interleave);
    d.cylinder_skew = k.cylinder_skew < 0 ? 0 : static_cast<uint32_t>(k.cylinder_skew);
    d.head_skew = k.head_skew < 0 ? 0 : static_cast<uint32_t>(k.head_skew);
    d.skew_count = k.skew_count;
    const uint32_t track = r / k.sectors;
    const uint32_t c = track / k.heads;
    const uint32_t h = track % k.heads;
    const std::vector<uint32_t> slot_holds = physical::formatted_track(k.sectors, d.interleave);
    const uint32_t unturned = static_cast<uint32_t>(
        std::find(slot_holds.begin(), slot_holds.end(), r % k.sectors) - slot_holds.begin());
    // The slot and the turn are added before the sum is taken round the
    // track, so a turn near 2^32 wraps first.
    const uint32_t turn = static_cast<uint32_t>(physical::track_rotation(d, c, h));
    const uint32_t slot = (unturned + turn) % k.sectors;
    const uint32_t track_bytes = k.sectors * k.rec_size + k.junk;
    const uint32_t track_start =
        c * (k.heads * track_bytes + k.cylinder_skip) + h * (track_bytes + k.head_skip);
    return track_start + slot * k.rec_size;
}

// What a conversion must give for the dump: each record read whole from
// where the model puts it (one seek, refused at 2^31 or more, and one read),
// zeros for what the input lacks, the one warning for the first record that
// lacked bytes; then the warning for input bytes past the farthest record
// and its track's junk.
Result expected_copy(const Case& k, FILE* input) {
    const uint32_t cskew = k.cylinder_skew < 0 ? 0 : static_cast<uint32_t>(k.cylinder_skew);
    const uint32_t hskew = k.head_skew < 0 ? 0 : static_cast<uint32_t>(k.head_skew);
    Result res;
    if (k.verbose)
        res.out = "using cylinder skew=" + std::to_string(cskew) +
                  " head skew=" + std::to_string(hskew) + "\n";
    const uint32_t total = k.cylinders * k.heads * k.sectors;
    bool warned = false;
    uint64_t used_end = 0;
    unsigned char record[1024];
    for (uint32_t r = 0; r < total; ++r) {
        const uint32_t offset = model_offset(k, r);
        used_end = std::max(used_end, uint64_t{offset} + k.rec_size + k.junk);
        if (offset >= kFirstUnreachable) {
            res.err = "Seek error " + common::error_number_text(EINVAL) + "\n";
            res.status = -1;
            return res;
        }
        if (std::fseek(input, static_cast<long>(offset), SEEK_SET) != 0) {
            res.err = "Seek error " + common::error_number_text(errno) + "\n";
            res.status = -1;
            return res;
        }
        const size_t got = std::fread(record, 1, k.rec_size, input);
        if (got < k.rec_size && std::ferror(input)) {
            res.err = "Read error (" + std::to_string(got) + " bytes read)\n";
            res.status = -1;
            return res;
        }
        std::memset(record + got, 0, k.rec_size - got);
        if (got < k.rec_size && !warned) {
            res.out += "Warning: input ends before record " + std::to_string(r) +
                       "; missing bytes written as zeros.\n";
            warned = true;
        }
        res.image.append(reinterpret_cast<const char*>(record), k.rec_size);
    }
    std::fseek(input, 0, SEEK_END);
    const uint64_t size = static_cast<uint64_t>(std::ftell(input));
    if (total != 0 && k.rec_size != 0 && size > used_end)
        res.out += "Warning: the last " + std::to_string(size - used_end) +
                   " bytes of the input were not read; check -j, -cskip, -hskip and the "
                   "geometry.\n";
    return res;
}

uint32_t pick(std::mt19937& rng, std::initializer_list<uint32_t> values) {
    return *(values.begin() + rng() % values.size());
}

// A shift of the dump (junk, a skip): none, small, "negative" (so that tracks
// overlap or later ones wrap round to small offsets), near 2^31, or anything.
uint32_t random_shift(std::mt19937& rng, uint32_t track_bytes) {
    switch (rng() % 8) {
    case 0:
    case 1:
    case 2:
        return 0;
    case 3:
        return rng() % 300;
    case 4:
        return 0u - rng() % (2 * track_bytes + 2);
    case 5:
        return kFirstUnreachable - rng() % (3 * track_bytes + 2);
    case 6:
        return 0u - track_bytes; // every track over the one before it
    default:
        return static_cast<uint32_t>(rng());
    }
}

Case random_case(std::mt19937& rng) {
    Case k;
    k.cylinders = 1 + rng() % 4;
    k.heads = 1 + rng() % 3;
    k.sectors = pick(rng, {1, 1, 2, 3, 4, 7, 9, 16, 32, 256});
    k.rec_size = pick(rng, {0, 1, 2, 5, 16, 64, 100, 256, 1024});
    while (uint64_t(k.sectors) * k.rec_size * k.cylinders * k.heads > (1u << 21))
        k.rec_size /= 4;
    k.interleave = static_cast<int32_t>(rng() % (k.sectors + 3));
    k.cylinder_skew = rng() % 4 == 0 ? -1 : static_cast<int32_t>(rng() % (2 * k.sectors + 1));
    k.head_skew = rng() % 4 == 0 ? -1 : static_cast<int32_t>(rng() % (2 * k.sectors + 1));
    if (rng() % 10 == 0)
        k.head_skew = 0x7FFFFFF0 + static_cast<int32_t>(rng() % 16);
    k.skew_count = rng() % 3 == 0 ? 0 : rng() % (k.cylinders * k.heads + 2);
    const uint32_t track_bytes = k.sectors * k.rec_size;
    k.junk = rng() % 2 ? random_shift(rng, track_bytes) : 0;
    k.cylinder_skip = random_shift(rng, track_bytes);
    k.head_skip = random_shift(rng, track_bytes);
    k.verbose = rng() % 2 == 0;
    return k;
}

// Where a stretch of data far out in the dump begins: around a record that
// lies far out but below 2^31 when there is one, else just below 2^31.
uint32_t far_data_start(const Case& k, std::mt19937& rng) {
    constexpr uint32_t kFarOut = 0x01000000; // 16 MiB: beyond the data at the start
    const uint32_t track_bytes = k.sectors * k.rec_size;
    std::vector<uint32_t> far_out;
    for (uint32_t r = 0; r < k.cylinders * k.heads * k.sectors; ++r) {
        const uint32_t offset = model_offset(k, r);
        if (offset >= kFarOut && offset < kFirstUnreachable)
            far_out.push_back(offset);
    }
    if (far_out.empty())
        return kFirstUnreachable - rng() % (3 * track_bytes + 2);
    const uint32_t around = far_out[rng() % far_out.size()];
    return around - rng() % (2 * track_bytes + 1) % (around - kFarOut + 1);
}

class LinearReference : public ::testing::Test {
  protected:
    void SetUp() override {
        // One folder per process: ctest runs the tests of this fixture side by
        // side, and other build trees may run them at the same time.
        dir_ = fs::path(::testing::TempDir()) /
               ("imgconv_linear_reference_" + std::to_string(getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string file(const char* name) const { return (dir_ / name).string(); }

    // Runs imgconv in-process on the dump file into image.bin, set up as
    // `where` says; the image is what the output holds afterwards.
    Result run(const Case& k, Output where) const {
        fs::remove(file("image.bin"));
        fs::remove(file("image.target"));
        if (where == Output::replaced)
            std::ofstream(file("image.bin"), std::ios::binary) << kEarlierImage;
        else
            fs::create_symlink(file("image.target"), file("image.bin"));
        std::vector<std::string> words{"imgconv", file("dump.ima"), file("image.bin")};
        for (const std::string& w : words_of(k))
            words.push_back(w);
        std::vector<char*> argv;
        for (std::string& w : words)
            argv.push_back(w.data());
        CapturedStream o, e;
        Result res;
        res.status = run_imgconv(static_cast<int>(argv.size()), argv.data(), o.get(), e.get());
        res.out = o.text();
        res.err = e.text();
        std::ifstream in(file(where == Output::replaced ? "image.bin" : "image.target"),
                         std::ios::binary);
        std::ostringstream got;
        got << in.rdbuf();
        res.image = got.str();
        for (const auto& entry : fs::directory_iterator(dir_))
            res.folder.push_back(entry.path().filename().string());
        std::sort(res.folder.begin(), res.folder.end());
        return res;
    }

    // Converts the dump file with imgconv and reads it by the dump model, and checks
    // that exit status, both message streams and the image agree, for both kinds
    // of output: a failed run leaves an earlier image as it was, or, written in
    // place, the records before the failure; never a file beside the output.
    void expect_same_as_model(const Case& k) const {
        for (const Output where : {Output::replaced, Output::through_link}) {
            expect_same_as_model(k, where);
            if (::testing::Test::HasFatalFailure())
                return;
        }
    }

    void expect_same_as_model(const Case& k, Output where) const {
        SCOPED_TRACE(where == Output::replaced ? "over a plain file" : "through a link");
        FILE* input = std::fopen(file("dump.ima").c_str(), "rb");
        ASSERT_NE(input, nullptr);
        Result expected = expected_copy(k, input);
        std::fclose(input);
        std::string probe = testdata::kNoLif;
        if (k.verbose)
            probe += "Using tracks=" + std::to_string(k.cylinders) +
                     " heads=" + std::to_string(k.heads) + " sectors=" + std::to_string(k.sectors) +
                     " interleave=" + std::to_string(k.interleave) + "\n";
        expected.out = probe + expected.out;

        if (where == Output::replaced && expected.status != 0)
            expected.image = kEarlierImage;
        const std::vector<std::string> folder =
            where == Output::replaced
                ? std::vector<std::string>{"dump.ima", "image.bin"}
                : std::vector<std::string>{"dump.ima", "image.bin", "image.target"};

        const Result got = run(k, where);
        ASSERT_EQ(got.status, expected.status) << describe(k);
        ASSERT_EQ(got.out, expected.out) << describe(k);
        ASSERT_EQ(got.err, expected.err) << describe(k);
        ASSERT_EQ(got.image.size(), expected.image.size()) << describe(k);
        ASSERT_TRUE(got.image == expected.image) << "image differs for " << describe(k);
        ASSERT_EQ(got.folder, folder) << describe(k);
    }

    fs::path dir_;
};

std::string random_bytes(std::mt19937& rng, size_t n) {
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(rng());
    return s;
}

#if defined(__GLIBC__)
// A dump that exists only in memory, as large as wanted, with a stretch that
// cannot be read (as a bad block of a failing disk): a read that reaches it
// delivers the bytes before it, and the next read fails with EIO.
struct VirtualDump {
    uint64_t size = 0;
    uint64_t bad_begin = 0, bad_end = 0;
    uint64_t position = 0;

    static unsigned char byte_at(uint64_t offset) {
        return static_cast<unsigned char>((offset * 0x9E3779B1u) >> 11);
    }

    static ssize_t read(void* cookie, char* buffer, size_t count) {
        VirtualDump& d = *static_cast<VirtualDump*>(cookie);
        if (d.position >= d.bad_begin && d.position < d.bad_end) {
            errno = EIO;
            return -1;
        }
        uint64_t end = d.size;
        if (d.position < d.bad_begin)
            end = std::min(end, d.bad_begin);
        if (d.position >= end)
            return 0;
        const size_t given = static_cast<size_t>(std::min<uint64_t>(count, end - d.position));
        for (size_t i = 0; i < given; ++i)
            buffer[i] = static_cast<char>(byte_at(d.position + i));
        d.position += given;
        return static_cast<ssize_t>(given);
    }

    static int seek(void* cookie, off64_t* offset, int whence) {
        VirtualDump& d = *static_cast<VirtualDump*>(cookie);
        const int64_t base = whence == SEEK_SET   ? 0
                             : whence == SEEK_CUR ? static_cast<int64_t>(d.position)
                                                  : static_cast<int64_t>(d.size);
        if (base + *offset < 0) {
            errno = EINVAL;
            return -1;
        }
        d.position = static_cast<uint64_t>(base + *offset);
        *offset = static_cast<off64_t>(d.position);
        return 0;
    }

    // An unbuffered stream on the dump, as imgconv reads its input.
    FILE* open() {
        cookie_io_functions_t io{};
        io.read = &VirtualDump::read;
        io.seek = &VirtualDump::seek;
        FILE* f = fopencookie(this, "rb", io);
        if (f)
            std::setvbuf(f, nullptr, _IONBF, 0);
        return f;
    }
};
#endif

} // namespace

TEST_F(LinearReference, SameBytesMessagesAndStatusAsTheDumpModel) {
    std::mt19937 rng(45);
    for (int run_number = 0; run_number < 400; ++run_number) {
        const Case k = random_case(rng);
        // The dump: data from offset 0 that may end anywhere, and now and then
        // a second stretch of data just below 2^31, with a hole before it.
        const uint64_t all_bytes = uint64_t(k.cylinders) * k.heads * k.sectors * k.rec_size;
        std::string head = random_bytes(rng, rng() % (all_bytes + 2000));
        if (!head.empty())
            head[0] = 0; // no LIF header: the probe says so and keeps the given geometry
        {
            std::ofstream dump(file("dump.ima"), std::ios::binary | std::ios::trunc);
            dump << head;
            if (rng() % 3 == 0) {
                const uint32_t track_bytes = k.sectors * k.rec_size;
                const uint32_t far = far_data_start(k, rng);
                dump.seekp(far);
                dump << random_bytes(rng, rng() % (4 * track_bytes + 2));
            }
        }
        expect_same_as_model(k);
        if (HasFatalFailure())
            return;
    }
}

// The warnings are part of a run's result: a standard output that cannot
// take them fails the run, as a failed write of the image does.
TEST_F(LinearReference, LostStandardOutputFailsTheRun) {
    FILE* full = std::fopen("/dev/full", "w");
    if (!full)
        GTEST_SKIP() << "no /dev/full here";
    std::ofstream(file("dump.ima"), std::ios::binary) << std::string(4096, 'x');
    // The warnings belong to the image: without them an earlier image stays.
    std::ofstream(file("image.bin"), std::ios::binary) << "earlier";
    std::vector<std::string> words{"imgconv", file("dump.ima"), file("image.bin")};
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    CapturedStream err;
    EXPECT_EQ(run_imgconv(static_cast<int>(argv.size()), argv.data(), full, err.get()), -1);
    std::fclose(full);
    EXPECT_EQ(err.text(),
              "Write error on file \"<stdout>\" " + common::error_number_text(ENOSPC) + "\n");
    std::ifstream kept(file("image.bin"), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "earlier");
}

TEST_F(LinearReference, ShiftsThatWrapOrCross2To31) {
    struct Fixed {
        const char* what;
        Case k;
        uint32_t far; // where a second stretch of data starts, 0 for none
        bool expect_failure;
    };
    auto make = [](uint32_t c, uint32_t h, uint32_t s, uint32_t rec, uint32_t junk, uint32_t cskip,
                   uint32_t hskip) {
        Case k;
        k.cylinders = c;
        k.heads = h;
        k.sectors = s;
        k.rec_size = rec;
        k.interleave = 2;
        k.cylinder_skew = 1;
        k.head_skew = 1;
        k.junk = junk;
        k.cylinder_skip = cskip;
        k.head_skip = hskip;
        return k;
    };
    const Fixed cases[] = {
        // Junk and cylinder skip cancel out modulo 2^32: a plain track-after-track dump.
        {"wrapping shifts cancel", make(4, 1, 16, 256, 0x10000000, 0xF0000000, 0), 0, false},
        // Cylinder 1 starts at 0xF0000000 and more: its first record fails.
        {"cylinder skip beyond 2^31", make(3, 2, 8, 64, 0, 0xF0000000, 0), 0, true},
        // Head 1 of cylinder 0 straddles 2^31: its records below 2^31 come first in
        // HP order only as far as the interleave puts them there.
        {"track across 2^31", make(2, 2, 4, 16, 0, 0, 0x7FFFFFA0), 0x7FFFFF00, true},
        // Every track over the one before it.
        {"tracks overlap", make(3, 2, 5, 32, 0u - 5 * 32, 0, 0), 0, false},
        // Later tracks wrap to small offsets through a "negative" head skip.
        {"negative head skip", make(3, 2, 4, 100, 0, 0, 0u - 300), 0, false},
    };
    std::mt19937 rng(31);
    for (const Fixed& f : cases) {
        SCOPED_TRACE(f.what);
        {
            std::ofstream dump(file("dump.ima"), std::ios::binary | std::ios::trunc);
            std::string head = random_bytes(rng, 40000);
            head[0] = 0;
            dump << head;
            if (f.far) {
                dump.seekp(f.far);
                dump << random_bytes(rng, 0x200);
            }
        }
        expect_same_as_model(f.k);
        if (HasFatalFailure())
            return;
        EXPECT_EQ(run(f.k, Output::replaced).status != 0, f.expect_failure);
    }
}

#if defined(__GLIBC__)
TEST(LinearReadError, UnreadableStretchFailsAtTheSameRecordAsTheDumpModel) {
    std::mt19937 rng(9836);
    int failed_runs = 0;
    for (int run_number = 0; run_number < 300; ++run_number) {
        const Case k = random_case(rng);
        if (k.rec_size == 0)
            continue; // nothing is ever read
        // The unreadable stretch lies on a random record of the disk.
        const uint32_t r = rng() % (k.cylinders * k.heads * k.sectors);
        const uint32_t at = model_offset(k, r);
        VirtualDump dump;
        dump.bad_begin = at + rng() % k.rec_size;
        dump.bad_end = dump.bad_begin + 1 + rng() % 2000;
        dump.size = rng() % 2 ? dump.bad_end + rng() % 100000 : uint64_t(1) << 32;

        VirtualDump reference_dump = dump;
        FILE* reference_input = reference_dump.open();
        ASSERT_NE(reference_input, nullptr);
        const Result expected = expected_copy(k, reference_input);
        std::fclose(reference_input);

        FILE* input = dump.open();
        ASSERT_NE(input, nullptr);
        CapturedStream output, out, err;
        unsigned char record_buffer[1024] = {};
        const ConvertOptions opts = options_of(k);
        DumpPlan plan = plan_from_options(opts);
        InterleaveTable plan_table;
        ASSERT_TRUE(prepare_linear(opts, plan, plan_table, out.get(), err.get()));
        const int status = copy_linear(plan, plan_table, input, output.get(), "image.bin",
                                       record_buffer, common::Reporter(out.get(), err.get()));
        std::fclose(input);
        failed_runs += status != 0;
        ASSERT_EQ(status, expected.status) << describe(k);
        ASSERT_EQ(out.text(), expected.out) << describe(k);
        ASSERT_EQ(err.text(), expected.err) << describe(k);
        ASSERT_TRUE(output.text() == expected.image) << "image differs for " << describe(k);
    }
    EXPECT_GT(failed_runs, 100); // most runs meet the stretch
}
#endif
