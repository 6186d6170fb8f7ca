#include "frequency.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "block_map.h"
#include "rounding.h"

namespace zarn {

namespace {

constexpr int kAngleBins = 32;
// Farthest a signature sample lies from the window centre, in pixels.
constexpr int kReach = (tuning::kSignatureLength + tuning::kSignatureWidth) / 2 + 1;

struct Offset {
    int dx, dy;
};

// Sample offsets of the oriented window for each quantised ridge angle: rows of
// kSignatureWidth samples along the ridge, one row per step across.
std::vector<std::vector<Offset>> signatureWindows() {
    const int len = tuning::kSignatureLength, wid = tuning::kSignatureWidth;
    std::vector<std::vector<Offset>> windows(kAngleBins);
    for (int b = 0; b < kAngleBins; ++b) {
        const double a = M_PI * b / kAngleBins;
        const double ux = std::cos(a), uy = std::sin(a);  // along the ridge
        const double nx = -uy, ny = ux;                   // across
        for (int k = 0; k < len; ++k)
            for (int j = 0; j < wid; ++j) {
                const double across = k - (len - 1) / 2.0, along = j - (wid - 1) / 2.0;
                windows[b].push_back({static_cast<int>(roundHalfAway(across * nx + along * ux)),
                                      static_cast<int>(roundHalfAway(across * ny + along * uy))});
            }
    }
    return windows;
}

// Period from the zero crossings of the signature, or 0 when it is not a clean wave.
float periodFromSignature(const std::array<float, tuning::kSignatureLength>& raw) {
    const int len = tuning::kSignatureLength;
    std::array<float, tuning::kSignatureLength> s{};
    float mean = 0, lo = 1e30f, hi = -1e30f;
    for (int k = 0; k < len; ++k) {
        const float v =
            0.25f * raw[std::max(0, k - 1)] + 0.5f * raw[k] + 0.25f * raw[std::min(len - 1, k + 1)];
        s[k] = v;
        mean += v;
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    if (hi - lo < tuning::kSignatureMinSwing)
        return 0;
    mean /= len;
    std::array<float, tuning::kSignatureLength> zeros{};
    int n = 0;
    for (int k = 0; k + 1 < len; ++k) {
        const float a = s[k] - mean, b = s[k + 1] - mean;
        if ((a < 0) != (b < 0))
            zeros[n++] = k + a / (a - b);
    }
    if (n < 3)
        return 0;
    const float half = (zeros[n - 1] - zeros[0]) / (n - 1);
    float var = 0;
    for (int i = 1; i < n; ++i) {
        const float d = zeros[i] - zeros[i - 1] - half;
        var += d * d;
    }
    if (std::sqrt(var / (n - 1)) > tuning::kSignatureMaxSpread * half)
        return 0;
    const float period = 2 * half;
    return period >= tuning::kMinPeriod && period <= tuning::kMaxPeriod ? period : 0;
}

}  // namespace

Image<float> estimateRidgePeriod(const PaddedPlane& normalized, const OrientationField& field,
                                 const ForegroundMask& mask) {
    const int bs = tuning::kBlockSize;
    const int bw = mask.blocks.width, bh = mask.blocks.height;
    // Made for each image, not kept: memory an extraction leaves behind would sit among
    // the planes of the next one, so the heap could neither shrink nor stay on large pages.
    // Their offsets as steps through this plane's rows are made for the angles it needs.
    const std::vector<std::vector<Offset>> windows = signatureWindows();
    std::vector<std::vector<int>> windowSteps(kAngleBins);
    const int len = tuning::kSignatureLength, wid = tuning::kSignatureWidth;

    // Measured on every other block in each direction; the 2x2 group shares it and
    // the smoothing below removes the steps.
    Image<float> period(bw, bh, 0.0f);
    for (int by = 0; by < bh; by += 2)
        for (int bx = 0; bx < bw; bx += 2) {
            bool any = false;
            for (int y = by; y < std::min(bh, by + 2); ++y)
                for (int x = bx; x < std::min(bw, bx + 2); ++x)
                    any = any || mask.blocks.at(x, y);
            if (!any)
                continue;
            const int cx = std::min(normalized.width - 1, bx * bs + bs);
            const int cy = std::min(normalized.height - 1, by * bs + bs);
            const int bin =
                static_cast<int>(roundHalfAway(field.angle.at(bx, by) / M_PI * kAngleBins)) %
                kAngleBins;
            const auto& win = windows[bin];
            // Steps are kept sample by sample across the whole window (j outer, k inner),
            // so the 36 row sums below grow side by side instead of one long chain of
            // dependent additions each; every sum still adds its samples in j order.
            std::vector<int>& binSteps = windowSteps[bin];
            if (binSteps.empty()) {
                binSteps.resize(win.size());
                for (int k = 0; k < len; ++k)
                    for (int j = 0; j < wid; ++j) {
                        const Offset& o = win[static_cast<std::size_t>(k) * wid + j];
                        binSteps[static_cast<std::size_t>(j) * len + k] =
                            o.dy * normalized.stride + o.dx;
                    }
            }
            std::array<float, tuning::kSignatureLength> sig{};
            // Windows well inside the image read the padded plane without checks.
            const bool inside = cx >= kReach && cy >= kReach && cx + kReach < normalized.width &&
                                cy + kReach < normalized.height;
            if (inside) {
                const float* centre = normalized.row(cy) + cx;
                std::array<float, tuning::kSignatureLength> sum{};
                for (int j = 0; j < wid; ++j) {
                    const int* step = binSteps.data() + static_cast<std::size_t>(j) * len;
                    for (int k = 0; k < len; ++k)
                        sum[k] += centre[step[k]];
                }
                for (int k = 0; k < len; ++k)
                    sig[k] = sum[k] / wid;
            } else {
                for (int k = 0; k < len; ++k) {
                    const Offset* o = &win[static_cast<std::size_t>(k) * wid];
                    float sum = 0;
                    int n = 0;
                    for (int j = 0; j < wid; ++j) {
                        const int x = cx + o[j].dx, y = cy + o[j].dy;
                        if (x < 0 || y < 0 || x >= normalized.width || y >= normalized.height)
                            continue;
                        sum += normalized.at(x, y);
                        ++n;
                    }
                    sig[k] = n ? sum / n : 0.0f;
                }
            }
            const float p = periodFromSignature(sig);
            for (int y = by; y < std::min(bh, by + 2); ++y)
                for (int x = bx; x < std::min(bw, bx + 2); ++x)
                    period.at(x, y) = p;
        }

    // Spread valid periods into unclear blocks from their neighbours, each pass reading
    // the map as the last one left it. Valid periods are positive and so are their
    // means: a block gains a valid neighbour only in the pass after that neighbour was
    // filled, so after the first pass only the neighbours of the last fills are looked at.
    struct Fill {
        int x, y;
        float value;
    };
    std::vector<Fill> fills, lastFills;
    std::vector<int> seen(period.pixels.size(), -1);
    auto fillFrom = [&](int x, int y) {
        float sum = 0;
        int n = 0;
        // Neighbours inside the map, in raster order, as the sum has always run.
        for (int ny = std::max(0, y - 1); ny <= std::min(bh - 1, y + 1); ++ny)
            for (int nx = std::max(0, x - 1); nx <= std::min(bw - 1, x + 1); ++nx) {
                const float v = period.at(nx, ny);
                if (v > 0) {
                    sum += v;
                    ++n;
                }
            }
        if (n)
            fills.push_back({x, y, sum / n});
    };
    for (int pass = 0; pass < tuning::kPeriodFillPasses; ++pass) {
        fills.clear();
        if (pass == 0) {
            for (int y = 0; y < bh; ++y)
                for (int x = 0; x < bw; ++x)
                    if (!(period.at(x, y) > 0))
                        fillFrom(x, y);
        } else {
            for (const Fill& f : lastFills)
                for (int y = std::max(0, f.y - 1); y <= std::min(bh - 1, f.y + 1); ++y)
                    for (int x = std::max(0, f.x - 1); x <= std::min(bw - 1, f.x + 1); ++x) {
                        int& mark = seen[static_cast<std::size_t>(y) * bw + x];
                        if (period.at(x, y) > 0 || mark == pass)
                            continue;
                        mark = pass;
                        fillFrom(x, y);
                    }
        }
        if (fills.empty())
            break;
        for (const Fill& f : fills)
            period.at(f.x, f.y) = f.value;
        std::swap(fills, lastFills);
    }
    std::vector<float> valid;
    for (float p : period.pixels)
        if (p > 0)
            valid.push_back(p);
    float fallback = tuning::kDefaultPeriod;
    if (!valid.empty()) {
        std::nth_element(valid.begin(), valid.begin() + valid.size() / 2, valid.end());
        fallback = valid[valid.size() / 2];
    }
    for (float& p : period.pixels)
        if (p <= 0)
            p = fallback;
    smoothBlockMap(period, tuning::kPeriodSmoothSigmaBlocks);
    for (float& p : period.pixels)
        p = std::clamp(p, tuning::kMinPeriod, tuning::kMaxPeriod);
    return period;
}

}  // namespace zarn
