// View history ring (see history.h).
#include "view/history.h"

FractalView historySlots[HISTORY_SLOTS];
int32_t historyCount = 1;
int32_t historyHead = 0;
int32_t historyCursor = 0;

namespace {

int32_t NextSlot(int32_t slot)
{
    return slot == HISTORY_SLOTS - 1 ? 0 : slot + 1;
}

int32_t PreviousSlot(int32_t slot)
{
    return slot == 0 ? HISTORY_SLOTS - 1 : slot - 1;
}

// Steps the cursor stands behind the newest entry.
int32_t StepsBehindNewest()
{
    const int32_t d = historyHead - historyCursor;
    return d >= 0 ? d : d + HISTORY_SLOTS;
}

void ShowSlot(int32_t slot)
{
    currentView = historySlots[slot];
    historyCursor = slot;
    needsRender = 1;
}

}  // namespace

void StartHistory()
{
    historySlots[0].colorCount = currentView.colorCount;
    historySlots[0].iterLimit = currentView.iterLimit;
    historyCount = 1;
}

void StoreStartBounds()
{
    historySlots[0].Xmin = currentView.Xmin;
    historySlots[0].Xmax = currentView.Xmax;
    historySlots[0].Ymin = currentView.Ymin;
    historySlots[0].Ymax = currentView.Ymax;
}

void PushHistory()
{
    if (recordHistory != 1)
        return;
    historyHead = NextSlot(historyHead);
    historyCursor = historyHead;
    if (historyCount < HISTORY_SLOTS)
        ++historyCount;
    historySlots[historyHead] = currentView;
    recordHistory = 0;
}

bool CanStepBack()
{
    return StepsBehindNewest() < historyCount - 1;
}

bool CanStepForward()
{
    return historyCursor != historyHead;
}

bool StepBack()
{
    if (!CanStepBack())
        return false;
    ShowSlot(PreviousSlot(historyCursor));
    return true;
}

bool StepForward()
{
    if (!CanStepForward())
        return false;
    ShowSlot(NextSlot(historyCursor));
    return true;
}
