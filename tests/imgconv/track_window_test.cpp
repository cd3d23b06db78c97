// The track window gives each record the same bytes as a read of the record alone would.
#include "imgconv/dump/dump_reader.h"

#include "capture.h"

#include <gtest/gtest.h>

#include <string>

using namespace imgconv;

namespace {

std::string positional(size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i)
        s += static_cast<char>(i * 13 + 1);
    return s;
}

// A temporary file with `bytes`.
FILE* temp_with(const std::string& bytes) {
    FILE* f = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    return f;
}

} // namespace

TEST(TrackWindow, RecordsMatchSingleReadsAlsoPastTheEnd) {
    const std::string data = positional(1000);
    FILE* f = temp_with(data);
    TrackWindow w;
    ASSERT_TRUE(w.load(f, 600, 800)); // asks for 600..1399, the file ends at 1000
    CapturedStream err;
    for (uint32_t offset : {600u, 700u, 950u, 990u, 1000u, 1300u}) {
        ASSERT_TRUE(w.holds(offset, 100)) << offset;
        unsigned char windowed[100], single[100];
        uint32_t single_got = 0;
        const uint32_t got = w.copy(offset, 100, windowed);
        ASSERT_EQ(read_block(f, single, offset, 100, err.get(), &single_got), 0);
        EXPECT_EQ(got, single_got) << offset;
        EXPECT_EQ(std::string(reinterpret_cast<char*>(windowed), 100),
                  std::string(reinterpret_cast<char*>(single), 100))
            << offset;
    }
    EXPECT_FALSE(w.holds(599, 100));
    EXPECT_FALSE(w.holds(1301, 100));
    std::fclose(f);
}

TEST(TrackWindow, RefusesWhatARecordReadWouldRefuseOrCannotHold) {
    FILE* f = temp_with(positional(100));
    TrackWindow w;
    EXPECT_FALSE(w.load(f, 0, TrackWindow::kCapacityBytes + 1));
    // Every byte must lie below 2^31, where a record read could seek to it.
    EXPECT_FALSE(w.load(f, 0x7FFFFF00u, 0x101));
    EXPECT_TRUE(w.load(f, 0x7FFFFF00u, 0x100));
    EXPECT_FALSE(w.load(f, 0x80000000u, 16));
    EXPECT_FALSE(w.holds(0x80000000u, 1)); // a failed load holds nothing
    EXPECT_FALSE(w.load(f, 0, 0));
    std::fclose(f);

    // A read error leaves the stream clean, so the record read meets it anew.
    FILE* dir = std::fopen(".", "rb");
    ASSERT_NE(dir, nullptr);
    EXPECT_FALSE(w.load(dir, 0, 64));
    EXPECT_FALSE(std::ferror(dir));
    std::fclose(dir);
}
