// ReplacingFile on POSIX hosts (see replacing_file.h): mkstemp in the target's
// folder, write, fsync, close, rename over the target; and the signal
// handlers that remove the temporary file of an interrupted program.
#include "image/replacing_file.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <optional>

namespace {

std::string FolderOf(const std::string& path)
{
    const size_t name = FileNameStart(path);
    if (name == 0)
        return ".";
    return name == 1 ? "/" : path.substr(0, name - 1);
}

// The file a chain of symbolic links ends at (which need not exist yet), so
// that the links stay and that file is replaced, as editors do; nothing when
// the chain loops.
std::optional<std::string> FollowLinks(std::string path)
{
    for (int hops = 0; hops < 40; ++hops) {
        struct stat link;
        if (lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode))
            return path;
        char next[PATH_MAX];
        const ssize_t length = readlink(path.c_str(), next, sizeof next);
        if (length < 0 || static_cast<size_t>(length) == sizeof next)
            return path;  // unreadable: creating the file beside it fails with the reason
        const std::string linked(next, static_cast<size_t>(length));
        path = linked[0] == '/' ? linked : FolderOf(path) + "/" + linked;
    }
    return std::nullopt;
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

// The interrupts that remove the temporary file.
constexpr int HANDLED_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// The temporary file being written, for the signal handler: a fixed array, as
// a handler may not allocate, published by the flag.
char pendingTemporary[4096];
std::atomic<bool> pendingSet{false};

void SetPending(const std::string& temporary)
{
    pendingSet = false;
    if (temporary.size() >= sizeof pendingTemporary)
        return;  // the destructor still removes it on every ordinary exit
    std::memcpy(pendingTemporary, temporary.c_str(), temporary.size() + 1);
    pendingSet = true;
}

void ClearPending(const std::string& temporary)
{
    if (pendingSet && temporary == pendingTemporary)
        pendingSet = false;
}

extern "C" void RemovePendingAndStop(int signalNumber)
{
    if (pendingSet)
        unlink(pendingTemporary);
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);  // delivered once the handler returns
}

}  // namespace

ReplacingFile::ReplacingFile(const char* targetPath)
{
    const std::optional<std::string> target = FollowLinks(targetPath);
    if (!target) {
        errno = ELOOP;
        Fail();
        return;
    }
    target_ = *target;
    int file;
    struct stat existing;
    const bool exists = stat(target_.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode)) {
        file = open(target_.c_str(), O_WRONLY | O_TRUNC);
    } else {
        // An interrupt between creating the file and publishing its name
        // would leave it behind: the handled signals wait until both are done.
        sigset_t handled, previous;
        sigemptyset(&handled);
        for (int signalNumber : HANDLED_SIGNALS)
            sigaddset(&handled, signalNumber);
        sigprocmask(SIG_BLOCK, &handled, &previous);
        temporary_ = FolderOf(target_) + "/.mandel-XXXXXX";
        file = mkstemp(&temporary_[0]);
        if (file >= 0 && fchmod(file, ModeForTarget(exists ? &existing : nullptr)) != 0) {
            const int error = errno;
            close(file);
            unlink(temporary_.c_str());
            errno = error;
            file = -1;
        }
        if (file >= 0)
            SetPending(temporary_);
        const int error = errno;
        sigprocmask(SIG_SETMASK, &previous, nullptr);
        errno = error;
    }
    if (file < 0) {
        Fail();
        temporary_.clear();
        return;
    }
    file_ = file;
}

ReplacingFile::~ReplacingFile()
{
    if (file_ != NO_FILE)
        close(static_cast<int>(file_));
    if (!temporary_.empty()) {
        unlink(temporary_.c_str());  // before it is forgotten, so an interrupt cannot miss it
        ClearPending(temporary_);
    }
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
    if (rename(temporary_.c_str(), target_.c_str()) != 0) {
        Fail();
        return false;
    }
    ClearPending(temporary_);
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
