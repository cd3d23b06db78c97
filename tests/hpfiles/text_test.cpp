// The three text conversions on hand-built files: 9845 DATA, LIF TEXT and HP-85/86/87 DATA.
#include "hpfiles/text/text.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

using namespace hpfiles;

namespace {

using Bytes = std::vector<unsigned char>;
using Lines = std::vector<std::string>;

// Builds file bytes from byte values and strings, in order.
struct File {
    Bytes bytes;
    File& b(std::initializer_list<int> values) {
        for (int v : values)
            bytes.push_back(static_cast<unsigned char>(v));
        return *this;
    }
    File& s(const std::string& text) {
        bytes.insert(bytes.end(), text.begin(), text.end());
        return *this;
    }
    // Fills with `value` up to the next multiple of `size` bytes.
    File& fill_to(size_t size, int value) {
        while (bytes.size() % size != 0)
            bytes.push_back(static_cast<unsigned char>(value));
        return *this;
    }
};

struct Converted {
    bool ok = false;
    std::string text;
    Lines messages;
};

Converted data9845(const File& f, uint32_t record_bytes, const std::string& name = "DATA1") {
    Converted c;
    c.text = "stale";
    c.ok = data9845_text(f.bytes, record_bytes, name, c.text, c.messages);
    return c;
}
Converted lif_text(const File& f) {
    Converted c;
    c.text = "stale";
    c.ok = lif_text_text(f.bytes, "NOTES", c.text, c.messages);
    return c;
}
Converted hp85(const File& f, uint32_t record_bytes) {
    Converted c;
    c.text = "stale";
    c.ok = hp85_data_text(f.bytes, record_bytes, "LIST", c.text, c.messages);
    return c;
}

} // namespace

TEST(Data9845Text, SplitStringPadByteAndIntegerInSmallRecords) {
    // 16-byte logical records (8 words). Record 0: "ABC" with its pad byte,
    // then the first 4 characters of a split string; record 1: its last piece,
    // an integer and the end mark. Record 2 is never read.
    File f;
    f.b({0x00, 0x3C, 0x00, 0x03}).s("ABC").b({0x01});
    f.b({0x00, 0x1C, 0x00, 0x0A}).s("SPLI");
    f.b({0x00, 0x2C, 0x00, 0x06}).s("T\x89HERE").b({0x00, 0x0A, 0xFF, 0xFA, 0x00, 0x3E});
    f.b({0x41, 0x42}).fill_to(16, 0x99);
    const Converted c = data9845(f, 16);
    EXPECT_TRUE(c.ok);
    EXPECT_EQ(c.text, "ABC\r\nSPLIT HERE\r\n-6\r\n");
    EXPECT_EQ(c.messages, Lines{});
}

TEST(Data9845Text, UnusableRecordSizeAndUnknownBytesAsBasiclistReportsThem) {
    // Read as 256-byte records: the unknown bytes lie in record 1, and the
    // split string at its end is never finished.
    File f;
    f.b({0x00, 0x3C, 0x00, 0x02}).s("OK").fill_to(256, 0x0D);
    f.b({0x0D, 0x0D, 'x', 'y', 0x00, 0x1C, 0x00, 0x09}).s("TAIL").fill_to(256, 0x20);
    for (uint32_t size : {0u, 2u, 7u, 32768u}) {
        const Converted c = data9845(f, size, "A\\x01B");
        EXPECT_TRUE(c.ok);
        EXPECT_EQ(c.text, "OK\r\nTAIL" + std::string(244, ' ') + "\r\n") << size;
        EXPECT_EQ(
            c.messages,
            (Lines{"Warning: file \"A\\x01B\": its logical records of " + std::to_string(size) +
                       " bytes cannot hold items; read as 256-byte "
                       "records.\n",
                   "Record 1: 2 unknown bytes from byte offset 258 of \"A\\x01B\" passed "
                   "over\n",
                   "Warning: file \"A\\x01B\": its last line is incomplete: the file ends "
                   "inside it.\n"}));
    }
}

TEST(LifText, OneLinePerRecordAcrossRecordBoundaries) {
    const std::string long_line = std::string(240, 'x') + "\xC1\xC2\xC3";
    File f;
    f.b({0x00, 0x06}).s("10 REM").b({0xFF, 0xFE}); // then an empty record
    f.b({0x00, 0x03}).s("O\tD").b({0x43});         // odd length: a pad byte of any value
    f.b({0x00, 0xF3}).s(long_line).b({0x00});      // runs on into the next 256 bytes
    f.b({0x00, 0x00, 0xFF, 0xFF}).fill_to(256, 0x55);
    const Converted c = lif_text(f);
    EXPECT_TRUE(c.ok);
    EXPECT_EQ(c.text, "10 REM\r\n\r\nO D\r\n" + std::string(240, 'x') + "ABC\r\n\r\n");
    EXPECT_EQ(c.messages, Lines{});

    EXPECT_TRUE(lif_text(File()).ok); // a file of no records: an empty text
    EXPECT_EQ(lif_text(File()).text, "");
    EXPECT_EQ(lif_text(File().b({0xFF, 0xFF})).text, "");
}

TEST(LifText, NotInTheFormatIsRefused) {
    const Lines refusal = {"File \"NOTES\" is not LIF TEXT; use get for its bytes.\n"};
    // A length past the file's end (as on Assembler ROM source disks), a pad
    // byte past it, no end record, half a length word at the end.
    for (const File& f : {File().s("; SOURCE").fill_to(256, 0x20), File().b({0x00, 0x03}).s("ABC"),
                          File().b({0x00, 0x02}).s("AB").b({0x00, 0x00}),
                          File().b({0x00, 0x01, 0x41, 0x00, 0xFF})}) {
        const Converted c = lif_text(f);
        EXPECT_FALSE(c.ok);
        EXPECT_EQ(c.text, "");
        EXPECT_EQ(c.messages, refusal);
    }
}

TEST(Hp85DataText, SplitStringJoinedNumbersCountedFinalCrDropped) {
    // 20-byte logical records. Record 0: a string, a number, the first piece
    // of "SPLIT HERE"; record 1: its rest, a listing line with its own CR, EF;
    // record 2: the end of data; record 3 is never read.
    File f;
    f.b({0xDF, 0x03, 0x00}).s("ABC").b({0x02, 0, 0, 0, 0, 0, 0x80, 0x11});
    f.b({0xCF, 0x0A, 0x00}).s("SPL");
    f.b({0x6F, 0x07, 0x00}).s("IT HERE").b({0xDF, 0x04, 0x00}).s("RUN\r").b({0xEF});
    f.fill_to(20, 0xFF).b({0xDF, 0x00, 0x00, 0xEF}).fill_to(20, 0xFF);
    f.b({0xDF, 0x02, 0x00}).s("NO").fill_to(20, 0xFF);
    const Converted c = hp85(f, 20);
    EXPECT_TRUE(c.ok);
    EXPECT_EQ(c.text, "ABC\r\nSPLIT HERE\r\nRUN\r\n");
    EXPECT_EQ(c.messages,
              Lines{"Warning: file \"LIST\": 1 number passed over; only strings have a text "
                    "form.\n"});
}

TEST(Hp85DataText, DamagedStringsKeepTheirTextAndAreCounted) {
    // A first piece whose record is followed by no continuation, a whole
    // string longer than its record, and a header cut by the record's end.
    File f;
    f.b({0xCF, 0x20, 0x00}).s("FIRST\r").fill_to(9, 0);
    f.b({0xDF, 0x01, 0x00}).s("Z").b({0xDF, 0x09, 0x00}).s("LO");
    f.b({0x0D, 0, 0, 0, 0, 0, 0, 0, 0xDF}); // a number, a header cut by the record's end
    const Converted c = hp85(f, 9);
    EXPECT_TRUE(c.ok);
    EXPECT_EQ(c.text, "FIRST \r\nZ\r\nLO\r\n");
    EXPECT_EQ(c.messages,
              (Lines{"Warning: file \"LIST\": 1 number passed over; only strings have a text "
                     "form.\n",
                     "Warning: file \"LIST\": 3 strings cut short or with a piece missing; "
                     "written as found.\n"}));
}
