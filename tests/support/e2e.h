// End-to-end runs of the built programs, checked on exit status, stdout, stderr and files at once.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

using Bytes = std::string;

// Exit status -1 as a POSIX shell (and Wine) reports it.
constexpr int kStatusMinusOne = 255;

// What a run must produce. Each entry of `files` names a file in the test's
// folder with its exact bytes, or std::nullopt when the file must not exist.
// `out` and `err` are written as a POSIX build prints them; for a Windows
// build the harness expects every LF there to arrive as CR LF.
struct Expected {
    int status = 0;
    Bytes out;
    Bytes err;
    std::map<std::string, std::optional<Bytes>> files;
};

// What a run produced, on the same channels.
struct Outcome {
    int status = -1;
    Bytes out;
    Bytes err;
    std::map<std::string, std::optional<Bytes>> files;
};

// Fixture: a fresh, empty folder per test below the build tree, in which the
// programs run and the test's inputs are generated.
class Test : public ::testing::Test {
  protected:
    void SetUp() override;

    // Full path of a file in the test's folder.
    std::string path(const std::string& name) const;
    void write_file(const std::string& name, const Bytes& data) const;
    Bytes read_file(const std::string& name) const;
    bool exists(const std::string& name) const;
    // The names in the test's folder, sorted: what a run left behind.
    std::vector<std::string> folder() const;

    // Runs `program` (imgconv, blocksum, bytesplit, basiclist, hpfiles) with `args` in
    // the test's folder and collects the named files afterwards.
    Outcome run(const std::string& program, const std::vector<std::string>& args,
                const std::vector<std::string>& files = {}) const;

    // Runs and compares every channel with `expected`; on a mismatch the
    // message says what differs and the command line that repeats the run.
    ::testing::AssertionResult check(const std::string& program,
                                     const std::vector<std::string>& args,
                                     const Expected& expected) const;

    // The command line that repeats a run, for messages.
    std::string command_line(const std::string& program,
                             const std::vector<std::string>& args) const;

    std::filesystem::path dir_;
};

// Whether the programs under test are Windows builds (run through a runner such as wine).
bool windows_target();

// The bytes as a build for the target platform writes them to a text stream.
// On Windows every LF leaves as CR LF, and text that came in through the
// command line is in the ANSI code page (1252), not UTF-8: a program there
// prints a name like "ö€" as the bytes F6 80.
Bytes as_text_stream(const Bytes& posix_bytes);

// A file name as the target platform allows it: Windows forbids the double
// quote in file names, so there it becomes a single quote.
std::string portable_name(const std::string& name);

// Readable rendering of bytes for failure messages: printable ASCII as is,
// everything else as \xHH, cut after `limit` bytes.
std::string render(const Bytes& bytes, size_t limit = 200);

// Big-endian and little helpers for building inputs.
Bytes bytes_of(std::initializer_list<int> values);
Bytes repeat(int value, size_t count);

} // namespace e2e

#define EXPECT_RUN(program, args, ...) EXPECT_TRUE(check(program, args, __VA_ARGS__))
#define ASSERT_RUN(program, args, ...) ASSERT_TRUE(check(program, args, __VA_ARGS__))
