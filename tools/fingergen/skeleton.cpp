#include "fingergen/skeleton.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace zarn::gen {

namespace {

constexpr float kPi = 3.14159265358979f;

// Neighbours in circular order starting east, going clockwise on the image (y down).
constexpr std::array<int, 8> kDx = {1, 1, 0, -1, -1, -1, 0, 1};
constexpr std::array<int, 8> kDy = {0, 1, 1, 1, 0, -1, -1, -1};

bool on(const GrayPlane& p, int x, int y) {
    return p.contains(x, y) && p.at(x, y) != 0;
}

// Number of 0->1 transitions around the pixel: 1 for an ending, 3 for a bifurcation.
int crossings(const GrayPlane& skel, int x, int y) {
    int n = 0;
    for (int i = 0; i < 8; ++i) {
        const bool a = on(skel, x + kDx[i], y + kDy[i]);
        const bool b = on(skel, x + kDx[(i + 1) % 8], y + kDy[(i + 1) % 8]);
        n += (!a && b) ? 1 : 0;
    }
    return n;
}

struct Trace {
    float endX = 0;
    float endY = 0;
    int steps = 0;
    bool hitMinutia = false;
};

// Follows the skeleton from (x1, y1) for up to `length` steps, never re-entering `visited`
// (which holds the minutia's own pixels and its other exits, so a trace cannot slip sideways
// into another branch of the same junction). Stops early on reaching another minutia.
Trace follow(const GrayPlane& skel, const GrayPlane& nodeAt,
             std::vector<std::pair<int, int>> visited, int x1, int y1, int length) {
    Trace t;
    int cx = x1;
    int cy = y1;
    visited.emplace_back(cx, cy);
    t.steps = 1;
    auto seen = [&](int x, int y) {
        return std::find(visited.begin(), visited.end(), std::make_pair(x, y)) != visited.end();
    };
    while (t.steps < length) {
        if (nodeAt.at(cx, cy) != 0) {
            t.hitMinutia = true;
            break;
        }
        // Prefer edge neighbours: on a thinned line a diagonal step can skip a corner pixel.
        int nx = -1;
        int ny = -1;
        for (int pass = 0; pass < 2 && nx < 0; ++pass) {
            for (int i = pass; i < 8; i += 2) {
                const int x = cx + kDx[i];
                const int y = cy + kDy[i];
                if (on(skel, x, y) && !seen(x, y)) {
                    nx = x;
                    ny = y;
                    break;
                }
            }
        }
        if (nx < 0) {
            break;
        }
        visited.emplace_back(nx, ny);
        cx = nx;
        cy = ny;
        ++t.steps;
    }
    t.endX = static_cast<float>(cx);
    t.endY = static_cast<float>(cy);
    return t;
}

// Image-axis angle (y down) to the record convention (counter-clockwise as seen), in [0, 2pi).
float toRecordAngle(float dx, float dy) {
    float a = std::atan2(-dy, dx);
    if (a < 0) {
        a += 2 * kPi;
    }
    if (a >= 2 * kPi) {
        a = 0;
    }
    return a;
}

float angleBetween(float ax, float ay, float bx, float by) {
    const float la = std::hypot(ax, ay);
    const float lb = std::hypot(bx, by);
    if (la == 0 || lb == 0) {
        return kPi;
    }
    return std::acos(std::clamp((ax * bx + ay * by) / (la * lb), -1.0f, 1.0f));
}

struct Candidate {
    Minutia m;
    bool drop = false;
};

}  // namespace

GrayPlane thin(const GrayPlane& binary) {
    // Zhang-Suen thinning: alternate sub-iterations peel the south-east and north-west sides.
    GrayPlane img = binary;
    for (auto& v : img.pixels) {
        v = v ? 1 : 0;
    }
    const int w = img.width;
    const int h = img.height;
    std::vector<std::size_t> remove;
    bool changed = true;
    while (changed) {
        changed = false;
        for (int sub = 0; sub < 2; ++sub) {
            remove.clear();
            for (int y = 1; y < h - 1; ++y) {
                for (int x = 1; x < w - 1; ++x) {
                    if (!img.at(x, y)) {
                        continue;
                    }
                    const int p2 = img.at(x, y - 1), p3 = img.at(x + 1, y - 1);
                    const int p4 = img.at(x + 1, y), p5 = img.at(x + 1, y + 1);
                    const int p6 = img.at(x, y + 1), p7 = img.at(x - 1, y + 1);
                    const int p8 = img.at(x - 1, y), p9 = img.at(x - 1, y - 1);
                    const int b = p2 + p3 + p4 + p5 + p6 + p7 + p8 + p9;
                    if (b < 2 || b > 6) {
                        continue;
                    }
                    const int a = (!p2 && p3) + (!p3 && p4) + (!p4 && p5) + (!p5 && p6) +
                                  (!p6 && p7) + (!p7 && p8) + (!p8 && p9) + (!p9 && p2);
                    if (a != 1) {
                        continue;
                    }
                    if (sub == 0 ? (p2 * p4 * p6 == 0 && p4 * p6 * p8 == 0)
                                 : (p2 * p4 * p8 == 0 && p2 * p6 * p8 == 0)) {
                        remove.push_back(static_cast<std::size_t>(y) * w + x);
                    }
                }
            }
            for (std::size_t i : remove) {
                img.pixels[i] = 0;
            }
            changed = changed || !remove.empty();
        }
    }
    return img;
}

std::vector<Minutia> findMinutiae(const FloatPlane& ridges, const FloatPlane& inside,
                                  float margin) {
    const int w = ridges.width;
    const int h = ridges.height;
    GrayPlane binary(w, h);
    for (std::size_t i = 0; i < binary.pixels.size(); ++i) {
        binary.pixels[i] = ridges.pixels[i] > 0 ? 1 : 0;
    }
    const GrayPlane skel = thin(binary);

    // Nodes: line ends (one neighbour run) and junction pixels (three or more). A junction
    // often spans two or three adjacent pixels; each such cluster is one bifurcation.
    GrayPlane nodeAt(w, h);
    for (int y = 1; y < h - 1; ++y) {
        for (int x = 1; x < w - 1; ++x) {
            if (skel.at(x, y)) {
                const int cn = crossings(skel, x, y);
                nodeAt.at(x, y) = cn == 1 ? 1 : cn >= 3 ? 3 : 0;
            }
        }
    }
    std::vector<std::vector<std::pair<int, int>>> nodes;
    GrayPlane taken(w, h);
    for (int y = 1; y < h - 1; ++y) {
        for (int x = 1; x < w - 1; ++x) {
            if (!nodeAt.at(x, y) || taken.at(x, y)) {
                continue;
            }
            std::vector<std::pair<int, int>> cluster = {{x, y}};
            taken.at(x, y) = 1;
            if (nodeAt.at(x, y) == 3) {
                for (std::size_t k = 0; k < cluster.size(); ++k) {
                    for (int i = 0; i < 8; ++i) {
                        const int nx = cluster[k].first + kDx[i];
                        const int ny = cluster[k].second + kDy[i];
                        if (nodeAt.contains(nx, ny) && nodeAt.at(nx, ny) == 3 &&
                            !taken.at(nx, ny)) {
                            taken.at(nx, ny) = 1;
                            cluster.emplace_back(nx, ny);
                        }
                    }
                }
            }
            nodes.push_back(cluster);
        }
    }

    const int traceLength = 12;  // ~1.3 ridge periods: long enough for a stable direction
    const int shortest = 8;      // branches shorter than this are artefacts, not minutiae
    std::vector<Candidate> found;
    for (const auto& cluster : nodes) {
        Candidate c;
        float sx = 0, sy = 0;
        for (const auto& [px, py] : cluster) {
            sx += px;
            sy += py;
        }
        const float x = sx / cluster.size();
        const float y = sy / cluster.size();
        c.m.x = x;
        c.m.y = y;
        // Exits: line pixels touching the node; edge-adjacent exits belong to one branch.
        std::vector<std::pair<int, int>> exits;
        for (const auto& [px, py] : cluster) {
            for (int i = 0; i < 8; ++i) {
                const std::pair<int, int> q{px + kDx[i], py + kDy[i]};
                if (on(skel, q.first, q.second) &&
                    std::find(cluster.begin(), cluster.end(), q) == cluster.end() &&
                    std::find(exits.begin(), exits.end(), q) == exits.end()) {
                    exits.push_back(q);
                }
            }
        }
        std::vector<int> branchOf(exits.size(), -1);
        std::vector<std::pair<int, int>> starts;
        for (std::size_t i = 0; i < exits.size(); ++i) {
            if (branchOf[i] >= 0) {
                continue;
            }
            branchOf[i] = static_cast<int>(starts.size());
            for (bool grew = true; grew;) {  // transitive closure over touching exits
                grew = false;
                for (std::size_t j = 0; j < exits.size(); ++j) {
                    for (std::size_t k = 0; k < exits.size() && branchOf[j] < 0; ++k) {
                        // Edge-adjacent only: two branches can leave through diagonal
                        // neighbours of each other (north and east of one junction pixel).
                        if (branchOf[k] == branchOf[i] &&
                            std::abs(exits[j].first - exits[k].first) +
                                    std::abs(exits[j].second - exits[k].second) ==
                                1) {
                            branchOf[j] = branchOf[i];
                            grew = true;
                        }
                    }
                }
            }
            starts.push_back(exits[i]);
        }
        std::vector<Trace> traces;
        for (std::size_t b = 0; b < starts.size(); ++b) {
            // A branch may not enter the node again, nor another branch's exits.
            std::vector<std::pair<int, int>> visited = cluster;
            for (std::size_t i = 0; i < exits.size(); ++i) {
                if (branchOf[i] != static_cast<int>(b)) {
                    visited.push_back(exits[i]);
                }
            }
            const auto [bx, by] = starts[b];
            traces.push_back(follow(skel, nodeAt, visited, bx, by, traceLength));
        }
        for (const Trace& t : traces) {
            if (t.steps < shortest) {
                c.drop = true;  // a spur, a tiny island or two junction pixels side by side
            }
        }
        const int kind = nodeAt.at(cluster[0].first, cluster[0].second);
        if (kind == 1 && traces.size() == 1) {
            c.m.type = MinutiaType::RidgeEnding;
            c.m.direction = toRecordAngle(traces[0].endX - x, traces[0].endY - y);
        } else if (kind == 3 && traces.size() == 3) {
            c.m.type = MinutiaType::Bifurcation;
            float vx[3], vy[3];
            for (int i = 0; i < 3; ++i) {
                vx[i] = traces[i].endX - x;
                vy[i] = traces[i].endY - y;
                const float len = std::max(1e-3f, std::hypot(vx[i], vy[i]));
                vx[i] /= len;
                vy[i] /= len;
            }
            // The stem is the branch farthest in angle from the other two.
            int stem = 0;
            float best = -1;
            for (int i = 0; i < 3; ++i) {
                const int j = (i + 1) % 3, k = (i + 2) % 3;
                const float sep = std::min(angleBetween(vx[i], vy[i], vx[j], vy[j]),
                                           angleBetween(vx[i], vy[i], vx[k], vy[k]));
                if (sep > best) {
                    best = sep;
                    stem = i;
                }
            }
            const int j = (stem + 1) % 3, k = (stem + 2) % 3;
            // Average of "opposite the stem" and the bisector of the two branches.
            float bx = vx[j] + vx[k], by = vy[j] + vy[k];
            const float bl = std::hypot(bx, by);
            if (bl > 1e-3f) {
                bx /= bl;
                by /= bl;
            }
            c.m.direction = toRecordAngle(bx - vx[stem], by - vy[stem]);
        } else {
            c.drop = true;
        }
        if (inside.at(cluster[0].first, cluster[0].second) < margin) {
            c.drop = true;
        }
        found.push_back(c);
    }

    // Junctions closer than a ridge width are one feature seen twice, or a bridge artefact.
    for (std::size_t i = 0; i < found.size(); ++i) {
        for (std::size_t j = i + 1; j < found.size(); ++j) {
            if (std::hypot(found[i].m.x - found[j].m.x, found[i].m.y - found[j].m.y) < 5.0f) {
                found[i].drop = true;
                found[j].drop = true;
            }
        }
    }
    std::vector<Minutia> out;
    for (const Candidate& c : found) {
        if (!c.drop) {
            out.push_back(c.m);
        }
    }
    return out;
}

}  // namespace zarn::gen
