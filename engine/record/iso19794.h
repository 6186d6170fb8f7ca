// Encoding and decoding of ISO/IEC 19794-2:2005 finger minutiae records.
// Kept apart from the algorithms; the decoder serves tests and tools.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "minutia.h"

namespace zarn {

struct IsoMinutia {
    std::uint8_t type = 0;   // 1 ridge ending, 2 bifurcation, 0 other
    std::uint16_t x = 0;     // 14 bits
    std::uint16_t y = 0;     // 14 bits
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

constexpr std::size_t kIsoHeaderSize = 24;
constexpr std::size_t kIsoViewOverhead = 6;  // view header plus extended data length
constexpr std::size_t kIsoMinutiaSize = 6;
// What this engine writes per view; the format itself allows 255.
constexpr std::size_t kIsoMaxMinutiaePerView = 128;

std::size_t isoRecordSize(const IsoRecord& record);
// Throws std::invalid_argument for a record the format cannot hold (more than
// 255 views or minutiae, a view number above 15, coordinates beyond 14 bits).
std::vector<std::uint8_t> encodeIsoRecord(const IsoRecord& record);
// Returns nothing when the bytes are not one well-formed record.
std::optional<IsoRecord> decodeIsoRecord(const std::uint8_t* bytes, std::size_t length);

// One extracted view as a record view: positions rounded and clamped into the
// image, directions to 1/256 turns, at most kIsoMaxMinutiaePerView minutiae
// (the best by quality, ties kept in extraction order), listed best first.
IsoFingerView toIsoFingerView(const FingerView& view, std::uint8_t position,
                              std::uint8_t viewNumber);

}  // namespace zarn
