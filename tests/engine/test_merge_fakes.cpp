#include "test_merge_fakes.h"

#include <cmath>

namespace zarn_test {
namespace {

constexpr float kTwoPi = 6.28318530718f;
constexpr float kEdge = 10;  // minutiae this close to an impression's border are not found

// A tiny portable generator, so the fake fingers are the same everywhere.
struct Lcg {
    std::uint64_t state;
    float next() {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<float>((state >> 40) & 0xFFFFFF) / static_cast<float>(0x1000000);
    }
};

float wrap(float a) {
    a = std::fmod(a, kTwoPi);
    return a < 0 ? a + kTwoPi : a;
}

}  // namespace

std::vector<zarn::Minutia> fakeFinger(int width, int height, std::uint32_t seed) {
    Lcg rng{seed * 7919ull + 17};
    // About the density of minutiae on a real finger at 500 dpi.
    const std::size_t count = static_cast<std::size_t>(width) * height / 1800;
    std::vector<zarn::Minutia> finger;
    for (int attempt = 0; attempt < 4000; ++attempt) {
        zarn::Minutia m;
        m.x = rng.next() * static_cast<float>(width);
        m.y = rng.next() * static_cast<float>(height);
        m.direction = rng.next() * kTwoPi;
        m.type =
            rng.next() < 0.5f ? zarn::MinutiaType::RidgeEnding : zarn::MinutiaType::Bifurcation;
        m.quality = static_cast<std::uint8_t>(50 + rng.next() * 45);
        bool spaced = true;
        for (const zarn::Minutia& o : finger) {
            spaced = spaced && std::hypot(o.x - m.x, o.y - m.y) >= 18;
        }
        if (spaced && finger.size() < count) {
            finger.push_back(m);
        }
    }
    return finger;
}

zarn::Minutia fakeToImpression(const FakeWindow& window, const zarn::Minutia& m) {
    const float cx = static_cast<float>(window.width) / 2;
    const float cy = static_cast<float>(window.height) / 2;
    const float x = m.x - window.x0 - cx;
    const float y = m.y - window.y0 - cy;
    const float c = std::cos(window.angle), s = std::sin(window.angle);
    zarn::Minutia out = m;
    // Turning counter-clockwise as seen, with y pointing down.
    out.x = c * x + s * y + cx;
    out.y = -s * x + c * y + cy;
    out.direction = wrap(m.direction + window.angle);
    return out;
}

FakeImpression fakeImpression(const std::vector<zarn::Minutia>& finger, const FakeWindow& window) {
    Lcg rng{window.seed * 104729ull + 3};
    FakeImpression result;
    result.view.imageWidth = window.width;
    result.view.imageHeight = window.height;
    result.view.fingerQuality = 60;
    const auto inside = [&](const zarn::Minutia& m) {
        return m.x >= kEdge && m.y >= kEdge && m.x < static_cast<float>(window.width) - kEdge &&
               m.y < static_cast<float>(window.height) - kEdge;
    };
    for (const zarn::Minutia& f : finger) {
        zarn::Minutia m = fakeToImpression(window, f);
        m.x += (rng.next() - 0.5f) * 2 * window.jitter;
        m.y += (rng.next() - 0.5f) * 2 * window.jitter;
        m.direction = wrap(m.direction + (rng.next() - 0.5f) * 0.2f);
        const bool kept = inside(m) && rng.next() >= window.dropRate;
        result.shows.push_back(kept);
        if (kept) {
            result.view.minutiae.push_back(m);
        }
    }
    for (int i = 0; i < window.spurious; ++i) {
        zarn::Minutia m;
        m.x = kEdge + rng.next() * (static_cast<float>(window.width) - 2 * kEdge);
        m.y = kEdge + rng.next() * (static_cast<float>(window.height) - 2 * kEdge);
        m.direction = rng.next() * kTwoPi;
        m.quality = 45;
        result.view.minutiae.push_back(m);
    }
    return result;
}

}  // namespace zarn_test
