#include "isolated_decode.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>

#include "decode_gray.h"
#include "decode_limits.h"
#include "process_heap.h"

#if defined(__SANITIZE_ADDRESS__)
#define ZARN_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZARN_UNDER_ASAN 1
#endif
#endif

namespace zarn {

namespace {

using Clock = std::chrono::steady_clock;

// Longer file names are refused before they reach the child.
constexpr std::size_t kMaxFileNameBytes = 1 << 16;

void limitChild() {
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
#ifndef ZARN_UNDER_ASAN
    // The sanitizer reserves terabytes of shadow memory, so an address-space
    // limit would only break it; the decode bounds still hold there.
    const rlimit memory{static_cast<rlim_t>(kDecodeAddressSpaceBytes),
                        static_cast<rlim_t>(kDecodeAddressSpaceBytes)};
    setrlimit(RLIMIT_AS, &memory);
#endif
}

// Each image gets the same CPU budget, the deadline and a second, on top of
// what the child has used (counted in whole seconds, hence one more).
void limitChildCpuForOneImage() {
    rusage used{};
    getrusage(RUSAGE_SELF, &used);
    const rlim_t cpuSeconds = static_cast<rlim_t>(used.ru_utime.tv_sec + used.ru_stime.tv_sec) +
                              kDecodeDeadlineMs / 1000 + 2;
    rlimit cpu{};
    getrlimit(RLIMIT_CPU, &cpu);
    cpu.rlim_cur = cpu.rlim_max == RLIM_INFINITY ? cpuSeconds : std::min(cpuSeconds, cpu.rlim_max);
    setrlimit(RLIMIT_CPU, &cpu);
}

bool writeAll(int fd, const void* data, std::size_t length) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    while (length > 0) {
        const ssize_t written = send(fd, bytes, length, MSG_NOSIGNAL);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes += written;
        length -= static_cast<std::size_t>(written);
    }
    return true;
}

// Reads exactly length bytes unless the deadline passes (none: the latest
// time there is) or the other side stops.
bool readAll(int fd, void* data, std::size_t length, Clock::time_point deadline) {
    auto* bytes = static_cast<std::uint8_t*>(data);
    while (length > 0) {
        const bool bounded = deadline != Clock::time_point::max();
        const auto left =
            bounded ? std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                          .count()
                    : -1;
        if (bounded && left <= 0) {
            return false;
        }
        pollfd ready{fd, POLLIN, 0};
        const int polled = poll(&ready, 1, static_cast<int>(left));
        if (polled < 0 && errno == EINTR) {
            continue;
        }
        if (polled <= 0) {
            return false;
        }
        const ssize_t got = read(fd, bytes, length);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        bytes += got;
        length -= static_cast<std::size_t>(got);
    }
    return true;
}

// The child: decodes each file named on the channel and sends its pixels
// back, until the parent closes the channel. Any failure ends it.
[[noreturn]] void runChild(int fd) {
    limitChild();
    growHeapOnHugePages();
    for (;;) {
        std::uint32_t length = 0;
        if (!readAll(fd, &length, sizeof length, Clock::time_point::max())) {
            _exit(0);
        }
        if (length > kMaxFileNameBytes) {
            _exit(1);
        }
        std::string fileName(length, '\0');
        if (!readAll(fd, fileName.data(), length, Clock::time_point::max())) {
            _exit(1);
        }
        limitChildCpuForOneImage();
        const auto image = decodeGrayImage(fileName);
        if (!image) {
            _exit(1);
        }
        const std::int32_t size[2] = {image->width, image->height};
        if (!writeAll(fd, size, sizeof size) ||
            !writeAll(fd, image->pixels.data(), image->pixels.size())) {
            _exit(1);
        }
    }
}

std::optional<GrayImage> receiveImage(int fd) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(kDecodeDeadlineMs);
    std::int32_t size[2] = {0, 0};
    if (!readAll(fd, size, sizeof size, deadline)) {
        return std::nullopt;
    }
    // The child is not trusted either: check before allocating.
    const std::int64_t width = size[0];
    const std::int64_t height = size[1];
    if (width <= 0 || height <= 0 || width > kMaxDecodeSide || height > kMaxDecodeSide ||
        width * height > kMaxDecodePixels) {
        return std::nullopt;
    }
    GrayImage image;
    image.width = size[0];
    image.height = size[1];
    image.pixels.resize(static_cast<std::size_t>(width * height));
    if (!readAll(fd, image.pixels.data(), image.pixels.size(), deadline)) {
        return std::nullopt;
    }
    return image;
}

// The decoding child of this process: forked at the first image, while the
// heap is small, and kept for the next ones. Forking again for each image
// cost a process of several images about 500 page faults an image, the
// child and the parent each faulting on what the extraction had touched.
struct DecoderChild {
    pid_t pid = -1;
    int channel = -1;
    ~DecoderChild() { stop(false); }
    bool running() const { return pid > 0; }
    bool start() {
        int ends[2];
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
            return false;
        }
        trimHeapBeforeFork();
        const pid_t child = fork();
        if (child < 0) {
            close(ends[0]);
            close(ends[1]);
            return false;
        }
        if (child == 0) {
            close(ends[0]);
            runChild(ends[1]);
        }
        close(ends[1]);
        pid = child;
        channel = ends[0];
        // Each side grows its own heap from here, so neither writes to the other's pages.
        growHeapOnHugePages();
        return true;
    }
    // Closing the channel ends a child that is waiting for a name; one that
    // failed or is stuck is stopped. Either way it is waited for, so its
    // time counts as this process's.
    void stop(bool kill) {
        if (!running()) {
            return;
        }
        if (kill) {
            ::kill(pid, SIGKILL);
        }
        close(channel);
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        pid = -1;
        channel = -1;
    }
};

DecoderChild& decoderChild() {
    static DecoderChild child;
    return child;
}

}  // namespace

std::optional<GrayImage> decodeGrayImageIsolated(const std::string& fileName) {
    DecoderChild& child = decoderChild();
    if (fileName.size() > kMaxFileNameBytes || (!child.running() && !child.start())) {
        return std::nullopt;
    }
    const auto length = static_cast<std::uint32_t>(fileName.size());
    std::optional<GrayImage> image;
    if (writeAll(child.channel, &length, sizeof length) &&
        writeAll(child.channel, fileName.data(), fileName.size())) {
        image = receiveImage(child.channel);
    }
    // A child that did not deliver is stopped; the next image starts another.
    if (!image) {
        child.stop(true);
    }
    return image;
}

void endIsolatedDecoding() {
    decoderChild().stop(false);
}

}  // namespace zarn
