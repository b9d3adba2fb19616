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
    // Creates the temporary file in the folder of the file the target names
    // (through symbolic links on POSIX hosts); a device or other file that is
    // not a regular one is opened and written in place instead, never
    // replaced or removed.
    explicit ReplacingFile(const char* targetPath);
    // Removes the temporary file unless Commit put it in place.
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    bool IsOpen() const { return file_ != NO_FILE; }
    // The system's reason for the first step that failed: creating the file,
    // a write, the flush or putting it in place.
    const std::string& Error() const { return error_; }

    // False when the bytes could not all be written.
    bool Write(const void* data, size_t bytes);
    // Flushes and closes the file and replaces the target with it. False, with
    // the temporary file removed and the target untouched, when any step (or
    // an earlier Write) failed.
    bool Commit();

private:
    // The platform's file: a descriptor, or a HANDLE; -1 for none on both.
    static constexpr intptr_t NO_FILE = -1;

    void Fail();  // records the system's reason for the step that failed

    // The paths as the platform's calls take them (on Windows full UTF-8
    // paths, widened for the system); no temporary path when written in place.
    std::string target_;
    std::string temporary_;
    std::string error_;
    intptr_t file_ = NO_FILE;
    bool failed_ = false;
};

// Where the last name of a path begins: just past its last folder separator,
// 0 without one. Windows paths come in the ANSI code page, where the second
// byte of a double-byte character may be a backslash and separates nothing.
size_t FileNameStart(const std::string& path);

// For command-line programs, called once before any file is made: an
// interrupt removes the temporary file being written before the program ends
// as the interrupt ends it. POSIX hosts: SIGINT, SIGTERM, SIGHUP and SIGQUIT
// (each unless it was ignored when the program started, as under nohup), and
// a write past the file-size limit or into a closed pipe fails (EFBIG, EPIPE)
// instead of SIGXFSZ or SIGPIPE ending the program. Windows: every console control event (Ctrl+C, Ctrl+Break, the
// console closed, logoff, shutdown), which ends the program with
// STATUS_CONTROL_C_EXIT.
void RemoveTemporaryFileOnInterrupt();
