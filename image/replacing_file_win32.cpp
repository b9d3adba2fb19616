// ReplacingFile on Windows (see replacing_file.h): GetTempFileNameA in the
// target's folder, WriteFile, FlushFileBuffers, CloseHandle, then MoveFileExA
// over the target. The temporary file is opened with delete sharing, so a
// console interrupt can delete it while it is still open.
#include "image/replacing_file.h"

#include <windows.h>

struct ReplacingFile::State {
    std::string target;
    std::string temporary;
    std::string openError;
    HANDLE file = INVALID_HANDLE_VALUE;
    bool failed = false;
};

namespace {

std::string FolderOf(const std::string& path)
{
    const size_t separator = path.find_last_of("\\/:");
    if (separator == std::string::npos)
        return ".";
    return path.substr(0, separator + 1);
}

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

}  // namespace

ReplacingFile::ReplacingFile(const char* targetPath) : state_(new State)
{
    State& s = *state_;
    s.target = targetPath;
    char temporary[MAX_PATH];
    if (GetTempFileNameA(FolderOf(s.target).c_str(), "mnd", 0, temporary) == 0) {
        s.openError = SystemMessage(GetLastError());
        return;
    }
    s.file = CreateFileA(temporary, GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    if (s.file == INVALID_HANDLE_VALUE) {
        s.openError = SystemMessage(GetLastError());
        DeleteFileA(temporary);
        return;
    }
    s.temporary = temporary;
}

ReplacingFile::~ReplacingFile()
{
    State& s = *state_;
    if (s.file != INVALID_HANDLE_VALUE)
        CloseHandle(s.file);
    if (!s.temporary.empty())
        DeleteFileA(s.temporary.c_str());
}

bool ReplacingFile::IsOpen() const
{
    return state_->file != INVALID_HANDLE_VALUE;
}

const std::string& ReplacingFile::OpenError() const
{
    return state_->openError;
}

const std::string& ReplacingFile::TemporaryPath() const
{
    return state_->temporary;
}

bool ReplacingFile::Write(const void* data, size_t bytes)
{
    State& s = *state_;
    const char* next = static_cast<const char*>(data);
    while (!s.failed && bytes > 0) {
        // WriteFile takes 32-bit counts; large images go in 64 MB pieces.
        const DWORD piece = static_cast<DWORD>(bytes < (64u << 20) ? bytes : (64u << 20));
        DWORD written = 0;
        if (!WriteFile(s.file, next, piece, &written, nullptr) || written != piece)
            s.failed = true;
        next += written;
        bytes -= written;
    }
    return !s.failed;
}

bool ReplacingFile::Commit()
{
    State& s = *state_;
    if (s.file == INVALID_HANDLE_VALUE)
        return false;
    const bool flushed = FlushFileBuffers(s.file) != 0;
    const bool closed = CloseHandle(s.file) != 0;
    s.file = INVALID_HANDLE_VALUE;
    if (s.failed || !flushed || !closed ||
        !MoveFileExA(s.temporary.c_str(), s.target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return false;
    s.temporary.clear();
    return true;
}

void RemoveTemporaryFile(const char* path)
{
    DeleteFileA(path);
}
