// Test-side floppy dumper: lays an HP image onto tracks as the disk holds them, then dumps them.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace physical {

// How a disk was formatted and how the dumping tool wrote its tracks out.
struct Layout {
    uint32_t cylinders = 1, heads = 1, sectors = 1, rec_size = 1;
    uint32_t interleave = 1; // n:1, as the formatter stepped over the slots
    uint32_t cylinder_skew = 0, head_skew = 0;
    uint32_t skew_count = 0;    // tracks skewed, whole cylinders; 0: all
    uint32_t junk = 0;          // bytes the dumper wrote after each track
    uint32_t cylinder_skip = 0; // see dump(): must cover (heads - 1) head skips
    uint32_t head_skip = 0;
};

// The formatter's walk over one track: sector 0 in slot 0, each next sector
// `interleave` slots further round, moving on to the next free slot when that
// one is taken. Returns the sector held in each slot.
inline std::vector<uint32_t> formatted_track(uint32_t sectors, uint32_t interleave) {
    const uint32_t free_slot = UINT32_MAX;
    std::vector<uint32_t> slot_holds(sectors, free_slot);
    uint32_t slot = 0;
    for (uint32_t sector = 0; sector < sectors; ++sector) {
        if (sector > 0) {
            slot = (slot + interleave % sectors) % sectors;
            while (slot_holds[slot] != free_slot)
                slot = (slot + 1) % sectors;
        }
        slot_holds[slot] = sector;
    }
    return slot_holds;
}

// Rotation of a track against track 0: every step to the next head turns the
// track by the head skew, every step to the next cylinder's first head by the
// cylinder skew plus one head skew. Cylinders whose first track lies at or
// beyond skew_count are not turned at all.
inline uint64_t track_rotation(const Layout& d, uint32_t c, uint32_t h) {
    const bool skewed = d.skew_count == 0 || uint64_t(c) * d.heads < d.skew_count;
    if (!skewed)
        return 0;
    return uint64_t(c) * (uint64_t(d.cylinder_skew) + d.head_skew) + uint64_t(h) * d.head_skew;
}

// Writes `count` bytes the dumper left between or after tracks.
inline void filler(std::string& out, uint64_t count, std::mt19937& rng) {
    for (uint64_t i = 0; i < count; ++i)
        out += static_cast<char>(rng() & 0xFF);
}

// The dump as the dumping tool writes it, track after track: before each
// head other than the first `head_skip` filler bytes, then the track's slots
// as they pass under the head (the formatted track turned by its rotation),
// then `junk` filler bytes; after a cylinder's last track the filler that
// makes each cylinder `cylinder_skip` bytes longer than its tracks and head
// gaps. `image` holds the records in HP order (cylinder, head, sector).
inline std::string dump(const std::string& image, const Layout& d, std::mt19937& rng) {
    const std::vector<uint32_t> slot_holds = formatted_track(d.sectors, d.interleave);
    std::string out;
    for (uint32_t c = 0; c < d.cylinders; ++c) {
        for (uint32_t h = 0; h < d.heads; ++h) {
            if (h > 0)
                filler(out, d.head_skip, rng);
            const uint64_t turn = track_rotation(d, c, h) % d.sectors;
            for (uint32_t slot = 0; slot < d.sectors; ++slot) {
                const uint32_t unturned = uint32_t((slot + d.sectors - turn) % d.sectors);
                const uint64_t record =
                    (uint64_t(c) * d.heads + h) * d.sectors + slot_holds[unturned];
                out += image.substr(record * d.rec_size, d.rec_size);
            }
            filler(out, d.junk, rng);
        }
        filler(out, uint64_t(d.cylinder_skip) - uint64_t(d.heads - 1) * d.head_skip, rng);
    }
    return out;
}

// Command-line words that describe `d` to imgconv.
inline std::vector<std::string> options_for(const Layout& d) {
    return {"-c",     std::to_string(d.cylinders),  "-h",     std::to_string(d.heads),
            "-s",     std::to_string(d.sectors),    "-r",     std::to_string(d.rec_size),
            "-i",     std::to_string(d.interleave), "-cs",    std::to_string(d.cylinder_skew),
            "-hs",    std::to_string(d.head_skew),  "-sc",    std::to_string(d.skew_count),
            "-j",     std::to_string(d.junk),       "-cskip", std::to_string(d.cylinder_skip),
            "-hskip", std::to_string(d.head_skip)};
}

// A random layout small enough for hundreds of runs.
inline Layout random_layout(std::mt19937& rng) {
    auto pick = [&rng](uint32_t lo, uint32_t hi) {
        return std::uniform_int_distribution<uint32_t>(lo, hi)(rng);
    };
    Layout d;
    d.cylinders = pick(1, 5);
    d.heads = pick(1, 3);
    d.sectors = pick(1, 5) == 1 ? pick(1, 3) : pick(4, 26);
    d.rec_size = pick(1, 4) == 1 ? pick(1, 8) : pick(36, 96);
    d.interleave = pick(0, d.sectors + 2);
    d.cylinder_skew = pick(0, 2 * d.sectors);
    d.head_skew = pick(0, 2 * d.sectors);
    d.skew_count = pick(0, 2) == 0 ? 0 : pick(1, d.cylinders * d.heads + 1);
    d.junk = pick(0, 2) == 0 ? 0 : pick(1, 40);
    d.head_skip = pick(0, 2) == 0 ? 0 : pick(1, 30);
    d.cylinder_skip = (d.heads - 1) * d.head_skip + (pick(0, 1) ? pick(0, 50) : 0);
    return d;
}

// An image of random records for `d`.
inline std::string random_image(const Layout& d, std::mt19937& rng) {
    std::string image;
    filler(image, uint64_t(d.cylinders) * d.heads * d.sectors * d.rec_size, rng);
    return image;
}

} // namespace physical
