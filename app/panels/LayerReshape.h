// What the per-format operations and their undo records share: a layer turned or resampled
// into a new layer that then takes the old one's place, the worker job that does it behind
// the progress display, and the ALPHA property. Private to the list's own sources.
#pragma once
#include "MyListLayer.h"
#include "odata/GCompRef.h"
#include "odata/OLayer.h"
#include "odata/OLayerUtility.h"

// The rotate dialog's whole degrees as the utility's angle: the dialog, the record and the
// redo all go through here, so a redo turns exactly as the first run did.
inline float LayerAngle(int degrees) { return float(degrees * LYR_DEGREE); }

// Where a width x height layer goes that replaces the one at rect: centred on it, the
// halves truncated toward zero (so repeated undo and redo never drift).
POINT CentredOn(const RECT& rect, int width, int height);

// The layer utility "MorvaneUtility"; throws when it cannot be made.
GCompRef<OLayerUtility> NewLayerUtility(GSystem* system);

// Lets a job the space's worker still runs (a redraw pass ends by itself) finish first;
// TRUE when the worker is free for a new one.
BOOL WorkerIdle(CPaintSpace* space);

// The layer turned clockwise by *angle, or resampled when angle is null, into a new layer
// of width x height with the layer's format and ID, on the space's worker behind the
// progress display. Null when the job was cancelled or failed.
GCompRef<OLayer> RunReshapeJob(CMyListLayer* list, OLayer* layer, int width, int height, const float* angle,
                               const char16_t* caption);

// The layer turned by a quarter, clockwise (90 degrees) or not (270), into a new layer of
// its height x width. Null when the utility refuses.
GCompRef<OLayer> TurnQuarter(CMyListLayer* list, OLayer* layer, bool clockwise);

// The new layer takes over the old one's name, colour, properties and row flags, at `at`.
void TakeOver(OLayer* fresh, OLayer* old, POINT at);

// The layer's ALPHA value; throws when it has none.
int GetLayerAlpha(OLayer* layer);
// Sets ALPHA within the item's bounds (unchanged when the bounds are reversed).
void SetLayerAlpha(OLayer* layer, int value);
