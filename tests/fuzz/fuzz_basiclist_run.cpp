// Fuzzes whole basiclist runs on arbitrary files: the listing never outgrows twice the input.
#include "basiclist/basiclist.h"
#include "fuzz_support.h"

#include <sys/stat.h>

using namespace basiclist;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string in_path = fuzz::scratch_path("in.bas");
    const std::string out_path = fuzz::scratch_path("out.txt");
    fuzz::write_file(in_path, data, size);
    fuzz::Args args;
    args.add("basiclist");
    if (size && data[0] & 1)
        args.add("-v");
    args.add(in_path);
    args.add(out_path);
    const int status =
        run_basiclist(args.argc(), args.argv(), fuzz::null_stream(), fuzz::null_stream());
    if (status != 0 && status != 1)
        __builtin_trap();
    // An integer item lists its 4 bytes as up to 8 ("-32768" and the line end).
    struct stat st;
    if (stat(out_path.c_str(), &st) != 0 || static_cast<size_t>(st.st_size) > 2 * size)
        __builtin_trap();
    return 0;
}
