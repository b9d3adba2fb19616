#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "image/bitmap_file.h"

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
