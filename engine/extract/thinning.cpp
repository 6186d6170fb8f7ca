#include "thinning.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

namespace zarn {

namespace {

enum : int { N = 1, NE = 2, E = 4, SE = 8, S = 16, SW = 32, W = 64, NW = 128 };

int bitCount(int code) {
    int n = 0;
    for (; code; code &= code - 1)
        ++n;
    return n;
}

bool bit(int code, int i) {
    return (code >> (i & 7)) & 1;
}

// True when deleting the centre keeps the topology: the ring's set pixels form one
// 8-connected group and its clear pixels one 4-connected group touching the centre.
bool isSimple(int code) {
    // Set ring pixels: consecutive ones touch, and so do edge pixels two apart.
    int label[8] = {};
    int groups = 0;
    for (int i = 0; i < 8; ++i) {
        if (!bit(code, i) || label[i])
            continue;
        ++groups;
        std::vector<int> stack{i};
        label[i] = groups;
        while (!stack.empty()) {
            const int j = stack.back();
            stack.pop_back();
            std::vector<int> near{(j + 1) % 8, (j + 7) % 8};
            if (j % 2 == 0) {
                near.push_back((j + 2) % 8);
                near.push_back((j + 6) % 8);
            }
            for (int k : near)
                if (bit(code, k) && !label[k]) {
                    label[k] = groups;
                    stack.push_back(k);
                }
        }
    }
    // Clear ring pixels: runs of consecutive zeros; count runs holding an edge pixel.
    int clearRuns = 0;
    if (code == 0)
        return false;
    for (int i = 0; i < 8; ++i) {
        if (bit(code, i) || !bit(code, i + 7))
            continue;  // i starts a run of zeros
        bool edge = false;
        for (int j = i; !bit(code, j) && j < i + 8; ++j)
            edge = edge || j % 2 == 0;
        clearRuns += edge;
    }
    return groups == 1 && clearRuns == 1;
}

// Zhang-Suen deletion tables for the two sub-iterations.
std::array<std::array<bool, 256>, 2> deletionTables() {
    std::array<std::array<bool, 256>, 2> table{};
    for (int c = 0; c < 256; ++c) {
        const int b = bitCount(c);
        const bool base = b >= 2 && b <= 6 && crossingNumber(c) == 1;
        const bool n = c & N, e = c & E, s = c & S, w = c & W;
        table[0][c] = base && !(n && e && s) && !(e && s && w);
        table[1][c] = base && !(n && e && w) && !(n && s && w);
    }
    return table;
}

// Simple pixels that are not line ends: safe to delete one at a time.
std::array<bool, 256> erasableTable() {
    std::array<bool, 256> table{};
    for (int c = 0; c < 256; ++c)
        table[c] = bitCount(c) >= 2 && isSimple(c);
    return table;
}

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "words below are read byte 0 first");

// Visits the words of set pixels off the frame, in raster order, as visit(y, p, word)
// with p the index of the word's first pixel. Most of a binary image is zero, so eight
// pixels are read as one word: zero words are skipped, and since pixels are 0 or 1,
// pixel i of a word is bit 8 i (little-endian).
template <typename Visit>
void forEachSetWord(const std::uint8_t* img, int w, int h, Visit&& visit) {
    for (int y = 1; y < h - 1; ++y) {
        const std::uint8_t* row = img + static_cast<std::size_t>(y) * w;
        int x = 1;
        for (; x + 8 <= w - 1; x += 8) {
            std::uint64_t word;
            std::memcpy(&word, row + x, sizeof word);
            if (word)
                visit(y, y * w + x, word);
        }
        for (; x < w - 1; ++x)
            if (row[x])
                visit(y, y * w + x, std::uint64_t{1});
    }
}

// How many pixels are set off the frame: a word's bytes add up by one multiplication.
std::size_t countSetPixels(const std::uint8_t* img, int w, int h) {
    std::size_t count = 0;
    forEachSetWord(img, w, h, [&](int, int, std::uint64_t word) {
        count += (word * 0x0101010101010101ull) >> 56;
    });
    return count;
}

// Deletes erasable pixels one at a time, weakest ridge response first, so what
// remains follows the crest of each ridge. Returns the pixels left.
std::vector<int> orderedErosion(std::uint8_t* img, int w, int h, const PaddedPlane& strength) {
    constexpr int kLevels = 64;
    constexpr float kLevelsPerUnit = 16.0f;
    static const std::array<bool, 256> erasable = erasableTable();
    std::vector<int> count(kLevels + 1, 0);
    // A counting sort by level, stable: equal levels keep raster order. The pixels are
    // listed and their levels taken in one sweep; neighbouring ridge pixels share
    // levels, so four part counts keep the increments independent.
    std::vector<int> set(countSetPixels(img, w, h));
    std::vector<std::uint8_t> level(set.size());
    int partCount[4][kLevels] = {};
    std::size_t i = 0;
    forEachSetWord(img, w, h, [&](int y, int p, std::uint64_t word) {
        const float* response = strength.row(y) + (p - y * w);
        for (; word; word &= word - 1) {
            const int x = __builtin_ctzll(word) / 8;
            const int q = p + x;
            const int l =
                std::clamp(static_cast<int>(response[x] * kLevelsPerUnit), 0, kLevels - 1);
            set[i] = q;
            level[i] = static_cast<std::uint8_t>(l);
            ++partCount[i % 4][l];
            ++i;
        }
    });
    for (int l = 0; l < kLevels; ++l)
        count[l + 1] = partCount[0][l] + partCount[1][l] + partCount[2][l] + partCount[3][l];
    for (int l = 0; l < kLevels; ++l)
        count[l + 1] += count[l];
    std::vector<int> order(count[kLevels]);
    for (std::size_t i = 0; i < set.size(); ++i)
        order[count[level[i]]++] = set[i];
    // A second sweep catches pixels that became erasable after their turn.
    // Every pixel listed is still set, so the deletion is a store, not a branch the
    // processor would mispredict.
    for (int sweep = 0; sweep < 2; ++sweep) {
        std::size_t kept = 0;
        for (int p : order) {
            const bool erase = erasable[neighbourCodeAt(img + p, w)];
            img[p] = !erase;
            order[kept] = p;
            kept += !erase;
        }
        order.resize(kept);
    }
    return order;
}

}  // namespace

void thinRidges(Image<std::uint8_t>& binary, const PaddedPlane& strength) {
    const int w = binary.width, h = binary.height;
    if (w < 3 || h < 3) {
        std::fill(binary.pixels.begin(), binary.pixels.end(), 0);
        return;
    }
    std::uint8_t* img = binary.pixels.data();
    std::vector<int> live = orderedErosion(img, w, h, strength);
    // Zhang-Suen passes guarantee a one-pixel-wide result wherever the erosion left
    // a thicker spot; on the almost-thin input they converge in a round or two.
    static const std::array<std::array<bool, 256>, 2> table = deletionTables();
    std::vector<int> doomed;
    for (bool changed = true; changed;) {
        changed = false;
        for (int sub = 0; sub < 2; ++sub) {
            // One pass drops the pixels the last sub-iteration deleted and finds those
            // this one deletes; the deletions wait until every code has been read.
            doomed.clear();
            std::size_t kept = 0;
            for (int p : live) {
                if (!img[p])
                    continue;
                live[kept++] = p;
                if (table[sub][neighbourCodeAt(img + p, w)])
                    doomed.push_back(p);
            }
            live.resize(kept);
            for (int p : doomed)
                img[p] = 0;
            changed = changed || !doomed.empty();
        }
    }
    // Staircase corners: a pixel joining two 4-neighbours that touch diagonally anyway.
    // Removing them leaves ridge pixels with exactly two neighbours, which the crossing
    // number relies on.
    for (int p : live) {
        const int c = neighbourCodeAt(img + p, w);
        const bool corner = ((c & N) && (c & E) && !(c & (S | W | SW))) ||
                            ((c & E) && (c & S) && !(c & (N | W | NW))) ||
                            ((c & S) && (c & W) && !(c & (N | E | NE))) ||
                            ((c & W) && (c & N) && !(c & (S | E | SE)));
        if (corner)
            img[p] = 0;
    }
}

}  // namespace zarn

namespace zarn {

void pruneSpurs(Image<std::uint8_t>& skeleton, int maxLength) {
    const int w = skeleton.width, h = skeleton.height;
    std::uint8_t* img = skeleton.pixels.data();
    const int ring[8] = {-w, -w + 1, 1, w + 1, w, w - 1, -1, -w - 1};  // N NE E SE S SW W NW
    // Line ends, found straight from the sparse skeleton's words.
    std::vector<int> ends;
    forEachSetWord(img, w, h, [&](int, int p, std::uint64_t word) {
        for (; word; word &= word - 1) {
            const int q = p + __builtin_ctzll(word) / 8;
            if (crossingNumber(neighbourCodeAt(img + q, w)) == 1)
                ends.push_back(q);
        }
    });
    std::vector<int> path;
    for (int start : ends) {
        if (!img[start])
            continue;
        path.assign(1, start);
        int cur = start;
        bool reachedJunction = false;
        while (static_cast<int>(path.size()) <= maxLength) {
            const int code = neighbourCodeAt(img + cur, w);
            int next = -1;
            // Edge neighbours first, never back onto the path.
            for (int pass = 0; pass < 2 && next < 0; ++pass)
                for (int i = pass; i < 8; i += 2) {
                    if (!((code >> i) & 1))
                        continue;
                    const int q = cur + ring[i];
                    if (std::find(path.begin(), path.end(), q) != path.end())
                        continue;
                    next = q;
                    break;
                }
            if (next < 0)
                break;  // an isolated fragment: not a spur
            if (crossingNumber(neighbourCodeAt(img + next, w)) >= 3) {
                reachedJunction = true;
                break;
            }
            path.push_back(next);
            cur = next;
        }
        if (reachedJunction)
            for (int p : path)
                img[p] = 0;
    }
}

}  // namespace zarn
