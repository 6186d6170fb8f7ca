// Short codes of a view's cylinders and a quick score between two views made
// from them: a first look that ranks a large gallery for a search, so the
// full comparison is spent only on the templates that look most alike.
// After the indexing of Cappelli, Ferrara and Maltoni (bit samples of the
// cylinders), scored as the best code pairs' mean.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "cylinder.h"
#include "minutia.h"

namespace zarn {

// Bits sampled from each cylinder, in words.
constexpr std::size_t kCodeWords = 8;

// The codes of a view's usable cylinders, laid out word by word so that
// several cylinders are compared at once: word w of cylinder i is
// words[w * padded + i]. Padding cylinders have no direction (NaN) and
// pair with nothing.
struct CylinderCodes {
    std::size_t count = 0;
    std::size_t padded = 0;  // count rounded up to a whole block
    std::vector<std::uint64_t> words;
    std::vector<double> bitsSet;       // per cylinder, its code's bits set
    std::vector<double> cosine, sine;  // of its minutia's direction
};

CylinderCodes cylinderCodes(const std::vector<Minutia>& minutiae,
                            const std::vector<Cylinder>& cylinders);

// How alike two views look from their codes, 0-1: each of the gallery
// view's cylinders paired with its most similar code in the probe (minutiae
// at most a quarter turn apart), and the best of those averaged. Not a
// calibrated score; only its order matters.
float quickScore(const CylinderCodes& probe, const CylinderCodes& gallery);

}  // namespace zarn
