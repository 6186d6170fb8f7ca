// Encoding and decoding of ISO/IEC 19794-2:2005 finger minutiae records.
// Kept apart from the algorithms; the decoder serves tests and tools.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace zarn {

struct IsoMinutia {
    std::uint8_t type = 0;  // 1 ridge ending, 2 bifurcation, 0 other
    std::uint16_t x = 0;    // 14 bits
    std::uint16_t y = 0;    // 14 bits
    std::uint8_t angle = 0;  // units of 360/256 degrees, counter-clockwise
    std::uint8_t quality = 0;
};

struct IsoFingerView {
    std::uint8_t position = 0;        // 0-10, 0 = unknown
    std::uint8_t viewNumber = 0;      // 0-15
    std::uint8_t impressionType = 0;  // 0 = live-scan plain
    std::uint8_t quality = 0;         // 0-100
    std::vector<IsoMinutia> minutiae;
};

struct IsoRecord {
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    std::uint16_t resolutionX = 197;  // pixels per centimetre (500 dpi)
    std::uint16_t resolutionY = 197;
    std::vector<IsoFingerView> views;
};

std::size_t isoRecordSize(const IsoRecord& record);
std::vector<std::uint8_t> encodeIsoRecord(const IsoRecord& record);
// Returns nothing when the bytes are not one well-formed record.
std::optional<IsoRecord> decodeIsoRecord(const std::uint8_t* bytes, std::size_t length);

}  // namespace zarn
