// The matcher's tuning constants, each with what it trades off.
#pragma once

#include <array>
#include <cstddef>

namespace zarn {

// Local structures (local_structure.h): the nearest neighbours, not too
// close to be noise.
constexpr float kMinNeighbourDistance = 6;
constexpr float kMaxNeighbourDistance = 160;
// Neighbour agreement tolerances: skin stretches, so distance tolerance grows
// with the distance.
constexpr float kNeighbourDistanceTolerance = 6;
constexpr float kNeighbourDistanceStretch = 0.08f;
constexpr float kNeighbourBearingTolerance = 0.35f;  // about 20 degrees
constexpr float kNeighbourTurnTolerance = 0.52f;     // about 30 degrees

// The alignment (pairing.h, matcher.h).
// The best local pairings each propose a transform; these many are tested.
constexpr std::size_t kCandidates = 60;
constexpr std::size_t kRefined = 4;
// A pair of minutiae whose neighbourhoods agree less than this proposes no
// transform: such weak agreement is what any two fingers show, and leaving
// it out spares most of the work of comparing different fingers.
constexpr float kMinSeedSimilarity = 0.2f;
// Seed pairs are tried in turn from these bounds down, the last taking the
// rest. The seeds found are the same whatever the tiers; only the work changes.
constexpr std::array<float, 2> kSeedTiers = {0.6f, -1.0f};
// Pairing tolerances under a candidate transform, and how far the position
// tolerance widens away from the paired area for elastic distortion.
constexpr float kPairDistance = 9;
constexpr float kPairStretch = 0.05f;
constexpr float kPairDistanceMax = 18;
constexpr float kPairAngle = 0.45f;  // about 26 degrees
constexpr int kRefineRounds = 3;
// Two views are taken to show the same skin from this many pairs and this
// score on; below, different fingers reach it often enough by chance (on
// real prints about 1 in 2,000 impostor comparisons pass both).
constexpr std::size_t kMinAlignedPairs = 8;
constexpr float kMinAlignedScore = 0.032f;
// The pair score (pair_score.h).
// Weight of a pair whose neighbourhoods share nothing, against 1 for full agreement.
constexpr float kPairBase = 0.15f;
// Overlap counts below this are treated as this, so two views that share a
// sliver of skin cannot score high on a handful of chance pairs.
constexpr float kMinOverlapCount = 12;
// How far outside the other view's hull a minutia still counts as shared.
constexpr float kOverlapMargin = 8;
// What a doubtful minutia counts for against a clear one, and the quality
// from which a minutia is clear: lower makes a smudge weigh less, and also a
// faint but genuine area.
constexpr float kDoubtfulWeight = 0.3f;
constexpr float kClearQuality = 60;

// Minutia cylinders (cylinder.h).
// Radius of the neighbourhood a cylinder describes: larger tells minutiae
// apart better but suffers more from distortion and the print's border.
constexpr float kCylinderRadius = 70;
// Spread of a neighbour's place and direction: wider tolerates distortion
// and noisy directions, narrower separates different fingers better.
constexpr float kCylinderSpatialSpread = 6;
constexpr float kCylinderDirectionSpread = 0.436f;  // 25 degrees
// A cell's bit is set from this much neighbour evidence on.
constexpr float kCylinderBitThreshold = 0.01f;
// Part of the print a cell may lie outside the minutiae's hull and still count.
constexpr float kCylinderHullMargin = 50;
// A cylinder is used when this share of its disc lies on the print and it
// holds this many neighbours: fewer make cylinders at the border match anything.
constexpr float kCylinderMinValidShare = 0.75f;
constexpr std::size_t kCylinderMinNeighbours = 2;
// Two cylinders are compared when they share this share of a disc's cells
// and their minutiae turn at most this much (radians) against each other.
constexpr float kCylinderMinSharedShare = 0.6f;
constexpr float kCylinderMaxTurn = 1.5708f;

// Quick scores from cylinder codes (cylinder_code.h), a search's first look.
// The share of the cylinder's radius its code samples: inner cells are
// seldom off the print, outer ones tell more fingers apart.
constexpr float kCodeRadiusShare = 0.75f;
// How many of the best code pairs are averaged: more steadies the score of
// a genuine view, fewer keeps a small overlap from being outvoted.
constexpr std::size_t kQuickPairs = 16;

// Relaxation of the cylinder pairs (relaxation.h).
// How far two pairs' distance (px) and angles (radians) may differ between
// the views and still support each other: wider forgives distortion, and
// lets chance pairs of different fingers support one another.
constexpr float kRelaxDistance = 5;
constexpr float kRelaxDistanceSteepness = 1.6f;
constexpr float kRelaxAngle = 0.2618f;  // 15 degrees
constexpr float kRelaxAngleSteepness = 30;
// A term this many steepness units past its midpoint (e^-9: below 1 in
// 8,000) counts as no support at all, which spares most of the work.
constexpr float kRelaxNegligible = 9;
// Rounds, and the share of its own weight a pair keeps each round: more
// rounds and less kept let geometry overrule the local similarity.
constexpr int kRelaxRounds = 5;
constexpr float kRelaxKeep = 0.5f;
// How many pairs decide: from kRelaxMinPairs for sparse views to
// kRelaxMaxPairs for views with many minutiae (midpoint, steepness).
constexpr std::size_t kRelaxMinPairs = 4;
constexpr std::size_t kRelaxMaxPairs = 12;
constexpr float kRelaxPairsMidpoint = 20;
constexpr float kRelaxPairsSteepness = 0.4f;

// Fusing impressions (merge.h).
// Minutiae of different impressions closer than this (after alignment) and
// pointing the same way are taken for the same minutia.
constexpr float kClusterDistance = 13;
constexpr float kClusterAngle = 0.6f;  // about 35 degrees
// Clusters closer than this are one minutia split in two.
constexpr float kTwinDistance = 7;
// A minutia's place counts as covered by an impression within this distance
// of the hull of that impression's minutiae.
constexpr float kCoverMargin = 4;
// A minutia only one impression covers is kept from this quality on, and one
// that one of two covering impressions shows from kHalfQuality on.
constexpr int kLoneQuality = 20;
constexpr int kHalfQuality = 50;
// Each further impression that shows a minutia raises its quality this much.
constexpr int kSupportBonus = 10;
constexpr std::size_t kMaxMergedMinutiae = 128;
// Record coordinates have 14 bits.
constexpr int kMaxCoordinate = (1 << 14) - 1;

}  // namespace zarn
