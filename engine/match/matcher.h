// Minutia matching: aligns two finger views by their local minutia structures
// and scores how well they agree once aligned.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "cylinder.h"
#include "cylinder_code.h"
#include "hull.h"
#include "local_structure.h"
#include "minutia.h"
#include "pairing.h"
#include "transform.h"

namespace zarn {

// Where two views agree: the transform taking `from` into `to`'s frame and
// the minutiae paired under it (index into from, index into to).
struct ViewAlignment {
    bool aligned = false;
    RigidTransform transform;
    std::vector<std::pair<std::size_t, std::size_t>> pairs;
    // How well the minutiae pair up under the transform, 0-1: what decides
    // whether the alignment is firm enough to place one view in the other.
    float pairScore = 0;
    float score = 0;  // 0-1, see matchScore
};

// A view made ready for many comparisons: what the matcher derives from it
// alone, computed once.
struct PreparedView {
    std::vector<Minutia> minutiae;
    std::vector<LocalStructure> structures;
    std::vector<Cylinder> cylinders;
    CylinderCodes codes;  // for a search's first look (cylinder_code.h)
    MinutiaGrid grid;
    // Filled by addNeighbourReach, for a view compared as `from` many times;
    // otherwise each alignment works it out itself.
    std::vector<NeighbourReach> reach;
    // Whether the structures and grid are there too (see completeView).
    bool complete = false;
};
PreparedView prepareView(const FingerView& view);
// The part of preparing a view that a first look (quickScore) needs: the
// cylinders and their codes. completeView adds the rest, once, for a view
// that is to be compared fully; a search spares it for most of a gallery.
PreparedView prepareCylinders(const FingerView& view);
void completeView(PreparedView& view);
void addNeighbourReach(PreparedView& view);

// Finds the rigid transform most minutiae agree on, with a tolerance that
// grows away from the paired area for elastic skin distortion. `aligned` when
// enough minutiae pair up, and the pair score is high enough, to rule out a
// chance agreement between different fingers.
ViewAlignment alignViews(const FingerView& from, const FingerView& to);
ViewAlignment alignViews(const PreparedView& from, const PreparedView& to);

// Similarity of two views, 0 (nothing in common) to 1: the geometric mean of
// the pair score (the paired minutiae, each weighted by how well their
// neighbourhoods agree, relative to the minutiae each view has where the
// other one also sees the finger, so a template covering more skin is not
// penalised for its extra area) and the relaxed cylinder score (relaxation.h).
float matchScore(const FingerView& a, const FingerView& b);
float matchScore(const PreparedView& a, const PreparedView& b);

// matchScore(a, b) when that reaches `floor`; otherwise some value below
// `floor`, found without the alignment where the cylinders' verdict alone
// rules the floor out. A search for the K best needs no more.
float matchScoreFrom(const PreparedView& a, const PreparedView& b, float floor);

}  // namespace zarn
