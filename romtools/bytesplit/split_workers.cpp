// bytesplit's block loop, run by two workers side by side where the build has threads.
#include "romtools/bytesplit/split_workers.h"

#include "romtools/batch_buffer.h"
#include "romtools/block_report.h"
#include "romtools/bytesplit/bytesplit.h"

#include "common/exit_status.h"

#include <atomic>
#include <cerrno>
#include <cstring>

#ifdef HPKIT_SPLIT_THREADS
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#endif

namespace romtools {

namespace {

#ifdef HPKIT_SPLIT_THREADS
using Mutex = std::mutex;
using Lock = std::unique_lock<std::mutex>;
using Condition = std::condition_variable;
#else
// One worker alone: every turn is its own, so there is nothing to wait for.
struct Mutex {};
struct Lock {
    explicit Lock(Mutex&) {}
};
struct Condition {
    template <class Ready> void wait(Lock&, Ready) {}
    void notify_all() {}
};
#endif

// Blocks per batch: each batch is read in one call and written to each
// output in one call. A worker's batch and shares (1 MiB) stay near its core's
// L2 cache; 64 blocks ran faster than 16 or 32 (fewer turns to wait for),
// and 128 took the peak memory past 8 MiB for little gain.
constexpr size_t kBatchBlocks = 64;
constexpr size_t kNoShortBlock = kBatchBlocks;

// A worker's batch: its words, their sums and shares, and how its read ended.
struct SplitBatch {
    SplitBatch()
        : words(kBatchBlocks * kRomBlockBytes), high(kBatchBlocks * kSplitBlockBytes),
          low(kBatchBlocks * kSplitBlockBytes) {}

    BatchBuffer words;
    BatchBuffer high;
    BatchBuffer low;
    RomBlockSum sums[kBatchBlocks];
    long long number = 0; // batches before this one
    size_t blocks = 0;    // whole or padded blocks read
    size_t short_block = kNoShortBlock;
    size_t tail = 0;          // bytes read past the last whole block
    bool read_failed = false; // the read stopped on an error, not at the end
    bool last = false;        // nothing is read after this batch
};

// What the workers share. Each turn has its own lock: one worker may read
// while another writes.
class SplitRun {
  public:
    SplitRun(FILE* rom, const char* rom_name, common::OutputFile& high, common::OutputFile& low,
             FILE* out, const common::Reporter& report)
        : rom_(rom), rom_name_(rom_name), high_(high), low_(low), out_(out), report_(report) {}

    // Takes batches until the input ends or the run stops.
    void work() {
        SplitBatch batch;
        while (read_next(batch)) {
            if (batch.blocks > 0) {
                rom_block_sums(batch.words.data(), kRomBlockWords, batch.blocks, RomSumMode::normal,
                               batch.sums);
                split_complemented(batch.words.data(), batch.blocks * kRomBlockWords,
                                   batch.high.data(), batch.low.data());
            }
            if (!write_and_report(batch))
                return;
        }
    }

    int status() const { return status_; }

  private:
    // In the read turn: reads the next batch into `batch`; false once the
    // input has ended or the run has stopped.
    bool read_next(SplitBatch& batch) {
        Lock lock(read_mutex_);
        if (input_ended_ || stopped_)
            return false;
        batch.number = next_read_++;
        const size_t got = std::fread(batch.words.data(), 1, batch.words.size(), rom_);
        batch.blocks = got / kRomBlockBytes;
        batch.tail = got - batch.blocks * kRomBlockBytes;
        batch.read_failed = got < batch.words.size() && std::ferror(rom_);
        batch.last = got < batch.words.size();
        batch.short_block = kNoShortBlock;
        if (batch.tail > 0 && !batch.read_failed) {
            // A short last block is padded with zero words: they leave verify
            // unchanged and make the output bytes FF.
            std::memset(batch.words.data() + got, 0, kRomBlockBytes - batch.tail);
            batch.short_block = batch.blocks++;
        }
        input_ended_ = batch.last;
        return true;
    }

    // Waits for the batch's write turn, writes both shares and prints its
    // report, or nothing when the run has stopped before it. False once the
    // run has stopped.
    bool write_and_report(const SplitBatch& batch) {
        Lock lock(write_mutex_);
        write_turn_.wait(lock, [&] { return next_write_ == batch.number || stopped_; });
        if (!stopped_) {
            const int status = write_batch(batch);
            if (status != kGoOn) {
                status_ = status;
                stopped_ = true;
            }
            ++next_write_;
        }
        write_turn_.notify_all();
        return !stopped_;
    }

    static constexpr int kGoOn = 1; // not an exit status: the next batch follows

    int write_batch(const SplitBatch& batch) {
        const size_t size = batch.blocks * kSplitBlockBytes;
        size_t written = 0;
        int error = 0;
        const common::OutputFile* failed = nullptr;
        if (!write_share(high_, batch.high.data(), size, written, error))
            failed = &high_;
        else if (!write_share(low_, batch.low.data(), size, written, error))
            failed = &low_;
        if (failed) {
            report_blocks(batch, written / kSplitBlockBytes + 1);
            report_.write_error(failed->name(), error);
            return common::kExitFailure;
        }
        report_blocks(batch, batch.blocks);
        if (batch.read_failed) {
            report_.error("Read error on file \"%s\" (%d bytes read)\n", rom_name_,
                          static_cast<int>(batch.tail));
            return common::kExitFailure;
        }
        return batch.last ? common::kExitDone : kGoOn;
    }

    // One share in one call to its unbuffered output; false, with the count
    // of bytes that reached the file and the errno, when the write failed.
    static bool write_share(common::OutputFile& output, const unsigned char* bytes, size_t size,
                            size_t& written, int& error) {
        errno = 0;
        written = std::fwrite(bytes, 1, size, output.get());
        if (written == size || !std::ferror(output.get()))
            return true;
        error = errno;
        return false;
    }

    // Prints the report lines of the batch's first `count` blocks, with the
    // short-block warning after the padded one.
    void report_blocks(const SplitBatch& batch, size_t count) {
        const long long base = batch.number * static_cast<long long>(kBatchBlocks);
        for (size_t b = 0; b < count; ++b) {
            const long long number = base + static_cast<long long>(b);
            print_block_report(out_, number, batch.sums[b],
                               rom_verdict(batch.sums[b], RomSumMode::normal));
            if (b == batch.short_block)
                report_.warning("block %lld is short (%lu bytes); it was padded with zero words.\n",
                                number, static_cast<unsigned long>(batch.tail));
        }
    }

    FILE* rom_;
    const char* rom_name_;
    common::OutputFile& high_;
    common::OutputFile& low_;
    FILE* out_;
    const common::Reporter& report_;

    Mutex read_mutex_; // guards the input and the two fields below
    long long next_read_ = 0;
    bool input_ended_ = false;

    Mutex write_mutex_; // guards the outputs, the report and the fields below
    Condition write_turn_;
    long long next_write_ = 0;
    std::atomic<bool> stopped_{false}; // a read after it turned true is wasted, never wrong
    int status_ = common::kExitDone;
};

} // namespace

int split_blocks(FILE* rom, const char* rom_name, common::OutputFile& high, common::OutputFile& low,
                 FILE* out, const common::Reporter& report) {
    SplitRun run(rom, rom_name, high, low, out, report);
#ifdef HPKIT_SPLIT_THREADS
    // Without a second thread the one worker does it all, only slower.
    std::thread second;
    try {
        second = std::thread([&run] { run.work(); });
    } catch (const std::system_error&) {
    }
    run.work();
    if (second.joinable())
        second.join();
#else
    run.work();
#endif
    return run.status();
}

} // namespace romtools
