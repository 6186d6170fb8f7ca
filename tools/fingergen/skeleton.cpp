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

// Follows the skeleton from (x0, y0) through its neighbour (x1, y1) for up to `length` steps.
Trace follow(const GrayPlane& skel, const GrayPlane& minutiaAt, int x0, int y0, int x1, int y1,
             int length) {
    Trace t;
    // The start and all its neighbours count as visited, so a trace cannot slip sideways into
    // another branch of the same junction.
    std::vector<std::pair<int, int>> visited = {{x0, y0}, {x1, y1}};
    for (int i = 0; i < 8; ++i) {
        if (on(skel, x0 + kDx[i], y0 + kDy[i])) {
            visited.emplace_back(x0 + kDx[i], y0 + kDy[i]);
        }
    }
    int cx = x1;
    int cy = y1;
    t.steps = 1;
    auto seen = [&](int x, int y) {
        return std::find(visited.begin(), visited.end(), std::make_pair(x, y)) != visited.end();
    };
    while (t.steps < length) {
        if (minutiaAt.at(cx, cy) != 0) {
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

    GrayPlane minutiaAt(w, h);
    std::vector<std::pair<int, int>> raw;
    for (int y = 1; y < h - 1; ++y) {
        for (int x = 1; x < w - 1; ++x) {
            if (!skel.at(x, y)) {
                continue;
            }
            const int cn = crossings(skel, x, y);
            if (cn == 1 || cn == 3) {
                minutiaAt.at(x, y) = static_cast<std::uint8_t>(cn);
                raw.emplace_back(x, y);
            }
        }
    }

    const int traceLength = 12;  // ~1.3 ridge periods: long enough for a stable direction
    const int shortest = 8;      // branches shorter than this are artefacts, not minutiae
    std::vector<Candidate> found;
    for (const auto& [x, y] : raw) {
        Candidate c;
        c.m.x = static_cast<float>(x);
        c.m.y = static_cast<float>(y);
        // One start pixel per run of set neighbours (a branch may touch two neighbour cells).
        std::vector<std::pair<int, int>> starts;
        for (int i = 0; i < 8; ++i) {
            const bool prev = on(skel, x + kDx[(i + 7) % 8], y + kDy[(i + 7) % 8]);
            if (on(skel, x + kDx[i], y + kDy[i]) && !prev) {
                // Within a run, use its edge-neighbour cell if it has one.
                int sx = x + kDx[i], sy = y + kDy[i];
                for (int j = i; j < i + 3; ++j) {
                    const int k = j % 8;
                    if (!on(skel, x + kDx[k], y + kDy[k])) {
                        break;
                    }
                    if (k % 2 == 0) {
                        sx = x + kDx[k];
                        sy = y + kDy[k];
                        break;
                    }
                }
                starts.emplace_back(sx, sy);
            }
        }
        std::vector<Trace> traces;
        for (const auto& [sx, sy] : starts) {
            traces.push_back(follow(skel, minutiaAt, x, y, sx, sy, traceLength));
        }
        for (const Trace& t : traces) {
            if (t.steps < shortest) {
                c.drop = true;  // a spur, a tiny island or two junction pixels side by side
            }
        }
        if (minutiaAt.at(x, y) == 1 && traces.size() == 1) {
            c.m.type = MinutiaType::RidgeEnding;
            c.m.direction = toRecordAngle(traces[0].endX - x, traces[0].endY - y);
        } else if (minutiaAt.at(x, y) == 3 && traces.size() == 3) {
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
        if (inside.at(x, y) < margin) {
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
