// Report lines and verdict texts of ROM blocks, as both ROM programs print them.
#include "romtools/block_report.h"

#include "common/output_file.h"

namespace romtools {

const char* rom_verdict_text(RomVerdict verdict) {
    switch (verdict) {
    case RomVerdict::sound:
        return "\t(ROM OK)\n";
    case RomVerdict::no_rom_present:
        return "\t(no ROM present)\n";
    case RomVerdict::corrupt:
        break;
    }
    return "\t(ROM currupt)\n";
}

void print_block_report(FILE* out, long long block, const RomBlockSum& sum, RomVerdict verdict) {
    // Block numbers beyond 2^31 - 1 occur for images past 4 GiB read in small blocks.
    std::fprintf(out, "block %lld: verify=%ld checksum=%ld%s", block, static_cast<long>(sum.verify),
                 static_cast<long>(sum.checksum), rom_verdict_text(verdict));
}

bool finish_report(FILE* out, const common::Reporter& report) {
    int error = 0;
    if (common::flush_checked(out, error))
        return true;
    report.write_error(common::kStdoutName, error);
    return false;
}

} // namespace romtools
