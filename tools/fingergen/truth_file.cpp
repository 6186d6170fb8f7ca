#include "fingergen/truth_file.h"

#include <cmath>
#include <cstdio>

namespace zarn::gen {

void writeTruth(std::ostream& out, const std::vector<Minutia>& minutiae) {
    out << "# x y direction_degrees type quality | pixels from the top-left, y down; direction "
           "counter-clockwise from +x as seen; a ridge ending points back along its ridge, a "
           "bifurcation points away from its stem between the branches; quality 100 = solid, 40 = "
           "fragile (skin condition may hide it or change its type), 20 = unclear in this image\n";
    char line[96];
    for (const Minutia& m : minutiae) {
        const double degrees = std::fmod(m.direction * 180.0 / 3.14159265358979, 360.0);
        std::snprintf(line, sizeof line, "%.1f %.1f %.1f %s %d\n", m.x, m.y, degrees,
                      m.type == MinutiaType::Bifurcation ? "bifurcation" : "ending",
                      m.quality == 0 ? 1 : static_cast<int>(m.quality));
        out << line;
    }
}

}  // namespace zarn::gen
