// The matcher's tuning constants, each with what it trades off.
#pragma once

#include <cstddef>

namespace zarn {

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

}  // namespace zarn

namespace zarn {

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

}  // namespace zarn
