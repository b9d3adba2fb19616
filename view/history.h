// The ring of the last HISTORY_SLOTS views: recording after a recompute and
// stepping back and forward. Plain state on the window thread; the menu and
// the commands that use it are in app/history_commands.cpp.
#pragma once

#include <cstdint>

#include "view/view_state.h"

constexpr int32_t HISTORY_SLOTS = 5;

extern FractalView historySlots[HISTORY_SLOTS];
extern int32_t historyCount;   // valid entries, 1..5
extern int32_t historyHead;    // slot of the newest entry
extern int32_t historyCursor;  // slot shown last by a step, or the newest after a record

// Slot 0 at start-up, in two steps around the start-up fit: first the colour
// mode and iteration limit (and historyCount = 1), then the fitted bounds.
void StartHistory();
void StoreStartBounds();

// Records the current view after the newest entry when recordHistory is 1,
// overwriting the oldest once the ring is full; clears recordHistory.
void PushHistory();

// An older entry lies behind the cursor / the cursor is behind the newest.
bool CanStepBack();
bool CanStepForward();

// Restore the entry before / after the cursor into the current view and move
// the cursor there; false (and nothing changed) when there is none.
bool StepBack();
bool StepForward();
