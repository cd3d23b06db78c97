// The record scan on hand-built records: every item, the record's edges and damaged records.
#include "basiclist/record_scan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace basiclist;

namespace {

// A record of filler bytes in a buffer of exactly 256 bytes, so that the
// sanitizer build catches any read past the record.
struct Record {
    std::vector<unsigned char> bytes = std::vector<unsigned char>(kRecordBytes, 0x0D);

    Record& at(size_t pos, std::initializer_list<int> values) {
        for (int v : values)
            bytes.at(pos++) = static_cast<unsigned char>(v);
        return *this;
    }
    Record& text(size_t pos, const std::string& s) {
        for (char c : s)
            bytes.at(pos++) = static_cast<unsigned char>(c);
        return *this;
    }
};

struct Scanned {
    RecordScan scan;
    std::string text;
};

Scanned scan(const Record& r) {
    std::vector<unsigned char> text(kMaxRecordTextBytes, 0xEE);
    Scanned s;
    s.scan = scan_record(r.bytes.data(), kRecordBytes, text.data());
    s.text.assign(text.begin(), text.begin() + static_cast<long>(s.scan.text_length));
    return s;
}

void expect_clean(const Scanned& s) {
    EXPECT_EQ(s.scan.first_unknown, kNoPosition);
    EXPECT_EQ(s.scan.cut_line, kNoPosition);
}

} // namespace

TEST(RecordScan, WorkedExampleFirstRecordLeavesLineOpen) {
    Record r;
    r.at(0, {0x00, 0x3C, 0x00, 0x05}).text(4, "HELLO");
    r.at(10, {0x00, 0x2C, 0x00, 0x03, 0x41, 0x09, 0xC2});
    r.at(17, {0x00, 0x3C, 0x00, 0x00});
    r.at(248, {0x00, 0x1C, 0x00, 0x09}).text(252, "LIST");
    const Scanned s = scan(r);
    EXPECT_EQ(s.scan.end, ScanEnd::finished);
    EXPECT_EQ(s.text, "HELLO\r\nA B\r\n\r\nLIST");
    expect_clean(s);
}

TEST(RecordScan, WorkedExampleSecondRecordEndsAtEndMark) {
    Record r;
    for (auto& b : r.bytes)
        b = 0xFF;
    r.at(0, {0x00, 0x2C, 0x00, 0x02, 0x45, 0xC4, 0x00, 0x3E});
    const Scanned s = scan(r);
    EXPECT_EQ(s.scan.end, ScanEnd::end_mark);
    EXPECT_EQ(s.text, "ED\r\n");
    expect_clean(s);
}

TEST(RecordScan, FillerOnlyRecordWritesNothing) {
    const Scanned s = scan(Record());
    EXPECT_EQ(s.scan.end, ScanEnd::finished);
    EXPECT_EQ(s.text, "");
    expect_clean(s);
}

TEST(RecordScan, EmptyLinesFromBothLineTypes) {
    Record r;
    r.at(0, {0x00, 0x3C, 0x00, 0x00, 0x00, 0x2C, 0x00, 0x00});
    const Scanned s = scan(r);
    EXPECT_EQ(s.text, "\r\n\r\n");
    expect_clean(s);
}

TEST(RecordScan, LineEndingOnLastByteFinishesRecord) {
    Record r;
    r.at(0, {0x00, 0x3C, 0x00, 0xFC}).text(4, std::string(251, 'x') + "Z"); // L = 252
    const Scanned s = scan(r);
    EXPECT_EQ(s.text, std::string(251, 'x') + "Z\r\n");
    EXPECT_EQ(s.scan.end, ScanEnd::finished);
    expect_clean(s);
}

TEST(RecordScan, LastByteAloneIsNeverAnItem) {
    // A line ending at 254 leaves the scan at 255; nothing there counts.
    for (int last : {0x00, 0x0D, 0x41, 0xFF}) {
        Record r;
        r.at(0, {0x00, 0x2C, 0x00, 0xFB}).text(4, std::string(251, 'y')).at(255, {last});
        const Scanned s = scan(r);
        EXPECT_EQ(s.text, std::string(251, 'y') + "\r\n") << "last byte " << last;
        expect_clean(s);
        Record filler;
        filler.at(255, {last});
        EXPECT_EQ(scan(filler).text, "");
        expect_clean(scan(filler));
    }
}

TEST(RecordScan, RecordTailMarksNearTheEnd) {
    // From 251 the tail holds only byte 255; from 252 on it is empty.
    const std::pair<size_t, std::string> cases[] = {
        {250, "BA"}, {251, "A"}, {252, ""}, {253, ""}, {254, ""}};
    for (const auto& [pos, want] : cases)
        for (int type : {0x1C, 0x0C}) {
            Record r;
            r.at(254, {0xC2, 0xC1}).at(pos, {0x00, type});
            const Scanned s = scan(r);
            EXPECT_EQ(s.text, want) << "tail mark " << type << " at " << pos;
            EXPECT_EQ(s.scan.end, ScanEnd::finished);
            expect_clean(s);
        }
}

TEST(RecordScan, MarksStartingAt254AreRecognised) {
    Record end_of_record;
    end_of_record.at(254, {0x00, 0x1E});
    expect_clean(scan(end_of_record));
    EXPECT_EQ(scan(end_of_record).scan.end, ScanEnd::finished);

    Record end;
    end.at(254, {0x00, 0x3E});
    EXPECT_EQ(scan(end).scan.end, ScanEnd::end_mark);
    expect_clean(scan(end));
}

TEST(RecordScan, EndOfRecordMarkHidesTheRest) {
    Record r;
    r.at(0, {0x00, 0x1E, 0x00, 0x3C, 0x00, 0x01, 0x41, 0x00, 0x3E});
    const Scanned s = scan(r);
    EXPECT_EQ(s.scan.end, ScanEnd::finished);
    EXPECT_EQ(s.text, "");
}

TEST(RecordScan, TextBytesAreCutToSevenBitsWithControlCodesAsSpaces) {
    Record r;
    r.at(0, {0x00, 0x3C, 0x00, 0x0C, 0x09, 0xC2, 0x7F, 0xFF, 0x00, 0x1F, 0x20, 0x80, 0x9F, 0xA0,
             0x0D, 0x0A});
    EXPECT_EQ(scan(r).text, " B\x7F\x7F" + std::string(8, ' ') + "\r\n");
    for (int b = 0; b < 256; ++b) {
        const int want = b < 0x20 || (b >= 0x80 && b < 0xA0) ? 0x20 : b & 0x7F;
        EXPECT_EQ(convert_text_byte(static_cast<unsigned char>(b)), want) << "byte " << b;
    }
    // Every byte value at every position of a long text, so that text taken
    // in larger steps converts each byte alike.
    for (int shift = 0; shift < 8; ++shift) {
        Record tail;
        tail.at(0, {0x00, 0x1C, 0x00, 0x00});
        std::string want;
        for (size_t q = 4; q < kRecordBytes; ++q) {
            const auto b = static_cast<unsigned char>((q * 37 + static_cast<size_t>(shift)) & 0xFF);
            tail.bytes[q] = b;
            want += static_cast<char>(convert_text_byte(b));
        }
        EXPECT_EQ(scan(tail).text, want) << "shift " << shift;
    }
}

TEST(RecordScan, UnknownBytesArePassedOverOneAtATime) {
    Record r;
    r.at(3, {0x41, 0x00, 0x55});                      // garbage, then a mark of unknown type
    r.at(6, {0x00, 0x3C, 0x00, 0x02}).text(10, "OK"); // still listed
    r.at(20, {0x00, 0x00, 0x2C, 0x00, 0x01, 0x42});   // 00 00: the second 00 starts a line
    const Scanned s = scan(r);
    EXPECT_EQ(s.text, "OK\r\nB\r\n");
    EXPECT_EQ(s.scan.first_unknown, 3u);
    EXPECT_EQ(s.scan.cut_line, kNoPosition);

    Record garbage;
    for (auto& b : garbage.bytes)
        b = 0xFF;
    const Scanned g = scan(garbage);
    EXPECT_EQ(g.text, "");
    EXPECT_EQ(g.scan.first_unknown, 0u);
    EXPECT_EQ(g.scan.end, ScanEnd::finished);
}

TEST(RecordScan, OverlongLineIsCutAtRecordEnd) {
    Record r;
    r.at(0, {0x00, 0x3C, 0x00, 0x01, 0x41});
    r.at(200, {0x00, 0x2C, 0x00, 0x35}).text(204, std::string(52, 'c')); // L = 53, room 52
    const Scanned s = scan(r);
    EXPECT_EQ(s.text, "A\r\n" + std::string(52, 'c') + "\r\n");
    EXPECT_EQ(s.scan.cut_line, 200u);
    EXPECT_EQ(s.scan.first_unknown, kNoPosition);
    EXPECT_EQ(s.scan.end, ScanEnd::finished);

    Record longest;
    longest.at(0, {0x00, 0x3C, 0xFF, 0xFF}).text(4, std::string(252, 'L'));
    EXPECT_EQ(scan(longest).text, std::string(252, 'L') + "\r\n");
    EXPECT_EQ(scan(longest).scan.cut_line, 0u);
}

TEST(RecordScan, LineMarkWhoseLengthLiesPastTheRecord) {
    for (size_t pos : {253u, 254u}) {
        Record r;
        r.at(pos, {0x00, 0x3C});
        const Scanned s = scan(r);
        EXPECT_EQ(s.text, "\r\n") << "line mark at " << pos;
        EXPECT_EQ(s.scan.cut_line, pos);
    }
    Record fits; // at 252 with L = 0 the item ends exactly at the record's end
    fits.at(252, {0x00, 0x3C, 0x00, 0x00});
    EXPECT_EQ(scan(fits).text, "\r\n");
    expect_clean(scan(fits));
}

TEST(RecordScan, PadByteAfterOddLengthLineIsPassedOverSilently) {
    // Pads of any value at the odd positions 5 and 15; at 25 an item, not a pad;
    // after an odd-length line at an odd position (27) the next byte is no pad.
    Record r;
    r.at(0, {0x00, 0x3C, 0x00, 0x01, 'A', 0x00});
    r.at(6, {0x00, 0x2C, 0x00, 0x05}).text(10, "BCDEF").at(15, {0x43});
    r.at(16, {0x00, 0x3C, 0x00, 0x05}).text(20, "GHIJK");
    r.at(25, {0x00, 0x3C, 0x00, 0x01, 'L', 0x99});
    const Scanned s = scan(r);
    EXPECT_EQ(s.text, "A\r\nBCDEF\r\nGHIJK\r\nL\r\n");
    EXPECT_EQ(s.scan.first_unknown, 30u);
    ASSERT_EQ(s.scan.unknown_runs.size(), 1u);
    EXPECT_EQ(s.scan.unknown_runs[0].length, 1u);
}

TEST(RecordScan, IntegerItemsInDecimalOnLinesOfTheirOwn) {
    Record r;
    r.at(0, {0x00, 0x0A, 0x00, 0x00, 0x00, 0x0A, 0x02, 0x59, 0x00, 0x0A, 0xFF, 0xFA});
    r.at(12, {0x00, 0x0A, 0x7F, 0xFF, 0x00, 0x0A, 0x80, 0x00});
    r.at(253, {0x00, 0x0A, 0x01}); // its word would end past the record: not an item
    const Scanned s = scan(r);
    EXPECT_EQ(s.text, "0\r\n601\r\n-6\r\n32767\r\n-32768\r\n");
    EXPECT_EQ(s.scan.first_unknown, 253u);
    EXPECT_EQ(s.scan.end, ScanEnd::finished);
}
