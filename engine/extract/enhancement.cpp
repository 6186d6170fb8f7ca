#include "enhancement.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "block_filter.h"
#include "block_map.h"
#include "rounding.h"

namespace zarn {

namespace {

// Accumulates weights on a dense square around the centre, then keeps the non-zero
// ones: merging taps that land on the same pixel without searching. A bit per cell
// marks those touched, so only they are visited again, in the square's raster order
// (the order of the taps).
struct KernelBuilder {
    static constexpr int kReach = tuning::kPadMargin;
    static constexpr int kSide = 2 * kReach + 1;
    static_assert(kSide <= 64, "a row of the square is one 64-bit mask");
    std::vector<float> grid = std::vector<float>(kSide * kSide, 0.0f);
    std::uint64_t touched[kSide] = {};

    void add(int dx, int dy, float weight) {
        grid[(dy + kReach) * kSide + dx + kReach] += weight;
        touched[dy + kReach] |= std::uint64_t{1} << (dx + kReach);
    }
    Kernel take(int stride) {
        Kernel k;
        for (int row = 0; row < kSide; ++row)
            for (std::uint64_t bits = touched[row]; bits; bits &= bits - 1) {
                const int column = __builtin_ctzll(bits);
                float& w = grid[row * kSide + column];
                if (w != 0.0f) {
                    k.offsets.push_back((row - kReach) * stride + column - kReach);
                    k.weights.push_back(w);
                }
                w = 0.0f;
            }
        std::fill(std::begin(touched), std::end(touched), 0);
        return k;
    }
};

int periodBins() {
    return static_cast<int>(roundHalfAway((tuning::kMaxPeriod - tuning::kMinPeriod) /
                                          tuning::kGaborPeriodStep)) +
           1;
}

// Gaussian along the ridge, sampled at the nearest pixels every other pixel: it only
// smooths, and grey levels change slowly along a ridge.
Kernel alongKernel(double angle, int stride, KernelBuilder& k) {
    const double sigma = tuning::kGaborSigmaAlong;
    const int radius = static_cast<int>(std::ceil(2 * sigma));
    double total = 0;
    for (int d = -radius; d <= radius; d += 2)
        total += std::exp(-0.5 * d * d / (sigma * sigma));
    for (int d = -radius; d <= radius; d += 2) {
        const int dx = static_cast<int>(roundHalfAway(d * std::cos(angle)));
        const int dy = static_cast<int>(roundHalfAway(d * std::sin(angle)));
        k.add(dx, dy, static_cast<float>(std::exp(-0.5 * d * d / (sigma * sigma)) / total));
    }
    return k.take(stride);
}

// Zero-mean Gabor profile across the ridge for one period, each step's weight divided
// by the total absolute weight. It does not depend on the angle, so one serves all.
std::vector<double> acrossProfile(double period) {
    const double sigma = tuning::kGaborSigmaAcrossPeriods * period;
    const int radius = std::min(tuning::kPadMargin - 2, static_cast<int>(std::ceil(2.5 * sigma)));
    std::vector<double> env(2 * radius + 1), wave(2 * radius + 1);
    double sumEnv = 0, sumWave = 0;
    for (int d = -radius; d <= radius; ++d) {
        env[d + radius] = std::exp(-0.5 * d * d / (sigma * sigma));
        wave[d + radius] = env[d + radius] * std::cos(2 * M_PI * d / period);
        sumEnv += env[d + radius];
        sumWave += wave[d + radius];
    }
    // Removing the envelope-shaped DC keeps the response independent of the local mean.
    const double dc = sumWave / sumEnv;
    double energy = 0;
    for (int d = -radius; d <= radius; ++d) {
        wave[d + radius] -= dc * env[d + radius];
        energy += std::abs(wave[d + radius]);
    }
    for (double& w : wave)
        w /= energy;
    return wave;
}

// The profile laid across the ridge at `angle`, sampled bilinearly so its phase is exact.
Kernel acrossKernel(double angle, const std::vector<double>& profile, int stride,
                    KernelBuilder& k) {
    const int radius = static_cast<int>(profile.size() - 1) / 2;
    const double nx = -std::sin(angle), ny = std::cos(angle);
    for (int d = -radius; d <= radius; ++d) {
        const double x = d * nx, y = d * ny;
        const int x0 = static_cast<int>(std::floor(x)), y0 = static_cast<int>(std::floor(y));
        const double fx = x - x0, fy = y - y0;
        const double w = profile[d + radius];
        k.add(x0, y0, static_cast<float>(w * (1 - fx) * (1 - fy)));
        k.add(x0 + 1, y0, static_cast<float>(w * fx * (1 - fy)));
        k.add(x0, y0 + 1, static_cast<float>(w * (1 - fx) * fy));
        k.add(x0 + 1, y0 + 1, static_cast<float>(w * fx * fy));
    }
    return k.take(stride);
}

Image<std::uint8_t> dilate(const Image<std::uint8_t>& mask, int radius) {
    Image<std::uint8_t> out(mask.width, mask.height, 0);
    for (int y = 0; y < mask.height; ++y)
        for (int x = 0; x < mask.width; ++x) {
            if (!mask.at(x, y))
                continue;
            for (int dy = -radius; dy <= radius; ++dy)
                for (int dx = -radius; dx <= radius; ++dx)
                    if (out.contains(x + dx, y + dy))
                        out.at(x + dx, y + dy) = 1;
        }
    return out;
}

}  // namespace

Image<float> enhanceRidges(PaddedPlane& image, const OrientationField& field,
                           const Image<float>& period, const ForegroundMask& mask) {
    const int bs = tuning::kBlockSize;
    const int bw = mask.blocks.width, bh = mask.blocks.height;
    const int bins = tuning::kGaborOrientations, pbins = periodBins();
    auto angleBin = [&](int bx, int by) {
        return static_cast<int>(roundHalfAway(field.angle.at(bx, by) / M_PI * bins)) % bins;
    };
    auto periodBin = [&](int bx, int by) {
        return std::clamp(static_cast<int>(roundHalfAway((period.at(bx, by) - tuning::kMinPeriod) /
                                                         tuning::kGaborPeriodStep)),
                          0, pbins - 1);
    };

    // The bank is built lazily: only the combinations this image uses.
    std::vector<Kernel> along(bins);
    std::vector<bool> alongBuilt(bins, false);
    std::vector<Kernel> across(static_cast<std::size_t>(bins) * pbins);
    std::vector<bool> acrossBuilt(across.size(), false);
    std::vector<std::vector<double>> profiles(pbins);
    KernelBuilder builder;
    const VectorWidth vectors = widestVectors();
    Image<float> response(bw, bh, 0.0f);

    // Smoothing along the ridges reaches into a ring around the foreground so the
    // band-pass at the mask edge sees smoothed input.
    const Image<std::uint8_t> wide = dilate(mask.blocks, 1);
    PaddedPlane smoothed(image.width, image.height, image.margin);
    for (int by = 0; by < bh; ++by)
        for (int bx = 0; bx < bw; ++bx) {
            if (!wide.at(bx, by))
                continue;
            const int a = angleBin(bx, by);
            if (!alongBuilt[a]) {
                along[a] = alongKernel(M_PI * a / bins, image.stride, builder);
                alongBuilt[a] = true;
            }
            filterBlock(image, smoothed, along[a], bx * bs, by * bs, vectors);
        }

    for (int by = 0; by < bh; ++by)
        for (int bx = 0; bx < bw; ++bx) {
            if (!mask.blocks.at(bx, by)) {
                for (int y = 0; y < bs; ++y)
                    std::fill_n(image.row(by * bs + y) + bx * bs, bs, 0.0f);
                continue;
            }
            const int a = angleBin(bx, by);
            const std::size_t i = static_cast<std::size_t>(a) * pbins + periodBin(bx, by);
            if (!acrossBuilt[i]) {
                std::vector<double>& profile = profiles[i % pbins];
                if (profile.empty())
                    profile =
                        acrossProfile(tuning::kMinPeriod + tuning::kGaborPeriodStep * (i % pbins));
                across[i] = acrossKernel(M_PI * a / bins, profile, image.stride, builder);
                acrossBuilt[i] = true;
            }
            filterBlock(smoothed, image, across[i], bx * bs, by * bs, vectors);
            float energy = 0;
            for (int y = 0; y < bs; ++y) {
                const float* row = image.row(by * bs + y) + bx * bs;
                for (int x = 0; x < bs; ++x)
                    energy += row[x] * row[x];
            }
            response.at(bx, by) = std::sqrt(energy / (bs * bs));
        }
    return response;
}

}  // namespace zarn
