// Report lines and verdict texts of ROM blocks, as both ROM programs print them.
#include "block_report.h"

#include <cerrno>

const char* rom_verdict_text(RomVerdict verdict) {
    switch (verdict) {
    case RomVerdict::Sound:
        return "\t(ROM OK)\n";
    case RomVerdict::NoRomPresent:
        return "\t(no ROM present)\n";
    case RomVerdict::Corrupt:
        break;
    }
    return "\t(ROM currupt)\n";
}

void print_block_report(FILE* out, long long block, const RomBlockSum& sum, RomVerdict verdict) {
    // Block numbers beyond 2^31 - 1 occur for images past 4 GiB read in small blocks.
    std::fprintf(out, "block %lld: verify=%ld checksum=%ld%s", block, static_cast<long>(sum.verify),
                 static_cast<long>(sum.checksum), rom_verdict_text(verdict));
}

bool finish_report(FILE* out, FILE* err) {
    errno = 0;
    if (std::fflush(out) == 0 && !std::ferror(out))
        return true;
    std::fprintf(err, "Write error on file \"<stdout>\" #%d\n", errno);
    return false;
}
