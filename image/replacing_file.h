// A file written beside its target and put in its place only when complete:
// the target keeps its old content until every byte of the new one is
// written, flushed and closed, so a full disk, a failed write or an
// interrupted program never leaves a truncated file under the target's name.
// The file-layout half of image/: no window, any thread, one object per file.
// One implementation per platform (replacing_file_win32.cpp, _posix.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class ReplacingFile {
public:
    // Decides everything about the target before any byte is computed. It
    // follows links (on Windows every reparse point, through
    // GetFinalPathNameByHandleW) to the file they end at. A name that reaches
    // a stream the program already holds (/dev/stdout, /dev/fd/N,
    // /proc/self/fd/N) is written in place through that stream, and so is a
    // device, a pipe or another file that is not a regular one; these are
    // never replaced or removed. Otherwise it checks what the replace will
    // need (a writable target that is no folder, no mount point, not another
    // user's in a sticky folder, not held open by another program, a valid
    // name) and creates the temporary file in the target's folder. Names
    // are the platform's bytes on POSIX hosts and UTF-8 on Windows.
    explicit ReplacingFile(const char* targetPath);
    // Removes the temporary file unless Commit put it in place.
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    bool IsOpen() const { return file_ != NO_FILE; }
    // The system's reason for the first step that failed: a check, creating
    // the file, a write, the flush or putting it in place; led by the
    // folder's name when the folder is at fault.
    const std::string& Error() const { return error_; }
    // True once bytes went out to a stream or device written in place, where
    // a later failure leaves part of the image behind.
    bool WroteInPlace() const { return wroteInPlace_; }

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

    // The names as the platform's calls take them: on POSIX hosts names in
    // the folder open in folder_ (so that a path near PATH_MAX still has room
    // for the temporary name), on Windows full UTF-8 paths, widened for the
    // system; no temporary name when written in place.
    std::string target_;
    std::string temporary_;
    std::string error_;
    intptr_t file_ = NO_FILE;
    intptr_t folder_ = NO_FILE;  // POSIX hosts only: the target's folder
    bool failed_ = false;
    bool wroteInPlace_ = false;
};

// Where the last name of a path begins: just past its last folder separator
// ('/', and on Windows '\\' too), 0 without one.
size_t FileNameStart(const std::string& path);

// The program's arguments as ReplacingFile takes names: on POSIX hosts argv
// as it is; on Windows the command line read again as wide text and converted
// to UTF-8, since the ANSI arguments carry look-alikes ("best fit") or '?'
// for the characters the code page lacks, and so name another file. Nothing
// when an argument is not valid text (a lone UTF-16 surrogate).
std::optional<std::vector<std::string>> FileNameArguments(int argc, char** argv);

// Windows only: a name from a wide call (the Save As dialog) in the UTF-8
// that ReplacingFile takes; nothing when it is not valid text.
std::optional<std::string> FileNameFromWide(const wchar_t* name);

// For command-line programs, called once before any file is made: an
// interrupt removes the temporary file being written before the program ends
// as the interrupt ends it. POSIX hosts: SIGINT, SIGTERM, SIGHUP and SIGQUIT
// (each unless it was ignored when the program started, as under nohup), and
// a write past the file-size limit or into a closed pipe fails (EFBIG, EPIPE)
// instead of SIGXFSZ or SIGPIPE ending the program. Windows: every console control event (Ctrl+C, Ctrl+Break, the
// console closed, logoff, shutdown), which ends the program with
// STATUS_CONTROL_C_EXIT.
void RemoveTemporaryFileOnInterrupt();
