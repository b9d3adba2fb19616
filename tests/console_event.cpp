// console-event: delivers a console control event to a program as Windows
// does, for the command-line tests of the Windows build. Starts the command,
// waits until a file matching a pattern holds at least some bytes, then runs
// the system's control routine (kernel32's CtrlRoutine) in the program on a
// new thread, which is how the console delivers Ctrl+C, Ctrl+Break and its
// closing; GenerateConsoleCtrlEvent cannot do it under Wine, and cannot send
// the close event at all. Prints the program's exit code in hexadecimal.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char USAGE[] = "usage: console-event C|BREAK|CLOSE MIN_BYTES FILE_PATTERN COMMAND [ARG...]\n";

bool FileReached(const char* pattern, unsigned long long minBytes)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    bool reached = false;
    do {
        const unsigned long long size =
            (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        reached = reached || size >= minBytes;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return reached;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 5) {
        std::fputs(USAGE, stderr);
        return 2;
    }
    DWORD event;
    if (std::strcmp(argv[1], "C") == 0) {
        event = CTRL_C_EVENT;
    } else if (std::strcmp(argv[1], "BREAK") == 0) {
        event = CTRL_BREAK_EVENT;
    } else if (std::strcmp(argv[1], "CLOSE") == 0) {
        event = CTRL_CLOSE_EVENT;
    } else {
        std::fputs(USAGE, stderr);
        return 2;
    }
    const unsigned long long minBytes = std::strtoull(argv[2], nullptr, 10);
    std::string command;
    for (int i = 4; i < argc; ++i)
        command += std::string(i > 4 ? " \"" : "\"") + argv[i] + "\"";

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &process)) {
        std::fprintf(stderr, "console-event: cannot start %s (error %lu)\n", command.c_str(),
                     GetLastError());
        return 2;
    }
    // Polled closely: a write of a few hundred megabytes lasts well under a
    // second.
    bool reached = false;
    for (int tries = 0; tries < 60000 && !reached; ++tries) {
        reached = FileReached(argv[3], minBytes);
        if (!reached && WaitForSingleObject(process.hProcess, 1) == WAIT_OBJECT_0)
            break;
    }
    if (!reached) {
        std::fprintf(stderr, "console-event: no file '%s' of %s bytes appeared\n", argv[3], argv[2]);
        TerminateProcess(process.hProcess, 1);
        return 2;
    }
    // Through void (*)(), the type-neutral function pointer, as FARPROC
    // declares no parameters.
    auto routine = reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "CtrlRoutine")));
    HANDLE thread = routine ? CreateRemoteThread(process.hProcess, nullptr, 0, routine,
                                                 reinterpret_cast<void*>(static_cast<DWORD_PTR>(event)),
                                                 0, nullptr)
                            : nullptr;
    if (!thread) {
        std::fprintf(stderr, "console-event: cannot deliver the event (error %lu)\n", GetLastError());
        TerminateProcess(process.hProcess, 1);
        return 2;
    }
    CloseHandle(thread);
    if (WaitForSingleObject(process.hProcess, 30000) != WAIT_OBJECT_0) {
        std::fputs("console-event: the program did not end\n", stderr);
        TerminateProcess(process.hProcess, 1);
        return 2;
    }
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    std::printf("exit %lx\n", code);
    return 0;
}
