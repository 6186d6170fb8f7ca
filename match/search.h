// One probe against a gallery: every template read and prepared once, each
// compared with the probe, the results kept in gallery order or ranked.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "matcher.h"

namespace zarn::match {

// A template ready for comparison: one prepared view per view of its record.
using PreparedTemplate = std::vector<PreparedView>;

// A probe, compared with many templates, also keeps the neighbour reach that
// speeds each comparison up; a gallery template, compared once, does not. A
// candidate, a gallery template a search first looks at, gets only what the
// first look needs, and completeTemplate adds the rest if it is to be
// compared fully.
enum class TemplateRole { Probe, Gallery, Candidate };
PreparedTemplate prepareTemplate(const std::vector<FingerView>& views, TemplateRole role);
void completeTemplate(PreparedTemplate& prepared);

// The raw similarity of two templates: their best pair of views. With a
// floor, exact only when it reaches the floor (see matchScoreFrom).
float compareTemplates(const PreparedTemplate& probe, const PreparedTemplate& gallery,
                       float floor = 0);

struct Comparison {
    std::string path;
    std::optional<double> score;  // none when the gallery template was unusable
    float similarity = 0;         // the raw similarity behind the score
};

// How alike two templates look at a first glance (quickScore): their best
// pair of views. Far cheaper than compareTemplates, and only a ranking.
float quickCompare(const PreparedTemplate& probe, const PreparedTemplate& gallery);

// A search's first look for one probe: the `size` best quick scores so far.
// A gallery template is compared fully only when its quick score is among
// them when it comes, so the K best are searched for among the templates
// that look most alike, the rest passed over, and nothing need be kept.
struct Shortlist {
    std::size_t size = 0;
    std::vector<float> best;  // a heap, weakest on top
};

// Whether a template with this quick score is worth a full comparison; it
// joins the shortlist if so.
bool worthComparing(Shortlist& shortlist, float quick);

// The gallery comes in batches, each looked at whole before any of it is
// compared fully: a template that looked good on arrival but was pushed out
// of the shortlist by a later one of its batch is spared. Larger batches
// spare more full comparisons (early in a gallery nearly every template
// looks good so far) and keep more prepared templates in memory at once.
constexpr std::size_t kSearchBatch = 1024;
// Without a first look a batch only spreads the work over threads: its size
// changes no result.
constexpr std::size_t kExactBatch = 64;

// Which templates of a batch a probe compares fully, given their quick scores
// (none for an unusable template): those still among the shortlist's once
// the whole batch has joined it.
std::vector<bool> shortlisted(Shortlist& shortlist, const std::vector<std::optional<float>>& quick);

// The K best comparisons, best first (ties in gallery order); the unusable
// ones are left out.
std::vector<Comparison> topComparisons(std::vector<Comparison> comparisons, std::size_t k);

// The comparisons kept for one probe, and the raw similarity a later one
// must reach to matter: one below it ranks after K earlier ones.
struct BestComparisons {
    std::vector<Comparison> kept;
    float floor = 0;
    // The K kept all have the highest score there is: a later template can
    // only tie with them, and ties go to the earlier, so none can enter.
    bool settled = false;
};

// Adds a comparison to those kept for one probe, trimming them to the K best
// now and then, so a long gallery never holds more than 2K per probe.
void keepBest(BestComparisons& best, Comparison c, std::size_t k);

}  // namespace zarn::match
