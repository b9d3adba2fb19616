// ReplacingFile on Windows (see replacing_file.h): a temporary file of our own
// name beside the target (created with CREATE_NEW, another name on a
// collision), WriteFile, FlushFileBuffers, CloseHandle, then MoveFileExW over
// the target; and the console control handler that removes the temporary
// file of an interrupted program (it runs on a thread of its own). Paths come
// in UTF-8 and go through the wide calls with the \\?\ prefix, so a target
// the dialog or a command line can name is never refused for the temporary
// name's length.
#include "image/replacing_file.h"

#include <windows.h>

#include <shellapi.h>

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

// Nothing for text that is not valid UTF-16 (a lone surrogate), which no
// UTF-8 name can stand for.
std::optional<std::string> Utf8(const std::wstring& wide)
{
    const int length = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(),
                                           static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                           nullptr);
    if (length == 0 && !wide.empty())
        return std::nullopt;
    std::string text(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), static_cast<int>(wide.size()),
                        &text[0], length, nullptr, nullptr);
    return text;
}

std::wstring Wide(const std::string& utf8)
{
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                           static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                        &wide[0], length);
    return wide;
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

// A folder's name as the user would write it, for messages.
std::string Shown(std::wstring folder)
{
    if (StartsWith(folder, L"\\\\?\\UNC\\"))
        folder = L"\\" + folder.substr(7);
    else if (StartsWith(folder, L"\\\\?\\"))
        folder = folder.substr(4);
    if (folder.size() > 3 && folder.back() == L'\\')
        folder.pop_back();
    return Utf8(folder).value_or("?");
}

// Another program, often another render of the same target, may hold the
// target for a moment (as MoveFileExW does while it replaces it): a step that
// meets it is tried again for up to two seconds.
template <typename Step>
bool RetryWhileInUse(Step step)
{
    for (int tries = 0;; ++tries) {
        if (step())
            return true;
        const DWORD error = GetLastError();
        if ((error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED &&
             error != ERROR_LOCK_VIOLATION) ||
            tries == 100)
            return false;
        Sleep(20);
        SetLastError(error);
    }
}

// The temporary file being written, for the console control handler: storage
// that is never destroyed, as the handler's thread may run while the program
// ends. Holds any \\?\ path.
SRWLOCK pendingLock = SRWLOCK_INIT;
wchar_t pendingTemporary[32768];

void ClearPendingLocked(const std::wstring& temporary)
{
    if (temporary == pendingTemporary)
        pendingTemporary[0] = L'\0';
}

// The temporary file was opened with delete sharing, so it can be deleted
// while the main thread still writes it: it goes once its handle closes,
// which ending the process does. The lock is never released: a Commit that
// has not yet moved the file waits until the process is gone.
BOOL WINAPI RemovePendingAndStop(DWORD)
{
    AcquireSRWLockExclusive(&pendingLock);
    if (pendingTemporary[0] != L'\0')
        DeleteFileW(pendingTemporary);
    TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
    return TRUE;
}

}  // namespace

ReplacingFile::ReplacingFile(const char* targetPath)
{
    std::wstring full = FullPath(Wide(targetPath));
    if (full.empty()) {
        Fail();
        return;
    }
    if (StartsWith(full, L"\\\\.\\")) {
        // NUL, CON, COM1 and the other names kept for devices, \\.\pipe\...:
        // written in place. The prefix before a drive, a UNC\ path or a
        // Volume{...} path names a file on a disk, replaced like any other.
        HANDLE opened = CreateFileW(full.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (opened == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_NOT_FOUND) {
            Fail();
            return;
        }
        if (opened != INVALID_HANDLE_VALUE && GetFileType(opened) != FILE_TYPE_DISK) {
            file_ = reinterpret_cast<intptr_t>(opened);
            return;
        }
        if (opened != INVALID_HANDLE_VALUE)
            CloseHandle(opened);
        full[2] = L'?';
    }
    std::wstring target = WithoutLengthLimit(full);
    const std::wstring name = target.substr(target.find_last_of(L'\\') + 1);
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (name.empty() ||
        (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))) {
        error_ = "Is a directory";
        failed_ = true;
        return;
    }
    if (name.size() > 255) {  // the longest name a Windows file system takes
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        Fail();
        return;
    }
    // What the name cannot hold: MoveFileExW would refuse it, or take it for
    // a stream of another file (name:stream).
    for (wchar_t c : name) {
        if (c < 32 || wcschr(L"<>:\"|?*", c)) {
            SetLastError(ERROR_INVALID_NAME);
            Fail();
            return;
        }
    }
    // The file the name ends at, through links and other reparse points,
    // opened as the replace will need it, so that a file held open by
    // another program is refused now rather than after the render.
    HANDLE existing = INVALID_HANDLE_VALUE;
    RetryWhileInUse([&] {
        existing = CreateFileW(target.c_str(), DELETE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        return existing != INVALID_HANDLE_VALUE;
    });
    if (existing == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
            Fail();
            return;
        }
    } else {
        // A link's attributes are its own; the file's come with the handle.
        BY_HANDLE_FILE_INFORMATION information = {};
        GetFileInformationByHandle(existing, &information);
        std::wstring final(GetFinalPathNameByHandleW(existing, nullptr, 0, FILE_NAME_NORMALIZED), L'\0');
        const DWORD length = GetFinalPathNameByHandleW(existing, &final[0],
                                                       static_cast<DWORD>(final.size()),
                                                       FILE_NAME_NORMALIZED);
        CloseHandle(existing);
        if (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {  // a link to a folder
            error_ = "Is a directory";
            failed_ = true;
            return;
        }
        if (information.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
            SetLastError(ERROR_ACCESS_DENIED);
            Fail();
            return;
        }
        if (length > 0 && length < final.size()) {
            final.resize(length);
            if (Utf8(final))
                target = final;
        }
    }

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
        if (file != INVALID_HANDLE_VALUE && temporary.size() < ARRAYSIZE(pendingTemporary))
            wcscpy(pendingTemporary, temporary.c_str());
        ReleaseSRWLockExclusive(&pendingLock);
        if (file != INVALID_HANDLE_VALUE) {
            target_ = *Utf8(target);
            temporary_ = *Utf8(temporary);
            file_ = reinterpret_cast<intptr_t>(file);
            return;
        }
        // Another name when this one is taken, also by a folder or by a file
        // being deleted (which refuse with "access denied").
        if (error == ERROR_FILE_EXISTS ||
            (error == ERROR_ACCESS_DENIED &&
             GetFileAttributesW(temporary.c_str()) != INVALID_FILE_ATTRIBUTES))
            continue;
        SetLastError(error);
        break;
    }
    Fail();
    error_ = "folder '" + Shown(folder) + "': " + error_;
}

ReplacingFile::~ReplacingFile()
{
    if (file_ != NO_FILE)
        CloseHandle(HandleOf(file_));
    if (!temporary_.empty()) {
        const std::wstring temporary = Wide(temporary_);
        DeleteFileW(temporary.c_str());  // before it is forgotten, so an interrupt cannot miss it
        AcquireSRWLockExclusive(&pendingLock);
        ClearPendingLocked(temporary);
        ReleaseSRWLockExclusive(&pendingLock);
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
        wroteInPlace_ = wroteInPlace_ || (temporary_.empty() && written > 0);
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
    const std::wstring temporary = Wide(temporary_);
    const std::wstring target = Wide(target_);
    const bool moved = RetryWhileInUse([&] {
        // Moved and forgotten together, never while an interrupt removes the file.
        AcquireSRWLockExclusive(&pendingLock);
        const bool done = MoveFileExW(temporary.c_str(), target.c_str(),
                                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
        const DWORD error = GetLastError();
        if (done) {
            ClearPendingLocked(temporary);
            temporary_.clear();
        }
        ReleaseSRWLockExclusive(&pendingLock);
        SetLastError(error);
        return done;
    });
    if (!moved)
        Fail();
    return moved;
}

void RemoveTemporaryFileOnInterrupt()
{
    SetConsoleCtrlHandler(RemovePendingAndStop, TRUE);
}

size_t FileNameStart(const std::string& path)
{
    const size_t separator = path.find_last_of("\\/");
    return separator == std::string::npos ? 0 : separator + 1;
}

std::optional<std::vector<std::string>> FileNameArguments(int, char**)
{
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide)
        return std::nullopt;
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) {
        std::optional<std::string> argument = Utf8(wide[i]);
        if (!argument)
            break;
        arguments.push_back(*argument);
    }
    LocalFree(wide);
    if (arguments.size() != static_cast<size_t>(count))
        return std::nullopt;
    return arguments;
}

std::optional<std::string> FileNameFromWide(const wchar_t* name)
{
    return Utf8(name);
}
