// Each manual page's SYNOPSIS against the usage text that its program prints when run without
// arguments.
//
// Both are reduced to the same picture: the operands in their order, each
// required or optional, and the set of option words with the name of the
// value each takes. Value names compare with blanks and underscores alike,
// since the usage text writes "<ROM image>" where the page writes ROM_image.
#include "e2e.h"

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace {

struct Operand {
    std::string name;
    bool optional = false;
};

struct Option {
    std::string word;  // with its leading "-"
    std::string value; // empty when the option takes none
    bool optional = false;
    bool operator<(const Option& o) const {
        return std::tie(word, value, optional) < std::tie(o.word, o.value, o.optional);
    }
};

struct Synopsis {
    std::vector<Operand> operands;
    std::set<Option> options;
};

std::string normal_name(std::string name) {
    for (char& c : name)
        if (c == ' ')
            c = '_';
    return name;
}

std::string describe(const Synopsis& s) {
    std::ostringstream m;
    m << "operands:";
    for (const auto& o : s.operands)
        m << " " << (o.optional ? "[" : "") << o.name << (o.optional ? "]" : "");
    m << "; options:";
    for (const auto& o : s.options)
        m << " " << (o.optional ? "[" : "") << o.word << (o.value.empty() ? "" : " " + o.value)
          << (o.optional ? "]" : "");
    return m.str();
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (char c : text) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else if (c != '\r') {
            line += c;
        }
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

// Reads the bracket notation of a usage line: "<name>" operands, "[...]"
// optional groups holding "-word", "-word <value>" or "<name>".
void parse_usage_words(const std::string& text, Synopsis& s) {
    bool optional = false;
    Option* pending = nullptr; // an option whose value may follow
    Option current;
    std::vector<Option> found;
    size_t i = 0;
    auto flush = [&] {
        if (pending) {
            found.push_back(*pending);
            pending = nullptr;
        }
    };
    while (i < text.size()) {
        const char c = text[i];
        if (c == '[') {
            flush();
            optional = true;
            ++i;
        } else if (c == ']') {
            flush();
            optional = false;
            ++i;
        } else if (c == '<') {
            const size_t end = text.find('>', i);
            const std::string name = normal_name(text.substr(i + 1, end - i - 1));
            if (pending) {
                pending->value = name;
                flush();
            } else {
                s.operands.push_back({name, optional});
            }
            i = end == std::string::npos ? text.size() : end + 1;
        } else if (c == '-') {
            flush();
            size_t end = text.find_first_of(" []<", i);
            if (end == std::string::npos)
                end = text.size();
            current = Option{text.substr(i, end - i), "", optional};
            pending = &current;
            i = end;
        } else {
            ++i;
        }
    }
    flush();
    s.options.insert(found.begin(), found.end());
}

// The usage text: its "Usage:" line and the continuation lines that start
// with a bracket form the synopsis; a later line that starts with an option
// word ("-v   verbose mode") lists one more option without a value.
Synopsis parse_usage(const std::string& usage) {
    Synopsis s;
    const std::vector<std::string> lines = lines_of(usage);
    bool in_synopsis = false;
    for (const std::string& line : lines) {
        const size_t first = line.find_first_not_of(' ');
        if (line.rfind("Usage: ", 0) == 0) {
            // Skip the program name, whatever path the system gave it.
            const size_t words = line.find_first_of("[<", 7);
            if (words != std::string::npos)
                parse_usage_words(line.substr(words), s);
            in_synopsis = true;
        } else if (in_synopsis && first != std::string::npos && line[first] == '[') {
            parse_usage_words(line.substr(first), s);
        } else {
            in_synopsis = false;
            if (first != std::string::npos && line[first] == '-') {
                const size_t end = line.find(' ', first);
                s.options.insert({line.substr(first, end - first), "", true});
            }
        }
    }
    return s;
}

// The mdoc SYNOPSIS: ".Op Fl word Ar value", ".Op Ar name", ".Ar name", ".Fl word"
// (a long option written ".Fl \\-word"); command words (".Cm list") are not
// compared. Only its first form counts: a second ".Nm" starts the next form,
// which the usage text's first line does not show.
Synopsis parse_page_synopsis(const std::string& page, std::string& name) {
    Synopsis s;
    bool in_synopsis = false;
    int forms = 0;
    for (const std::string& line : lines_of(page)) {
        if (line.rfind(".Sh ", 0) == 0) {
            in_synopsis = line == ".Sh SYNOPSIS";
            continue;
        }
        if (in_synopsis && line == ".Nm" && ++forms > 1)
            in_synopsis = false;
        if (line.rfind(".Nm ", 0) == 0 && name.empty())
            name = line.substr(4);
        if (!in_synopsis || line.empty() || line[0] != '.')
            continue;
        std::istringstream words(line.substr(1));
        std::vector<std::string> tokens;
        for (std::string w; words >> w;)
            tokens.push_back(w);
        bool optional = false;
        size_t k = 0;
        if (!tokens.empty() && tokens[0] == "Op") {
            optional = true;
            k = 1;
        }
        bool option_open = false;
        Option option;
        for (; k + 1 < tokens.size(); k += 2) {
            if (tokens[k] == "Fl") {
                if (option_open)
                    s.options.insert(option);
                std::string word = "-" + tokens[k + 1];
                if (word.rfind("-\\-", 0) == 0)
                    word.erase(1, 1);
                option = Option{word, "", optional};
                option_open = true;
            } else if (tokens[k] == "Ar" && option_open) {
                option.value = tokens[k + 1];
                s.options.insert(option);
                option_open = false;
            } else if (tokens[k] == "Ar") {
                s.operands.push_back({tokens[k + 1], optional});
            }
        }
        if (option_open)
            s.options.insert(option);
    }
    return s;
}

std::vector<std::string> built_programs() {
    std::vector<std::string> programs;
    std::istringstream in(HPKIT_MAN_PROGRAMS);
    for (std::string p; std::getline(in, p, ',');)
        if (!p.empty())
            programs.push_back(p);
    return programs;
}

class ManPage : public e2e::Test, public ::testing::WithParamInterface<std::string> {};

TEST_P(ManPage, SynopsisAgreesWithTheUsageText) {
    const std::string program = GetParam();
    std::ifstream in(std::string(HPKIT_MAN_DIR) + "/" + program + ".1", std::ios::binary);
    ASSERT_TRUE(in) << "no page " << HPKIT_MAN_DIR << "/" << program << ".1";
    std::ostringstream page;
    page << in.rdbuf();

    const e2e::Outcome usage = run(program, {});
    ASSERT_EQ(usage.status, 0);
    ASSERT_EQ(usage.out.rfind("Usage: ", 0), 0u) << e2e::render(usage.out);

    std::string name;
    const Synopsis from_page = parse_page_synopsis(page.str(), name);
    const Synopsis from_usage = parse_usage(usage.out);
    EXPECT_EQ(name, program);
    // Every program takes at least its input file: an empty picture on both
    // sides would mean the parsers found nothing.
    ASSERT_FALSE(from_usage.operands.empty()) << e2e::render(usage.out);
    EXPECT_EQ(describe(from_page), describe(from_usage));
}

INSTANTIATE_TEST_SUITE_P(Programs, ManPage, ::testing::ValuesIn(built_programs()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             return info.param;
                         });

// The parsers themselves, on the shapes the programs' usage texts take.
TEST(UsageParser, ReadsOperandsOptionsAndDescriptionOptions) {
    const Synopsis s =
        parse_usage("Usage: C:\\kit\\tool.exe [-a] [-b <n value>] <in file> [<out>]\r\n"
                    "        [-c <x>][-d]\r\n"
                    "\r\n"
                    "        <in file>  what it is\r\n"
                    "        -v         verbose\r\n");
    EXPECT_EQ(describe(s), "operands: in_file [out]; options: [-a] [-b n_value] [-c x] [-d] [-v]");
}

TEST(PageParser, ReadsTheSynopsisSectionOnly) {
    std::string name;
    const Synopsis s = parse_page_synopsis(".Sh NAME\n.Nm tool\n.Sh SYNOPSIS\n.Nm\n.Cm list\n"
                                           ".Op Fl a\n.Op Fl b Ar n_value\n.Ar in_file\n"
                                           ".Op Ar out\n.Op Fl \\-long\n.Nm\n.Fl \\-version\n"
                                           ".Sh OPTIONS\n.Op Fl z\n",
                                           name);
    EXPECT_EQ(name, "tool");
    EXPECT_EQ(describe(s), "operands: in_file [out]; options: [--long] [-a] [-b n_value]");
}

} // namespace
