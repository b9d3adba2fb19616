// ReplacingFile on Windows (see replacing_file.h): GetTempFileNameA in the
// target's folder, WriteFile, FlushFileBuffers, CloseHandle, then MoveFileExA
// over the target. The temporary file is opened with delete sharing, so a
// console interrupt can delete it while it is still open.
#include "image/replacing_file.h"

#include <windows.h>

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

HANDLE HandleOf(intptr_t file)
{
    return reinterpret_cast<HANDLE>(file);
}

}  // namespace

ReplacingFile::ReplacingFile(const char* targetPath) : target_(targetPath)
{
    char temporary[MAX_PATH];
    if (GetTempFileNameA(FolderOf(target_).c_str(), "mnd", 0, temporary) == 0) {
        openError_ = SystemMessage(GetLastError());
        return;
    }
    HANDLE file = CreateFileA(temporary, GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        openError_ = SystemMessage(GetLastError());
        DeleteFileA(temporary);
        return;
    }
    temporary_ = temporary;
    file_ = reinterpret_cast<intptr_t>(file);
}

ReplacingFile::~ReplacingFile()
{
    if (file_ != NO_FILE)
        CloseHandle(HandleOf(file_));
    if (!temporary_.empty())
        DeleteFileA(temporary_.c_str());
}

bool ReplacingFile::Write(const void* data, size_t bytes)
{
    const char* next = static_cast<const char*>(data);
    while (!failed_ && bytes > 0) {
        // WriteFile takes 32-bit counts; large images go in 64 MB pieces.
        const DWORD piece = static_cast<DWORD>(bytes < (64u << 20) ? bytes : (64u << 20));
        DWORD written = 0;
        if (!WriteFile(HandleOf(file_), next, piece, &written, nullptr) || written != piece)
            failed_ = true;
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
    const bool flushed = FlushFileBuffers(file) != 0;
    const bool closed = CloseHandle(file) != 0;
    if (failed_ || !flushed || !closed ||
        !MoveFileExA(temporary_.c_str(), target_.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return false;
    temporary_.clear();
    return true;
}

void RemoveTemporaryFile(const char* path)
{
    DeleteFileA(path);
}
