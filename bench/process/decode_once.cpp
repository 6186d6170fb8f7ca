// One decode the tool's way and nothing else, in this process or in the decoding
// child, so that timing both as whole processes shows what the isolation costs.
// Usage: zarn-decode-once --isolated|--in-process IMAGE
#include <cstdio>
#include <cstring>

#include "decode_gray.h"
#include "isolated_decode.h"
#include "process_heap.h"

int main(int argc, char** argv) {
    const bool isolated = argc == 3 && std::strcmp(argv[1], "--isolated") == 0;
    if (argc != 3 || (!isolated && std::strcmp(argv[1], "--in-process") != 0)) {
        std::fprintf(stderr, "usage: %s --isolated|--in-process IMAGE\n", argv[0]);
        return 2;
    }
    // The same heap policy as the tool, so only the child differs between the modes.
    zarn::keepLargeBlocksInHeap();
    if (!isolated)
        zarn::growHeapOnHugePages();
    const auto image =
        isolated ? zarn::decodeGrayImageIsolated(argv[2]) : zarn::decodeGrayImage(argv[2]);
    if (!image) {
        std::fprintf(stderr, "cannot decode %s\n", argv[2]);
        return 1;
    }
    std::printf("%dx%d\n", image->width, image->height);
    return 0;
}
