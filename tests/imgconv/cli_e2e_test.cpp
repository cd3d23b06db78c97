// imgconv's command line and the failures around its files, run as a user runs the program.
#include "e2e.h"
#include "imgconv_test_data.h"

#include <cerrno>
#include <filesystem>
#include <set>

namespace {

using e2e::Expected;
using e2e::kStatusMinusOne;
using testdata::kNoLif;

// A position of 2^31 or more is an invalid argument to a seek.
const std::string kSeekError = "Seek error " + testdata::error_number(EINVAL) + "\n";

std::string usage_text(const std::string& program) {
    return "Usage: " + program +
           " <input file> [<output file>]\n"
           "        [-c <cylinders>][-h <heads>][-s <sectors>]\n"
           "        [-r <rec_size>][-j <track junk>][-i <interleave>]\n"
           "        [-cs <cylinder skew>][-hs <head skew>][-sc <skewcount>]\n"
           "        [-cskip <cylinder skip>][-hskip <head skip>]\n"
           "        [-l <control file>][-m <matchlist>][-v]\n\n"
           "where\n"
           "        <input file>    IMA image file\n"
           "                        or an ImageDisk (IMD) or TeleDisk (TD0) capture\n"
           "        <output file>   HP image file (default=\"image.bin\")\n"
           "        <cylinders>     # of valid cylinders (default=auto)\n"
           "        <heads>         # of valid heads resp. sides (default=auto)\n"
           "        <sectors>       # of valid sectors per track (default=auto)\n"
           "        <rec_size>      record resp. sector size of valid sectors (default=256)\n"
           "        <junk>          extra data at end of track (default=0)\n"
           "        <cylinder skew> cylinder-to-cylinder skew factor of original disk "
           "(default cs=0)\n"
           "        <head skew>     head-to-head skew factor of original disk (default hs=0)\n"
           "        <skewcount>     # tracks to be skewed (default=all)\n"
           "        <interleave>    n:1 interleave factor of original disk (default=auto)\n"
           "        <control file>  control transformation with SECSCAN v0.11 output file\n"
           "        <matchlist>     list of known transformations of the form 'n which where "
           "which where ...'\n"
           "        -v              verbose mode\n";
}

class ImgconvCommandLine : public e2e::Test {
  protected:
    // Runs and expects the usage text under whatever name the program was
    // started with, exit status 0, and no image written.
    void expect_usage(const std::vector<std::string>& args) {
        const e2e::Outcome got = run("imgconv", args, {"image.bin"});
        const std::string head = "Usage: ";
        const size_t name_end = got.out.find(" <input file>");
        ASSERT_EQ(got.out.compare(0, head.size(), head), 0) << command_line("imgconv", args);
        ASSERT_NE(name_end, std::string::npos) << command_line("imgconv", args);
        const std::string name = got.out.substr(head.size(), name_end - head.size());
        EXPECT_NE(name.find("imgconv"), std::string::npos) << name;
        EXPECT_EQ(got.out, e2e::as_text_stream(usage_text(name))) << command_line("imgconv", args);
        EXPECT_EQ(got.err, "") << command_line("imgconv", args);
        EXPECT_EQ(got.status, 0) << command_line("imgconv", args);
        EXPECT_FALSE(got.files.at("image.bin")) << command_line("imgconv", args);
    }
};

} // namespace

TEST_F(ImgconvCommandLine, UsageTextForMissingOrUnknownWords) {
    write_file("in.ima", std::string(600, 'x'));
    expect_usage({});
    expect_usage({"-v"});
    expect_usage({"in.ima", "-c"});
    expect_usage({"in.ima", "-C", "3"});
    expect_usage({"in.ima", "-verbose"});
    expect_usage({"in.ima", "-"});
    // A matchlist cut short by the end of the command line.
    expect_usage({"in.ima", "-m", "2", "1", "2", "3"});
}

TEST_F(ImgconvCommandLine, RecordSizeAbove1024IsRefusedWithStatusZero) {
    write_file("in.ima", std::string(600, 'x'));
    for (const char* size : {"1025", "-1"})
        EXPECT_RUN(
            "imgconv", {"in.ima", "-r", size},
            Expected{
                0, "", "Sorry, max. rec_size is 1024 bytes.\n", {{"image.bin", std::nullopt}}});
    EXPECT_RUN(
        "imgconv", {"in.ima", "-r", "1024", "-c", "1", "-h", "1", "-s", "1"},
        Expected{0,
                 kNoLif + "Warning: input ends before record 0; missing bytes written as zeros.\n",
                 "",
                 {{"image.bin", std::string(600, 'x') + std::string(424, '\0')}}});
}

TEST_F(ImgconvCommandLine, MatchlistAboveTenIsRefusedBeforeAnyFile) {
    EXPECT_RUN("imgconv", {"missing.ima", "out.bin", "-m", "11"},
               Expected{kStatusMinusOne,
                        "",
                        "Sorry, max. matchlist length is 10 pairs.\n",
                        {{"out.bin", std::nullopt}}});
}

TEST_F(ImgconvCommandLine, FirstNameIsInputLastIsOutput) {
    const std::string data = testdata::numbered_records(4, 8);
    write_file("in.ima", data);
    const std::vector<std::string> geometry{"-c", "2", "-h", "1", "-s", "2", "-r", "8", "-i", "1"};
    std::vector<std::string> three{"in.ima", "second.bin", "third.bin"};
    three.insert(three.end(), geometry.begin(), geometry.end());
    EXPECT_RUN("imgconv", three,
               Expected{0, kNoLif, "", {{"second.bin", std::nullopt}, {"third.bin", data}}});
    std::vector<std::string> one{"in.ima"};
    one.insert(one.end(), geometry.begin(), geometry.end());
    EXPECT_RUN("imgconv", one, Expected{0, kNoLif, "", {{"image.bin", data}}});
}

TEST_F(ImgconvCommandLine, NumbersInAnyBaseAndValuesThatLookLikeOptions) {
    write_file("in.ima", std::string(64, 'a'));
    for (const char* sixteen : {"0x10", "020"})
        EXPECT_RUN("imgconv", {"in.ima", "-c", sixteen, "-h", "1", "-s", "1", "-r", "1", "-v"},
                   Expected{0,
                            kNoLif +
                                "Using tracks=16 heads=1 sectors=1 interleave=2\n"
                                "using cylinder skew=0 head skew=0\n" +
                                testdata::unread_tail(48),
                            "",
                            {{"image.bin", std::string(16, 'a')}}});
    // "-c -v": cylinders from the text "-v", which is 0 (auto: 33); not verbose.
    EXPECT_RUN(
        "imgconv", {"in.ima", "-c", "-v", "-h", "1", "-s", "1", "-r", "1"},
        Expected{0, kNoLif + testdata::unread_tail(31), "", {{"image.bin", std::string(33, 'a')}}});
}

TEST_F(ImgconvCommandLine, MissingFilesAndUnwritableOutput) {
    write_file("in.ima", std::string(600, 'x'));
    EXPECT_RUN("imgconv", {"missing.ima", "out.bin"},
               Expected{kStatusMinusOne,
                        "",
                        "Could not open input file \"missing.ima\".\n",
                        {{"out.bin", std::nullopt}}});
    // The output is created last, once the probe has spoken.
    EXPECT_RUN("imgconv", {"in.ima", "no-such-dir/out.bin"},
               Expected{kStatusMinusOne,
                        kNoLif,
                        "Could not open output file \"no-such-dir/out.bin\" for writing.\n",
                        {}});
    EXPECT_RUN("imgconv", {"in.ima", "out.bin", "-l", "missing.txt"},
               Expected{kStatusMinusOne,
                        "",
                        "Could not open control file \"missing.txt\".\n",
                        {{"out.bin", std::nullopt}}});
}

TEST_F(ImgconvCommandLine, DirectoryAsInputIsRefusedAtTheOpen) {
    std::filesystem::create_directory(path("folder"));
    EXPECT_RUN("imgconv", {"folder", "out.bin"},
               Expected{kStatusMinusOne,
                        "",
                        "Could not open input file \"folder\".\n",
                        {{"out.bin", std::nullopt}}});
}

// Every failure that can be known before the output is written ends the run
// with the folder as it was: the earlier output byte for byte, no file added.
TEST_F(ImgconvCommandLine, EarlyFailuresLeaveTheFolderAsItWas) {
    const std::string earlier = "an earlier image";
    std::string lying(256, '\0'); // a LIF header claiming 256 x 256 x 256 records
    lying[0] = '\x80';
    for (size_t at : {24, 28, 32})
        testdata::put_be32(lying, at, 256);
    const std::string imd_header = "IMD 1.18: 01/01/2026\r\n\x1A";
    struct Row {
        const char* what;
        std::vector<std::string> args;
        std::string err;
    };
    const Row rows[] = {
        {"missing control file",
         {"dump.bin", "keep.hpi", "-l", "nosuch.txt"},
         "Could not open control file \"nosuch.txt\".\n"},
        {"directory as control file",
         {"dump.bin", "keep.hpi", "-l", "folder"},
         "Could not open control file \"folder\".\n"},
        {"directory as input", {"folder", "keep.hpi"}, "Could not open input file \"folder\".\n"},
        {"report without a TRACK line",
         {"dump.bin", "keep.hpi", "-l", "photo.jpg"},
         "Control file \"photo.jpg\" holds no TRACK line; it is not a sector report.\n"},
        {"-s above 256 with a report",
         {"dump.bin", "keep.hpi", "-l", "photo.jpg", "-s", "300"},
         "Sorry, max. value of -s is 256 (-s 300).\n"},
        {"-c above 256 with a capture",
         {"cut.imd", "keep.hpi", "-c", "0x101"},
         "Sorry, max. value of -c is 256 (-c 257).\n"},
        {"cut capture",
         {"cut.imd", "keep.hpi"},
         "ImageDisk capture \"cut.imd\", byte " + std::to_string(imd_header.size()) +
             ": the file ends inside a track header.\n"},
        {"image far beyond the input",
         {"lying.bin", "keep.hpi", "-i", "1"},
         "The image would be 4294967296 bytes from an input of 256 bytes (cylinders=256 "
         "heads=256 sectors=256, from the LIF header); give -c, -h and -s to write it.\n"},
        {"ImageDisk capture named as the output",
         {"keep.hpi", "disk.IMD"},
         "Output file \"disk.IMD\" is an ImageDisk capture; it is not replaced. Check the order "
         "of the file names, or remove the file first.\n"},
        {"TeleDisk capture named as the output",
         {"keep.hpi", "disk.td0"},
         "Output file \"disk.td0\" is a TeleDisk capture; it is not replaced. Check the order of "
         "the file names, or remove the file first.\n"},
    };
    write_file("dump.bin", std::string(512, 'd'));
    write_file("photo.jpg", "\xFF\xD8\xFF\xE0 no report here\n");
    write_file("cut.imd", imd_header + std::string(2, '\0'));
    write_file("lying.bin", lying);
    write_file("disk.IMD", imd_header);
    write_file("disk.td0", std::string("td\0\x15", 4));
    std::filesystem::create_directory(path("folder"));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        write_file("keep.hpi", earlier);
        std::set<std::string> before;
        for (const auto& entry : std::filesystem::directory_iterator(dir_))
            before.insert(entry.path().filename().string());
        EXPECT_RUN(
            "imgconv", row.args,
            Expected{
                kStatusMinusOne, "", row.err, {{"keep.hpi", earlier}, {"disk.IMD", imd_header}}});
        std::set<std::string> after;
        for (const auto& entry : std::filesystem::directory_iterator(dir_))
            after.insert(entry.path().filename().string());
        EXPECT_EQ(after, before);
    }
}

TEST_F(ImgconvCommandLine, OutputThatIsTheInputOrControlFileIsRefused) {
    const std::string data = std::string(600, 'x');
    write_file("in.ima", data);
    write_file("report.txt", "report\n");
    std::filesystem::create_hard_link(path("in.ima"), path("link.ima"));
    std::filesystem::create_symlink("report.txt", path("report-link"));
    for (const char* same : {"in.ima", "./in.ima", "link.ima"})
        EXPECT_RUN("imgconv", {"in.ima", same},
                   Expected{kStatusMinusOne,
                            "",
                            "Output file \"" + std::string(same) +
                                "\" is the input file \"in.ima\"; it is not overwritten.\n",
                            {{"in.ima", data}}});
    EXPECT_RUN("imgconv", {"in.ima", "report-link", "-l", "report.txt"},
               Expected{kStatusMinusOne,
                        "",
                        "Output file \"report-link\" is the control file \"report.txt\"; it is not "
                        "overwritten.\n",
                        {{"report.txt", "report\n"}, {"in.ima", data}}});
}

TEST_F(ImgconvCommandLine, FullDiskIsAWriteErrorInTheLoopAndAtTheClose) {
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full here";
    write_file("in.ima", std::string(600, 'x'));
    const std::string failed =
        "Write error on file \"/dev/full\" " + testdata::error_number(ENOSPC) + "\n";
    // One record: it waits in the stream's buffer and fails when flushed at the close.
    EXPECT_RUN("imgconv", {"in.ima", "/dev/full", "-c", "1", "-h", "1", "-s", "1"},
               Expected{kStatusMinusOne, kNoLif + testdata::unread_tail(344), failed, {}});
    // 528 records: the buffer overflows inside the copy loop.
    EXPECT_RUN("imgconv", {"in.ima", "/dev/full"},
               Expected{kStatusMinusOne,
                        kNoLif + "Warning: input ends before record 1; missing bytes written as "
                                 "zeros.\n",
                        failed,
                        {}});
}

TEST_F(ImgconvCommandLine, OffsetOf2To31OrMoreIsASeekError) {
    const std::string data = testdata::numbered_records(4, 1024);
    write_file("in.ima", data);
    // Cylinder 1 lies 2^31 bytes further on: its first record cannot be reached,
    // and the records of cylinder 0 already written never become an output.
    EXPECT_RUN("imgconv",
               {"in.ima", "out.bin", "-r", "1024", "-c", "2", "-h", "1", "-s", "4", "-i", "1",
                "-cskip", "0x80000000"},
               Expected{kStatusMinusOne, kNoLif, kSeekError, {{"out.bin", std::nullopt}}});
    EXPECT_EQ(folder(), std::vector<std::string>{"in.ima"});
    // A huge junk reaches beyond 2^31 at track 1 the same way; the earlier
    // output keeps its bytes.
    const std::string earlier = "an earlier image";
    write_file("out.bin", earlier);
    EXPECT_RUN("imgconv",
               {"in.ima", "out.bin", "-r", "1024", "-c", "1", "-h", "2", "-s", "4", "-i", "1", "-j",
                "0x7FFFFFFF"},
               Expected{kStatusMinusOne, kNoLif, kSeekError, {{"out.bin", earlier}}});
    EXPECT_EQ(folder(), (std::vector<std::string>{"in.ima", "out.bin"}));
}
