// Sectors placed by their IDs: holes, duplicates, data errors, stray IDs and the geometry's
// sources.
#include "imgconv/capture/capture_load.h"
#include "imgconv/capture/placement.h"

#include "capture.h" // CapturedStream
#include "imgconv/dump/lif_probe.h"
#include "imgconv_test_data.h"

#include <gtest/gtest.h>

using namespace imgconv;

namespace {

constexpr uint32_t kBytes = 128;

CaptureSector sector(uint32_t c, uint32_t h, uint32_t r, int fill, bool data_error = false) {
    CaptureSector s;
    s.cyl_id = c;
    s.head_id = h;
    s.record = r;
    s.size = kBytes;
    s.has_data = true;
    s.data_error = data_error;
    s.data.assign(kBytes, static_cast<unsigned char>(fill));
    return s;
}

CaptureTrack track(uint32_t c, uint32_t h, std::vector<CaptureSector> sectors) {
    CaptureTrack t;
    t.cylinder = c;
    t.head = h;
    t.sectors = std::move(sectors);
    return t;
}

// A 2 x 2 x 4 disk (records 1..4) whose LIF header gives `lif_tracks` and 2
// surfaces. Cylinder 0 head 0 holds a data error at record 3, head 1 lacks
// record 3, cylinder 1 head 0 has record 1 first with an error then good, and
// record 2 twice with different data; cylinder 1 head 1 was never found. A
// re-read track brings a stray cylinder 5 and a record 9 twice.
Capture sample_capture(uint32_t lif_tracks) {
    std::string lif(kBytes, '\0');
    lif[0] = '\x80';
    testdata::put_be32(lif, kLifTracksOffset, lif_tracks);
    testdata::put_be32(lif, kLifSurfacesOffset, 2);
    testdata::put_be32(lif, kLifSectorsOffset, 4);
    CaptureSector header = sector(0, 0, 1, 0);
    header.data.assign(lif.begin(), lif.end());
    CaptureSector other_size = sector(0, 0, 7, 0x77);
    other_size.size = 2 * kBytes;
    other_size.data.resize(2 * kBytes);
    CaptureSector no_id = sector(0, 0, 5, 0x55);
    no_id.no_id_field = true;
    CaptureSector no_data = sector(0, 1, 4, 0);
    no_data.has_data = false;
    no_data.data.clear();
    Capture c;
    c.tracks = {
        track(0, 0,
              {sector(0, 0, 3, 0x03, true), no_id, sector(0, 0, 4, 0x04), header,
               sector(0, 0, 2, 0x02), other_size}),
        track(0, 1, {sector(0, 1, 1, 0x11), no_data, sector(0, 1, 2, 0x12), sector(0, 1, 4, 0x14)}),
        track(1, 0,
              {sector(1, 0, 1, 0xEE, true), sector(1, 0, 1, 0x21), sector(1, 0, 2, 0x22),
               sector(1, 0, 3, 0x23), sector(1, 0, 4, 0x24), sector(1, 0, 2, 0x99)}),
        track(1, 1, {}),
        track(2, 0, {sector(5, 0, 1, 0x51), sector(0, 0, 9, 0x09), sector(0, 0, 9, 0x09)}),
    };
    return c;
}

std::string text_of(const Placement& p) {
    CapturedStream out;
    for (const std::string& w : p.warnings)
        std::fputs(w.c_str(), out.get());
    for (const std::string& v : p.verbose)
        std::fputs(v.c_str(), out.get());
    print_placement_warnings(p, out.get());
    return out.text();
}

std::string image_of(const Placement& p) {
    CapturedStream image;
    EXPECT_EQ(write_placement(p, image.get()), 0);
    return image.text();
}

} // namespace

TEST(Placement, SlotsFilledByIdWithEveryHoleNamed) {
    const Capture capture = sample_capture(2);
    const Placement p = place_capture(capture, 0, 0, 0);
    ASSERT_EQ(p.error, "");
    const std::vector<unsigned char>& header = capture.tracks[0].sectors[3].data;
    std::string expected_image(header.begin(), header.end());
    for (int fill : {0x02, 0x03, 0x04, 0x11, 0x12, 0x00, 0x14, 0x21, 0x22, 0x23, 0x24})
        expected_image += std::string(kBytes, static_cast<char>(fill));
    expected_image += std::string(4 * kBytes, '\0');
    EXPECT_EQ(image_of(p), expected_image);
    // Held in memory, for programs that read the image rather than write it.
    const std::vector<unsigned char> in_memory = placement_image(p);
    EXPECT_EQ(std::string(in_memory.begin(), in_memory.end()), expected_image);
    EXPECT_EQ(text_of(p),
              "Records of 128 bytes, IDs 1 to 4 on each track (4 per track, from the LIF header)\n"
              "Geometry: 2 cylinders (from the LIF header), 2 heads (from the LIF header)\n"
              "Not placed: 1 sectors of another size, 1 without data, 1 without an ID field\n"
              "Warning: cylinder 0 head 0 record 3 was read with a data error; written as read.\n"
              "Warning: cylinder 0 head 1 record 3 not found; written as zeros.\n"
              "Warning: cylinder 1 head 0 record 2 was read twice with different data; the first "
              "copy is written.\n"
              "Warning: cylinder 1 head 1: no sector found; written as zeros.\n"
              "Warning: cylinder 0 head 0 record 9 lies outside the image; not written.\n"
              "Warning: cylinder 5 head 0 record 1 lies outside the image; not written.\n"
              "Warning: 5 records written as zeros, 2 sectors not written.\n");
}

TEST(Placement, GeometryFromOptionsLifHeaderOrIds) {
    struct Case {
        uint32_t lif_tracks, sectors, cylinders, heads;
        std::string head; // the lines before the track warnings
        size_t slots;
    };
    const Case cases[] = {
        // Options win, but -s counts only up to 256; the range is cut at record 255.
        {2, 300, 1, 1,
         "Records of 128 bytes, IDs 1 to 4 on each track (4 per track, from the LIF header)\n"
         "Geometry: 1 cylinders (from the option), 1 heads (from the option)\n",
         4},
        {2, 256, 1, 1,
         "Records of 128 bytes, IDs 1 to 255 on each track (255 per track, from the option)\n"
         "Geometry: 1 cylinders (from the option), 1 heads (from the option)\n",
         255},
        // Tracks per surface beyond any ID: named, and the IDs decide (record 9 widens
        // nothing, cylinder 5 lies beyond the LIF's 4 records).
        {300, 0, 0, 0,
         "Warning: the LIF header's geometry (300 cylinders, 2 heads) is not used.\n"
         "Records of 128 bytes, IDs 1 to 4 on each track (4 per track, from the LIF header)\n"
         "Geometry: 6 cylinders (from the sectors' IDs), 2 heads (from the LIF header)\n",
         48},
        // ... but not when -c decides anyway.
        {300, 0, 3, 0,
         "Records of 128 bytes, IDs 1 to 4 on each track (4 per track, from the LIF header)\n"
         "Geometry: 3 cylinders (from the option), 2 heads (from the LIF header)\n",
         24},
    };
    for (const Case& c : cases) {
        const Capture capture = sample_capture(c.lif_tracks);
        const Placement p = place_capture(capture, c.sectors, c.cylinders, c.heads);
        const std::string text = text_of(p);
        EXPECT_EQ(text.substr(0, c.head.size()), c.head) << text;
        EXPECT_EQ(image_of(p).size(), c.slots * kBytes) << text;
    }
}

TEST(Placement, NoIdAtCylinderZeroHeadZeroLeavesTheFormatUnknown) {
    Capture no_data = sample_capture(2);
    no_data.tracks.erase(no_data.tracks.begin()); // cylinder 0 head 0 never read
    EXPECT_EQ(place_capture(no_data, 0, 0, 0).error,
              "no sector with data was read at cylinder 0 head 0");
    Capture stray = sample_capture(2);
    for (CaptureSector& s : stray.tracks[0].sectors)
        s.head_id = 1;
    EXPECT_EQ(place_capture(stray, 0, 0, 0).error,
              "no sector read at cylinder 0 head 0 carries the ID of cylinder 0 head 0");
}
