// Menu commands and both dialogs on the real window.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <cstring>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/window_services.h"
#include "app/resource.h"
#include "engine/strips.h"
#include "image/image_buffer.h"
#include "view/geometry.h"
#include "view/history.h"
#include "view/view_state.h"
#include "window_harness.h"

namespace {

const char SIZE_DIALOG[] = "ｲﾒｰｼﾞｻｲｽﾞ設定";
const char BOUNDS_DIALOG[] = "座標設定";

void TypeSize(WindowHarness& harness, const char* width, const char* height, int button = IDOK)
{
    harness.OnDialog(SIZE_DIALOG, [=](HWND dialog) {
        SetDlgItemTextA(dialog, IDC_WIDTH, width);
        SetDlgItemTextA(dialog, IDC_HEIGHT, height);
        PressButton(dialog, button);
    });
}

void TypeBounds(WindowHarness& harness, const char* xmin, const char* xmax, const char* ymin,
                const char* ymax, int button = IDOK)
{
    harness.OnDialog(BOUNDS_DIALOG, [=](HWND dialog) {
        SetDlgItemTextA(dialog, IDC_XMIN, xmin);
        SetDlgItemTextA(dialog, IDC_XMAX, xmax);
        SetDlgItemTextA(dialog, IDC_YMIN, ymin);
        SetDlgItemTextA(dialog, IDC_YMAX, ymax);
        PressButton(dialog, button);
    });
}

void SetBounds(double xmin, double xmax, double ymin, double ymax)
{
    currentView.Xmin = xmin;
    currentView.Xmax = xmax;
    currentView.Ymin = ymin;
    currentView.Ymax = ymax;
}

// Refuses bitmaps over 64 MB, as a 32-bit process short of address space
// does with far larger ones.
HBITMAP WINAPI SmallAddressSpace(HDC dc, const BITMAPINFO* info, UINT usage, void** bits,
                                 HANDLE section, DWORD offset)
{
    const int64_t bytes = int64_t{4} * info->bmiHeader.biWidth * info->bmiHeader.biHeight;
    if (bytes > (int64_t{64} << 20)) {
        *bits = nullptr;
        return nullptr;
    }
    return CreateDIBSection(dc, info, usage, bits, section, offset);
}

// Refuses the image's memory DC a number of times, as GDI short of resources
// would.
int refusedImageDCs = 0;
HDC WINAPI FewDCs(HDC dc)
{
    if (refusedImageDCs > 0) {
        --refusedImageDCs;
        return nullptr;
    }
    return CreateCompatibleDC(dc);
}

bool SameView(const FractalView& a, const FractalView& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

}  // namespace

TEST(Commands, SettingsRenderOnceAndRecordEvenWhenUnchanged)
{
    WindowHarness harness;
    ASSERT_TRUE(harness.Start());
    harness.ClearBoxes();
    harness.Command(IDM_COLORS_64);  // already chosen: recomputed and recorded again
    harness.Command(IDM_ITER_32768);
    EXPECT_EQ(harness.Boxes().size(), 2u);
    EXPECT_EQ(historyCount, 3);
    EXPECT_EQ(currentView.iterLimit, 32768);
    EXPECT_EQ(activeTool, 0);
}

TEST(Commands, ThreadItemsMoveTheirMarkAtOnceAndApplyToTheNextRender)
{
    WindowHarness harness;
    ASSERT_TRUE(harness.Start());
    harness.ClearBoxes();
    harness.Command(IDM_THREADS_4);
    EXPECT_TRUE(harness.Boxes().empty());
    EXPECT_TRUE(harness.IsChecked(IDM_THREADS_4));
    EXPECT_FALSE(harness.IsChecked(IDM_THREADS_1));
    EXPECT_EQ(threadCount, 4);
    harness.Command(IDM_COLORS_512);
    ASSERT_EQ(harness.Boxes().size(), 1u);
    EXPECT_EQ(harness.Boxes()[0].status[6], "4スレッドで計算中");
}

TEST(Commands, ZoomOutTriplesTheSpansAndEndsAnyTool)
{
    WindowHarness harness;
    ASSERT_TRUE(harness.Start());
    harness.Command(IDM_WINDOW_ZOOM);
    SetBounds(-1, 1, -1, 1);
    SendMessageA(harness.window, WM_COMMAND, IDM_ZOOM_OUT, 0);
    EXPECT_EQ(harness.StatusText(6), "ズームアウト");
    EXPECT_EQ(activeTool, IDM_ZOOM_OUT);
    harness.Paint();
    EXPECT_EQ(harness.StatusText(6), "");  // no tool after zoom out
    harness.Command(IDM_ZOOM_OUT);
    EXPECT_EQ(currentView.Xmin, -9.0);
    EXPECT_EQ(currentView.Ymax, 9.0);
    EXPECT_EQ(historyCount, 3);

    harness.Command(IDM_MOVE);
    EXPECT_EQ(harness.StatusText(6), "移動");  // no paint since the command
    harness.Command(4242);  // unknown: no tool, status untouched
    EXPECT_EQ(activeTool, 0);
    EXPECT_EQ(harness.StatusText(6), "移動");
}

TEST(SizeCommands, TheSizeDialogRoundsTheWidthAndRefitsByTheShapeChange)
{
    WindowHarness harness;
    ASSERT_TRUE(harness.Start());
    const FractalView before = currentView;
    harness.Command(IDM_SIZE_SCREEN);  // the same size: the view stays
    EXPECT_TRUE(harness.IsChecked(IDM_SIZE_SCREEN));
    EXPECT_EQ(currentView.Ymin, before.Ymin);
    EXPECT_EQ(currentView.Xmax, before.Xmax);

    harness.ClearBoxes();
    TypeSize(harness, "801", "481");
    harness.Command(IDM_SIZE_CUSTOM);
    EXPECT_EQ(imageWidth, 804);
    EXPECT_EQ(imageHeight, 481);
    EXPECT_EQ(harness.Boxes().size(), 1u);  // recomputed
    EXPECT_EQ(historyCount, 1);             // not recorded
    EXPECT_TRUE(harness.IsChecked(IDM_SIZE_SCREEN));  // one monitor: marks stay

    // 804 x 481 to 400 x 800 is relatively taller: the X span stays.
    const double xSpan = currentView.Xmax - currentView.Xmin;
    TypeSize(harness, "400", "800");
    harness.Command(IDM_SIZE_CUSTOM);
    EXPECT_EQ(currentView.Xmax - currentView.Xmin, xSpan);
    EXPECT_DOUBLE_EQ(currentView.Ymax - currentView.Ymin, xSpan * 2);

    TypeSize(harness, "999", "999", IDCANCEL);
    harness.Command(IDM_SIZE_CUSTOM);
    EXPECT_EQ(imageWidth, 400);
}

TEST(SizeCommands, AnImpossibleSizeIsRefusedAndChangesNothing)
{
    WindowHarness harness;
    ASSERT_TRUE(harness.Start());
    harness.Command(IDM_ITER_512);
    const FractalView view = currentView;
    const int32_t width = imageWidth, height = imageHeight, count = historyCount;
    const void* pixels = imagePixels;

    for (const char* size : {"0 100", "100 0", "-8 100", "100 -3", "30000 30000",
                             "99999999999 1", "1 4611686018427387905", "abc 100"}) {
        harness.ClearBoxes();
        const std::string entry = size;
        const std::string w = entry.substr(0, entry.find(' ')), h = entry.substr(entry.find(' ') + 1);
        TypeSize(harness, w.c_str(), h.c_str());
        harness.OnDialog(SIZE_DIALOG, [](HWND dialog) { PressButton(dialog, IDCANCEL); });
        harness.Command(IDM_SIZE_CUSTOM);

        ASSERT_EQ(harness.Boxes().size(), 1u) << size;
        EXPECT_EQ(harness.Boxes()[0].caption, "Error");
        EXPECT_TRUE(harness.Boxes()[0].hasOk);
        EXPECT_EQ(harness.Boxes()[0].text, "ｲﾒｰｼﾞｻｲｽﾞが正しくありません。");
        EXPECT_TRUE(IsWindow(harness.window));
        EXPECT_EQ(imageWidth, width);
        EXPECT_EQ(imageHeight, height);
        EXPECT_EQ(imagePixels, pixels);
        EXPECT_TRUE(SameView(currentView, view));
        EXPECT_EQ(historyCount, count);
    }
}

TEST(SizeCommands, AValidSizeThatCannotBeAllocatedKeepsTheSession)
{
    WindowHarness harness;
    ASSERT_TRUE(harness.Start());
    harness.Command(IDM_ITER_512);
    const FractalView beforeColours = currentView;
    harness.Command(IDM_COLORS_4096);
    const FractalView view = currentView;
    const int32_t width = imageWidth, height = imageHeight;
    const int32_t count = historyCount, head = historyHead, cursor = historyCursor;
    const std::vector<uint32_t> pixels(imagePixels, imagePixels + size_t{1} * width * height);
    const bool screenMarked = harness.IsChecked(IDM_SIZE_SCREEN);

    harness.ClearBoxes();
    CreateImageSection = SmallAddressSpace;
    TypeSize(harness, "8000", "8000");  // 256 MB
    harness.repaintUnderBoxes = true;
    harness.Command(IDM_SIZE_CUSTOM);
    harness.Paint();
    CreateImageSection = CreateDIBSection;

    ASSERT_FALSE(harness.Boxes().empty());
    EXPECT_EQ(harness.Boxes()[0].text, "メモリが不足しています。");
    EXPECT_TRUE(harness.Boxes()[0].IsQuestionBox());
    ASSERT_TRUE(IsWindow(harness.window));
    EXPECT_EQ(imageWidth, width);
    EXPECT_EQ(imageHeight, height);
    EXPECT_TRUE(SameView(currentView, view));
    EXPECT_EQ(historyCount, count);
    EXPECT_EQ(historyHead, head);
    EXPECT_EQ(historyCursor, cursor);
    EXPECT_TRUE(harness.IsChecked(IDM_ITER_512));
    EXPECT_TRUE(harness.IsChecked(IDM_COLORS_4096));
    EXPECT_EQ(harness.IsChecked(IDM_SIZE_SCREEN), screenMarked);
    EXPECT_FALSE(harness.IsChecked(IDM_SIZE_CUSTOM));
    ASSERT_NE(imagePixels, nullptr);
    EXPECT_TRUE(std::equal(pixels.begin(), pixels.end(), imagePixels));

    // A bitmap made without a DC to draw it through is no buffer either: the
    // same message, the previous size made again and drawn.
    harness.ClearBoxes();
    refusedImageDCs = 2;  // both tries at the new size
    CreateImageDC = FewDCs;
    TypeSize(harness, "320", "240");
    harness.Command(IDM_SIZE_CUSTOM);
    harness.Paint();
    CreateImageDC = CreateCompatibleDC;
    ASSERT_FALSE(harness.Boxes().empty());
    EXPECT_EQ(harness.Boxes()[0].text, "メモリが不足しています。");
    EXPECT_EQ(imageWidth, width);
    EXPECT_EQ(imageHeight, height);
    EXPECT_NE(imageDC, nullptr);
    EXPECT_TRUE(SameView(currentView, view));
    ASSERT_NE(imagePixels, nullptr);
    EXPECT_TRUE(std::equal(pixels.begin(), pixels.end(), imagePixels));

    // The session goes on: the next size is made as usual, and Back then
    // restores the entry before the cursor as recorded, drawn at the new size
    // without a refit.
    TypeSize(harness, "320", "400");  // another shape: a refit would show
    harness.Command(IDM_SIZE_CUSTOM);
    ASSERT_EQ(imageWidth, 320);
    ASSERT_FALSE(SameView(currentView, view));
    harness.Command(IDM_BACK);
    EXPECT_TRUE(SameView(currentView, beforeColours));
    EXPECT_EQ(imageWidth, 320);
    EXPECT_EQ(imageHeight, 400);
    std::vector<uint32_t> expected(320 * 400);
    const FractalView& b = beforeColours;
    RenderView(b.Xmin, b.Ymin, b.Xmax, b.Ymax, 320, 400, expected.data());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), imagePixels));
}

TEST(SizeCommands, SeveralMonitorsMoveTheSizeMarksAndMaximizeOverAll)
{
    ReadSystemMetric = TwoMonitors;
    WindowHarness harness;
    ASSERT_TRUE(harness.Start());
    const double xSpan = currentView.Xmax - currentView.Xmin;
    harness.Command(IDM_SIZE_SCREEN);  // relatively taller: X stays, Y grows
    EXPECT_EQ(imageWidth, 640);
    EXPECT_EQ(currentView.Xmax - currentView.Xmin, xSpan);
    EXPECT_DOUBLE_EQ(currentView.Ymax - currentView.Ymin, xSpan * 480 / 640);
    EXPECT_TRUE(harness.IsChecked(IDM_SIZE_SCREEN));
    EXPECT_FALSE(harness.IsChecked(IDM_SIZE_DESKTOP));

    TypeSize(harness, "200", "100");
    harness.Command(IDM_SIZE_CUSTOM);
    EXPECT_TRUE(harness.IsChecked(IDM_SIZE_CUSTOM));
    EXPECT_FALSE(harness.IsChecked(IDM_SIZE_SCREEN));
    harness.Command(IDM_SIZE_DESKTOP);
    EXPECT_TRUE(harness.IsChecked(IDM_SIZE_DESKTOP));
    EXPECT_FALSE(harness.IsChecked(IDM_SIZE_CUSTOM));
    EXPECT_EQ(imageWidth, 1280);

    harness.ClearBoxes();
    harness.Command(IDM_MAXIMIZE_ALL);
    RECT frame;
    GetWindowRect(harness.window, &frame);
    EXPECT_EQ(frame.left, -640);
    EXPECT_EQ(frame.right - frame.left, 1280);
    EXPECT_EQ(frame.bottom - frame.top, 480);
    EXPECT_TRUE(harness.Boxes().empty());  // only stretched
}

TEST(CoordinateDialog, TypedBoundsAreRefitToTheImage)
{
    WindowHarness harness;
    ASSERT_TRUE(harness.Start());
    TypeSize(harness, "800", "600");
    harness.Command(IDM_SIZE_CUSTOM);

    // 3:2 is wider than 4:3: the Y span widens to 2.25 about its centre.
    TypeBounds(harness, "-2", "1", "-1", "1");
    harness.Command(IDM_COORDINATES);
    EXPECT_EQ(currentView.Xmin, -2.0);
    EXPECT_EQ(currentView.Xmax, 1.0);
    EXPECT_EQ(currentView.Ymin, -1.125);
    EXPECT_EQ(currentView.Ymax, 1.125);
    EXPECT_EQ(historyCount, 2);

    // Fields are read as decimal numbers only: leading blanks are skipped, the
    // rest after the number is ignored, and text with no decimal number reads
    // as 0. The refit keeps Xmin + Xmax = Xmin + 1 as typed (Y span 2).
    const struct {
        const char* text;
        double value;
    } entries[] = {{"  0.5xyz", 0.5}, {" 12abc", 12.0}, {"-1e0", -1.0}, {"abc", 0.0},
                   {"", 0.0},         {"inf", 0.0},     {"nan", 0.0},   {"0x10", 0.0},
                   {"1e400", HUGE_VAL}};
    for (const auto& entry : entries) {
        TypeBounds(harness, entry.text, "1", "-1", "1");
        harness.Command(IDM_COORDINATES);
        EXPECT_DOUBLE_EQ(currentView.Xmin + currentView.Xmax, entry.value + 1.0) << entry.text;
        EXPECT_EQ(currentView.Ymin, -1.0) << entry.text;
    }

    const FractalView before = currentView;
    harness.ClearBoxes();
    TypeBounds(harness, "5", "6", "7", "8", IDCANCEL);
    harness.Command(IDM_COORDINATES);
    EXPECT_TRUE(SameView(currentView, before));
    EXPECT_TRUE(harness.Boxes().empty());
}

TEST(CoordinateDialog, OkWithoutEditingKeepsExactBoundsOfAnyMagnitude)
{
    WindowHarness harness;
    ASSERT_TRUE(harness.Start());
    const struct {
        double xmin, xmax, ymin, ymax;
    } views[] = {
        {0.2500001234567891, 0.2500001234567893, -1.234567e-7, -1.234566e-7},  // deep zoom
        {-1e30, 3e30, -2e30, 2e30},
        {-1e300, 1e300, -5e299, 7e299},
    };
    for (const auto& view : views) {
        SetBounds(view.xmin, view.xmax, view.ymin, view.ymax);
        FractalView expected = currentView;
        std::swap(currentView, expected);
        FitViewToAspect(imageWidth, imageHeight,
                        static_cast<double>(imageWidth) / imageHeight >=
                            (view.xmax - view.xmin) / (view.ymax - view.ymin));
        std::swap(currentView, expected);

        std::string shown;
        harness.OnDialog(BOUNDS_DIALOG, [&shown](HWND dialog) {
            shown = WindowText(GetDlgItem(dialog, IDC_XMIN));
            PressButton(dialog, IDOK);
        });
        harness.Command(IDM_COORDINATES);
        char full[400];
        std::snprintf(full, sizeof full, "%f", view.xmin);
        EXPECT_EQ(shown, full);  // the whole text, never cut
        EXPECT_TRUE(SameView(currentView, expected)) << view.xmin;

        // Every status text stays within its buffer.
        for (int part = 0; part < 7; ++part)
            EXPECT_LE(harness.StatusText(part).size(), 63u);
    }

    // An edited field is read whole, however long.
    std::string longNumber = "-" + std::string(250, '1') + ".5";
    TypeBounds(harness, longNumber.c_str(), "0", "-1", "1");
    harness.Command(IDM_COORDINATES);
    EXPECT_EQ(currentView.Xmin, std::strtod(longNumber.c_str(), nullptr));
    EXPECT_EQ(currentView.Xmax, 0.0);
}
