// Both ROM programs with their report going to a full device: a lost report is no success.
#include "romtools/blocksum/blocksum.h"
#include "romtools/bytesplit/bytesplit.h"

#include "capture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

using namespace romtools;

namespace {

using RunFunction = int (*)(int, char*[], FILE*, FILE*);

// Runs `run` on a sound 8192-byte ROM with the report going to /dev/full,
// which takes the lines into the stream's buffer and fails when they are
// flushed at the end; checks status, message and that no output file took
// its place, then removes the files.
void expect_lost_report_fails(RunFunction run, const std::string& program) {
    FILE* full = std::fopen("/dev/full", "w");
    if (!full)
        GTEST_SKIP() << "no /dev/full";
    // Named per process: other build trees run the same test at the same time.
    const std::string rom =
        ::testing::TempDir() + program + "_lost_report_" + std::to_string(getpid()) + ".bin";
    FILE* f = std::fopen(rom.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    const std::string ones(8192, '\xFF');
    ASSERT_EQ(std::fwrite(ones.data(), 1, ones.size(), f), ones.size());
    ASSERT_EQ(std::fclose(f), 0);
    CapturedStream err;
    std::vector<char> prog(program.begin(), program.end()), name(rom.begin(), rom.end());
    prog.push_back('\0');
    name.push_back('\0');
    char* argv[] = {prog.data(), name.data()};
    EXPECT_EQ(run(2, argv, full, err.get()), -1);
    EXPECT_EQ(err.text(), "Write error on file \"<stdout>\" #28 (No space left on device)\n");
    std::fclose(full);
    // A failed run puts no output in place.
    for (const char* suffix : {"_high", "_low"})
        EXPECT_EQ(std::fopen((rom + suffix).c_str(), "rb"), nullptr) << suffix;
    for (const char* suffix : {"", "_high", "_low"})
        std::remove((rom + suffix).c_str());
}

} // namespace

// The report is blocksum's whole result.
TEST(LostReport, BlocksumEndsWithAWriteError) {
    expect_lost_report_fails(run_blocksum, "blocksum");
}

// Both files complete, but the report lines lost: not a success either.
TEST(LostReport, BytesplitEndsWithAWriteError) {
    expect_lost_report_fails(run_bytesplit, "bytesplit");
}
