#include "binarization.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "block_map.h"

namespace zarn {

Image<std::uint8_t> binarizeRidges(const PaddedPlane& enhanced, const ForegroundMask& mask) {
    const int w = enhanced.width, h = enhanced.height, bs = tuning::kBlockSize;
    Image<std::uint8_t> out(w, h, 0);
    for (int y = 1; y < h - 1; ++y) {
        const float* src = enhanced.row(y);
        std::uint8_t* dst = &out.at(0, y);
        const std::uint8_t* blockRow = &mask.blocks.at(0, y / bs);
        // Block by block, so the pixel loop has no test of its own to keep it from
        // being vectorised; background blocks stay zero.
        for (int bx = 0; bx < mask.blocks.width; ++bx) {
            if (!blockRow[bx])
                continue;
            const int x0 = std::max(1, bx * bs), x1 = std::min(w - 1, bx * bs + bs);
            for (int x = x0; x < x1; ++x)
                dst[x] = src[x] > 0.0f;
        }
    }
    return out;
}

}  // namespace zarn

namespace zarn {

namespace {

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "words below are read byte 0 first");

struct Run {
    int y, x0, x1;  // pixels x0..x1 inclusive on row y
};

int findRoot(std::vector<int>& parent, int i) {
    while (parent[i] != i) {
        parent[i] = parent[parent[i]];
        i = parent[i];
    }
    return i;
}

// Connected regions of `value` found as runs per row joined by union-find, which costs
// per run rather than per pixel. Regions of at most maxArea pixels that touch neither
// the frame nor (for valleys) the background flip to the other value.
void flipSmallRegions(Image<std::uint8_t>& img, std::uint8_t value, bool eightConnected,
                      int maxArea, const ForegroundMask& mask) {
    const int w = img.width, h = img.height;
    std::vector<Run> runs;
    // Ridges and valleys alternate every few pixels: room for a run per four pixels
    // spares most of the growing.
    runs.reserve(img.pixels.size() / 4);
    std::vector<int> rowStart(h + 1, 0);
    for (int y = 0; y < h; ++y) {
        rowStart[y] = static_cast<int>(runs.size());
        // Pixels are 0 or 1: where a pixel differs from its left neighbour a run starts
        // or stops, and eight such differences come from one word comparison, each at
        // bit 8 i of the XOR (little-endian).
        const std::uint8_t* row = &img.at(0, y);
        bool inside = row[0] == value;
        int start = 0;
        auto edgeAt = [&](int x) {
            if (inside)
                runs.push_back({y, start, x - 1});
            else
                start = x;
            inside = !inside;
        };
        int x = 1;
        for (; x + 8 <= w; x += 8) {
            std::uint64_t here, left;
            std::memcpy(&here, row + x, sizeof here);
            std::memcpy(&left, row + x - 1, sizeof left);
            for (std::uint64_t edges = here ^ left; edges; edges &= edges - 1)
                edgeAt(x + __builtin_ctzll(edges) / 8);
        }
        for (; x < w; ++x)
            if (row[x] != row[x - 1])
                edgeAt(x);
        if (inside)
            runs.push_back({y, start, w - 1});
    }
    rowStart[h] = static_cast<int>(runs.size());
    const int n = static_cast<int>(runs.size());
    std::vector<int> parent(n), area(n);
    std::vector<std::uint8_t> open(n, 0);
    const int bs = tuning::kBlockSize;
    for (int i = 0; i < n; ++i) {
        const Run& r = runs[i];
        parent[i] = i;
        area[i] = r.x1 - r.x0 + 1;
        open[i] = r.y == 0 || r.y == h - 1 || r.x0 == 0 || r.x1 == w - 1;
        if (value == 0)
            for (int bx = r.x0 / bs; bx <= r.x1 / bs && !open[i]; ++bx)
                open[i] = !mask.blocks.at(bx, r.y / bs);
    }
    const int reach = eightConnected ? 1 : 0;
    for (int y = 1; y < h; ++y) {
        int j = rowStart[y - 1];
        for (int i = rowStart[y]; i < rowStart[y + 1]; ++i) {
            // Runs of the previous row overlapping this one (widened for 8-connectivity).
            while (j < rowStart[y] && runs[j].x1 + reach < runs[i].x0)
                ++j;
            for (int k = j; k < rowStart[y] && runs[k].x0 - reach <= runs[i].x1; ++k) {
                int a = findRoot(parent, i), b = findRoot(parent, k);
                if (a == b)
                    continue;
                // The larger region takes the smaller, which keeps the trees shallow;
                // which run is the root changes nothing below.
                if (area[a] < area[b])
                    std::swap(a, b);
                parent[b] = a;
                area[a] += area[b];
                open[a] = open[a] || open[b];
            }
        }
    }
    for (int i = 0; i < n; ++i) {
        // A run longer than the largest area cannot lie in a region small enough.
        if (runs[i].x1 - runs[i].x0 >= maxArea)
            continue;
        const int root = findRoot(parent, i);
        if (open[root] || area[root] > maxArea)
            continue;
        std::fill(&img.at(runs[i].x0, runs[i].y), &img.at(runs[i].x1, runs[i].y) + 1,
                  value ? 0 : 1);
    }
}

}  // namespace

void removeSmallIslands(Image<std::uint8_t>& binary, const ForegroundMask& mask, int maxArea) {
    flipSmallRegions(binary, 0, false, maxArea, mask);
    flipSmallRegions(binary, 1, true, maxArea, mask);
}

}  // namespace zarn
