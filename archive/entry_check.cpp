#include "zok/check.h"

#include <algorithm>
#include <mutex>
#include <new>
#include <vector>

#include "archive/ordered_work.h"
#include "zok/zok_file.h"

namespace zok {

Error CheckEntry(const CZokFile& archive, size_t index, const std::atomic<bool>* cancel,
                 const std::function<void(uint64_t)>& onBytes) {
    try {
        const std::unique_ptr<EntryReader> reader = archive.OpenEntry(index);
        Error error = DrainEntry(
            *reader,
            [&](const uint8_t*, size_t size) {
                if (onBytes) {
                    onBytes(size);
                }
                return true;
            },
            cancel, 256 << 10);
        if (error) {
            return error;
        }
        const EntryKind kind = archive.Record(index).kind;
        if (kind != EntryKind::PngStream && kind != EntryKind::BmpFile) {
            return Error();
        }
        // The pixels are checked by decoding them; no row is kept.
        return archive.ReadPictureRows(
            index, PixelOrder::Rgb, true, [](const PictureInfo&) { return true; },
            [](uint32_t, const uint8_t*) { return true; }, cancel);
    } catch (const std::bad_alloc&) {
        Error error = archive.EntryProblem(index);
        error.code = ErrorCode::OutOfMemory;
        return error;
    }
}

CheckResult CheckArchive(const CZokFile& archive, const CheckOptions& options) {
    // Entries are checked a window at a time, so that the outcomes waiting for their turn stay
    // few whatever the archive holds.
    constexpr size_t kWindow = 4096;
    CheckResult result;
    const size_t count = archive.Count();
    std::vector<Error> problems;
    std::mutex progressMutex;
    uint64_t done = 0;
    const auto counted = [&](uint64_t bytes) {
        std::lock_guard lock(progressMutex);
        done += bytes;
        if (options.progress) {
            options.progress(done);
        }
    };
    const auto cancelled = [&] { return options.cancel != nullptr && options.cancel->load(); };
    for (size_t start = 0; start < count && !cancelled(); start += kWindow) {
        const size_t size = std::min(kWindow, count - start);
        problems.assign(size, Error());
        RunInOrder(
            size, options.threads, {},
            [&](size_t k) {
                problems[k] = CheckEntry(archive, start + k, options.cancel, counted);
            },
            [&](size_t k) {
                const Error& problem = problems[k];
                if (problem.code == ErrorCode::Cancelled) {
                    return;
                }
                ++result.checked;
                result.damaged += problem && problem.code != ErrorCode::HoldsNoData;
                result.holdingNoData += problem.code == ErrorCode::HoldsNoData;
                if (options.onEntry) {
                    options.onEntry(start + k, problem);
                }
            },
            options.cancel);
    }
    result.cancelled = cancelled() && result.checked < count;
    return result;
}

}  // namespace zok
