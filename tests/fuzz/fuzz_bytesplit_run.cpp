// Fuzzes whole bytesplit runs: both outputs always hold 4096 bytes per block read.
#include "romtools/bytesplit/bytesplit.h"

#include "fuzz_support.h"

#include <sys/stat.h>

using namespace romtools;

namespace {

constexpr size_t kBlockBytes = 8192;       // input bytes per block
constexpr size_t kOutputBlockBytes = 4096; // bytes per block in each output

long long size_of(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string rom = fuzz::scratch_path("rom.bin");
    fuzz::write_file(rom, data, size);
    fuzz::Args args;
    args.add("bytesplit");
    args.add(rom);
    const int status =
        run_bytesplit(args.argc(), args.argv(), fuzz::null_stream(), fuzz::null_stream());
    if (status != 0)
        __builtin_trap();
    const long long blocks = static_cast<long long>((size + kBlockBytes - 1) / kBlockBytes);
    if (size_of(rom + "_high") != blocks * static_cast<long long>(kOutputBlockBytes) ||
        size_of(rom + "_low") != blocks * static_cast<long long>(kOutputBlockBytes))
        __builtin_trap();
    return 0;
}
