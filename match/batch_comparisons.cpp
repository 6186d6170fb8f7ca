#include "batch_comparisons.h"

#include "parallel.h"

namespace zarn::match {

BatchComparisons compareBatch(const std::vector<PreparedTemplate>& probes,
                              const std::vector<std::size_t>& active,
                              const std::vector<float>& floors,
                              std::vector<std::optional<PreparedTemplate>>& batch,
                              std::vector<Shortlist>* shortlists, std::size_t threads) {
    const std::size_t size = batch.size();
    BatchComparisons result;
    result.admitted.assign(active.size(), std::vector<bool>(size, true));
    result.similarity.assign(active.size(), std::vector<float>(size, 0));
    if (shortlists != nullptr) {
        std::vector<std::vector<std::optional<float>>> quick(
            active.size(), std::vector<std::optional<float>>(size));
        parallelFor(threads, active.size() * size, [&](std::size_t n) {
            const std::size_t a = n / size, t = n % size;
            if (batch[t]) {
                quick[a][t] = quickCompare(probes[active[a]], *batch[t]);
            }
        });
        // Each probe's shortlist takes the batch whole, in gallery order.
        std::vector<bool> wanted(size, false);
        for (std::size_t a = 0; a < active.size(); ++a) {
            result.admitted[a] = shortlisted((*shortlists)[active[a]], quick[a]);
            for (std::size_t t = 0; t < size; ++t) {
                wanted[t] = wanted[t] || result.admitted[a][t];
            }
        }
        parallelFor(threads, size, [&](std::size_t t) {
            if (wanted[t] && batch[t]) {
                completeTemplate(*batch[t]);
            }
        });
    }
    // (vector<bool> packs bits, so threads write the similarities only.)
    parallelFor(threads, active.size() * size, [&](std::size_t n) {
        const std::size_t a = n / size, t = n % size;
        if (result.admitted[a][t] && batch[t]) {
            result.similarity[a][t] = compareTemplates(probes[active[a]], *batch[t], floors[a]);
        }
    });
    return result;
}

}  // namespace zarn::match
