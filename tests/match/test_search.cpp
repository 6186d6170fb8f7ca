// A search's shortlist, batch by batch: which templates a probe compares fully.
#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "search.h"

namespace zarn::match {
namespace {

TEST(Shortlist, ABatchIsJudgedWholeAndAgainstTheBatchesBefore) {
    Shortlist shortlist;
    shortlist.size = 2;
    // 0.3 and 0.5 lead the shortlist when they come, but the batch's 0.7 and
    // 0.9 push them out before any full comparison; an unusable template
    // (no quick score) is never compared, nor does it take a place.
    EXPECT_EQ(shortlisted(shortlist, {0.3f, 0.5f, std::nullopt, 0.7f, 0.9f}),
              (std::vector<bool>{false, false, false, true, true}));
    // A later batch must reach the best two of all before it and of itself;
    // a tie with the weaker of them is still worth a look.
    EXPECT_EQ(shortlisted(shortlist, {0.6f, 0.8f, 0.7f}), (std::vector<bool>{false, true, false}));
    EXPECT_EQ(shortlisted(shortlist, {0.8f, 0.1f}), (std::vector<bool>{true, false}));
    // Until the shortlist is full every usable template is compared.
    Shortlist roomy;
    roomy.size = 10;
    EXPECT_EQ(shortlisted(roomy, {0.1f, std::nullopt, 0.0f}),
              (std::vector<bool>{true, false, true}));
}

}  // namespace
}  // namespace zarn::match
