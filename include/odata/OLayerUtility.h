// The layer utility "MorvaneUtility": turns and resamples a layer into a destination layer
// that the caller has made with the right size and format.
//
// Only level 0 of the destination is written: its position, identity, name, colour and
// properties stay as they were (the caller copies them and refreshes the mip levels).
#pragma once
#include "OComponent.h"
#include "OWorker.h"

struct OLayer;

struct ODATA_EXPORT OLayerUtility : OComponent {
  // The space rectangle of the layer turned clockwise by the angle (radians) around its
  // centre: the smallest size that holds the turned layer, centred as the turns by 90
  // degrees and the scale are, left = (left + right) / 2 - width / 2 (and so for top),
  // the division truncating toward zero. FALSE when a side is over LYR_MAX_SIDE (10000)
  // or the angle is not finite; the rectangle is filled either way.
  virtual BOOL GetRotatedRect(OLayer* layer, float angle, RECT* out) = 0;
  // Turns the source clockwise by the angle into the destination, the destination's centre
  // on the source's, with bilinear sampling; transparent outside the source. With a job
  // record it only prepares the job (the caller launches it and keeps both layers alive
  // until it has ended) and returns 1; without, it runs at once and returns the job's
  // result: 1 done, 0 aborted. Throws when the turned source has a side over 10000.
  virtual int Rotate(OLayer* dest, OLayer* source, float angle, JobRecord* job) = 0;
  // Exact turns by 90 degrees clockwise and counter-clockwise; FALSE (nothing written) when
  // the destination is not the source's height x width or the formats differ.
  virtual BOOL Rotate90(OLayer* dest, OLayer* source) = 0;
  virtual BOOL Rotate270(OLayer* dest, OLayer* source) = 0;
  // Resamples the source to the destination's size: bilinear where an axis grows, area
  // average where it shrinks. Job record and result as for Rotate.
  virtual int Scale(OLayer* dest, OLayer* source, JobRecord* job) = 0;
};
