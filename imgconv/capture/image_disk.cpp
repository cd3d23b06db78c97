// Reads ImageDisk captures: the header text and comment, then track records to the end.
#include "imgconv/capture/image_disk.h"

#include <cstring>

namespace imgconv {

namespace {

// ImageDisk: a text header and comment ended by the first 0x1A, then track
// records up to the end of the file.
constexpr unsigned char kImdEndOfText = 0x1A;
constexpr size_t kImdTrackHeaderBytes = 5; // mode, cylinder, head byte, count, size code
constexpr unsigned char kImdHeadMask = 0x01;
constexpr unsigned char kImdCylinderMapFlag = 0x80;
constexpr unsigned char kImdHeadMapFlag = 0x40;
constexpr unsigned char kImdLargestSizeCode = 6; // 128 << 6 = 8192 bytes
constexpr unsigned char kImdSizeTable = 0xFF;
constexpr uint32_t kSmallestSectorBytes = 128;
// Sector record types 1..8 read as (type - 1): bit 0 one fill byte, bit 1
// deleted-data mark, bit 2 read with a data error. Type 0: no data.
constexpr unsigned char kImdNoData = 0x00;
constexpr unsigned char kImdLastType = 0x08;
constexpr unsigned kImdCompressedBit = 0x01;
constexpr unsigned kImdDataErrorBit = 0x04;

bool fail(CaptureError& error, std::string what, uint64_t offset) {
    error.what = std::move(what);
    error.offset = offset;
    error.in_decoded_stream = false;
    return false;
}

// "IMD 1.18: 29/06/2013 ..." gives "1.18": the word after "IMD " up to a colon or blank.
std::string version_of(const std::string& line) {
    std::string v;
    for (size_t i = 4; i < line.size() && line[i] != ':' && line[i] != ' '; ++i)
        v += line[i];
    return v;
}

// The comment's CR LF (or lone CR) line ends become '\n'; a last line without
// an end gets one.
std::string comment_of(const unsigned char* text, size_t length) {
    std::string c;
    for (size_t i = 0; i < length; ++i) {
        if (text[i] == '\r') {
            c += '\n';
            if (i + 1 < length && text[i + 1] == '\n')
                ++i;
        } else {
            c += static_cast<char>(text[i]);
        }
    }
    if (!c.empty() && c.back() != '\n')
        c += '\n';
    return c;
}

} // namespace

bool read_image_disk(const std::vector<unsigned char>& file, Capture& capture,
                     CaptureError& error) {
    capture = Capture();
    capture.kind = CaptureKind::image_disk;
    capture.compression = "none";
    const unsigned char* const bytes = file.data();
    const size_t size = file.size();
    const void* end_of_text = size > 0 ? std::memchr(bytes, kImdEndOfText, size) : nullptr;
    if (!end_of_text)
        return fail(error, "the file ends inside the header text (no 0x1A byte ends it)", size);
    const size_t text_bytes =
        static_cast<size_t>(static_cast<const unsigned char*>(end_of_text) - bytes);
    size_t line_end = 0;
    while (line_end < text_bytes && bytes[line_end] != '\r' && bytes[line_end] != '\n')
        ++line_end;
    capture.version = version_of(std::string(reinterpret_cast<const char*>(bytes), line_end));
    size_t comment_start = line_end;
    if (comment_start < text_bytes && bytes[comment_start] == '\r')
        ++comment_start;
    if (comment_start < text_bytes && bytes[comment_start] == '\n')
        ++comment_start;
    capture.comment = comment_of(bytes + comment_start, text_bytes - comment_start);

    // A single fill byte expands to a whole sector, and a sector without data
    // still takes its bookkeeping: both count against the capture's limit.
    CaptureBudget budget;
    size_t pos = text_bytes + 1;
    while (pos < size) {
        const size_t track_start = pos;
        if (size - pos < kImdTrackHeaderBytes)
            return fail(error, "the file ends inside a track header", track_start);
        const unsigned char head_byte = bytes[pos + 2];
        const size_t count = bytes[pos + 3];
        const unsigned char size_code = bytes[pos + 4];
        CaptureTrack track;
        track.cylinder = bytes[pos + 1];
        track.head = head_byte & kImdHeadMask;
        if (size_code == kImdSizeTable)
            return fail(error,
                        "the track uses a table of sector sizes, an ImageDisk variant that is "
                        "not read",
                        track_start + 4);
        if (size_code > kImdLargestSizeCode)
            return fail(error, "the track's sector size code is not one of 0 to 6",
                        track_start + 4);
        const uint32_t sector_bytes = kSmallestSectorBytes << size_code;
        pos += kImdTrackHeaderBytes;
        const size_t maps = 1 + ((head_byte & kImdCylinderMapFlag) ? 1 : 0) +
                            ((head_byte & kImdHeadMapFlag) ? 1 : 0);
        if (size - pos < maps * count)
            return fail(error, "the file ends inside a track's sector maps", track_start);
        const unsigned char* const record_map = bytes + pos;
        pos += count;
        const unsigned char* cylinder_map = nullptr;
        if (head_byte & kImdCylinderMapFlag) {
            cylinder_map = bytes + pos;
            pos += count;
        }
        const unsigned char* head_map = nullptr;
        if (head_byte & kImdHeadMapFlag) {
            head_map = bytes + pos;
            pos += count;
        }
        if (!budget.spend(sizeof(CaptureTrack) + count * sizeof(CaptureSector)))
            return fail(error, CaptureBudget::exceeded_text(), track_start);
        track.sectors.resize(count);
        for (size_t s = 0; s < count; ++s) {
            CaptureSector& sector = track.sectors[s];
            sector.record = record_map[s];
            sector.cyl_id = cylinder_map ? cylinder_map[s] : track.cylinder;
            sector.head_id = head_map ? head_map[s] : track.head;
            sector.size = sector_bytes;
            if (pos >= size)
                return fail(error, "the file ends before a sector data record", pos);
            const unsigned char type = bytes[pos];
            if (type > kImdLastType)
                return fail(error, "a sector data record has a type above 8", pos);
            if (type == kImdNoData) {
                ++pos;
                continue;
            }
            const unsigned kind = type - 1u;
            const size_t stored = (kind & kImdCompressedBit) ? 1 : sector_bytes;
            if (size - pos - 1 < stored)
                return fail(error, "the file ends inside a sector data record", pos);
            if (!budget.spend(sector_bytes))
                return fail(error, CaptureBudget::exceeded_text(), pos);
            sector.has_data = true;
            sector.data_error = (kind & kImdDataErrorBit) != 0;
            if (kind & kImdCompressedBit)
                sector.data.assign(sector_bytes, bytes[pos + 1]);
            else
                sector.data.assign(bytes + pos + 1, bytes + pos + 1 + sector_bytes);
            pos += 1 + stored;
        }
        capture.tracks.push_back(std::move(track));
    }
    return true;
}

} // namespace imgconv
