// ReplacingFile on Windows (see replacing_file.h): a temporary file of our own
// name beside the target (created with CREATE_NEW, another name on a
// collision), WriteFile, FlushFileBuffers, CloseHandle, then MoveFileExW over
// the target; and the console control handler that removes the temporary
// file of an interrupted program (it runs on a thread of its own). Paths go
// through the wide calls with the \\?\ prefix, so a target the dialog or a
// command line can name is never refused for the temporary name's length.
#include "image/replacing_file.h"

#include <windows.h>

namespace {

std::string SystemMessage(DWORD error)
{
    char text[256] = "";
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                  text, sizeof text, nullptr);
    if (length == 0)
        length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                nullptr, error, 0, text, sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' ||
                          text[length - 1] == '.' || text[length - 1] == ' '))
        --length;
    if (length == 0)
        return "system error " + std::to_string(error);
    return std::string(text, length);
}

std::wstring Widen(UINT codePage, const std::string& text)
{
    const int length = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(),
                                           static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                        &wide[0], length);
    return wide;
}

std::string Utf8(const std::wstring& wide)
{
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &text[0], length,
                        nullptr, nullptr);
    return text;
}

std::wstring Wide(const std::string& utf8)
{
    return Widen(CP_UTF8, utf8);
}

std::wstring FullPath(const std::wstring& path)
{
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return L"";
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), size, &full[0], nullptr);
    full.resize(length < size ? length : 0);
    return full;
}

bool StartsWith(const std::wstring& text, const wchar_t* prefix)
{
    return text.compare(0, wcslen(prefix), prefix) == 0;
}

// A full path in the form that lifts MAX_PATH from the wide calls.
std::wstring WithoutLengthLimit(const std::wstring& full)
{
    if (StartsWith(full, L"\\\\?\\"))
        return full;
    if (StartsWith(full, L"\\\\"))  // \\server\share\...
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

HANDLE HandleOf(intptr_t file)
{
    return reinterpret_cast<HANDLE>(file);
}

// The temporary file being written, for the console control handler.
SRWLOCK pendingLock = SRWLOCK_INIT;
std::wstring pendingTemporary;

void ClearPending(const std::wstring& temporary)
{
    AcquireSRWLockExclusive(&pendingLock);
    if (pendingTemporary == temporary)
        pendingTemporary.clear();
    ReleaseSRWLockExclusive(&pendingLock);
}

// The temporary file was opened with delete sharing, so it can be deleted
// while the main thread still writes it: it goes once its handle closes,
// which ending the process does. The lock is never released: a Commit that
// has not yet moved the file waits until the process is gone.
BOOL WINAPI RemovePendingAndStop(DWORD)
{
    AcquireSRWLockExclusive(&pendingLock);
    if (!pendingTemporary.empty())
        DeleteFileW(pendingTemporary.c_str());
    TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
    return TRUE;
}

}  // namespace

ReplacingFile::ReplacingFile(const char* targetPath)
{
    std::wstring full = FullPath(Widen(CP_ACP, targetPath));
    if (full.empty()) {
        Fail();
        return;
    }
    // \\.\C:\... names a file on a drive, not a device: it is replaced like
    // any other.
    if (StartsWith(full, L"\\\\.\\") && full.size() > 6 && full[5] == L':' && full[6] == L'\\')
        full[2] = L'?';
    if (StartsWith(full, L"\\\\.\\")) {
        // NUL, CON, COM1 and the other names kept for devices, \\.\pipe\...:
        // written in place.
        HANDLE device = CreateFileW(full.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (device == INVALID_HANDLE_VALUE)
            Fail();
        else
            file_ = reinterpret_cast<intptr_t>(device);
        return;
    }
    const std::wstring target = WithoutLengthLimit(full);
    const std::wstring folder = target.substr(0, target.find_last_of(L'\\') + 1);
    // A short name, different for each process and each try.
    unsigned number = GetTickCount() * 16u + GetCurrentProcessId() * 65599u;
    for (int tries = 0; tries < 1000; ++tries, ++number) {
        std::wstring name = L"mnd00000.tmp";
        for (int digit = 0; digit < 5; ++digit)
            name[7 - digit] = L"0123456789abcdef"[(number >> (4 * digit)) & 15];
        const std::wstring temporary = folder + name;
        // Created and published under the lock, so that an interrupt in
        // between cannot leave the file behind.
        AcquireSRWLockExclusive(&pendingLock);
        HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        const DWORD error = GetLastError();
        if (file != INVALID_HANDLE_VALUE)
            pendingTemporary = temporary;
        ReleaseSRWLockExclusive(&pendingLock);
        if (file != INVALID_HANDLE_VALUE) {
            target_ = Utf8(target);
            temporary_ = Utf8(temporary);
            file_ = reinterpret_cast<intptr_t>(file);
            return;
        }
        SetLastError(error);
        if (error != ERROR_FILE_EXISTS)
            break;
    }
    Fail();
}

ReplacingFile::~ReplacingFile()
{
    if (file_ != NO_FILE)
        CloseHandle(HandleOf(file_));
    if (!temporary_.empty()) {
        const std::wstring temporary = Wide(temporary_);
        DeleteFileW(temporary.c_str());  // before it is forgotten, so an interrupt cannot miss it
        ClearPending(temporary);
    }
}

void ReplacingFile::Fail()
{
    if (!failed_)
        error_ = SystemMessage(GetLastError());
    failed_ = true;
}

bool ReplacingFile::Write(const void* data, size_t bytes)
{
    const char* next = static_cast<const char*>(data);
    while (!failed_ && bytes > 0) {
        // WriteFile takes 32-bit counts; large images go in 64 MB pieces.
        const DWORD piece = static_cast<DWORD>(bytes < (64u << 20) ? bytes : (64u << 20));
        DWORD written = 0;
        if (!WriteFile(HandleOf(file_), next, piece, &written, nullptr)) {
            Fail();
        } else if (written != piece) {
            SetLastError(ERROR_DISK_FULL);
            Fail();
        }
        next += written;
        bytes -= written;
    }
    return !failed_;
}

bool ReplacingFile::Commit()
{
    if (file_ == NO_FILE)
        return false;
    HANDLE file = HandleOf(file_);
    file_ = NO_FILE;
    if (temporary_.empty()) {  // a device: nothing to flush or move
        if (!CloseHandle(file))
            Fail();
        return !failed_;
    }
    if (!FlushFileBuffers(file))
        Fail();
    if (!CloseHandle(file))
        Fail();
    if (failed_)
        return false;
    // Moved and forgotten together, never while an interrupt removes the file.
    const std::wstring temporary = Wide(temporary_);
    AcquireSRWLockExclusive(&pendingLock);
    const bool moved = MoveFileExW(temporary.c_str(), Wide(target_).c_str(),
                                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    if (moved) {
        if (pendingTemporary == temporary)
            pendingTemporary.clear();
        temporary_.clear();
    } else {
        Fail();
    }
    ReleaseSRWLockExclusive(&pendingLock);
    return moved;
}

void RemoveTemporaryFileOnInterrupt()
{
    SetConsoleCtrlHandler(RemovePendingAndStop, TRUE);
}

size_t FileNameStart(const std::string& path)
{
    size_t start = 0;
    for (size_t i = 0; i < path.size(); ++i) {
        if (IsDBCSLeadByte(static_cast<BYTE>(path[i])))
            ++i;  // its second byte, whatever it is
        else if (path[i] == '\\' || path[i] == '/')
            start = i + 1;
    }
    return start;
}
