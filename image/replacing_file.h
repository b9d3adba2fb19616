// A file written beside its target and put in its place only when complete:
// the target keeps its old content until every byte of the new one is
// written, flushed and closed, so a full disk, a failed write or an
// interrupted program never leaves a truncated file under the target's name.
// The file-layout half of image/: no window, any thread, one object per file.
// One implementation per platform (replacing_file_win32.cpp, _posix.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class ReplacingFile {
public:
    // Creates the temporary file in the target's folder.
    explicit ReplacingFile(const char* targetPath);
    // Removes the temporary file unless Commit put it in place.
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    bool IsOpen() const { return file_ != NO_FILE; }
    // The system's reason why the file could not be created.
    const std::string& OpenError() const { return openError_; }
    // The temporary file's path; empty when the target is written in place
    // (a device or other file that is not a regular one, which is never
    // replaced or removed).
    const std::string& TemporaryPath() const { return temporary_; }

    // False when the bytes could not all be written.
    bool Write(const void* data, size_t bytes);
    // Flushes and closes the file and replaces the target with it. False, with
    // the temporary file removed and the target untouched, when any step (or
    // an earlier Write) failed.
    bool Commit();

private:
    // The platform's file: a descriptor, or a HANDLE; -1 for none on both.
    static constexpr intptr_t NO_FILE = -1;

    std::string target_;
    std::string temporary_;
    std::string openError_;
    intptr_t file_ = NO_FILE;
    bool failed_ = false;
};

// Removes a temporary file from a signal handler: async-signal-safe.
void RemoveTemporaryFile(const char* path);
