// Test helpers: in the 32768-colour mode a pixel word encodes the remaining
// count k (below 32768) without loss, so tests can read counts back.
#pragma once

#include <cstdint>

#include "view/view_state.h"

inline int32_t CountOf32768(uint32_t pixel)
{
    return static_cast<int32_t>((pixel & 0xFF) >> 3 | (pixel >> 8 & 0xFF) >> 3 << 5 |
                                (pixel >> 16 & 0xFF) >> 2 << 10);
}

// Sets the settings a render reads and restores them afterwards.
class ScopedSettings {
public:
    ScopedSettings(int32_t iterLimit, int32_t colorCount, int32_t threads = 1)
        : saved_(currentView), savedThreads_(threadCount)
    {
        currentView.iterLimit = iterLimit;
        currentView.colorCount = colorCount;
        threadCount = threads;
    }
    ~ScopedSettings()
    {
        currentView = saved_;
        threadCount = savedThreads_;
    }

private:
    FractalView saved_;
    int32_t savedThreads_;
};
