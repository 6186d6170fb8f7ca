// The image read step on arbitrary file contents, every format the decoder
// knows: what the tool's decoding child runs, in process, so that coverage
// and the sanitizers see inside the decoder.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "decode_gray.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const int fd = memfd_create("fuzz-image", MFD_CLOEXEC);
    if (fd < 0) {
        std::abort();
    }
    if (size > 0 && write(fd, data, size) != static_cast<ssize_t>(size)) {
        std::abort();
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    const auto image = zarn::decodeGrayImage(path);
    if (image && image->pixels.size() != static_cast<std::size_t>(image->width) * image->height) {
        std::abort();
    }
    close(fd);
    return 0;
}
