// Fixture for the ROM programs' end-to-end tests: their usage text as a run prints it.
#pragma once

#include "e2e.h"

#include <string>
#include <vector>

class RomProgramTest : public e2e::Test {
  protected:
    // "Usage: <argv[0]>" followed by `rest`, with argv[0] as the harness passes it
    // (the program's path, which the test cannot know beforehand).
    e2e::Bytes usage(const std::string& program, const std::string& rest) const {
        const e2e::Outcome o = run(program, {});
        const std::string prefix = "Usage: ";
        const size_t start = o.out.compare(0, prefix.size(), prefix) == 0 ? prefix.size() : 0;
        const std::string name = o.out.substr(start, o.out.find(' ', start) - start);
        EXPECT_NE(name.find(program), std::string::npos) << "no usage text: " << o.out;
        return prefix + name + rest;
    }
};
