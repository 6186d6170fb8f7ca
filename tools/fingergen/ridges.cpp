#include "fingergen/ridges.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "fingergen/fields.h"

namespace zarn::gen {

namespace {

constexpr float kPi = 3.14159265358979f;
constexpr int kAngleBins = 36;
constexpr float kMinPeriod = 6.0f;
constexpr float kPeriodStep = 0.25f;
constexpr int kPeriodBins = 25;  // 6.0 .. 12.0 px

// Kernel rows are padded with zeros to a multiple of this many taps, so the inner loop runs
// in fixed blocks of independent sums that the compiler turns into vector instructions.
constexpr int kLanes = 8;

// One Gabor kernel per (orientation, period) bin, each stored as 2r+1 rows of `stride` taps.
struct KernelBank {
    std::vector<int> radius;
    std::vector<int> stride;
    std::vector<std::size_t> offset;
    std::vector<float> taps;
    int maxRadius = 0;
};

KernelBank makeBank() {
    KernelBank bank;
    for (int pb = 0; pb < kPeriodBins; ++pb) {
        const float period = kMinPeriod + pb * kPeriodStep;
        // Narrow across ridges keeps the frequency loose enough to bend; longer along ridges
        // smooths them so the pattern is not labyrinthine.
        const float sigmaAcross = 0.42f * period;
        const float sigmaAlong = 0.55f * period;
        const int r = static_cast<int>(std::ceil(2.0f * sigmaAlong));
        bank.maxRadius = std::max(bank.maxRadius, r);
        for (int ab = 0; ab < kAngleBins; ++ab) {
            const float angle = ab * kPi / kAngleBins;
            const float c = std::cos(angle);
            const float s = std::sin(angle);
            const int side = 2 * r + 1;
            std::vector<float> env(side * side);
            std::vector<float> wave(side * side);
            float envSum = 0;
            float waveSum = 0;
            for (int dy = -r; dy <= r; ++dy) {
                for (int dx = -r; dx <= r; ++dx) {
                    const float along = dx * c + dy * s;
                    const float across = -dx * s + dy * c;
                    const float e =
                        std::exp(-0.5f * (along * along / (sigmaAlong * sigmaAlong) +
                                          across * across / (sigmaAcross * sigmaAcross)));
                    const int i = (dy + r) * side + (dx + r);
                    env[i] = e;
                    wave[i] = e * std::cos(2.0f * kPi * across / period);
                    envSum += e;
                    waveSum += wave[i];
                }
            }
            // Zero mean (a flat patch gives no response), then unit gain for an ideal ridge wave.
            const float dc = waveSum / envSum;
            float gain = 0;
            for (int dy = -r; dy <= r; ++dy) {
                for (int dx = -r; dx <= r; ++dx) {
                    const int i = (dy + r) * side + (dx + r);
                    wave[i] -= dc * env[i];
                    const float across = -dx * s + dy * c;
                    gain += wave[i] * std::cos(2.0f * kPi * across / period);
                }
            }
            const int stride = (side + kLanes - 1) / kLanes * kLanes;
            bank.radius.push_back(r);
            bank.stride.push_back(stride);
            bank.offset.push_back(bank.taps.size());
            for (int row = 0; row < side; ++row) {
                for (int col = 0; col < stride; ++col) {
                    bank.taps.push_back(col < side ? wave[row * side + col] / gain : 0.0f);
                }
            }
        }
    }
    return bank;
}

int kernelIndex(float angle, float period) {
    int ab = static_cast<int>(std::lround(angle / kPi * kAngleBins)) % kAngleBins;
    if (ab < 0) {
        ab += kAngleBins;
    }
    const int pb = std::clamp(static_cast<int>(std::lround((period - kMinPeriod) / kPeriodStep)), 0,
                              kPeriodBins - 1);
    return pb * kAngleBins + ab;
}

}  // namespace

FloatPlane growRidges(const FloatPlane& orientation, const FloatPlane& period,
                      const RidgeGrowth& growth, Rng& rng) {
    const int w = orientation.width;
    const int h = orientation.height;
    const KernelBank bank = makeBank();
    const int pad = bank.maxRadius + kLanes;  // room for the zero taps that overhang a row
    const int pw = w + 2 * pad;

    std::vector<std::uint16_t> which(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            which[static_cast<std::size_t>(y) * w + x] =
                static_cast<std::uint16_t>(kernelIndex(orientation.at(x, y), period.at(x, y)));
        }
    }

    // Zero-padded working plane so the inner loops need no bounds checks.
    std::vector<float> cur(static_cast<std::size_t>(pw) * (h + 2 * pad), 0.0f);
    std::vector<float> next(cur.size(), 0.0f);
    const int seeds = std::max(
        1, static_cast<int>(static_cast<float>(w) * h / (growth.seedSpacing * growth.seedSpacing)));
    for (int i = 0; i < seeds; ++i) {
        const int x = uniformInt(rng, w);
        const int y = uniformInt(rng, h);
        cur[static_cast<std::size_t>(y + pad) * pw + x + pad] = uniform01(rng) < 0.5 ? -1.0f : 1.0f;
    }

    auto filterPixel = [&](const std::vector<float>& src, int x, int y) {
        const int k = which[static_cast<std::size_t>(y) * w + x];
        const int r = bank.radius[k];
        const int side = 2 * r + 1;
        const int stride = bank.stride[k];
        const float* taps = &bank.taps[bank.offset[k]];
        float acc[kLanes] = {};
        for (int dy = 0; dy < side; ++dy) {
            const float* row = &src[static_cast<std::size_t>(y + pad - r + dy) * pw + x + pad - r];
            const float* t = taps + static_cast<std::size_t>(dy) * stride;
            for (int dx = 0; dx < stride; dx += kLanes) {
                for (int lane = 0; lane < kLanes; ++lane) {
                    acc[lane] += t[dx + lane] * row[dx + lane];
                }
            }
        }
        float sum = 0;
        for (float a : acc) {
            sum += a;
        }
        return sum;
    };

    // Each pass spreads the pattern by about one kernel radius and amplifies it; clipping keeps
    // it bounded, so ridges grow out from the seeds and settle where growth fronts meet.
    const float gain = 2.5f;
    for (int it = 0; it < growth.iterations; ++it) {
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const float v = gain * filterPixel(cur, x, y);
                next[static_cast<std::size_t>(y + pad) * pw + x + pad] = std::clamp(v, -1.0f, 1.0f);
            }
        }
        cur.swap(next);
    }

    // The sign of a last unclipped pass decides ridge or valley everywhere, including right at
    // the minutiae where the filters disagree. A blur of that binary pattern gives each ridge
    // a soft edge, so later stages can thin or thicken ridges by thresholding without changing
    // what is connected to what (except where two ridges nearly touch, as on real skin).
    FloatPlane out(w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            out.at(x, y) = filterPixel(cur, x, y) > 0 ? 1.0f : -1.0f;
        }
    }
    return gaussianBlur(out, growth.edgeSoftness);
}

}  // namespace zarn::gen
