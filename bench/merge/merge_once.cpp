// One merge of 8 extracted 500x500 impressions and nothing else, so `/usr/bin/time -v` shows
// the peak memory; also prints how much the merge itself raised the peak.
#include <sys/resource.h>

#include <cstdio>

#include "enrollment.h"
#include "generated_fingers.h"

namespace {

long peakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

}  // namespace

int main() {
    const auto fingers = zarn::bench::generatedFingerViews(1, 8, 500, 11);
    const long before = peakKiB();
    zarn::Enrollment enrollment;
    enrollment.position = 1;
    enrollment.expectedCount = 8;
    enrollment.views = fingers[0];
    const std::size_t members = zarn::mergeEnrollment(enrollment);
    const std::vector<std::uint8_t>* bytes = nullptr;
    const int status = zarn::finaliseEnrollment(enrollment, &bytes);
    std::printf(
        "status %d merged %zu of 8, %zu bytes; peak RSS %ld KiB before the merge, %ld after\n",
        status, members, bytes ? bytes->size() : 0, before, peakKiB());
    return 0;
}
