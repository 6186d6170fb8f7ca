// Sparse 2-D kernels applied to one block of a padded plane, with a wider vector path
// chosen at run time where the processor has one; both give the same bits.
#pragma once

#include <vector>

#include "padded_plane.h"

namespace zarn {

// Offsets into a padded plane (rows of its stride) and their weights.
struct Kernel {
    std::vector<int> offsets;
    std::vector<float> weights;
};

enum class VectorWidth { Narrow, Wide };

// Wide where the processor has 8-float vectors (and this build can use them).
VectorWidth widestVectors();

// Writes the kernel's response over the kBlockSize square at (x0, y0) of `out`,
// adding the taps in kernel order for every pixel whichever width runs.
void filterBlock(const PaddedPlane& in, PaddedPlane& out, const Kernel& kernel, int x0, int y0,
                 VectorWidth width);

}  // namespace zarn
