// The command-line walk: option words, values, file names, numbers and the refusals.
#include "imgconv/command_line.h"

#include "common/parse_number.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace imgconv;

namespace {

// Parses a command line given as words after the program name.
struct Parsed {
    CommandLine outcome;
    ConvertOptions opts;
    std::vector<std::string> words; // keeps the texts that opts points into
};

Parsed parse(std::vector<std::string> words) {
    Parsed p{CommandLine::run, ConvertOptions{}, std::move(words)};
    p.words.insert(p.words.begin(), "imgconv");
    std::vector<char*> argv;
    for (auto& w : p.words)
        argv.push_back(w.data());
    p.outcome = parse_command_line(static_cast<int>(argv.size()), argv.data(), p.opts);
    return p;
}

} // namespace

TEST(ParseNumber, BasesSignsAndThirtyTwoBitWrap) {
    EXPECT_EQ(common::parse_number("16"), 16u);
    EXPECT_EQ(common::parse_number("0x10"), 16u);
    EXPECT_EQ(common::parse_number("0X1f"), 31u);
    EXPECT_EQ(common::parse_number("020"), 16u);
    EXPECT_EQ(common::parse_number("  +7"), 7u);
    EXPECT_EQ(common::parse_number("-1"), 0xFFFFFFFFu);
    EXPECT_EQ(common::parse_number("-0x10"), 0xFFFFFFF0u);
    EXPECT_EQ(common::parse_number("4294967295"), 0xFFFFFFFFu);
    EXPECT_EQ(common::parse_number("4294967296"), 0xFFFFFFFFu); // beyond 32 bits
    EXPECT_EQ(common::parse_number("-4294967296"), 0xFFFFFFFFu);
    EXPECT_EQ(common::parse_number("99999999999999999999999"), 0xFFFFFFFFu);
    EXPECT_EQ(common::parse_number("12abc"), 12u);
    EXPECT_EQ(common::parse_number("09"), 0u); // octal stops at the 9
    EXPECT_EQ(common::parse_number("0x"), 0u);
    for (const char* none : {"", "-v", "abc", "--5", "- 5", "+-5"})
        EXPECT_EQ(common::parse_number(none), 0u) << '"' << none << '"';
}

TEST(CommandLine, DefaultsWithInputOnly) {
    const Parsed p = parse({"dump.ima"});
    ASSERT_EQ(p.outcome, CommandLine::run);
    EXPECT_STREQ(p.opts.input_path, "dump.ima");
    EXPECT_STREQ(p.opts.output_path, "image.bin");
    EXPECT_EQ(p.opts.cylinders, 0u);
    EXPECT_EQ(p.opts.rec_size, 256u);
    EXPECT_EQ(p.opts.interleave, -1);
    EXPECT_EQ(p.opts.cylinder_skew, -1);
    EXPECT_EQ(p.opts.head_skew, -1);
    EXPECT_EQ(p.opts.control_path, nullptr);
    EXPECT_EQ(p.opts.match_count, 0);
    EXPECT_FALSE(p.opts.verbose);
}

TEST(CommandLine, EveryOptionStoresItsField) {
    const Parsed p =
        parse({"-c",   "40",     "-h",  "1",      "-s", "9",          "-r", "1024", "-j",
               "0x20", "-cskip", "100", "-hskip", "10", "-cs",        "3",  "-hs",  "-1",
               "-sc",  "6",      "-i",  "4",      "-l", "report.txt", "-v", "in",   "out"});
    ASSERT_EQ(p.outcome, CommandLine::run);
    const ConvertOptions& o = p.opts;
    EXPECT_EQ(o.cylinders, 40u);
    EXPECT_EQ(o.heads, 1u);
    EXPECT_EQ(o.sectors, 9u);
    EXPECT_EQ(o.rec_size, 1024u); // 1024 itself is accepted
    EXPECT_EQ(o.junk, 32u);
    EXPECT_EQ(o.cylinder_skip, 100u);
    EXPECT_EQ(o.head_skip, 10u);
    EXPECT_EQ(o.cylinder_skew, 3);
    EXPECT_EQ(o.head_skew, -1); // -1: as if not given
    EXPECT_EQ(o.skew_count, 6u);
    EXPECT_EQ(o.interleave, 4);
    EXPECT_STREQ(o.control_path, "report.txt");
    EXPECT_TRUE(o.verbose);
    EXPECT_STREQ(o.input_path, "in");
    EXPECT_STREQ(o.output_path, "out");
}

TEST(CommandLine, ValueIsTakenWhateverItLooksLike) {
    const Parsed p = parse({"-c", "-v", "in"});
    ASSERT_EQ(p.outcome, CommandLine::run);
    EXPECT_EQ(p.opts.cylinders, 0u);
    EXPECT_FALSE(p.opts.verbose);
    const Parsed l = parse({"in", "-l", "-c"});
    ASSERT_EQ(l.outcome, CommandLine::run);
    EXPECT_STREQ(l.opts.control_path, "-c");
}

TEST(CommandLine, FileNamesFirstIsInputLastIsOutput) {
    const Parsed p = parse({"a", "-v", "b", "c"});
    ASSERT_EQ(p.outcome, CommandLine::run);
    EXPECT_STREQ(p.opts.input_path, "a");
    EXPECT_STREQ(p.opts.output_path, "c");
}

TEST(CommandLine, RepeatedOptionsOverwrite) {
    const Parsed p =
        parse({"-c", "3", "-c", "0x10", "-m", "2", "1", "2", "3", "4", "-m", "1", "7", "8", "in"});
    ASSERT_EQ(p.outcome, CommandLine::run);
    EXPECT_EQ(p.opts.cylinders, 16u);
    EXPECT_EQ(p.opts.match_count, 1);
    EXPECT_EQ(p.opts.match_entries[0].which, 7u);
    EXPECT_EQ(p.opts.match_entries[0].where, 8u);
    EXPECT_EQ(p.opts.match_entries[1].which, 3u); // left from the first list, beyond the count
}

TEST(CommandLine, MatchlistPairs) {
    const Parsed p = parse({"in", "-m", "2", "6", "0x72", "13", "0526"});
    ASSERT_EQ(p.outcome, CommandLine::run);
    EXPECT_EQ(p.opts.match_count, 2);
    EXPECT_EQ(p.opts.match_entries[0].which, 6u);
    EXPECT_EQ(p.opts.match_entries[0].where, 114u);
    EXPECT_EQ(p.opts.match_entries[1].which, 13u);
    EXPECT_EQ(p.opts.match_entries[1].where, 342u);

    // Ten pairs fill the list; the arguments are taken whatever they look like.
    std::vector<std::string> ten{"-m", "10"};
    for (int k = 0; k < 10; ++k) {
        ten.push_back(std::to_string(k));
        ten.push_back(k == 9 ? "-v" : std::to_string(100 + k));
    }
    ten.push_back("in");
    const Parsed full = parse(ten);
    ASSERT_EQ(full.outcome, CommandLine::run);
    EXPECT_EQ(full.opts.match_count, 10);
    EXPECT_EQ(full.opts.match_entries[9].which, 9u);
    EXPECT_EQ(full.opts.match_entries[9].where, 0u);
    EXPECT_FALSE(full.opts.verbose);

    // A negative count takes no pairs: the next word is a file name.
    const Parsed neg = parse({"-m", "-1", "in", "out"});
    ASSERT_EQ(neg.outcome, CommandLine::run);
    EXPECT_EQ(neg.opts.match_count, -1);
    EXPECT_STREQ(neg.opts.input_path, "in");
    EXPECT_STREQ(neg.opts.output_path, "out");
}

TEST(CommandLine, UsageCases) {
    const std::vector<std::vector<std::string>> cases = {
        {},                               // nothing at all
        {"-v"},                           // no input file
        {"in", "-c"},                     // value option standing last
        {"in", "-m"},                     // "-m" standing last
        {"in", "-m", "2", "1", "2", "3"}, // fewer than 2n words after the count
        {"in", "-C", "3"},                // capitals are another word
        {"in", "-x"},                     // no option
        {"in", "-"},                      // minus alone
        {"in", "--v"},
        {"-r", "2000"}, // no input beats the record size
    };
    for (const auto& words : cases) {
        std::string line;
        for (const auto& w : words)
            line += w + " ";
        EXPECT_EQ(parse(words).outcome, CommandLine::usage) << line;
    }
}

TEST(CommandLine, RecordSizeAbove1024) {
    EXPECT_EQ(parse({"in", "-r", "1025"}).outcome, CommandLine::rec_size_too_big);
    EXPECT_EQ(parse({"in", "-r", "-1"}).outcome, CommandLine::rec_size_too_big);
    EXPECT_EQ(parse({"in", "-r", "1024"}).outcome, CommandLine::run);
    EXPECT_EQ(parse({"in", "-r", "0"}).outcome, CommandLine::run);
}

TEST(CommandLine, MatchlistLongerThanTenIsRefused) {
    EXPECT_EQ(parse({"in", "-m", "11"}).outcome, CommandLine::matchlist_too_long);
    EXPECT_EQ(parse({"-m", "0x7FFFFFFF", "in"}).outcome, CommandLine::matchlist_too_long);
    // 2^32 - 1 reads as -1: no pairs, no refusal.
    EXPECT_EQ(parse({"-m", "4294967295", "in"}).outcome, CommandLine::run);
}
