// The record decoder on arbitrary bytes: it must never read out of bounds, and
// what it accepts must survive another encode and decode unchanged.
#include <cstdlib>

#include "iso19794.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto record = zarn::decodeIsoRecord(data, size);
    if (!record) {
        return 0;
    }
    const auto encoded = zarn::encodeIsoRecord(*record);
    if (encoded.size() != zarn::isoRecordSize(*record)) {
        std::abort();
    }
    const auto again = zarn::decodeIsoRecord(encoded.data(), encoded.size());
    if (!again || zarn::encodeIsoRecord(*again) != encoded) {
        std::abort();
    }
    return 0;
}
