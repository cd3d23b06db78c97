// Command line reading and the in-process run with the caller's streams.
#include "basiclist/basiclist.h"
#include "basiclist/command_line.h"

#include "capture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace basiclist;

namespace {

struct Args {
    std::vector<std::string> words;
    std::vector<char*> argv;
    explicit Args(std::vector<std::string> w) : words(std::move(w)) {
        for (auto& s : words)
            argv.push_back(s.data());
        argv.push_back(nullptr);
    }
    int argc() const { return static_cast<int>(words.size()); }
};

// Settings keep pointers into the arguments, so `a` must outlive them.
CommandLine parse(Args& a, Settings& s) {
    return parse_command_line(a.argc(), a.argv.data(), s);
}

} // namespace

TEST(CommandLine, FileNamesAndVerboseInAnyOrder) {
    Settings s;
    Args all({"basiclist", "-v", "a", "-v", "b", "c", "-v"});
    ASSERT_EQ(parse(all, s), CommandLine::run);
    EXPECT_STREQ(s.input_path, "a");
    EXPECT_STREQ(s.output_path, "c"); // the second name is replaced by the third
    EXPECT_TRUE(s.verbose);

    Args one({"basiclist", "in"});
    ASSERT_EQ(parse(one, s), CommandLine::run);
    EXPECT_STREQ(s.input_path, "in");
    EXPECT_EQ(s.output_path, nullptr);
    EXPECT_FALSE(s.verbose);

    Args empty({"basiclist", "", ""});
    ASSERT_EQ(parse(empty, s), CommandLine::run); // empty strings are file names
    EXPECT_STREQ(s.input_path, "");
    EXPECT_STREQ(s.output_path, "");
}

TEST(CommandLine, UsageWithoutInputOrOnAnyOtherOption) {
    Settings s;
    const std::vector<std::vector<std::string>> lines = {{"basiclist"},
                                                         {"basiclist", "-v"},
                                                         {"basiclist", "-v", "-v"},
                                                         {"basiclist", "in", "-x"},
                                                         {"basiclist", "in", "out", "-"},
                                                         {"basiclist", "--", "in"},
                                                         {"basiclist", "in", "-V"},
                                                         {"basiclist", "in", "-vv"}};
    for (const auto& words : lines) {
        Args a(words);
        EXPECT_EQ(parse(a, s), CommandLine::usage) << words.size() << " words";
    }
}

TEST(Run, UsageTextNamesTheProgramAsInvoked) {
    CapturedStream out, err;
    Args a({"./bl", "-v"});
    EXPECT_EQ(run_basiclist(a.argc(), a.argv.data(), out.get(), err.get()), 0);
    EXPECT_EQ(out.text(), "Usage: ./bl <input file> [<output file>]\n"
                          "        <input file>  HP 9845 basic file\n"
                          "        -v            verbose mode\n");
    EXPECT_EQ(err.text(), "");
}

TEST(Run, ListingToFullStandardOutputIsAWriteError) {
    const std::string input = ::testing::TempDir() + "basiclist_run_full.bas";
    std::string record(256, '\x0D');
    record.replace(0, 6, std::string("\x00\x3C\x00\x02OK", 6));
    FILE* f = std::fopen(input.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(record.data(), 1, record.size(), f);
    ASSERT_EQ(std::fclose(f), 0);

    FILE* full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    CapturedStream err;
    Args a({"basiclist", input});
    EXPECT_EQ(run_basiclist(a.argc(), a.argv.data(), full, err.get()), -1);
    EXPECT_EQ(err.text(), "no end mark: the file may be incomplete\n"
                          "Write error on file \"<stdout>\" #28 (No space left on device)\n");
    std::fclose(full);
    std::remove(input.c_str());
}
