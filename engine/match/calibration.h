// What a comparison score means: the matcher's raw similarity turned into a
// false match rate, and that rate written as a score.
#pragma once

namespace zarn {

// The score of a raw similarity (0-1): 10 log10(1 / FMR), where FMR is the
// share of comparisons between different fingers that reach that similarity,
// as measured on generated and real prints. So 20 is 1 in 100, 40 is 1 in
// 10,000; 0 is what any two templates reach. Beyond the measured impostors
// (about 43) the tail is extrapolated; scores stop at kMaxScore.
double calibratedScore(float similarity);

// The least score a comparison needs for a false match rate of `fmr`
// (0 < fmr <= 1).
double scoreThreshold(double fmr);

// The least raw similarity whose false match rate is at most `fmr`
// (0 < fmr <= 1): the inverse of calibratedScore, for decisions made inside
// the engine.
float similarityAtRate(double fmr);

constexpr double kMaxScore = 99.9;

}  // namespace zarn
