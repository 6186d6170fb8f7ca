// Storage for padded planes, kept between extractions. A plane of a large print spans
// megabytes; handed back to the system after every image, it comes back as fresh pages
// that the system must fault in and clear again, which at 1000x1000 cost more than the
// filters that fill them. Kept here, the next image of the same size reuses it.
#pragma once

#include <cstddef>
#include <vector>

namespace zarn {

// `floats` zeros, in storage a previous plane used when one of a fitting size is kept.
std::vector<float> takePlaneStorage(std::size_t floats);

// Keeps the storage for the next plane (the most recent few, when they are large enough
// to be worth keeping and not so large that holding them would matter); other storage
// is simply freed.
void givePlaneStorage(std::vector<float>&& storage);

}  // namespace zarn
