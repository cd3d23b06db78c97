// Fuzzes whole imgconv runs: options decoded from the input's head, then the dump and the report.
#include "fuzz_support.h"
#include "imgconv/imgconv.h"

#include <string>

using namespace imgconv;

namespace {

// Small numbers keep every run short: at most 4 cylinders of 3 heads with 40
// records of at most 1100 bytes, so a run writes well under 1 MiB.
std::string small(uint32_t v) {
    return std::to_string(v);
}

// A LIF header may supply the geometry and the directory position; bound
// them the same way so that the interleave scan and the copy loop stay short.
void tame_lif_header(std::string& dump) {
    if (dump.size() < 2 || static_cast<unsigned char>(dump[0]) != 0x80 || dump[1] != 0)
        return;
    // A field cut by the end of a short dump is completed with zeros by the
    // record read, so its first bytes alone may still make it huge.
    for (size_t field : {8u, 16u, 24u, 28u, 32u}) {
        for (size_t i = field; i < field + 3 && i < dump.size(); ++i)
            dump[i] = 0;
        if (field + 3 < dump.size())
            dump[field + 3] = static_cast<char>(static_cast<unsigned char>(dump[field + 3]) % 48);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Reader in(data, size);
    const uint8_t flags = in.byte();
    const uint8_t more = in.byte();
    fuzz::Args args;
    args.add("imgconv");
    const std::string dump_path = fuzz::scratch_path("in.ima");
    const std::string out_path = fuzz::scratch_path("out.hpi");
    const std::string report_path = fuzz::scratch_path("report.txt");
    args.add(dump_path);
    args.add(out_path);
    if (!(flags & 0x80)) {
        args.add("-c");
        args.add(small(in.byte() % 4 + 1));
        args.add("-h");
        args.add(small(in.byte() % 4));
        const uint8_t s = in.byte();
        args.add("-s");
        args.add(small(s >= 250 ? 257 : s % 41));
    }
    if (flags & 0x01)
        args.add("-v");
    const uint32_t rec = in.u32();
    args.add("-r");
    args.add(std::to_string(rec % 1100));
    if (more & 0x01) {
        args.add("-j");
        args.add(small(in.u32() % 70000));
    }
    if (more & 0x02) {
        args.add("-cskip");
        args.add(small(in.u32()));
    }
    if (more & 0x04) {
        args.add("-hskip");
        args.add(small(in.u32() % 100000));
    }
    if (flags & 0x08) {
        args.add("-i");
        args.add(std::to_string(static_cast<int8_t>(in.byte())));
    }
    if (flags & 0x10) {
        args.add("-cs");
        args.add(std::to_string(static_cast<int8_t>(in.byte())));
    }
    if (flags & 0x20) {
        args.add("-hs");
        args.add(std::to_string(static_cast<int8_t>(in.byte())));
    }
    if (flags & 0x40) {
        args.add("-sc");
        args.add(small(in.byte()));
    }
    if (flags & 0x04) {
        const int count = in.byte() % 13 - 1; // -1 .. 11: both refusals included
        args.add("-m");
        args.add(std::to_string(count));
        const int pairs = (more & 0x08) ? count : count - 1; // sometimes one pair short
        for (int k = 0; k < 2 * pairs; ++k)
            args.add(std::to_string(in.u32() % 400000));
    }
    if (flags & 0x02) {
        args.add("-l");
        args.add(report_path);
    }
    const uint32_t dump_size = (static_cast<uint32_t>(in.byte()) << 8 | in.byte()) * 4;
    std::string dump = in.take(dump_size);
    tame_lif_header(dump);
    const std::string report = in.rest();
    fuzz::write_file(dump_path, reinterpret_cast<const uint8_t*>(dump.data()), dump.size());
    fuzz::write_file(report_path, reinterpret_cast<const uint8_t*>(report.data()), report.size());

    const int status =
        run_imgconv(args.argc(), args.argv(), fuzz::null_stream(), fuzz::null_stream());
    if (status != 0 && status != -1)
        __builtin_trap();
    return 0;
}
