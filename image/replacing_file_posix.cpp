// ReplacingFile on POSIX hosts (see replacing_file.h): mkstemp in the target's
// folder, write, fsync, close, rename over the target.
#include "image/replacing_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

struct ReplacingFile::State {
    std::string target;
    std::string temporary;
    std::string openError;
    int file = -1;
    bool failed = false;
};

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

ReplacingFile::ReplacingFile(const char* targetPath) : state_(new State)
{
    State& s = *state_;
    s.target = targetPath;
    struct stat existing;
    const bool exists = stat(targetPath, &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode)) {
        s.file = open(targetPath, O_WRONLY | O_TRUNC);
    } else {
        s.temporary = FolderOf(s.target) + "/.mandel-XXXXXX";
        s.file = mkstemp(&s.temporary[0]);
        if (s.file >= 0 && fchmod(s.file, ModeForTarget(exists ? &existing : nullptr)) != 0) {
            close(s.file);
            unlink(s.temporary.c_str());
            s.file = -1;
        }
    }
    if (s.file < 0) {
        s.openError = std::strerror(errno);
        s.temporary.clear();
    }
}

ReplacingFile::~ReplacingFile()
{
    State& s = *state_;
    if (s.file >= 0)
        close(s.file);
    if (!s.temporary.empty())
        unlink(s.temporary.c_str());
}

bool ReplacingFile::IsOpen() const
{
    return state_->file >= 0;
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
        const ssize_t written = write(s.file, next, bytes);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            s.failed = true;
        else {
            next += written;
            bytes -= static_cast<size_t>(written);
        }
    }
    return !s.failed;
}

bool ReplacingFile::Commit()
{
    State& s = *state_;
    if (s.file < 0)
        return false;
    const bool inPlace = s.temporary.empty();
    // A device may not support fsync; its data is written either way.
    const bool synced = inPlace || fsync(s.file) == 0;
    const bool closed = close(s.file) == 0;
    s.file = -1;
    if (s.failed || !synced || !closed)
        return false;
    if (inPlace)
        return true;
    if (rename(s.temporary.c_str(), s.target.c_str()) != 0)
        return false;
    s.temporary.clear();
    return true;
}

void RemoveTemporaryFile(const char* path)
{
    unlink(path);
}
