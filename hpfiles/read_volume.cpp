// Tells a LIF volume from an HP 9845 file system and reads the one it finds.
#include "hpfiles/read_volume.h"

#include "hpfiles/hp9845_volume.h"
#include "hpfiles/lif_volume.h"

namespace hpfiles {

bool read_volume(const std::vector<unsigned char>& image, Volume& volume) {
    if (is_lif(image)) {
        read_lif_volume(image, volume);
        return true;
    }
    if (is_hp9845(image)) {
        read_hp9845_volume(image, volume);
        return true;
    }
    volume = Volume{};
    return false;
}

} // namespace hpfiles
