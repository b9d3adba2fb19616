// Bitmap file layout and writing (see bitmap_file.h). The Windows build writes
// through CreateFileA/WriteFile, as the save command always has; other hosts
// use POSIX files. Either way every write is checked, and a file that could
// not be written completely is deleted rather than left looking saved.
#include "image/bitmap_file.h"

#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

void Put16(uint8_t* at, uint32_t value)
{
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

void Put32(uint8_t* at, uint32_t value)
{
    Put16(at, value & 0xFFFF);
    Put16(at + 2, value >> 16);
}

#ifdef _WIN32
class OutputFile {
public:
    explicit OutputFile(const char* path)
        : path_(path),
          file_(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr))
    {
    }
    bool IsOpen() const { return file_ != INVALID_HANDLE_VALUE; }
    bool Write(const void* data, size_t bytes)
    {
        DWORD written = 0;
        return WriteFile(file_, data, static_cast<DWORD>(bytes), &written, nullptr) &&
               written == bytes;
    }
    bool Close() { return CloseHandle(file_) != 0; }
    void Remove() { DeleteFileA(path_); }

private:
    const char* path_;
    HANDLE file_;
};
#else
class OutputFile {
public:
    explicit OutputFile(const char* path)
        : path_(path), file_(open(path, O_WRONLY | O_CREAT | O_TRUNC, 0666))
    {
    }
    bool IsOpen() const { return file_ >= 0; }
    bool Write(const void* data, size_t bytes)
    {
        const char* next = static_cast<const char*>(data);
        while (bytes > 0) {
            const ssize_t written = write(file_, next, bytes);
            if (written <= 0)
                return false;
            next += written;
            bytes -= static_cast<size_t>(written);
        }
        return true;
    }
    bool Close()
    {
        struct stat status;
        isRegular_ = fstat(file_, &status) == 0 && S_ISREG(status.st_mode);
        return close(file_) == 0;
    }
    // Only a regular file is removed: a device such as /dev/full stays.
    void Remove()
    {
        if (isRegular_)
            unlink(path_);
    }

private:
    const char* path_;
    int file_;
    bool isRegular_ = false;
};
#endif

}  // namespace

bool IsValidImageSize(int64_t width, int64_t height)
{
    // Each side is bounded first, so that the product cannot wrap.
    const int64_t maxSide = static_cast<int64_t>(MAX_IMAGE_BYTES / 4);
    return width >= 1 && height >= 1 && width <= maxSide && height <= maxSide &&
           static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 4 <= MAX_IMAGE_BYTES;
}

void BuildBitmapHeaders(int32_t width, int32_t height, uint8_t headers[BITMAP_HEADERS_SIZE])
{
    std::memset(headers, 0, BITMAP_HEADERS_SIZE);
    const uint32_t pixelBytes = static_cast<uint32_t>(width) * static_cast<uint32_t>(height) * 4;
    headers[0] = 'B';
    headers[1] = 'M';
    Put32(headers + 2, BITMAP_HEADERS_SIZE + pixelBytes);
    Put32(headers + 10, BITMAP_HEADERS_SIZE);

    uint8_t* info = headers + BITMAP_FILE_HEADER_SIZE;
    Put32(info + 0, BITMAP_INFO_HEADER_SIZE);
    Put32(info + 4, static_cast<uint32_t>(width));
    Put32(info + 8, static_cast<uint32_t>(height));  // positive: rows stored bottom-up
    Put16(info + 12, 1);                               // planes
    Put16(info + 14, 32);                              // bits per pixel; the rest stays 0 (BI_RGB)
}

BitmapWriteResult WriteBitmapFile(const char* path, int32_t width, int32_t height,
                                  const uint32_t* pixels)
{
    if (!IsValidImageSize(width, height))
        return BitmapWriteResult::InvalidSize;
    OutputFile file(path);
    if (!file.IsOpen())
        return BitmapWriteResult::CannotCreate;

    uint8_t headers[BITMAP_HEADERS_SIZE];
    BuildBitmapHeaders(width, height, headers);
    const size_t pixelBytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
    const bool written = file.Write(headers, BITMAP_FILE_HEADER_SIZE) &&
                         file.Write(headers + BITMAP_FILE_HEADER_SIZE, BITMAP_INFO_HEADER_SIZE) &&
                         file.Write(pixels, pixelBytes);
    if (file.Close() && written)
        return BitmapWriteResult::Written;
    file.Remove();
    return BitmapWriteResult::WriteFailed;
}
