// Fuzzes whole blocksum runs: arguments from the input's head, the rest as the ROM image.
#include "romtools/blocksum/blocksum.h"

#include "fuzz_support.h"

using namespace romtools;

namespace {

// Argument words the scan treats specially, and a few block sizes around its limits.
const char* const kWords[] = {"-plain", "-blocksize", "-x",   "-",    "0",   "1", "2",
                              "0x10",   "010",        "4096", "4097", "abc", "",  "-1"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Reader in(data, size);
    const std::string image = fuzz::scratch_path("rom.bin");
    fuzz::Args args;
    args.add("blocksum");
    const int words = in.byte() % 6;
    bool named = false;
    for (int i = 0; i < words; ++i) {
        const uint8_t pick = in.byte();
        if (pick % 4 == 0 && !named) {
            args.add(image);
            named = true;
        } else {
            args.add(kWords[pick % (sizeof kWords / sizeof kWords[0])]);
        }
    }
    if (!named && in.byte() & 1)
        args.add(image);
    const std::string rom = in.rest();
    fuzz::write_file(image, reinterpret_cast<const uint8_t*>(rom.data()), rom.size());
    const int status =
        run_blocksum(args.argc(), args.argv(), fuzz::null_stream(), fuzz::null_stream());
    if (status != 0 && status != -1)
        __builtin_trap();
    return 0;
}
