// The strip renderer when the platform refuses a worker: this test links its
// own thread seam in place of the host's (engine/threads.h), which refuses the
// events and threads a test names and otherwise runs each worker at once.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "engine/kernel.h"
#include "engine/strips.h"
#include "engine/threads.h"
#include "pixel_counts.h"

namespace {

struct FakeEvent {
    bool set = false;
};

std::set<int> refusedEvents, refusedThreads;  // by call number, from 0
int eventCalls, threadCalls, openHandles, failedWaits;

}  // namespace

HANDLE CreateEventA(void*, BOOL, BOOL, const char*)
{
    if (refusedEvents.count(eventCalls++))
        return nullptr;
    ++openHandles;
    return new FakeEvent;
}

HANDLE CreateThread(void*, size_t, LPTHREAD_START_ROUTINE start, LPVOID argument, DWORD, DWORD*)
{
    if (refusedThreads.count(threadCalls++))
        return nullptr;
    start(argument);
    ++openHandles;
    return new FakeEvent;  // stands for the thread; only closed
}

BOOL SetEvent(HANDLE event)
{
    static_cast<FakeEvent*>(event)->set = true;
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE event, DWORD)
{
    FakeEvent* waited = static_cast<FakeEvent*>(event);
    if (!waited->set) {
        ++failedWaits;  // a real wait would never return
        return WAIT_FAILED;
    }
    waited->set = false;
    return WAIT_OBJECT_0;
}

BOOL CloseHandle(HANDLE handle)
{
    --openHandles;
    delete static_cast<FakeEvent*>(handle);
    return TRUE;
}

// Strips whose event or worker cannot be made are computed by the caller:
// the same pixels and count as one region, no wait on a missing event, and
// every handle that was made is closed.
TEST(RenderViewFaults, StripsWithoutAWorkerAreComputedByTheCaller)
{
    ScopedSettings settings(512, 32768, 8);
    const int32_t width = 41, height = 256;  // 32 rows a strip, exact band edges
    std::vector<uint32_t> expected(width * height);
    const uint64_t expectedIterations =
        RenderRegion(-2.0, -0.5, 1.0, 0.5, width, height, expected.data());

    const std::set<int> refusals[] = {{}, {0}, {1, 3, 7}, {0, 1, 2, 3, 4, 5, 6, 7}};
    for (const std::set<int>& refused : refusals) {
        for (bool refuseThreads : {false, true}) {
            refusedEvents = refuseThreads ? std::set<int>{} : refused;
            refusedThreads = refuseThreads ? refused : std::set<int>{};
            eventCalls = threadCalls = openHandles = failedWaits = 0;
            std::vector<uint32_t> image(width * height, 0xA5A5A5A5);
            const uint64_t iterations =
                RenderView(-2.0, -0.5, 1.0, 0.5, width, height, image.data());
            const std::string what = std::string(refuseThreads ? "threads" : "events") +
                                     " refused: " + std::to_string(refused.size());
            EXPECT_EQ(image, expected) << what;
            EXPECT_EQ(iterations, expectedIterations) << what;
            EXPECT_EQ(failedWaits, 0) << what;
            EXPECT_EQ(openHandles, 0) << what;
        }
    }
}
