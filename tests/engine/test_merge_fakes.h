// Made-up fingers as plain minutia sets and impressions of them as rigid
// windows with jitter, dropped and spurious minutiae, so matching and merging
// can be tested against a known truth without the extractor.
#pragma once

#include <cstdint>
#include <vector>

#include "minutia.h"

namespace zarn_test {

// Minutiae spread over width x height at a real finger's density, at least
// 18 px apart.
std::vector<zarn::Minutia> fakeFinger(int width, int height, std::uint32_t seed);

struct FakeWindow {
    float x0 = 0, y0 = 0;  // the window's top-left corner on the finger
    int width = 300, height = 300;
    float angle = 0;  // radians the impression turns (counter-clockwise as seen) about its centre
    float jitter = 1.5f;     // px of position noise
    float dropRate = 0.08f;  // share of the finger's minutiae the impression misses
    int spurious = 2;        // extra minutiae that are not on the finger
    std::uint32_t seed = 1;
};

// Where a finger point lands in the window's impression.
zarn::Minutia fakeToImpression(const FakeWindow& window, const zarn::Minutia& m);

// The impression's view and, for each finger minutia, whether the view has it.
struct FakeImpression {
    zarn::FingerView view;
    std::vector<bool> shows;
};

FakeImpression fakeImpression(const std::vector<zarn::Minutia>& finger, const FakeWindow& window);

}  // namespace zarn_test
