#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <zlib.h>

#include "image/bitmap_file.h"
#include "image/png_file.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#endif

namespace {

std::string TempPath(const char* name)
{
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    return testing::TempDir() + test->name() + "_" + name;
}

std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool Exists(const std::string& path)
{
    return std::ifstream(path).good();
}

// A PNG file's IHDR size and its image data inflated and unfiltered (Up only,
// as the writer filters) back to pixel words; empty when a chunk's CRC, the
// chunk order, a filter type or the data's length is wrong.
struct DecodedPng {
    uint32_t width = 0, height = 0;
    std::vector<uint32_t> topRowFirst;
};

uint32_t BigEndian32(const uint8_t* at)
{
    return uint32_t(at[0]) << 24 | uint32_t(at[1]) << 16 | uint32_t(at[2]) << 8 | at[3];
}

DecodedPng DecodePng(const std::vector<uint8_t>& file)
{
    DecodedPng png;
    const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (file.size() < 8 || !std::equal(signature, signature + 8, file.begin()))
        return {};
    std::vector<uint8_t> deflated;
    std::vector<std::string> types;
    for (size_t at = 8; at + 12 <= file.size();) {
        const uint32_t bytes = BigEndian32(&file[at]);
        if (at + 12 + bytes > file.size() ||
            crc32(0, &file[at + 4], 4 + bytes) != BigEndian32(&file[at + 8 + bytes]))
            return {};
        const std::string type(file.begin() + at + 4, file.begin() + at + 8);
        const uint8_t* data = &file[at + 8];
        if (type == "IHDR") {
            png.width = BigEndian32(data);
            png.height = BigEndian32(data + 4);
        } else if (type == "IDAT") {
            deflated.insert(deflated.end(), data, data + bytes);
        }
        types.push_back(type);
        at += 12 + bytes;
    }
    const bool laidOut = types.size() >= 3 && types.front() == "IHDR" && types.back() == "IEND" &&
                         std::all_of(types.begin() + 1, types.end() - 1,
                                     [](const std::string& type) { return type == "IDAT"; });
    const size_t rowBytes = 1 + 3 * size_t{png.width};
    std::vector<uint8_t> raw(rowBytes * png.height + 1);  // a byte more shows excess data
    uLongf rawBytes = static_cast<uLongf>(raw.size());
    if (!laidOut ||
        uncompress(raw.data(), &rawBytes, deflated.data(), static_cast<uLong>(deflated.size())) !=
            Z_OK ||
        rawBytes != rowBytes * png.height)
        return {};
    png.topRowFirst.assign(size_t{png.width} * png.height, 0);
    for (size_t y = 0; y < png.height; ++y) {
        const uint8_t* row = &raw[y * rowBytes];
        if (row[0] != 2)
            return {};
        for (size_t x = 0; x < png.width; ++x) {
            const uint32_t above = y == 0 ? 0 : png.topRowFirst[(y - 1) * png.width + x];
            uint32_t pixel = 0;
            for (int c = 0; c < 3; ++c)
                pixel |= uint32_t(uint8_t(row[1 + 3 * x + c] + (above >> (16 - 8 * c))))
                         << (16 - 8 * c);
            png.topRowFirst[y * png.width + x] = pixel;
        }
    }
    return png;
}

}  // namespace

TEST(BitmapFile, HeadersAreTheDocumentedBytes)
{
    uint8_t headers[BITMAP_HEADERS_SIZE];
    BuildBitmapHeaders(1920, 1080, headers);
    const uint32_t size = 54 + 1920 * 1080 * 4;  // 0x007E9036
    const uint8_t expected[54] = {
        'B', 'M', uint8_t(size), uint8_t(size >> 8), uint8_t(size >> 16), uint8_t(size >> 24),
        0, 0, 0, 0, 54, 0, 0, 0,
        40, 0, 0, 0, 0x80, 0x07, 0, 0, 0x38, 0x04, 0, 0, 1, 0, 32, 0,
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::vector<uint8_t>(headers, headers + 54),
              std::vector<uint8_t>(expected, expected + 54));
}

TEST(BitmapFile, WritesHeadersThenRowsAsTheyLieInMemory)
{
    const std::vector<uint32_t> pixels = {0x00010203, 0x00040506, 0x00070809,
                                          0x000A0B0C, 0x000D0E0F, 0x00101112};
    const std::string path = TempPath("image.bmp");
    ASSERT_EQ(WriteBitmapFile(path.c_str(), 3, 2, pixels.data()), BitmapWriteResult::Written);
    const auto bytes = ReadFile(path);
    ASSERT_EQ(bytes.size(), 54u + 3 * 2 * 4);
    EXPECT_EQ(bytes[2] | bytes[3] << 8, 54 + 24);
    EXPECT_EQ(bytes[18], 3);
    EXPECT_EQ(bytes[22], 2);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 54, bytes.begin() + 58),
              (std::vector<uint8_t>{0x03, 0x02, 0x01, 0x00}));
    EXPECT_EQ(bytes.back(), 0x00);
    EXPECT_EQ(bytes[bytes.size() - 2], 0x10);

    // Writing again replaces the old content.
    const uint32_t one = 0x00FFFFFF;
    ASSERT_EQ(WriteBitmapFile(path.c_str(), 1, 1, &one), BitmapWriteResult::Written);
    EXPECT_EQ(ReadFile(path).size(), 58u);
    std::remove(path.c_str());
}

TEST(BitmapFile, RefusesSizesNoBitmapCanHold)
{
    EXPECT_TRUE(IsValidImageSize(1, 1));
    EXPECT_TRUE(IsValidImageSize(16383, 32767));
    EXPECT_FALSE(IsValidImageSize(0, 10));
    EXPECT_FALSE(IsValidImageSize(10, -1));
    EXPECT_FALSE(IsValidImageSize(32768, 16384));  // exactly 2^31 bytes
    EXPECT_FALSE(IsValidImageSize(65536, 65536));  // a 32-bit product would wrap to 0
    EXPECT_FALSE(IsValidImageSize(1, int64_t{1} << 62));  // a 64-bit product would wrap
    EXPECT_FALSE(IsValidImageSize(4, (int64_t{1} << 62) + 1));

    const std::string path = TempPath("none.bmp");
    uint32_t pixel = 0;
    EXPECT_EQ(WriteBitmapFile(path.c_str(), 0, 1, &pixel), BitmapWriteResult::InvalidSize);
    EXPECT_FALSE(Exists(path));
}

// mandel-render writes a band at a time and takes every size its format can
// describe: a bitmap's file size field is 32 bits, a PNG's sides 31. Its
// command-line test refuses the sizes one past these.
TEST(BitmapFile, TheRenderersSizesAreWhatEachFormatHolds)
{
    EXPECT_TRUE(BitmapFileCanHold(32768, 32767));        // 4 GiB less 512 KiB
    EXPECT_TRUE(BitmapFileCanHold(1073741810, 1));       // 54 + 4 * width = 2^32 - 2
    EXPECT_FALSE(BitmapFileCanHold(0, 1));
    EXPECT_FALSE(BitmapFileCanHold(int64_t{1} << 32, int64_t{1} << 32));
    EXPECT_TRUE(PngFileCanHold(0x7FFFFFFF, 0x7FFFFFFF));
    EXPECT_FALSE(PngFileCanHold(1, 0));
}

// A writer given fewer rows than its size, or more, never puts a file in place.
TEST(BitmapFile, AFileWithRowsMissingOrTooManyIsNotPutInPlace)
{
    const std::vector<uint32_t> pixels(3 * 3, 0x00112233);
    for (int32_t rows : {2, 4}) {
        const std::string path = TempPath(("rows" + std::to_string(rows)).c_str());
        for (bool png : {false, true}) {
            ReplacingFile file(path.c_str());
            ASSERT_TRUE(file.IsOpen());
            if (png) {
                PngFileWriter writer(file, 3, 3);
                EXPECT_EQ(writer.WriteRows(pixels.data(), rows), rows < 3);
                EXPECT_FALSE(writer.Finish());
            } else {
                BitmapFileWriter writer(file, 3, 3);
                EXPECT_EQ(writer.WriteRows(pixels.data(), rows), rows < 3);
                EXPECT_FALSE(writer.Finish());
            }
        }
        EXPECT_FALSE(Exists(path));
    }
}

TEST(BitmapFile, ReportsAFileThatCannotBeCreated)
{
    uint32_t pixel = 0;
    const std::string path = TempPath("missing-folder/x.bmp");
    EXPECT_EQ(WriteBitmapFile(path.c_str(), 1, 1, &pixel), BitmapWriteResult::CannotCreate);
}

#ifdef _WIN32
// What the replace at the end would meet is refused when the file is made,
// before any pixel is computed: a file another program holds open without
// letting it be deleted (says it is in use), and a folder.
TEST(BitmapFile, ATargetThatCannotBeReplacedIsRefusedAtOnce)
{
    const std::string held = TempPath("held.bmp");
    HANDLE holder = CreateFileA(held.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    const ReplacingFile inUse(held.c_str());
    CloseHandle(holder);
    EXPECT_FALSE(inUse.IsOpen());
    EXPECT_TRUE(inUse.Error().find("haring violation") != std::string::npos ||  // Wine's words
                inUse.Error().find("used by another process") != std::string::npos)
        << inUse.Error();

    const ReplacingFile folder(testing::TempDir().c_str());
    EXPECT_FALSE(folder.IsOpen());
    EXPECT_EQ(folder.Error(), "Is a directory");
    std::remove(held.c_str());
}
#endif

#ifndef _WIN32
// A write cut short (here by a file-size limit, as a full disk would) leaves
// the file it was to replace as it was, and nothing else beside it.
TEST(BitmapFile, AShortWriteKeepsTheOldFileAndLeavesNoOther)
{
    std::string folder = testing::TempDir() + "short-write-XXXXXX";
    ASSERT_NE(mkdtemp(&folder[0]), nullptr);
    const std::string path = folder + "/image.bmp";
    const uint32_t oldPixel = 0x00ABCDEF;
    ASSERT_EQ(WriteBitmapFile(path.c_str(), 1, 1, &oldPixel), BitmapWriteResult::Written);
    const std::vector<uint8_t> oldBytes = ReadFile(path);

    struct rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = saved;
    limited.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);

    const std::vector<uint32_t> pixels(100 * 100, 0x00123456);
    const BitmapWriteResult result = WriteBitmapFile(path.c_str(), 100, 100, pixels.data());
    const BitmapWriteResult fresh =
        WriteBitmapFile((folder + "/new.bmp").c_str(), 100, 100, pixels.data());

    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(result, BitmapWriteResult::WriteFailed);
    EXPECT_EQ(fresh, BitmapWriteResult::WriteFailed);
    EXPECT_EQ(ReadFile(path), oldBytes);

    std::remove(path.c_str());
    EXPECT_EQ(rmdir(folder.c_str()), 0);  // fails while anything else is left
}

TEST(BitmapFile, AFailedWriteToADeviceLeavesTheDevice)
{
    uint32_t pixel = 0;
    if (!Exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    EXPECT_EQ(WriteBitmapFile("/dev/full", 1, 1, &pixel), BitmapWriteResult::WriteFailed);
    EXPECT_TRUE(Exists("/dev/full"));
}
#endif

// mandel-render hands the PNG writer its picture in bands from the top, each
// band's rows bottom row first as in the image buffer. Whatever the bands,
// the file decodes to the picture top row first, and a row wider than the
// writer's piece of a row is filtered against the whole row above.
TEST(PngFile, BandsOfAnySizeDecodeToThePicture)
{
    struct Case {
        int32_t width, height;
        std::vector<int32_t> bands;  // rows per WriteRows call, from the top
    };
    const Case cases[] = {{5, 7, {1, 1, 1, 1, 1, 1, 1}}, {5, 7, {2, 5}}, {70001, 3, {1, 2}}};
    for (const Case& c : cases) {
        // Pixels whose channels differ from their neighbours' above and
        // around, so that each filtered byte tells its own row and column.
        std::vector<uint32_t> bottomRowFirst(size_t(c.width) * c.height);
        for (size_t i = 0; i < bottomRowFirst.size(); ++i)
            bottomRowFirst[i] = uint32_t(i * 2654435761u) & 0x00FFFFFF;
        const std::string path = TempPath("image.png");
        {
            ReplacingFile file(path.c_str());
            ASSERT_TRUE(file.IsOpen());
            PngFileWriter writer(file, c.width, c.height);
            int32_t top = c.height;  // rows of the buffer still to write lie below this
            for (int32_t rows : c.bands) {
                top -= rows;
                EXPECT_TRUE(writer.WriteRows(&bottomRowFirst[size_t(top) * c.width], rows));
            }
            EXPECT_TRUE(writer.Finish());
        }
        const DecodedPng png = DecodePng(ReadFile(path));
        EXPECT_EQ(png.width, uint32_t(c.width));
        EXPECT_EQ(png.height, uint32_t(c.height));
        std::vector<uint32_t> topRowFirst;
        for (int32_t y = c.height - 1; y >= 0; --y)
            topRowFirst.insert(topRowFirst.end(), &bottomRowFirst[size_t(y) * c.width],
                               &bottomRowFirst[size_t(y + 1) * c.width]);
        EXPECT_TRUE(png.topRowFirst == topRowFirst) << c.width << "x" << c.height << " in "
                                                    << c.bands.size() << " bands";
        std::remove(path.c_str());
    }
}
