// The mouse tools and the clipboard copy on the real window.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "app/resource.h"
#include "image/clipboard.h"
#include "image/image_buffer.h"
#include "view/geometry.h"
#include "view/view_state.h"
#include "window_harness.h"

namespace {

class MouseTools : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(harness.Start());
        MoveWindow(harness.window, 0, 0, 640, 480, TRUE);
        harness.Paint();
        harness.ClearBoxes();
        start = currentView;
    }
    bool ViewUnchanged() const { return std::memcmp(&currentView, &start, sizeof start) == 0; }
    COLORREF ScreenPixel(int x, int y)
    {
        HDC dc = GetDC(harness.window);
        const COLORREF pixel = GetPixel(dc, x, y);
        ReleaseDC(harness.window, dc);
        return pixel;
    }
    std::string PointText(const char* tool, double x, double y)
    {
        char text[64];
        std::snprintf(text, sizeof text, "%s [%f,%f]", tool, x, y);
        return text;
    }

    WindowHarness harness;
    FractalView start;
};

// Refuses the copy's bitmap, as a 32-bit process short of memory does with a
// large image, and notes the DC the copy had made by then.
HDC dcOfRefusedCopy;
HBITMAP WINAPI NoMemoryForTheBitmap(HDC, int, int)
{
    dcOfRefusedCopy = clipboardDC;
    return nullptr;
}

}  // namespace

TEST_F(MouseTools, WithoutAToolTheButtonsOnlyReport)
{
    harness.MouseMove(20, 30);
    EXPECT_EQ(mouseX, 20);
    EXPECT_EQ(mousePlaneX, PixelToPlane(20, 30).x);
    harness.Press();
    EXPECT_EQ(harness.StatusText(6), "down");
    harness.Release();
    EXPECT_EQ(harness.StatusText(6), "up");
    harness.MouseMove(21, 30);
    EXPECT_EQ(harness.StatusText(6), "");
    EXPECT_TRUE(ViewUnchanged());
    EXPECT_TRUE(harness.Boxes().empty());
}

TEST_F(MouseTools, AWindowZoomDragKeepsTheClientProportions)
{
    harness.Command(IDM_WINDOW_ZOOM);
    EXPECT_EQ(harness.StatusText(6), "窓ズーム");
    harness.MouseMove(100, 100);
    const PlanePoint anchor = PixelToPlane(100, 100);
    EXPECT_EQ(harness.StatusText(6), PointText("窓ズーム", anchor.x, anchor.y));

    // Moving right extends the band downwards; the pointer's y plays no part.
    const int bandBottom = 100 + static_cast<int>(200.0 * clientHeight / clientWidth);
    const COLORREF anchorPixel = ScreenPixel(100, 100);
    const COLORREF farPixel = ScreenPixel(299, bandBottom - 1);
    harness.Press();
    harness.MouseMove(300, 50);
    EXPECT_EQ(mouseY, bandBottom);
    EXPECT_EQ(ScreenPixel(100, 100), anchorPixel ^ 0xFFFFFF);  // drawn in XOR with white
    EXPECT_EQ(ScreenPixel(299, bandBottom - 1), farPixel ^ 0xFFFFFF);
    EXPECT_EQ(harness.StatusText(6).rfind("窓ズーム [", 0), 0u);

    harness.MouseMove(250, 400);  // the first band is erased, a smaller one drawn
    EXPECT_EQ(ScreenPixel(299, bandBottom - 1), farPixel);
    const double cornerX = PixelToPlane(250, 400).x;
    harness.Release();

    ASSERT_EQ(harness.Boxes().size(), 1u);
    const FractalView& v = currentView;
    EXPECT_EQ(v.Xmin, anchor.x);
    EXPECT_EQ(v.Ymin, anchor.y);
    EXPECT_EQ(v.Xmax, cornerX);
    EXPECT_EQ(v.Ymax, (cornerX - anchor.x) * clientHeight / clientWidth + anchor.y);
    EXPECT_EQ(dragging, 0);
    EXPECT_EQ(v.iterLimit, start.iterLimit);
}

TEST_F(MouseTools, ADragToTheLeftZoomsAboveAndLeftOfTheFirstCorner)
{
    harness.Command(IDM_WINDOW_ZOOM);
    harness.MouseMove(400, 300);
    const PlanePoint anchor = PixelToPlane(400, 300);
    harness.Press();
    harness.MouseMove(200, 350);
    EXPECT_LT(mouseY, 300);
    harness.Release();
    ASSERT_EQ(harness.Boxes().size(), 1u);
    EXPECT_EQ(currentView.Xmax, anchor.x);
    EXPECT_EQ(currentView.Ymax, anchor.y);
    EXPECT_LT(currentView.Xmin, anchor.x);
    EXPECT_LT(currentView.Ymin, anchor.y);
}

TEST_F(MouseTools, ReleasesWithoutASpanOrWithoutMotionChangeNothing)
{
    harness.Command(IDM_WINDOW_ZOOM);
    harness.MouseMove(100, 100);
    harness.Press();
    harness.MouseMove(100, 300);  // straight down: zero width
    harness.Release();
    EXPECT_EQ(dragging, 0);

    harness.Press();  // no motion since the press
    harness.Release();
    EXPECT_EQ(dragging, 0);
    harness.Release();  // no press at all
    harness.Command(IDM_MOVE);
    harness.Press();
    harness.Release();

    EXPECT_TRUE(ViewUnchanged());
    EXPECT_TRUE(harness.Boxes().empty());
    EXPECT_EQ(needsRender, 0);
}

TEST_F(MouseTools, AMoveCentresTheViewUnderTheFramesCentre)
{
    harness.Command(IDM_MOVE);
    harness.MouseMove(50, 60);
    EXPECT_EQ(harness.StatusText(6), PointText("移動", mousePlaneX, mousePlaneY));
    harness.Press();
    harness.MouseMove(150, 120);
    harness.MouseMove(200, 100);
    const PlanePoint centre = PixelToPlane(200, 100);
    EXPECT_EQ(harness.StatusText(6), PointText("移動", centre.x, centre.y));
    harness.Release();

    ASSERT_EQ(harness.Boxes().size(), 1u);
    const FractalView& v = currentView;
    const double dX = start.Xmax - start.Xmin, dY = start.Ymax - start.Ymin;
    EXPECT_EQ(v.Xmin, centre.x - 0.5 * dX);
    EXPECT_EQ(v.Xmax, centre.x + 0.5 * dX);
    EXPECT_EQ(v.Ymin, centre.y - 0.5 * dY);
    EXPECT_EQ(v.Ymax, centre.y + 0.5 * dY);
    EXPECT_EQ(harness.StatusText(6), "移動 ");
}

TEST_F(MouseTools, CoordinatesOfAnyMagnitudeStayWithinTheStatusText)
{
    currentView.Xmin = -1e300;
    currentView.Xmax = 1e300;
    harness.Command(IDM_WINDOW_ZOOM);
    harness.MouseMove(10, 10);
    harness.Press();
    harness.MouseMove(200, 10);
    EXPECT_EQ(harness.StatusText(6).size(), 63u);
}

TEST(Clipboard, CopiesTheImageAtItsOwnSize)
{
    WindowHarness harness;
    ASSERT_TRUE(harness.Start());
    MoveWindow(harness.window, 0, 0, 300, 200, TRUE);  // shown much smaller
    harness.Paint();
    harness.ClearBoxes();
    harness.Command(IDM_COPY);
    harness.Command(IDM_COPY);  // a second copy replaces the first

    ASSERT_EQ(harness.Boxes().size(), 2u);
    EXPECT_EQ(harness.Boxes()[1].caption, "Message");
    EXPECT_EQ(harness.Boxes()[1].text, "クリップボードにコピー");
    EXPECT_TRUE(harness.Boxes()[1].IsQuestionBox());

    ASSERT_TRUE(OpenClipboard(nullptr));
    HBITMAP bitmap = static_cast<HBITMAP>(GetClipboardData(CF_BITMAP));
    ASSERT_NE(bitmap, nullptr);
    BITMAP info;
    GetObject(bitmap, sizeof info, &info);
    EXPECT_EQ(info.bmWidth, imageWidth);
    EXPECT_EQ(info.bmHeight, imageHeight);

    BITMAPINFO format = {};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = imageWidth;
    format.bmiHeader.biHeight = -imageHeight;  // top-down
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    std::vector<uint32_t> copied(static_cast<size_t>(imageWidth) * imageHeight);
    HDC screen = GetDC(nullptr);
    GetDIBits(screen, bitmap, 0, imageHeight, copied.data(), &format, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    CloseClipboard();

    size_t differing = 0;
    for (int32_t row = 0; row < imageHeight; ++row)  // the image is stored bottom-up
        for (int32_t x = 0; x < imageWidth; ++x)
            differing += (copied[static_cast<size_t>(row) * imageWidth + x] & 0xFFFFFF) !=
                         imagePixels[static_cast<size_t>(imageHeight - 1 - row) * imageWidth + x];
    EXPECT_EQ(differing, 0u);
}

TEST(Clipboard, ACopyWhileAnotherProgramHoldsTheClipboardDoesNothing)
{
    WindowHarness harness;
    ASSERT_TRUE(harness.Start());
    harness.ClearBoxes();
    HANDLE opened = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread holder([&] {
        OpenClipboard(nullptr);
        SetEvent(opened);
        WaitForSingleObject(release, 10000);
        CloseClipboard();
    });
    WaitForSingleObject(opened, 10000);
    harness.Command(IDM_COPY);
    SetEvent(release);
    holder.join();
    EXPECT_TRUE(harness.Boxes().empty());
}

TEST(Clipboard, ACopyWithoutMemoryForItsBitmapSaysSoAndKeepsNothing)
{
    WindowHarness harness;
    ASSERT_TRUE(harness.Start());
    harness.ClearBoxes();
    dcOfRefusedCopy = nullptr;
    CreateClipboardBitmap = NoMemoryForTheBitmap;
    harness.Command(IDM_COPY);
    CreateClipboardBitmap = CreateCompatibleBitmap;

    ASSERT_EQ(harness.Boxes().size(), 1u);
    EXPECT_EQ(harness.Boxes()[0].text, "メモリ不足でクリップボードにコピーすることができませんでした。");
    ASSERT_NE(dcOfRefusedCopy, nullptr);
    EXPECT_EQ(GetObjectType(dcOfRefusedCopy), 0u);  // released at once, not at the next copy
    EXPECT_EQ(clipboardDC, nullptr);

    harness.Command(IDM_COPY);  // the next copy works as ever
    ASSERT_EQ(harness.Boxes().size(), 2u);
    EXPECT_EQ(harness.Boxes()[1].text, "クリップボードにコピー");
}
