// ReplacingFile on POSIX hosts (see replacing_file.h; Linux: /proc names the
// program's own streams): the target's folder opened once, a temporary file
// of our own name created in it, write, fsync, close, rename over the target;
// and the signal handlers that remove the temporary file of an interrupted
// program.
#include "image/replacing_file.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

std::string FolderOf(const std::string& path)
{
    const size_t name = FileNameStart(path);
    if (name == 0)
        return ".";
    return name == 1 ? "/" : path.substr(0, name - 1);
}

// Where a name leads: a file (which need not exist yet) to replace or to
// write in place, or one of the streams the name stands for.
struct Destination {
    std::string path;
    int ownDescriptor = -1;  // a stream of this process, by its descriptor
    bool otherStream = false;  // another process's stream (/proc/PID/fd/N)
};

// Whether path is a name in a process's folder of open streams
// (/proc/PID/fd, /proc/PID/task/TID/fd, reached as /dev/fd or /proc/self
// too), and which process's. Those names are links whose text ("pipe:[N]",
// or a file's name at the time it was opened) is no name to follow.
bool IsStreamName(const std::string& path, pid_t& process)
{
    char* folder = realpath(FolderOf(path).c_str(), nullptr);
    if (!folder)
        return false;
    unsigned long pid = 0, thread = 0;
    int end = 0;
    bool isStream = std::sscanf(folder, "/proc/%lu/fd%n", &pid, &end) == 1 && end > 0 &&
                    folder[end] == '\0';
    end = 0;
    if (!isStream)
        isStream = std::sscanf(folder, "/proc/%lu/task/%lu/fd%n", &pid, &thread, &end) == 2 &&
                   end > 0 && folder[end] == '\0';
    std::free(folder);
    process = static_cast<pid_t>(pid);
    return isStream;
}

// Follows a chain of symbolic links to the file it ends at, so that the links
// stay and that file is replaced, as editors do; stops at a stream's name.
// Nothing, with errno set, when the chain loops or a name cannot be looked up.
std::optional<Destination> FollowLinks(std::string path)
{
    for (int hops = 0; hops < 40; ++hops) {
        struct stat link;
        if (lstat(path.c_str(), &link) != 0) {
            pid_t process;
            if (errno != ENOENT)
                return std::nullopt;
            if (IsStreamName(path, process)) {
                errno = EBADF;  // no stream open under that number
                return std::nullopt;
            }
            return Destination{path};  // a new file, or a folder that is missing
        }
        if (!S_ISLNK(link.st_mode))
            return Destination{path};
        pid_t process;
        if (IsStreamName(path, process)) {
            const std::string name = path.substr(FileNameStart(path));
            const bool ours = process == getpid() &&
                              name.find_first_not_of("0123456789") == std::string::npos;
            return ours ? Destination{path, std::atoi(name.c_str())} : Destination{path, -1, true};
        }
        char next[PATH_MAX];
        const ssize_t length = readlink(path.c_str(), next, sizeof next);
        if (length < 0 || static_cast<size_t>(length) == sizeof next) {
            errno = length < 0 ? errno : ENAMETOOLONG;
            return std::nullopt;
        }
        const std::string linked(next, static_cast<size_t>(length));
        path = linked[0] == '/' ? linked : FolderOf(path) + "/" + linked;
    }
    errno = ELOOP;
    return std::nullopt;
}

// The checks a replace would otherwise fail only at its end: the right to
// write the file itself (as cp or an editor without force needs, beside the
// folder's), the sticky folder's rule that only an owner may replace a file,
// and a file mounted over its name (a bind mount). 0 or the reason.
int ReasonNotToReplace(int folder, const std::string& name, const struct stat& existing)
{
    if (faccessat(folder, name.c_str(), W_OK, AT_EACCESS) != 0)
        return errno;  // also EPERM for an immutable file, EROFS
    struct stat folderStatus;
    if (fstat(folder, &folderStatus) != 0)
        return errno;
    const uid_t user = geteuid();
    if ((folderStatus.st_mode & S_ISVTX) && user != 0 && existing.st_uid != user &&
        folderStatus.st_uid != user)
        return EPERM;
    struct statx file, self;
    if (statx(folder, name.c_str(), 0, STATX_MNT_ID, &file) == 0 &&
        statx(folder, "", AT_EMPTY_PATH, STATX_MNT_ID, &self) == 0 &&
        (file.stx_mask & self.stx_mask & STATX_MNT_ID)) {
        if (file.stx_mnt_id != self.stx_mnt_id)
            return EBUSY;
    } else if (existing.st_dev != folderStatus.st_dev) {
        return EBUSY;
    }
    return 0;
}

// A new file gets what open(2) would give it; a replaced one keeps its mode.
mode_t ModeForTarget(const struct stat* existing)
{
    if (existing)
        return existing->st_mode & 07777;
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// A name of our own for the temporary file: six letters from the process,
// the clock and a count, another on a collision.
std::string TemporaryName(unsigned tries)
{
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    unsigned number = static_cast<unsigned>(getpid()) * 2654435761u ^
                      static_cast<unsigned>(now.tv_nsec) ^ tries * 40503u;
    std::string name = ".mandel-";
    for (int letter = 0; letter < 6; ++letter, number /= 36)
        name += "0123456789abcdefghijklmnopqrstuvwxyz"[number % 36];
    return name;
}

// The interrupts that remove the temporary file.
constexpr int HANDLED_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// The temporary file being written, for the signal handler: its folder's
// descriptor and its name in a fixed array, as a handler may not allocate,
// published by the flag.
int pendingFolder = -1;
char pendingName[32];
std::atomic<bool> pendingSet{false};

void SetPending(int folder, const std::string& name)
{
    pendingSet = false;
    pendingFolder = folder;
    std::snprintf(pendingName, sizeof pendingName, "%s", name.c_str());
    pendingSet = true;
}

void ClearPending(int folder, const std::string& name)
{
    if (pendingSet && folder == pendingFolder && name == pendingName)
        pendingSet = false;
}

extern "C" void RemovePendingAndStop(int signalNumber)
{
    if (pendingSet)
        unlinkat(pendingFolder, pendingName, 0);
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);  // delivered once the handler returns
}

}  // namespace

ReplacingFile::ReplacingFile(const char* targetPath)
{
    const std::optional<Destination> destination = FollowLinks(targetPath);
    if (!destination) {
        Fail();
        return;
    }
    if (destination->ownDescriptor >= 0) {
        // Written through the stream itself, at its own position, so that
        // what it holds stays and what the program writes there later (its
        // report) follows the image.
        const int flags = fcntl(destination->ownDescriptor, F_GETFL);
        if (flags >= 0 && (flags & O_ACCMODE) == O_RDONLY)
            errno = EBADF;
        else if (flags >= 0)
            file_ = fcntl(destination->ownDescriptor, F_DUPFD_CLOEXEC, 0);
        if (file_ < 0) {
            file_ = NO_FILE;
            Fail();
        }
        return;
    }
    if (destination->otherStream) {
        // Another program's stream: a file there is added to, never cut.
        struct stat stream;
        const int append = stat(destination->path.c_str(), &stream) == 0 && S_ISREG(stream.st_mode)
                               ? O_APPEND
                               : 0;
        const int file = open(destination->path.c_str(), O_WRONLY | O_CLOEXEC | append);
        if (file < 0)
            Fail();
        else
            file_ = file;
        return;
    }

    const std::string& path = destination->path;
    target_ = path.substr(FileNameStart(path));
    const std::string folderName = FolderOf(path);
    if (target_.empty() || target_ == "." || target_ == "..") {
        errno = EISDIR;
        Fail();
        return;
    }
    // A failure in the folder rather than at the file names the folder.
    const auto failInFolder = [&] {
        Fail();
        error_ = "folder '" + folderName + "': " + error_;
    };
    const int folder = open(folderName.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) {
        failInFolder();
        return;
    }
    folder_ = folder;
    struct stat existing;
    const bool exists = fstatat(folder, target_.c_str(), &existing, 0) == 0;
    if (!exists && errno != ENOENT) {
        Fail();  // a name too long, or one that cannot be looked up
        return;
    }
    if (exists && S_ISDIR(existing.st_mode)) {
        errno = EISDIR;
        Fail();
        return;
    }
    if (exists && !S_ISREG(existing.st_mode)) {
        // A device or a pipe: written in place.
        const int file = openat(folder, target_.c_str(), O_WRONLY | O_CLOEXEC);
        if (file < 0)
            Fail();
        else
            file_ = file;
        return;
    }
    if (exists) {
        errno = ReasonNotToReplace(folder, target_, existing);
        if (errno != 0) {
            Fail();
            return;
        }
    }

    // An interrupt between creating the file and publishing its name would
    // leave it behind: the handled signals wait until both are done.
    sigset_t handled, previous;
    sigemptyset(&handled);
    for (int signalNumber : HANDLED_SIGNALS)
        sigaddset(&handled, signalNumber);
    sigprocmask(SIG_BLOCK, &handled, &previous);
    int file = -1;
    for (unsigned tries = 0; file < 0 && tries < 100; ++tries) {
        temporary_ = TemporaryName(tries);
        file = openat(folder, temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (file < 0 && errno != EEXIST)
            break;
    }
    if (file >= 0 && fchmod(file, ModeForTarget(exists ? &existing : nullptr)) != 0) {
        const int error = errno;
        close(file);
        unlinkat(folder, temporary_.c_str(), 0);
        errno = error;
        file = -1;
    }
    if (file >= 0)
        SetPending(folder, temporary_);
    const int error = errno;
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    errno = error;
    if (file < 0) {
        failInFolder();
        temporary_.clear();
        return;
    }
    file_ = file;
}

ReplacingFile::~ReplacingFile()
{
    if (file_ != NO_FILE)
        close(static_cast<int>(file_));
    const int folder = static_cast<int>(folder_);
    if (!temporary_.empty()) {
        unlinkat(folder, temporary_.c_str(), 0);  // before it is forgotten, so an interrupt cannot miss it
        ClearPending(folder, temporary_);
    }
    if (folder_ != NO_FILE)
        close(folder);
}

void ReplacingFile::Fail()
{
    if (!failed_)
        error_ = std::strerror(errno);
    failed_ = true;
}

bool ReplacingFile::Write(const void* data, size_t bytes)
{
    const char* next = static_cast<const char*>(data);
    while (!failed_ && bytes > 0) {
        const ssize_t written = write(static_cast<int>(file_), next, bytes);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = ENOSPC;
            Fail();
        } else {
            next += written;
            bytes -= static_cast<size_t>(written);
            wroteInPlace_ = wroteInPlace_ || temporary_.empty();
        }
    }
    return !failed_;
}

bool ReplacingFile::Commit()
{
    if (file_ == NO_FILE)
        return false;
    const int file = static_cast<int>(file_);
    file_ = NO_FILE;
    // A device may not support fsync; its data is written either way.
    if (temporary_.empty()) {
        if (close(file) != 0)
            Fail();
        return !failed_;
    }
    if (fsync(file) != 0)
        Fail();
    if (close(file) != 0)
        Fail();
    if (failed_)
        return false;
    const int folder = static_cast<int>(folder_);
    if (renameat(folder, temporary_.c_str(), folder, target_.c_str()) != 0) {
        Fail();
        return false;
    }
    ClearPending(folder, temporary_);
    temporary_.clear();
    return true;
}

void RemoveTemporaryFileOnInterrupt()
{
    for (int signalNumber : HANDLED_SIGNALS) {
        struct sigaction current;
        if (sigaction(signalNumber, nullptr, &current) == 0 && current.sa_handler != SIG_IGN)
            signal(signalNumber, RemovePendingAndStop);
    }
    // Writes past the file-size limit or into a closed pipe fail with EFBIG or
    // EPIPE, reported as failed writes, instead of ending the program.
    signal(SIGXFSZ, SIG_IGN);
    signal(SIGPIPE, SIG_IGN);
}

size_t FileNameStart(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

std::optional<std::vector<std::string>> FileNameArguments(int argc, char** argv)
{
    return std::vector<std::string>(argv, argv + argc);
}
