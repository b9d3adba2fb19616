// ReplacingFile on POSIX hosts (see replacing_file.h): mkstemp in the target's
// folder, write, fsync, close, rename over the target.
#include "image/replacing_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
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

}  // namespace

ReplacingFile::ReplacingFile(const char* targetPath) : target_(targetPath)
{
    int file;
    struct stat existing;
    const bool exists = stat(targetPath, &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode)) {
        file = open(targetPath, O_WRONLY | O_TRUNC);
    } else {
        temporary_ = FolderOf(target_) + "/.mandel-XXXXXX";
        file = mkstemp(&temporary_[0]);
        if (file >= 0 && fchmod(file, ModeForTarget(exists ? &existing : nullptr)) != 0) {
            const int error = errno;
            close(file);
            unlink(temporary_.c_str());
            errno = error;
            file = -1;
        }
    }
    if (file < 0) {
        openError_ = std::strerror(errno);
        temporary_.clear();
        return;
    }
    file_ = file;
}

ReplacingFile::~ReplacingFile()
{
    if (file_ != NO_FILE)
        close(static_cast<int>(file_));
    if (!temporary_.empty())
        unlink(temporary_.c_str());
}

bool ReplacingFile::Write(const void* data, size_t bytes)
{
    const char* next = static_cast<const char*>(data);
    while (!failed_ && bytes > 0) {
        const ssize_t written = write(static_cast<int>(file_), next, bytes);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            failed_ = true;
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
    const bool inPlace = temporary_.empty();
    // A device may not support fsync; its data is written either way.
    const bool synced = inPlace || fsync(file) == 0;
    const bool closed = close(file) == 0;
    if (failed_ || !synced || !closed)
        return false;
    if (inPlace)
        return true;
    if (rename(temporary_.c_str(), target_.c_str()) != 0)
        return false;
    temporary_.clear();
    return true;
}

void RemoveTemporaryFile(const char* path)
{
    unlink(path);
}
