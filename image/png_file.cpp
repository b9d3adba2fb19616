// PNG encoding (see png_file.h). The encoder gets the rows top down as RGB
// triples and hands back the file's bytes through a callback, so the output
// goes through the same replace-when-complete file as the bitmap.
#include "image/png_file.h"

#include <new>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb_image_write.h>

namespace {

void WriteToFile(void* context, void* data, int size)
{
    static_cast<ReplacingFile*>(context)->Write(data, static_cast<size_t>(size));
}

}  // namespace

bool IsValidPngSize(int64_t width, int64_t height)
{
    return IsValidImageSize(width, height) && (width * 3 + 1) * height <= INT32_MAX;
}

BitmapWriteResult WritePngFile(ReplacingFile& file, int32_t width, int32_t height,
                               const uint32_t* pixels)
{
    if (!IsValidPngSize(width, height))
        return BitmapWriteResult::InvalidSize;
    std::vector<uint8_t> rgb;
    try {
        rgb.resize(static_cast<size_t>(width) * height * 3);
    } catch (const std::bad_alloc&) {
        return BitmapWriteResult::WriteFailed;
    }
    uint8_t* out = rgb.data();
    for (int32_t row = height - 1; row >= 0; --row) {
        const uint32_t* in = pixels + static_cast<size_t>(row) * width;
        for (int32_t x = 0; x < width; ++x, out += 3) {
            out[0] = static_cast<uint8_t>(in[x] >> 16);
            out[1] = static_cast<uint8_t>(in[x] >> 8);
            out[2] = static_cast<uint8_t>(in[x]);
        }
    }
    const bool encoded =
        stbi_write_png_to_func(WriteToFile, &file, width, height, 3, rgb.data(), width * 3) != 0;
    return file.Commit() && encoded ? BitmapWriteResult::Written : BitmapWriteResult::WriteFailed;
}
