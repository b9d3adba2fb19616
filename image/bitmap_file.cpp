// Bitmap file layout and writing (see bitmap_file.h). Every write is checked,
// and the file reaches its name only complete (replacing_file.h).
#include "image/bitmap_file.h"

#include <cstring>

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

}  // namespace

bool IsValidImageSize(int64_t width, int64_t height)
{
    // Each side is bounded first, so that the product cannot wrap.
    const int64_t maxSide = static_cast<int64_t>(MAX_IMAGE_BYTES / 4);
    return width >= 1 && height >= 1 && width <= maxSide && height <= maxSide &&
           static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 4 <= MAX_IMAGE_BYTES;
}

bool BitmapFileCanHold(int64_t width, int64_t height)
{
    const int64_t maxSide = 0x7FFFFFFF;
    return width >= 1 && height >= 1 && width <= maxSide && height <= maxSide &&
           static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 4 <=
               0xFFFFFFFF - BITMAP_HEADERS_SIZE;
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
    ReplacingFile file(path);
    if (!file.IsOpen())
        return BitmapWriteResult::CannotCreate;
    return WriteBitmapFile(file, width, height, pixels);
}

BitmapWriteResult WriteBitmapFile(ReplacingFile& file, int32_t width, int32_t height,
                                  const uint32_t* pixels)
{
    if (!IsValidImageSize(width, height))
        return BitmapWriteResult::InvalidSize;
    BitmapFileWriter writer(file, width, height);
    return writer.WriteRows(pixels, height) && writer.Finish() ? BitmapWriteResult::Written
                                                               : BitmapWriteResult::WriteFailed;
}

BitmapFileWriter::BitmapFileWriter(ReplacingFile& file, int32_t width, int32_t height)
    : file_(file), width_(width), height_(height)
{
}

bool BitmapFileWriter::WriteRows(const uint32_t* rows, int32_t count)
{
    if (!failed_ && rowsWritten_ == 0) {
        uint8_t headers[BITMAP_HEADERS_SIZE];
        BuildBitmapHeaders(width_, height_, headers);
        failed_ = !file_.Write(headers, BITMAP_FILE_HEADER_SIZE) ||
                  !file_.Write(headers + BITMAP_FILE_HEADER_SIZE, BITMAP_INFO_HEADER_SIZE);
    }
    if (count > height_ - rowsWritten_)
        failed_ = true;
    if (!failed_) {
        failed_ = !file_.Write(rows, static_cast<size_t>(width_) * static_cast<size_t>(count) * 4);
        rowsWritten_ += count;
    }
    return !failed_;
}

bool BitmapFileWriter::Finish()
{
    // A file given up on is never put in place: ReplacingFile's destructor
    // removes it.
    return !failed_ && rowsWritten_ == height_ && file_.Commit();
}
