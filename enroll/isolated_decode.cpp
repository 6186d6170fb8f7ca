#include "isolated_decode.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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

void limitChild() {
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    const rlim_t cpuSeconds = kDecodeDeadlineMs / 1000 + 1;
    const rlimit cpu{cpuSeconds, cpuSeconds};
    setrlimit(RLIMIT_CPU, &cpu);
#ifndef ZARN_UNDER_ASAN
    // The sanitizer reserves terabytes of shadow memory, so an address-space
    // limit would only break it; the decode bounds still hold there.
    const rlimit memory{static_cast<rlim_t>(kDecodeAddressSpaceBytes),
                        static_cast<rlim_t>(kDecodeAddressSpaceBytes)};
    setrlimit(RLIMIT_AS, &memory);
#endif
}

bool writeAll(int fd, const void* data, std::size_t length) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    while (length > 0) {
        const ssize_t written = write(fd, bytes, length);
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

[[noreturn]] void runChild(int fd, const std::string& fileName) {
    limitChild();
    growHeapOnHugePages();
    const auto image = decodeGrayImage(fileName);
    if (!image) {
        _exit(1);
    }
    const std::int32_t size[2] = {image->width, image->height};
    const bool sent =
        writeAll(fd, size, sizeof size) && writeAll(fd, image->pixels.data(), image->pixels.size());
    // _exit: the child must not flush or destroy anything it shares with the parent.
    _exit(sent ? 0 : 1);
}

// Reads exactly length bytes unless the deadline passes or the child stops.
bool readAll(int fd, void* data, std::size_t length, Clock::time_point deadline) {
    auto* bytes = static_cast<std::uint8_t*>(data);
    while (length > 0) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
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

}  // namespace

std::optional<GrayImage> decodeGrayImageIsolated(const std::string& fileName) {
    int channel[2];
    if (pipe2(channel, O_CLOEXEC) != 0) {
        return std::nullopt;
    }
    trimHeapBeforeFork();
    const pid_t child = fork();
    if (child < 0) {
        close(channel[0]);
        close(channel[1]);
        return std::nullopt;
    }
    if (child == 0) {
        close(channel[0]);
        runChild(channel[1], fileName);
    }
    close(channel[1]);
    // Each side grows its own heap from here, so neither writes to the other's pages.
    growHeapOnHugePages();
    auto image = receiveImage(channel[0]);
    close(channel[0]);

    // A child that did not deliver is stopped; one that did is about to exit.
    if (!image) {
        kill(child, SIGKILL);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    const bool cleanExit = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return cleanExit ? image : std::nullopt;
}

}  // namespace zarn
