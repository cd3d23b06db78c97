// Round trip: random HP images laid onto tracks and dumped must convert back byte for byte.
#include "imgconv/imgconv.h"
#include "physical_dump.h"

#include "capture.h"
#include "imgconv_test_data.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

using namespace imgconv;

namespace {

using testdata::put_be32;

namespace fs = std::filesystem;

class RoundTrip : public ::testing::Test {
  protected:
    void SetUp() override {
        // One folder per process and test: ctest runs the tests side by side,
        // and other build trees run the same tests at the same time.
        dir_ = fs::path(::testing::TempDir()) /
               ("imgconv_roundtrip_" + std::to_string(getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string file(const char* name) const { return (dir_ / name).string(); }

    // Writes the dump, runs imgconv on it in-process, returns the output file.
    std::string convert(const std::string& dump, std::vector<std::string> words, int& status,
                        std::string& out, std::string& err) const {
        std::ofstream(file("dump.ima"), std::ios::binary) << dump;
        words.insert(words.begin(), {"imgconv", file("dump.ima"), file("image.bin")});
        std::vector<char*> argv;
        for (auto& w : words)
            argv.push_back(w.data());
        CapturedStream o, e;
        status = run_imgconv(static_cast<int>(argv.size()), argv.data(), o.get(), e.get());
        out = o.text();
        err = e.text();
        std::ifstream in(file("image.bin"), std::ios::binary);
        std::ostringstream got;
        got << in.rdbuf();
        return got.str();
    }

    fs::path dir_;
};

std::string describe(const physical::Layout& d) {
    std::string s;
    for (const auto& w : physical::options_for(d))
        s += w + " ";
    return s;
}

} // namespace

TEST_F(RoundTrip, EveryGivenLayoutGivesTheImageBack) {
    std::mt19937 rng(9845);
    for (int run = 0; run < 400; ++run) {
        const physical::Layout d = physical::random_layout(rng);
        std::string image = physical::random_image(d, rng);
        image[0] = '\x80'; // a LIF identifier: with everything given no probe line
        if (image.size() > 1)
            image[1] = '\x00';
        std::string dump = physical::dump(image, d, rng);
        // The last cylinder's skip filler and whatever follows it are never read.
        const size_t used =
            dump.size() - (uint64_t(d.cylinder_skip) - uint64_t(d.heads - 1) * d.head_skip);
        physical::filler(dump, rng() % 300, rng);
        const std::string unread = testdata::unread_tail(dump.size() - used);
        int status = 0;
        std::string out, err;
        const std::string got = convert(dump, physical::options_for(d), status, out, err);
        ASSERT_EQ(status, 0) << describe(d) << err;
        ASSERT_EQ(out, unread) << describe(d);
        ASSERT_EQ(err, "") << describe(d);
        ASSERT_TRUE(got == image) << "image differs for layout " << describe(d);
    }
}

TEST_F(RoundTrip, LifVolumesFindGeometryAndInterleaveThemselves) {
    std::mt19937 rng(1978);
    for (int run = 0; run < 150; ++run) {
        physical::Layout d = physical::random_layout(rng);
        d.sectors = 8 + rng() % 25;
        d.rec_size = 36 + rng() % 100;
        d.interleave = 1 + rng() % 4;
        const uint32_t dirstart = 1 + rng() % ((d.sectors - 1) / d.interleave);
        const uint32_t datastart = dirstart * d.interleave + 1 + rng() % 50;
        std::string image = physical::random_image(d, rng);
        image[0] = '\x80';
        image[1] = '\x00';
        put_be32(image, 8, dirstart);
        put_be32(image, 16, datastart - dirstart);
        put_be32(image, 24, d.cylinders);
        put_be32(image, 28, d.heads);
        put_be32(image, 32, d.sectors);
        put_be32(image, static_cast<size_t>(dirstart) * d.rec_size + 12, datastart);
        const std::string dump = physical::dump(image, d, rng);
        // Only the layout of the dump is given; geometry and interleave are found.
        const std::vector<std::string> words{
            "-r",     std::to_string(d.rec_size),  "-cs",    std::to_string(d.cylinder_skew),
            "-hs",    std::to_string(d.head_skew), "-sc",    std::to_string(d.skew_count),
            "-j",     std::to_string(d.junk),      "-cskip", std::to_string(d.cylinder_skip),
            "-hskip", std::to_string(d.head_skip), "-v"};
        int status = 0;
        std::string out, err;
        const std::string got = convert(dump, words, status, out, err);
        ASSERT_EQ(status, 0) << describe(d) << err;
        const std::string found = "Using tracks=" + std::to_string(d.cylinders) +
                                  " heads=" + std::to_string(d.heads) +
                                  " sectors=" + std::to_string(d.sectors) +
                                  " interleave=" + std::to_string(d.interleave) + "\n";
        ASSERT_NE(out.find(found), std::string::npos) << describe(d) << out;
        ASSERT_TRUE(got == image) << "image differs for layout " << describe(d);
    }
}
