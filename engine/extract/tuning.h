// Every tuning constant of the extraction pipeline, with what each one trades off.
// Distances are in pixels at 500 dpi unless a name says otherwise.
#pragma once

namespace zarn::tuning {

// --- Block grid -----------------------------------------------------------------
// Side of the square blocks that carry orientation, period, contrast and the mask.
// Smaller follows curvature better but costs more and gets noisier.
constexpr int kBlockSize = 8;

// --- Normalisation ----------------------------------------------------------------
// Half-width, in blocks, of the window for the local mean and contrast: wide enough
// to span two ridge periods, narrow enough to follow uneven pressure.
constexpr int kNormWindowBlocks = 2;
// Floor on the local standard deviation so flat areas are not blown up into noise.
constexpr float kNormMinStd = 4.0f;

// --- Orientation ---------------------------------------------------------------------
// Gaussian sigma, in blocks, for averaging the doubled-angle gradient vectors: larger
// resists noise and scars, smaller keeps the core and delta sharp.
constexpr float kOrientSmoothSigmaBlocks = 1.4f;
// Wider second smoothing used where the first one leaves low coherence.
constexpr float kOrientWideSigmaBlocks = 3.0f;
// Coherence below which the wider smoothing takes over.
constexpr float kOrientLowCoherence = 0.35f;

// --- Segmentation ---------------------------------------------------------------------
// Half-width, in blocks, of the contrast window for segmentation: narrower follows the
// finger's outline more closely, wider is steadier across dry patches.
constexpr int kSegWindowBlocks = 1;
// Percentile of block contrast (among ridge-like blocks) taken as the image's clear
// ridge contrast; high enough to ignore faint areas, low enough to ignore glare.
constexpr float kSegReferencePercentile = 0.9f;
// Absolute contrast floor (grey-level standard deviation): below it nothing is a print.
constexpr float kSegMinContrast = 7.0f;
// Contrast relative to the image's strong ridge areas (90th percentile) below which a
// block is background; low keeps faint edges, high drops smudges and latent ghosts.
constexpr float kSegRelContrast = 0.2f;
// Orientation coherence below which a block is noise rather than ridges.
constexpr float kSegMinCoherence = 0.15f;
// Majority-vote passes that smooth the block mask.
constexpr int kSegSmoothPasses = 2;
// Foreground blobs smaller than this many blocks are removed.
constexpr int kSegMinBlobBlocks = 30;
// Blobs smaller than this fraction of the largest are removed (stray patches).
constexpr float kSegMinBlobFraction = 0.08f;
// Least foreground, in blocks, to attempt extraction at all (about 64x64 pixels).
constexpr int kSegMinForegroundBlocks = 64;

// --- Ridge period ------------------------------------------------------------------------
// Plausible ridge periods at 500 dpi; estimates outside are discarded, then clamped.
constexpr float kMinPeriod = 5.0f;
constexpr float kMaxPeriod = 15.0f;
// Period used when no block gives a valid estimate.
constexpr float kDefaultPeriod = 9.0f;
// Oriented window of the x-signature: samples across the ridges and along them.
constexpr int kSignatureLength = 36;
constexpr int kSignatureWidth = 13;
// Least peak-to-peak swing of the signature (in normalised units) to trust it.
constexpr float kSignatureMinSwing = 0.6f;
// Largest spread of half-period intervals (relative std) to trust a signature.
constexpr float kSignatureMaxSpread = 0.35f;
// Gaussian sigma, in blocks, smoothing the period map: steadier filters against
// following real changes of ridge density.
constexpr float kPeriodSmoothSigmaBlocks = 1.5f;
// Passes spreading valid periods into neighbouring invalid blocks.
constexpr int kPeriodFillPasses = 8;

// --- Enhancement -----------------------------------------------------------------------
// Quantisation of the filter bank: more bins track orientation and period more finely
// at the cost of a larger bank (built once per image).
constexpr int kGaborOrientations = 32;
constexpr float kGaborPeriodStep = 0.5f;
// Sigma of the smoothing along the ridges: longer bridges gaps and pores but rounds
// sharp curves.
constexpr float kGaborSigmaAlong = 3.5f;
// Sigma of the band-pass across the ridges, as a fraction of the period: larger is more
// selective in frequency but spreads errors across neighbouring ridges.
constexpr float kGaborSigmaAcrossPeriods = 0.42f;
// Zero margin around the working planes; must exceed the longest filter reach.
constexpr int kPadMargin = 16;

// --- Binary image and skeleton ---------------------------------------------------------
// Valley holes and ridge dots up to this many pixels are removed before thinning:
// larger removes more noise but can close real short ridges and small lakes.
constexpr int kMaxIslandArea = 24;
// Skeleton branches ending within this many steps of a junction are pruned as
// thinning noise; longer would start to eat real short branches.
constexpr int kSpurPruneLength = 6;

// --- Minutiae ------------------------------------------------------------------
// Steps traced along the skeleton to measure a minutia's direction.
constexpr int kDirectionTraceSteps = 11;
// Distance (in periods) over which a branch that ends or meets another branch marks
// a spur, a bridge or a lake. Longer removes more thinning noise but also true minutiae
// close together (a short ridge between two forks, a small lake).
constexpr float kSpurPeriods = 0.9f;
// A bridge between neighbouring ridges spans about one period, a little more where it
// slants.
constexpr float kBridgePeriods = 1.15f;
// Two endings closer than this (in periods) that face each other are one broken ridge.
constexpr float kGapPeriods = 1.6f;
// Largest deviation from exactly facing (radians) for the broken-ridge test.
constexpr float kGapMaxAngle = 0.75f;
// Largest offset across the flow (in periods) between the two endings of a broken ridge:
// half a period keeps them on one ridge line, so a ridge that stops beside the start of
// its neighbour keeps both endings.
constexpr float kGapMaxOffsetPeriods = 0.5f;
// Minutiae closer than this (in periods) to each other count as neighbours for the
// cluster test; this many neighbours or more mark a cluster.
constexpr float kClusterPeriods = 1.6f;
constexpr int kClusterMaxNeighbours = 4;
// Minutiae nearer than this to the foreground border or the image frame are dropped:
// the mask is only block-accurate and reaches up to a block past a faint edge, and
// thinning leaves stubs where ridges meet its edge.
// Larger loses true minutiae at the edge of the print, which other matchers count on.
constexpr float kBorderMargin = 8.0f;
// A ridge ending whose gap ahead runs into the background within this many periods is
// where the mask edge cut its ridge; longer also drops true endings facing the edge.
constexpr float kCutReachPeriods = 2.0f;
// Largest angle (radians) between a minutia's traced direction and the smoothed ridge
// flow; beyond it the trace followed noise.
constexpr float kMaxFlowDeviation = 0.5f;

// Weight of the smoothed ridge flow against the skeleton trace in a minutia's final
// direction: the flow is steadier, the trace follows the minutia's own ridge.
constexpr float kFlowDirectionWeight = 0.7f;
// How far (in periods) a minutia's reported position lies from its skeleton pixel: an
// ending's tip beyond the skeleton's end, a fork's crotch ahead of the skeleton joint.
// Thinning leaves both gaps at roughly a quarter to a third of a period (half a ridge or
// valley width); more overshoots into the valley or along the branches.
constexpr float kEndingTipPeriods = 0.3f;
constexpr float kForkCrotchPeriods = 0.3f;

// --- Quality ---------------------------------------------------------------------------------
// Ridge clarity per block mixes orientation coherence, grey contrast (relative to the
// image's clear ridges) and the oriented filters' RMS response (the input has unit
// contrast). Each term ramps from its floor to full; the weights sum to 1.
constexpr float kClarityCoherenceFloor = 0.15f;
constexpr float kClarityCoherenceFull = 0.7f;
constexpr float kClarityContrastFull = 0.8f;
constexpr float kClarityResponseFloor = 0.15f;
constexpr float kClarityResponseFull = 0.55f;
constexpr float kClarityWeightCoherence = 0.4f;
constexpr float kClarityWeightContrast = 0.25f;
constexpr float kClarityWeightResponse = 0.35f;
// Share of a minutia's quality lost when it sits right at the foreground border: higher
// ranks minutiae at the edge of the print, where skin and mask are least sure, behind the
// interior ones for matchers and the merge.
constexpr float kBorderQualityPenalty = 0.7f;
// Distance to the border at which it stops lowering a minutia's quality.
constexpr float kBorderFullQuality = 60.0f;
// Reach (in periods) within which a branch that stops, or another minutia, casts doubt on
// a minutia that survived the filters: about the spacing of thinning noise, short of the
// distance between true neighbouring minutiae on clear ridges.
constexpr float kDoubtReachPeriods = 1.5f;
// Share of a minutia's quality lost for each doubt: higher ranks doubtful minutiae further
// behind clear ones for matchers that keep the best few, and weights them less in ours.
constexpr float kDoubtQualityPenalty = 0.4f;
// Minutia quality at or above which a minutia counts as reliable.
constexpr int kReliableQuality = 20;
// Fewer reliable minutiae than this and the view is reported as too poor.
constexpr int kMinReliableMinutiae = 6;
// Most minutiae kept per view.
constexpr int kMaxMinutiae = 128;
// Foreground area (pixels) at which the view's quality stops being penalised for size.
constexpr float kFullQualityArea = 180.0f * 180.0f;

}  // namespace zarn::tuning
