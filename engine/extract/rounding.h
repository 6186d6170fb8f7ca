// Rounding to the nearest integer, halves away from zero, inline: the library call
// costs more than the arithmetic where filter banks and windows are built per image.
#pragma once

namespace zarn {

// std::lround's result for every value an int holds. The cast truncates towards zero
// and v minus its whole part is exact in double arithmetic, so the halves are exact.
inline int roundHalfAway(double v) {
    const long long whole = static_cast<long long>(v);
    const double rest = v - static_cast<double>(whole);
    return static_cast<int>(whole + (rest >= 0.5) - (rest <= -0.5));
}

}  // namespace zarn
