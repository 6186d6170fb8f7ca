// A record reader written apart from the engine's decoder, for tests: it
// checks every field of a template against what the engine promises to write.
#pragma once

#include <cstdint>
#include <vector>

namespace zarn_test {

struct CheckedMinutia {
    int type = 0;
    int x = 0;
    int y = 0;
    int angle = 0;
    int quality = 0;
};

struct CheckedView {
    int position = 0;
    int viewNumber = 0;
    int impressionType = 0;
    int quality = 0;
    std::vector<CheckedMinutia> minutiae;
};

struct CheckedRecord {
    int width = 0;
    int height = 0;
    std::vector<CheckedView> views;
};

// Parses bytes as a record this engine wrote, adding a gtest failure for every
// broken promise (header constants, lengths, ranges, minutiae inside the
// image). Returns what it could read.
CheckedRecord checkEngineRecord(const std::vector<std::uint8_t>& bytes);

}  // namespace zarn_test
