// Threads and auto-reset events for the strip renderer. The Windows build
// uses the real kernel calls; other hosts get the least layer that gives the
// same effects (thread_events_posix.cpp): a thread that runs at once, an
// unnamed auto-reset event, a wait that consumes the signal, and handles that
// are closed by whoever created them.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include <cstddef>
#include <cstdint>

typedef void* HANDLE;
typedef int BOOL;
typedef uint32_t DWORD;
typedef void* LPVOID;
typedef DWORD (*LPTHREAD_START_ROUTINE)(LPVOID);
#define WINAPI
#define FALSE 0
#define TRUE 1
#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0u
#define WAIT_FAILED 0xFFFFFFFFu

// Only what the renderer relies on: no security attributes, default stack,
// immediate start; unnamed events; waits with INFINITE.
HANDLE CreateEventA(void* security, BOOL manualReset, BOOL initialState, const char* name);
HANDLE CreateThread(void* security, size_t stackSize, LPTHREAD_START_ROUTINE start,
                    LPVOID argument, DWORD flags, DWORD* threadId);
BOOL SetEvent(HANDLE event);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
BOOL CloseHandle(HANDLE handle);
#endif
