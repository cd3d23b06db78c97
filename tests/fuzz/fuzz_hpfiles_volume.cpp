// Fuzzes the LIF and 9845 directory readers and both listings on any image.
#include "hpfiles/listing.h"
#include "hpfiles/read_volume.h"

#include "fuzz_support.h"

#include <cstdint>
#include <string>
#include <vector>

using namespace hpfiles;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<unsigned char> image(data, data + size);
    Volume volume;
    if (!read_volume(image, volume))
        return 0;
    // Every count the directory gives stays within what the image justifies.
    if (volume.image_records != size / kRecordBytes)
        __builtin_trap();
    if (volume.entries.size() > size / 16 + 1 || volume.free_extents.size() > size / 4 + 1)
        __builtin_trap();
    for (const Entry& e : volume.entries) {
        if (e.records_present > e.records ||
            (e.records_present > 0 && e.start + uint64_t{e.records_present} > size / kRecordBytes))
            __builtin_trap();
        std::string back;
        if (!unescape_name(escape_name(e.name), back) || back != e.name)
            __builtin_trap();
    }
    if (volume.kind == FileSystem::lif && volume.free_records > volume.image_records)
        __builtin_trap();
    for (const std::string& w : volume.warnings)
        if (w.compare(0, 9, "Warning: ") != 0 || w.back() != '\n')
            __builtin_trap();
    // Listings: only printable bytes, tabs and line ends.
    for (const std::string& text : {listing_text(volume), tsv_text(volume)})
        for (char c : text) {
            const auto b = static_cast<unsigned char>(c);
            if ((b < 0x20 && b != '\n' && b != '\t') || b > 0x7E)
                __builtin_trap();
        }
    print_listing(volume, fuzz::null_stream());
    print_tsv(volume, fuzz::null_stream());
    return 0;
}
