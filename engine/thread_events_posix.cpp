// The host build's stand-in for the Windows thread and event calls that the
// strip renderer uses (see threads.h). Not compiled for Windows.
#include "engine/threads.h"

#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

namespace {

struct Handle {
    virtual ~Handle() = default;
};

// The worker runs detached: completion is observed through events only, as
// with a Windows thread whose handle was closed.
struct ThreadHandle : Handle {};

struct EventHandle : Handle {
    std::mutex mutex;
    std::condition_variable signalled;
    bool isSet = false;
    bool manualReset = false;
};

}  // namespace

HANDLE CreateEventA(void*, BOOL manualReset, BOOL initialState, const char*)
{
    auto* event = new (std::nothrow) EventHandle;
    if (event) {
        event->isSet = initialState != FALSE;
        event->manualReset = manualReset != FALSE;
    }
    return static_cast<Handle*>(event);
}

HANDLE CreateThread(void*, size_t, LPTHREAD_START_ROUTINE start, LPVOID argument, DWORD,
                    DWORD* threadId)
{
    auto* handle = new (std::nothrow) ThreadHandle;
    if (!handle)
        return nullptr;
    try {
        std::thread([start, argument] { start(argument); }).detach();
    } catch (const std::system_error&) {
        delete handle;
        return nullptr;
    }
    if (threadId)
        *threadId = 0;
    return static_cast<Handle*>(handle);
}

BOOL SetEvent(HANDLE handle)
{
    auto* event = dynamic_cast<EventHandle*>(static_cast<Handle*>(handle));
    if (!event)
        return FALSE;
    // Notify while holding the lock: the waiter may close the event as soon
    // as it can take the lock again.
    std::lock_guard<std::mutex> lock(event->mutex);
    event->isSet = true;
    event->signalled.notify_all();
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD)
{
    auto* event = dynamic_cast<EventHandle*>(static_cast<Handle*>(handle));
    if (!event)
        return WAIT_FAILED;
    std::unique_lock<std::mutex> lock(event->mutex);
    event->signalled.wait(lock, [event] { return event->isSet; });
    if (!event->manualReset)
        event->isSet = false;
    return WAIT_OBJECT_0;
}

BOOL CloseHandle(HANDLE handle)
{
    delete static_cast<Handle*>(handle);
    return handle ? TRUE : FALSE;
}
