// Writes basic_example.bas: a small HP 9845 BASIC program as 256-byte records of items.
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr size_t kRecordBytes = 256; // bytes per record
constexpr size_t kHeaderBytes = 4;   // mark, type and 16-bit word before an item's text
constexpr size_t kMinSplitText = 8;  // a line is split only if this much of it fits

constexpr unsigned char kFiller = 0x0D;
constexpr unsigned char kMark = 0x00;
constexpr unsigned char kLineItem = 0x3C;
constexpr unsigned char kContinuedLine = 0x2C; // a line's last part after a split
constexpr unsigned char kTailItem = 0x1C;
constexpr unsigned char kEndOfRecord = 0x1E;
constexpr unsigned char kEndMark = 0x3E;

const char* const kProgram[] = {
    "10 REM  HP 9845 DEMO PROGRAM",
    "20 PRINTER IS 16",
    "30 PRINT \"HELLO\"",
    "40 DIM A(20),Name$[30]",
    "50 Name$=\"HP 9845B\"",
    "60 FOR I=1 TO 20",
    "70   A(I)=I^2",
    "80 NEXT I",
    "90 PRINT \"SQUARES OF 1 TO 20 ON THE \";Name$",
    "100 FOR I=1 TO 20",
    "110   PRINT USING \"3D,2X,5D\";I,A(I)",
    "120 NEXT I",
    "130 GOSUB 500",
    "140 INPUT \"ANOTHER RUN (Y/N)?\",R$",
    "150 IF R$=\"Y\" THEN 60",
    "160 PRINT \"THE TABLE ABOVE WAS COMPUTED BY A LOOP OF TWENTY STEPS AND PRINTED WITH "
    "AN IMAGE SPECIFIER; THIS COMMENT LINE IS LONG ENOUGH TO CROSS A RECORD BOUNDARY\"",
    "170 PRINT \"DONE\"",
    "180 STOP",
    "500 REM  SUBROUTINE: SUM OF THE TABLE",
    "510 S=0",
    "520 FOR I=1 TO 20",
    "530   S=S+A(I)",
    "540 NEXT I",
    "550 PRINT \"SUM=\";S",
    "560 RETURN",
    "570 END",
};

struct Writer {
    std::vector<unsigned char> file;
    size_t used = 0; // bytes of the current record

    size_t room() const { return kRecordBytes - used; }
    void put(unsigned char b) {
        file.push_back(b);
        ++used;
    }
    void put_text(const std::string& s) {
        for (char c : s)
            put(static_cast<unsigned char>(c));
    }
    void put_header(unsigned char type, size_t word) {
        put(kMark);
        put(type);
        put(static_cast<unsigned char>(word >> 8));
        put(static_cast<unsigned char>(word & 0xFF));
    }
    // Closes the record with an end-of-record mark and filler bytes.
    void finish_record() {
        if (room() >= 2) {
            put(kMark);
            put(kEndOfRecord);
        }
        while (room() > 0)
            put(kFiller);
        used = 0;
    }
    void add_line(std::string text) {
        unsigned char type = kLineItem;
        while (kHeaderBytes + text.size() > room()) {
            if (room() < kHeaderBytes + kMinSplitText) {
                finish_record();
                continue;
            }
            // The head of the line fills the record; the rest goes on in the next one.
            const size_t head = room() - kHeaderBytes;
            put_header(kTailItem, text.size());
            put_text(text.substr(0, head));
            text.erase(0, head);
            used = 0;
            type = kContinuedLine;
        }
        put_header(type, text.size());
        put_text(text);
    }
};

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    Writer w;
    for (const char* line : kProgram)
        w.add_line(line);
    w.put(kMark);
    w.put(kEndMark);
    while (w.room() > 0)
        w.put(kFiller);

    const std::string path = std::string(argv[1]) + "/basic_example.bas";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(w.file.data(), 1, w.file.size(), f) != w.file.size() ||
        std::fclose(f) != 0) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
    }
    return 0;
}
