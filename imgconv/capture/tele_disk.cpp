// Reading a TeleDisk capture: image header, comment, tracks with their sectors, end marker.
#include "imgconv/capture/tele_disk.h"

#include <cstdio>

namespace imgconv {

namespace {

// Image header fields (byte offsets).
constexpr size_t kSequenceAt = 2;
constexpr size_t kVersionAt = 4;
constexpr size_t kSteppingAt = 7;
constexpr size_t kDosFlagAt = 8;
constexpr size_t kHeaderCrcAt = 10;
constexpr uint8_t kCommentPresent = 0x80; // in the stepping byte

// Versions are major * 10 + minor. Below 20 an advanced file holds LZW
// blocks, from 20 on an LZHUF stream. TeleDisk wrote 1.0 to 2.1.
constexpr unsigned kFirstLzhufVersion = 20;
constexpr unsigned kLowestKnownVersion = 10;
constexpr unsigned kHighestKnownVersion = 21;

constexpr size_t kCommentHeaderBytes = 10; // CRC, text length, date and time
constexpr size_t kCommentCrcFrom = 2;      // the CRC covers the rest of the header and the text
constexpr size_t kTrackHeaderBytes = 4;    // sectors, cylinder, head, CRC
constexpr size_t kTrackCrcBytes = 3;
constexpr size_t kSectorHeaderBytes = 6; // C, H, R, N, flags, CRC
constexpr size_t kSectorCrcBytes = 5;    // what the CRC covers when no data follows
constexpr size_t kBlockLengthBytes = 2;
constexpr uint8_t kEndMarker = 0xFF; // in place of a track's sector count

constexpr uint8_t kFlagDataError = 0x02;
constexpr uint8_t kFlagNoDataMask = 0x30;     // skipped as DOS-unallocated, or ID without data
constexpr uint8_t kFlagNoIdField = 0x40;      // data without an ID: TeleDisk made the ID up
constexpr uint8_t kSizeCodeNoDataMask = 0xF8; // size codes 8 and up carry no data
constexpr uint32_t kSmallestSectorBytes = 128;

enum Encoding : uint8_t { kRaw = 0, kRepeatedPair = 1, kFragments = 2 };
constexpr size_t kPairEntryBytes = 4;         // count (2 bytes) and the two bytes
constexpr unsigned kLongestPatternPower = 14; // 2^14 bytes: no sector is larger

uint16_t le16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

// Expands one data block's encoded bytes into exactly `size` bytes, or says
// what is wrong with them.
bool expand_block(uint8_t encoding, const unsigned char* in, size_t length, size_t size,
                  std::vector<unsigned char>& out, std::string& what) {
    out.clear();
    out.reserve(size);
    switch (encoding) {
    case kRaw:
        out.assign(in, in + length);
        break;
    case kRepeatedPair:
        if (length % kPairEntryBytes != 0) {
            what = "repeated-pair data block of " + std::to_string(length) +
                   " bytes is not a whole number of entries";
            return false;
        }
        for (size_t i = 0; i < length; i += kPairEntryBytes) {
            const size_t count = le16(in + i);
            if (count * 2 > size - out.size()) {
                what = "data block expands past its sector's " + std::to_string(size) + " bytes";
                return false;
            }
            const size_t from = out.size();
            out.resize(from + count * 2);
            for (size_t k = from; k < out.size(); k += 2) {
                out[k] = in[i + 2];
                out[k + 1] = in[i + 3];
            }
        }
        break;
    case kFragments:
        for (size_t i = 0; i < length;) {
            if (length - i < 2) {
                what = "data block ends inside a fragment";
                return false;
            }
            const unsigned kind = in[i];
            const size_t count = in[i + 1];
            i += 2;
            // Kind 0 is `count` literal bytes; kind k a 2^k-byte pattern repeated `count` times.
            if (kind > kLongestPatternPower) {
                what = "data block expands past its sector's " + std::to_string(size) + " bytes";
                return false;
            }
            const size_t pattern = kind == 0 ? count : size_t{1} << kind;
            const size_t repeats = kind == 0 ? 1 : count;
            if (pattern * repeats > size - out.size()) {
                what = "data block expands past its sector's " + std::to_string(size) + " bytes";
                return false;
            }
            if (length - i < pattern) {
                what = "data block ends inside a fragment";
                return false;
            }
            for (size_t k = 0; k < repeats; ++k)
                out.insert(out.end(), in + i, in + i + pattern);
            i += pattern;
        }
        break;
    default:
        what = "unknown data encoding " + std::to_string(encoding);
        return false;
    }
    if (out.size() != size) {
        what = "data block expands to " + std::to_string(out.size()) + " bytes, not its sector's " +
               std::to_string(size);
        return false;
    }
    return true;
}

// The comment as lines ended by '\n': TeleDisk ends each line with a NUL and
// pads with more. Control characters (which a console would act upon) show as '.'.
std::string comment_text(const unsigned char* p, size_t length) {
    std::string text;
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = p[i];
        if (c == 0 || c == '\n')
            text += '\n';
        else if (c == '\r' && (i + 1 == length || p[i + 1] == 0 || p[i + 1] == '\n'))
            continue;
        else if ((c < 0x20 && c != '\t') || c == 0x7F)
            text += '.';
        else
            text += static_cast<char>(c);
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ' || text.back() == '\t'))
        text.pop_back();
    if (!text.empty())
        text += '\n';
    return text;
}

std::string format_warning(const char* format, unsigned long a, unsigned long b = 0,
                           unsigned long c = 0, unsigned long d = 0, unsigned long e = 0) {
    char line[256];
    std::snprintf(line, sizeof line, format, a, b, c, d, e);
    return line;
}

// Walks the body of a capture: the bytes after the header of a normal file,
// or the decoded stream of an advanced one.
class BodyReader {
  public:
    BodyReader(const unsigned char* data, size_t length, const DecodedStream* decoded,
               Capture& capture, CaptureError& error)
        : data_(data), length_(length), decoded_(decoded), capture_(capture), error_(error) {}

    bool read(bool with_comment) {
        if (with_comment && !read_comment())
            return false;
        for (;;) {
            const size_t at = pos_;
            if (!need(1, "before the end marker", at))
                return false;
            if (data_[pos_] == kEndMarker)
                return true;
            if (!need(kTrackHeaderBytes, "inside a track header", at) || !read_track())
                return false;
        }
    }

  private:
    // Is the body long enough for `n` more bytes of the record that starts at `at`?
    bool need(size_t n, const char* where, size_t at) {
        if (length_ - pos_ >= n)
            return true;
        if (decoded_ && !decoded_->stop_reason.empty()) {
            // The decoder stopped early: that, not the stream's end, is the fault.
            error_ = {decoded_->stop_reason, kTeleDiskHeaderBytes + decoded_->stop_offset, false};
            return false;
        }
        return fail(std::string(decoded_ ? "decoded stream ends " : "ends ") + where, at);
    }

    bool fail(std::string what, size_t at) {
        error_ = {std::move(what), offset(at), decoded_ != nullptr};
        return false;
    }

    // A normal file's records are named by their file offset; an advanced
    // file's by their place in the decoded stream, whose byte 0 is the first
    // one after the header (byte 12 of the normal twin).
    uint64_t offset(size_t at) const { return decoded_ ? at : kTeleDiskHeaderBytes + at; }

    // Counts the memory a record adds to the capture against the limit.
    bool spend(size_t bytes, size_t at) {
        if (budget_.spend(bytes))
            return true;
        return fail(CaptureBudget::exceeded_text(), at);
    }

    // Keeps a warning line; it counts against the limit like a sector.
    bool keep_warning(std::string line, size_t at) {
        if (!spend(warning_cost(line), at))
            return false;
        capture_.warnings.push_back(std::move(line));
        return true;
    }

    bool read_comment() {
        const size_t at = pos_;
        if (!need(kCommentHeaderBytes, "inside the comment", at))
            return false;
        const unsigned char* head = data_ + pos_;
        const size_t length = le16(head + 2);
        if (!need(kCommentHeaderBytes + length, "inside the comment", at))
            return false;
        uint16_t crc = tele_disk_crc(head + kCommentCrcFrom, kCommentHeaderBytes - kCommentCrcFrom);
        crc = tele_disk_crc(head + kCommentHeaderBytes, length, crc);
        if (crc != le16(head))
            if (!keep_warning(
                    "Warning: the capture's CRC of the comment does not match; read as it "
                    "stands.\n",
                    at))
                return false;
        capture_.comment = comment_text(head + kCommentHeaderBytes, length);
        pos_ += kCommentHeaderBytes + length;
        return true;
    }

    bool read_track() {
        const size_t at = pos_;
        const unsigned char* head = data_ + pos_;
        if (!spend(sizeof(CaptureTrack), at))
            return false;
        CaptureTrack track;
        const unsigned sectors = head[0];
        track.cylinder = head[1];
        track.head = head[2] & 1u;
        if ((tele_disk_crc(head, kTrackCrcBytes) & 0xFF) != head[3])
            if (!keep_warning(format_warning("Warning: the capture's CRC of track %lu head %lu "
                                             "does not match; read as it stands.\n",
                                             track.cylinder, track.head),
                              at))
                return false;
        pos_ += kTrackHeaderBytes;
        track.sectors.reserve(sectors);
        for (unsigned k = 0; k < sectors; ++k) {
            track.sectors.emplace_back();
            if (!read_sector(track, track.sectors.back()))
                return false;
        }
        capture_.tracks.push_back(std::move(track));
        return true;
    }

    bool read_sector(const CaptureTrack& track, CaptureSector& sector) {
        const size_t at = pos_;
        if (!need(kSectorHeaderBytes, "inside a sector header", at))
            return false;
        const unsigned char* head = data_ + pos_;
        sector.cyl_id = head[0];
        sector.head_id = head[1];
        sector.record = head[2];
        const uint8_t size_code = head[3];
        const uint8_t flags = head[4];
        sector.data_error = (flags & kFlagDataError) != 0;
        sector.no_id_field = (flags & kFlagNoIdField) != 0;
        // No size exists for the codes that carry no data.
        sector.size = (size_code & kSizeCodeNoDataMask) ? 0 : kSmallestSectorBytes << size_code;
        sector.has_data = (flags & kFlagNoDataMask) == 0 && (size_code & kSizeCodeNoDataMask) == 0;
        pos_ += kSectorHeaderBytes;
        if (!spend(sizeof(CaptureSector) + (sector.has_data ? sector.size : 0), at))
            return false;

        uint16_t crc;
        if (sector.has_data) {
            if (!read_data_block(sector))
                return false;
            crc = tele_disk_crc(sector.data.data(), sector.data.size());
        } else {
            crc = tele_disk_crc(head, kSectorCrcBytes);
        }
        if ((crc & 0xFF) != head[5])
            return keep_warning(
                format_warning("Warning: the capture's CRC of record %lu (cylinder ID %lu, head "
                               "ID %lu) on track %lu head %lu does not match; read as it "
                               "stands.\n",
                               sector.record, sector.cyl_id, sector.head_id, track.cylinder,
                               track.head),
                at);
        return true;
    }

    bool read_data_block(CaptureSector& sector) {
        const size_t at = pos_;
        if (!need(kBlockLengthBytes, "inside a data block", at))
            return false;
        const size_t length = le16(data_ + pos_);
        if (length == 0)
            return fail("data block of length 0 has no encoding", at);
        if (!need(kBlockLengthBytes + length, "inside a data block", at))
            return false;
        const unsigned char* block = data_ + pos_ + kBlockLengthBytes;
        std::string what;
        if (!expand_block(block[0], block + 1, length - 1, sector.size, sector.data, what))
            return fail(what, at);
        pos_ += kBlockLengthBytes + length;
        return true;
    }

    const unsigned char* data_;
    size_t length_;
    const DecodedStream* decoded_; // null for a normal file
    Capture& capture_;
    CaptureError& error_;
    size_t pos_ = 0;
    CaptureBudget budget_;
};

} // namespace

bool read_tele_disk(const std::vector<unsigned char>& file, Capture& capture, CaptureError& error) {
    capture = Capture{};
    capture.kind = CaptureKind::tele_disk;
    if (file.size() < kTeleDiskHeaderBytes) {
        error = {"ends inside the header", 0, false};
        return false;
    }
    const unsigned char* header = file.data();
    const bool normal = header[0] == 'T' && header[1] == 'D';
    const bool advanced = header[0] == 't' && header[1] == 'd';
    if (!normal && !advanced) {
        error = {"not a TeleDisk capture (no \"TD\" or \"td\" at its start)", 0, false};
        return false;
    }
    if (tele_disk_crc(header, kHeaderCrcAt) != le16(header + kHeaderCrcAt)) {
        error = {"header CRC does not match", kHeaderCrcAt, false};
        return false;
    }
    if (header[kSequenceAt] != 0) {
        error = {"is volume " + std::to_string(header[kSequenceAt] + 1u) +
                     " of a multi-volume set, which cannot be read",
                 kSequenceAt, false};
        return false;
    }
    const unsigned version = header[kVersionAt];
    capture.version = std::to_string(version / 10) + "." + std::to_string(version % 10);
    if (version < kLowestKnownVersion || version > kHighestKnownVersion)
        capture.warnings.push_back(format_warning(
            "Warning: the capture names TeleDisk version %lu.%lu, which is not known; read as it "
            "stands.\n",
            version / 10, version % 10));
    capture.dos_allocated_only = header[kDosFlagAt] != 0;
    const bool with_comment = (header[kSteppingAt] & kCommentPresent) != 0;

    const unsigned char* body = file.data() + kTeleDiskHeaderBytes;
    const size_t body_length = file.size() - kTeleDiskHeaderBytes;
    if (normal) {
        capture.compression = "none";
        return BodyReader(body, body_length, nullptr, capture, error).read(with_comment);
    }
    const bool lzhuf = version >= kFirstLzhufVersion;
    capture.compression = lzhuf ? "LZHUF (advanced)" : "LZW (old advanced)";
    const DecodedStream decoded =
        lzhuf ? decode_lzhuf(body, body_length) : decode_old_lzw(body, body_length);
    return BodyReader(decoded.bytes.data(), decoded.bytes.size(), &decoded, capture, error)
        .read(with_comment);
}

} // namespace imgconv
