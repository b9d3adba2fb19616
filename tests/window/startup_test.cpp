// Start-up, the render cycle, the history commands and closing, on the real
// window. Each test runs in a process of its own, as the program does.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "app/main_window.h"
#include "app/window_services.h"
#include "app/resource.h"
#include "engine/strips.h"
#include "image/image_buffer.h"
#include "view/history.h"
#include "view/view_state.h"
#include "window_harness.h"

namespace {

std::string Fixed(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%f", value);
    return text;
}

std::vector<uint32_t> RenderCurrentView()
{
    std::vector<uint32_t> pixels(static_cast<size_t>(imageWidth) * imageHeight);
    const FractalView& v = currentView;
    RenderView(v.Xmin, v.Ymin, v.Xmax, v.Ymax, imageWidth, imageHeight, pixels.data());
    return pixels;
}

bool ImageEquals(const std::vector<uint32_t>& pixels)
{
    return pixels.size() == static_cast<size_t>(imageWidth) * imageHeight &&
           std::memcmp(pixels.data(), imagePixels, pixels.size() * 4) == 0;
}

const UINT NO_ITEM = static_cast<UINT>(-1);

}  // namespace

TEST(StartUp, ComputesTheFittedDefaultViewAndFillsTheStatusBar)
{
    WindowHarness harness;
    ASSERT_TRUE(harness.Start());
    EXPECT_EQ(WindowText(harness.window), "Mandelbrot");

    const int screenW = GetSystemMetrics(SM_CXSCREEN), screenH = GetSystemMetrics(SM_CYSCREEN);
    EXPECT_EQ(imageWidth, screenW);
    EXPECT_EQ(imageHeight, screenH);
    const double halfSpan = 2.0 * screenW / screenH * 0.5;
    EXPECT_EQ(currentView.Xmax, halfSpan);
    EXPECT_EQ(currentView.Ymin, -1.0);

    ASSERT_EQ(harness.Boxes().size(), 1u);
    const SeenBox& box = harness.Boxes()[0];
    EXPECT_EQ(box.caption, "Message");
    EXPECT_TRUE(box.text == "計算時間 0秒" || box.text == "計算時間 1秒") << box.text;
    EXPECT_TRUE(box.IsQuestionBox());
    const std::array<std::string, 7> computing = {
        Fixed(-halfSpan), "-1.000000", Fixed(halfSpan), "1.000000", "64", "64", "1スレッドで計算中"};
    EXPECT_EQ(box.status, computing);
    EXPECT_EQ(harness.StatusText(6), "");  // no tool

    for (UINT id : {IDM_ITER_64, IDM_THREADS_1, IDM_COLORS_64})
        EXPECT_TRUE(harness.IsChecked(id)) << id;
    for (UINT id : {IDM_ITER_512, IDM_COLORS_512, IDM_THREADS_2, IDM_SIZE_SCREEN})
        EXPECT_FALSE(harness.IsChecked(id)) << id;
    EXPECT_TRUE(harness.IsGrayed(IDM_BACK));
    EXPECT_TRUE(harness.IsGrayed(IDM_FORWARD));

    char screenItem[64];
    std::snprintf(screenItem, sizeof screenItem, "ｲﾒｰｼﾞｻｲｽﾞ %i*%i (&P)", screenW, screenH);
    EXPECT_EQ(harness.MenuLabel(IDM_SIZE_SCREEN), screenItem);
    EXPECT_EQ(GetMenuState(GetMenu(harness.window), IDM_SIZE_DESKTOP, MF_BYCOMMAND), NO_ITEM);
    EXPECT_EQ(GetMenuState(GetMenu(harness.window), IDM_MAXIMIZE_ALL, MF_BYCOMMAND), NO_ITEM);

    EXPECT_TRUE(ImageEquals(RenderCurrentView()));
    EXPECT_EQ(historyCount, 1);
    EXPECT_EQ(historySlots[0].Xmax, halfSpan);
}

TEST(StartUp, SeveralMonitorsStartAtTheDesktopSizeWithTheirItems)
{
    ReadSystemMetric = TwoMonitors;
    WindowHarness harness;
    ASSERT_TRUE(harness.Start());
    EXPECT_EQ(imageWidth, 1280);
    EXPECT_EQ(imageHeight, 480);
    EXPECT_EQ(harness.MenuLabel(IDM_SIZE_SCREEN), "ｲﾒｰｼﾞｻｲｽﾞ 640*480 (&P)");
    EXPECT_EQ(harness.MenuLabel(IDM_SIZE_DESKTOP), "ｲﾒｰｼﾞｻｲｽﾞ 1280*480 (&D)");
    EXPECT_EQ(harness.MenuLabel(IDM_MAXIMIZE_ALL), "ﾏﾙﾁﾓﾆﾀｰ全体で最大化(&W)");
    EXPECT_TRUE(harness.IsChecked(IDM_SIZE_DESKTOP));
    EXPECT_FALSE(harness.IsChecked(IDM_SIZE_SCREEN));

    // The three items follow the View menu's own, in this order.
    HMENU view = GetSubMenu(GetMenu(harness.window), 2);
    const int count = GetMenuItemCount(view);
    EXPECT_EQ(GetMenuItemID(view, count - 3), static_cast<UINT>(IDM_SIZE_SCREEN));
    EXPECT_EQ(GetMenuItemID(view, count - 2), static_cast<UINT>(IDM_SIZE_DESKTOP));
    EXPECT_EQ(GetMenuItemID(view, count - 1), static_cast<UINT>(IDM_MAXIMIZE_ALL));
    EXPECT_EQ(GetMenuItemID(view, count - 4), static_cast<UINT>(IDM_THREADS_8));
}

int WINAPI HugeDesktop(int index)
{
    return index == SM_CXVIRTUALSCREEN || index == SM_CYVIRTUALSCREEN ? 60000
                                                                      : GetSystemMetrics(index);
}

TEST(StartUp, AnImageThatCannotBeMadeEndsTheProgramWithOneMessage)
{
    ReadSystemMetric = HugeDesktop;
    WindowHarness harness;
    EXPECT_EQ(harness.Start(), nullptr);
    ASSERT_EQ(harness.Boxes().size(), 1u);
    EXPECT_EQ(harness.Boxes()[0].caption, "Message");
    EXPECT_EQ(harness.Boxes()[0].text, "メモリが不足しています。");
    EXPECT_TRUE(harness.Boxes()[0].IsQuestionBox());
    EXPECT_EQ(statusBar, nullptr);
    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(message.wParam, 0u);
}

TEST(RenderCycle, RepaintsAndResizesOnlyStretchTheStoredImage)
{
    WindowHarness harness;
    ASSERT_TRUE(harness.Start());
    harness.ClearBoxes();
    const std::string xmin = harness.StatusText(0);
    imagePixels[0] = 0x00ABCDEF;  // would be overwritten by a recompute
    activeTool = IDM_MOVE;

    InvalidateRect(harness.window, nullptr, TRUE);
    harness.Paint();
    MoveWindow(harness.window, 10, 10, 300, 200, TRUE);
    harness.Paint();

    EXPECT_TRUE(harness.Boxes().empty());
    EXPECT_EQ(imagePixels[0], 0x00ABCDEFu);
    EXPECT_EQ(harness.StatusText(0), xmin);
    EXPECT_EQ(harness.StatusText(6), "移動 ");
    RECT client;
    GetClientRect(harness.window, &client);
    EXPECT_EQ(clientWidth, client.right);
    EXPECT_EQ(clientHeight, client.bottom);
    EXPECT_EQ(historyCount, 1);
}

TEST(RenderCycle, EveryRecomputeMarksExactlyOneColourAndOneLimit)
{
    WindowHarness harness;
    ASSERT_TRUE(harness.Start());
    harness.ClearBoxes();
    SendMessageA(harness.window, WM_COMMAND, IDM_COLORS_4096, 0);
    SendMessageA(harness.window, WM_COMMAND, IDM_ITER_512, 0);
    SendMessageA(harness.window, WM_COMMAND, IDM_THREADS_8, 0);
    EXPECT_TRUE(harness.IsChecked(IDM_COLORS_64));  // marks move only with the recompute
    harness.Paint();

    ASSERT_EQ(harness.Boxes().size(), 1u);  // two changes, one recompute
    EXPECT_EQ(harness.Boxes()[0].status[4], "4096");
    EXPECT_EQ(harness.Boxes()[0].status[5], "512");
    EXPECT_EQ(harness.Boxes()[0].status[6], "8スレッドで計算中");
    EXPECT_TRUE(harness.IsChecked(IDM_COLORS_4096));
    EXPECT_FALSE(harness.IsChecked(IDM_COLORS_64));
    EXPECT_TRUE(harness.IsChecked(IDM_ITER_512));
    EXPECT_FALSE(harness.IsChecked(IDM_ITER_64));
    EXPECT_EQ(historyCount, 2);  // one entry per recompute
    EXPECT_TRUE(ImageEquals(RenderCurrentView()));
}

TEST(History, BackAndForwardRestoreRecordedViews)
{
    WindowHarness harness;
    ASSERT_TRUE(harness.Start());
    const FractalView start = currentView;
    harness.Command(IDM_ITER_512);
    EXPECT_FALSE(harness.IsGrayed(IDM_BACK));
    EXPECT_TRUE(harness.IsGrayed(IDM_FORWARD));

    harness.ClearBoxes();
    harness.Command(IDM_BACK);
    EXPECT_EQ(std::memcmp(&currentView, &start, sizeof start), 0);
    EXPECT_EQ(harness.Boxes().size(), 1u);
    EXPECT_TRUE(harness.IsChecked(IDM_ITER_64));
    EXPECT_TRUE(harness.IsGrayed(IDM_BACK));
    EXPECT_FALSE(harness.IsGrayed(IDM_FORWARD));
    EXPECT_EQ(historyCount, 2);  // stepping records nothing

    // Not allowed now: nothing changes and nothing is recomputed.
    harness.ClearBoxes();
    harness.Command(IDM_BACK);
    EXPECT_TRUE(harness.Boxes().empty());
    EXPECT_EQ(needsRender, 0);

    harness.Command(IDM_FORWARD);
    EXPECT_EQ(currentView.iterLimit, 512);
    EXPECT_TRUE(harness.IsChecked(IDM_ITER_512));
    EXPECT_TRUE(harness.IsGrayed(IDM_FORWARD));
    EXPECT_TRUE(ImageEquals(RenderCurrentView()));
}

TEST(Close, DestroysTheStatusBarThenTheWindowAndQuitsWithZero)
{
    WindowHarness harness;
    ASSERT_TRUE(harness.Start());
    HWND bar = statusBar;
    harness.destroyed.clear();
    harness.Command(IDM_EXIT);

    EXPECT_FALSE(IsWindow(harness.window));
    EXPECT_FALSE(IsWindow(bar));
    ASSERT_GE(harness.destroyed.size(), 2u);
    EXPECT_EQ(harness.destroyed[0], bar);
    EXPECT_EQ(harness.destroyed[1], harness.window);
    EXPECT_EQ(imageDC, nullptr);
    EXPECT_EQ(imageBitmap, nullptr);

    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(message.wParam, 0u);
}
