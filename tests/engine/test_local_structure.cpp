// Local structures compared on the widest vectors the processor has must give
// the bits of the portable comparison: the seeds an alignment starts from,
// and so every score, depend on them.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "local_structure.h"
#include "test_merge_fakes.h"

namespace {

using zarn::LocalStructure;
using zarn::Minutia;

bool sameBits(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Structures of a fake impression, and of a sparse copy whose minutiae have
// fewer than a full set of neighbours.
std::vector<LocalStructure> structuresOf(std::uint32_t seed, bool sparse) {
    zarn_test::FakeWindow w;
    w.x0 = 40, w.y0 = 60;
    std::vector<Minutia> minutiae =
        zarn_test::fakeImpression(zarn_test::fakeFinger(420, 420, seed), w).view.minutiae;
    if (sparse) {
        std::vector<Minutia> kept;
        for (std::size_t i = 0; i < minutiae.size(); i += 4) {
            kept.push_back(minutiae[i]);
        }
        minutiae = kept;
    }
    return zarn::localStructures(minutiae);
}

TEST(LocalStructure, EveryPathGivesThePortableBits) {
    std::size_t compared = 0, similar = 0, partial = 0;
    for (std::uint32_t seed = 1; seed <= 4; ++seed) {
        const auto a = structuresOf(seed, seed % 2 == 0);
        // The same finger (pairs that agree) and another one (pairs that do not).
        for (const std::uint32_t other : {seed, seed + 10}) {
            const auto b = structuresOf(other, other % 3 == 0);
            for (const LocalStructure& x : a) {
                for (const LocalStructure& y : b) {
                    partial += x.count < zarn::kNeighbours || y.count < zarn::kNeighbours;
                    for (const float floor : {0.0f, 0.2f, 0.45f}) {
                        const float wide = zarn::localSimilarity(x, y, floor);
                        const float portable = zarn::localSimilarityPortable(x, y, floor);
                        ASSERT_TRUE(sameBits(wide, portable))
                            << wide << " against " << portable << " at floor " << floor;
                        similar += floor == 0 && wide > 0.2f;
                        ++compared;
                    }
                }
            }
        }
    }
    // Enough pairs that agree, and structures short of neighbours, to matter.
    EXPECT_GT(similar, 50u);
    EXPECT_GT(partial, 100u);
    EXPECT_GT(compared, 10000u);
}

}  // namespace
