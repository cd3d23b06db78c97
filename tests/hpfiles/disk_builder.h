// Small LIF volumes and HP 9845 disks built in memory, every directory field settable.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace hpfiles_test {

using Bytes = std::vector<unsigned char>;

constexpr uint32_t kDiskRecordBytes = 256;

inline void put_be16(Bytes& b, size_t at, uint32_t v) {
    b.at(at) = static_cast<unsigned char>(v >> 8);
    b.at(at + 1) = static_cast<unsigned char>(v);
}
inline void put_be32(Bytes& b, size_t at, uint32_t v) {
    put_be16(b, at, v >> 16);
    put_be16(b, at + 2, v & 0xFFFF);
}
inline void put_le16(Bytes& b, size_t at, uint32_t v) {
    b.at(at) = static_cast<unsigned char>(v);
    b.at(at + 1) = static_cast<unsigned char>(v >> 8);
}
// `text` into b from `at`, cut or padded with `pad` to `width` bytes.
inline void put_text(Bytes& b, size_t at, const std::string& text, size_t width,
                     unsigned char pad) {
    for (size_t i = 0; i < width; ++i)
        b.at(at + i) = i < text.size() ? static_cast<unsigned char>(text[i]) : pad;
}

// Six date bytes as the directory stores them (BCD when built with bcd_date).
using DateBytes = std::array<unsigned char, 6>;

inline unsigned char bcd(int v) {
    return static_cast<unsigned char>((v / 10) << 4 | (v % 10));
}
inline DateBytes bcd_date(int yy, int mo, int dd, int hh, int mi, int ss) {
    return {bcd(yy), bcd(mo), bcd(dd), bcd(hh), bcd(mi), bcd(ss)};
}

// Bytes laid down at a record after the directory is built (file contents, or
// anything a test wants to damage).
struct Patch {
    size_t offset = 0;
    Bytes bytes;
};

// ---------------------------------------------------------------- LIF

// One 32-byte LIF directory entry.
struct LifEntry {
    std::string name;   // padded with blanks to 10 bytes
    uint16_t type = 1;  // 0 = purged, 0xFFFF = end mark
    uint32_t start = 0; // first record
    uint32_t records = 0;
    DateBytes date{};
    uint16_t volume = 0x8001;
    std::array<unsigned char, 4> extra{}; // bytes 28-31

    // HP-85/86/87: byte count (28-29) and logical record length (30-31), little-endian.
    LifEntry& hp85(uint32_t byte_count, uint32_t record_length) {
        extra = {static_cast<unsigned char>(byte_count),
                 static_cast<unsigned char>(byte_count >> 8),
                 static_cast<unsigned char>(record_length),
                 static_cast<unsigned char>(record_length >> 8)};
        return *this;
    }
};

class LifDisk {
  public:
    // An image of `image_records` records, zero-filled.
    explicit LifDisk(uint32_t image_records) : image_records_(image_records) {}

    LifDisk& label(std::string l) { return set(label_, std::move(l)); }
    LifDisk& directory(uint32_t start, uint32_t records) {
        dir_start_ = start;
        dir_records_ = records;
        return *this;
    }
    LifDisk& version(uint16_t v) { return set(version_, v); }
    LifDisk& geometry(uint32_t tracks, uint32_t surfaces, uint32_t sectors) {
        geometry_ = {tracks, surfaces, sectors};
        return *this;
    }
    LifDisk& date(DateBytes d) { return set(date_, d); }
    LifDisk& entry(LifEntry e) {
        entries_.push_back(std::move(e));
        return *this;
    }
    // Without an end mark the entries are followed by whatever the directory holds (zeros).
    LifDisk& end_mark(bool on) { return set(end_mark_, on); }
    // File bytes (or any bytes) from the start of `record`.
    LifDisk& bytes_at(uint32_t record, Bytes b) {
        patches_.push_back({size_t{record} * kDiskRecordBytes, std::move(b)});
        return *this;
    }
    LifDisk& bytes_at_offset(size_t offset, Bytes b) {
        patches_.push_back({offset, std::move(b)});
        return *this;
    }

    Bytes image() const {
        Bytes img(size_t{image_records_} * kDiskRecordBytes, 0);
        if (img.size() < kDiskRecordBytes)
            img.resize(kDiskRecordBytes);
        put_be16(img, 0, 0x8000);
        put_text(img, 2, label_, 6, ' ');
        put_be32(img, 8, dir_start_);
        put_be16(img, 12, 0x1000);
        put_be32(img, 16, dir_records_);
        put_be16(img, 20, version_);
        put_be32(img, 24, geometry_[0]);
        put_be32(img, 28, geometry_[1]);
        put_be32(img, 32, geometry_[2]);
        for (size_t i = 0; i < 6; ++i)
            img.at(36 + i) = date_[i];
        size_t at = size_t{dir_start_} * kDiskRecordBytes;
        auto room = [&](size_t n) { return at + n <= img.size(); };
        for (const LifEntry& e : entries_) {
            if (!room(32))
                break;
            put_text(img, at, e.name, 10, ' ');
            put_be16(img, at + 10, e.type);
            put_be32(img, at + 12, e.start);
            put_be32(img, at + 16, e.records);
            for (size_t i = 0; i < 6; ++i)
                img.at(at + 20 + i) = e.date[i];
            put_be16(img, at + 26, e.volume);
            for (size_t i = 0; i < 4; ++i)
                img.at(at + 28 + i) = e.extra[i];
            at += 32;
        }
        if (end_mark_ && room(32))
            put_be16(img, at + 10, 0xFFFF);
        for (const Patch& p : patches_) {
            if (img.size() < p.offset + p.bytes.size())
                img.resize(p.offset + p.bytes.size());
            std::copy(p.bytes.begin(), p.bytes.end(), img.begin() + static_cast<long>(p.offset));
        }
        return img;
    }

  private:
    template <class T, class V> LifDisk& set(T& field, V v) {
        field = std::move(v);
        return *this;
    }
    uint32_t image_records_;
    std::string label_ = "HPKIT";
    uint32_t dir_start_ = 2;
    uint32_t dir_records_ = 1;
    uint16_t version_ = 1;
    std::array<uint32_t, 3> geometry_{};
    DateBytes date_{};
    std::vector<LifEntry> entries_;
    bool end_mark_ = true;
    std::vector<Patch> patches_;
};

// ---------------------------------------------------------------- HP 9845

// One 16-byte 9845 directory entry.
struct Hp9845Entry {
    std::string name; // padded with NUL to 6 bytes
    uint16_t start = 0;
    uint16_t records = 0;
    uint16_t words_per_record = 128;
    uint16_t type_word = 0x2400; // DATA with system flags 1
    uint16_t protection = 0;
};

// Type words as the 9845 writes them: system flags in bits 15-13, type code in bits 12-7.
inline uint16_t hp9845_type_word(unsigned flags, unsigned code) {
    return static_cast<uint16_t>((flags & 7) << 13 | (code & 0x3F) << 7);
}

// A small 9845 disk. Defaults: 8 records per track, 2 system and 6 data tracks
// (64 records, data area 16..63), directory at records 1-2, free table at record 3,
// spare track 1 (spare copy at records 9-11), interleave 7.
class Hp9845Disk {
  public:
    Hp9845Disk() = default;

    // System record word 0..9 (see the setters below for the usual ones).
    Hp9845Disk& word(size_t index, uint16_t v) {
        words_.at(index) = v;
        return *this;
    }
    Hp9845Disk& geometry(uint16_t sectors_per_track, uint16_t system_tracks, uint16_t data_tracks) {
        words_[1] = sectors_per_track;
        words_[2] = static_cast<uint16_t>(system_tracks + data_tracks);
        words_[7] = system_tracks;
        words_[8] = data_tracks;
        return *this;
    }
    Hp9845Disk& directory(uint16_t dir_start, uint16_t table_start, uint16_t table_end) {
        words_[4] = dir_start;
        words_[5] = table_start;
        words_[6] = table_end;
        return *this;
    }
    Hp9845Disk& entry(Hp9845Entry e) {
        entries_.push_back(std::move(e));
        return *this;
    }
    // A 16-byte slot with bytes 0-1 zero (skipped by readers).
    Hp9845Disk& free_slot() {
        entries_.push_back(Hp9845Entry{"", 0, 0, 0, 0, 0});
        return *this;
    }
    Hp9845Disk& end_mark(bool on) {
        end_mark_ = on;
        return *this;
    }
    // One (first record, number of records) pair of the availability table.
    Hp9845Disk& free_extent(uint16_t start, uint16_t records) {
        free_.push_back({start, records});
        return *this;
    }
    Hp9845Disk& table_end_mark(bool on) {
        table_end_mark_ = on;
        return *this;
    }
    // Write the directory and the table a second time on the spare track (default on).
    Hp9845Disk& spare_copy(bool on) {
        spare_copy_ = on;
        return *this;
    }
    // Image size in records; 0 (default) = exactly the disk's tracks.
    Hp9845Disk& image_records(uint32_t n) {
        image_records_ = n;
        return *this;
    }
    Hp9845Disk& bytes_at(uint32_t record, Bytes b) {
        patches_.push_back({size_t{record} * kDiskRecordBytes, std::move(b)});
        return *this;
    }
    Hp9845Disk& bytes_at_offset(size_t offset, Bytes b) {
        patches_.push_back({offset, std::move(b)});
        return *this;
    }

    Bytes image() const {
        const size_t records =
            image_records_ ? image_records_ : size_t{words_[1]} * size_t{words_[2]};
        Bytes img(records * kDiskRecordBytes, 0);
        if (img.size() < kDiskRecordBytes)
            img.resize(kDiskRecordBytes);
        for (size_t i = 0; i < words_.size(); ++i)
            put_be16(img, 2 * i, words_[i]);
        const size_t dir = size_t{words_[4]} * kDiskRecordBytes;
        const size_t dir_end = size_t{words_[5]} * kDiskRecordBytes;
        size_t at = dir;
        for (size_t i = 0; i < entries_.size() && at + 16 <= dir_end && at + 16 <= img.size();
             ++i, at += 16) {
            const Hp9845Entry& e = entries_[i];
            put_text(img, at, e.name, 6, 0);
            put_be16(img, at + 6, e.start);
            put_be16(img, at + 8, e.records);
            put_be16(img, at + 10, e.words_per_record);
            put_be16(img, at + 12, e.type_word);
            put_be16(img, at + 14, e.protection);
        }
        if (end_mark_ && at + 16 <= dir_end && at + 16 <= img.size())
            put_be16(img, at + 2, 0xFFFF);
        at = dir_end;
        const size_t table_end = size_t{words_[6]} * kDiskRecordBytes;
        for (const auto& f : free_) {
            if (at + 4 > table_end || at + 4 > img.size())
                break;
            put_be16(img, at, f.first);
            put_be16(img, at + 2, f.second);
            at += 4;
        }
        if (table_end_mark_ && at + 4 <= table_end && at + 4 <= img.size())
            put_be16(img, at, 0xFFFF);
        if (spare_copy_) {
            const size_t spare = (size_t{words_[3]} * words_[1] + words_[4]) * kDiskRecordBytes;
            if (table_end > dir && spare + (table_end - dir) <= img.size())
                std::copy(img.begin() + static_cast<long>(dir),
                          img.begin() + static_cast<long>(table_end),
                          img.begin() + static_cast<long>(spare));
        }
        for (const Patch& p : patches_) {
            if (img.size() < p.offset + p.bytes.size())
                img.resize(p.offset + p.bytes.size());
            std::copy(p.bytes.begin(), p.bytes.end(), img.begin() + static_cast<long>(p.offset));
        }
        return img;
    }

  private:
    std::array<uint16_t, 10> words_{0x0500, 8, 8, 1, 1, 3, 4, 2, 6, 7};
    std::vector<Hp9845Entry> entries_;
    bool end_mark_ = true;
    std::vector<std::pair<uint16_t, uint16_t>> free_;
    bool table_end_mark_ = true;
    bool spare_copy_ = true;
    uint32_t image_records_ = 0;
    std::vector<Patch> patches_;
};

} // namespace hpfiles_test
