// Windows has no fork, so the decode runs on a worker thread under the same
// deadline and header bounds as the POSIX child. A hang or an oversized header
// is contained this way; a crash inside the decoder is not.
#include <chrono>
#include <future>
#include <memory>
#include <thread>

#include "decode_gray.h"
#include "decode_limits.h"
#include "isolated_decode.h"

namespace zarn {

std::optional<GrayImage> decodeGrayImageIsolated(const std::string& fileName) {
    // The task owns its copy of the name and its result, so a worker left
    // behind never touches anything of the caller's.
    std::packaged_task<std::optional<GrayImage>(std::string)> task(decodeGrayImage);
    std::future<std::optional<GrayImage>> result = task.get_future();
    std::thread worker;
    try {
        worker = std::thread(std::move(task), fileName);
    } catch (const std::system_error&) {
        return std::nullopt;
    }
    if (result.wait_for(std::chrono::milliseconds(kDecodeDeadlineMs)) !=
        std::future_status::ready) {
        // A thread cannot be stopped safely, so it is left running: the file
        // is reported unreadable, the run ends with that error right after,
        // and the process exit ends the thread.
        worker.detach();
        return std::nullopt;
    }
    worker.join();
    return result.get();
}

// Each decode's worker is gone when it returns.
void endIsolatedDecoding() {}

}  // namespace zarn
