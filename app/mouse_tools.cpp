// Mouse tools (see mouse_tools.h).
//
// Figures are drawn with a white pen in XOR mode, so drawing a figure again
// at the same place erases it. A release only acts on a drag that saw
// pointer motion after its press: without it there is no second corner and
// no preview, and the release changes nothing.
#include "app/mouse_tools.h"

#include "app/resource.h"
#include "app/window_services.h"
#include "view/geometry.h"
#include "view/view_state.h"

namespace {

int32_t anchorX = -1, anchorY = -1;  // zoom: first corner; move: preview centre (-1: none)
double anchorPlaneX, anchorPlaneY;
double cornerPlaneX, cornerPlaneY;
int32_t prevCornerX = -1, prevCornerY = -1;  // band on screen (-1: none)
bool movedSincePress;

class XorPainter {
public:
    explicit XorPainter(HWND window)
        : window_(window), dc_(GetDC(window)), pen_(CreatePen(PS_SOLID, 1, RGB(255, 255, 255)))
    {
        previousPen_ = SelectObject(dc_, pen_);
        SetROP2(dc_, R2_XORPEN);
        SelectObject(dc_, GetStockObject(NULL_BRUSH));
    }
    ~XorPainter()
    {
        SelectObject(dc_, previousPen_);
        DeleteObject(pen_);
        ReleaseDC(window_, dc_);
    }
    XorPainter(const XorPainter&) = delete;
    XorPainter& operator=(const XorPainter&) = delete;

    void Band(int32_t x1, int32_t y1, int32_t x2, int32_t y2) { Rectangle(dc_, x1, y1, x2, y2); }

    // A frame the size of the client area with its diagonals, centred on (x, y).
    void MoveFrame(int32_t x, int32_t y)
    {
        const int32_t hw = clientWidth / 2, hh = clientHeight / 2;
        Rectangle(dc_, x - hw, y - hh, x + hw, y + hh);
        MoveToEx(dc_, x - hw, y - hh, nullptr);
        LineTo(dc_, x + hw, y + hh);
        MoveToEx(dc_, x - hw, y + hh, nullptr);
        LineTo(dc_, x + hw, y - hh);
    }

private:
    HWND window_;
    HDC dc_;
    HPEN pen_;
    HGDIOBJ previousPen_;
};

void StretchBand(HWND window)
{
    mousePlaneY = (mousePlaneX - anchorPlaneX) * clientHeight / clientWidth + anchorPlaneY;
    mouseY = anchorY + static_cast<int32_t>(static_cast<double>(mouseX - anchorX) * clientHeight /
                                            clientWidth);
    cornerPlaneX = mousePlaneX;
    cornerPlaneY = mousePlaneY;
    {
        XorPainter painter(window);
        if (prevCornerX != -1)
            painter.Band(anchorX, anchorY, prevCornerX, prevCornerY);
        painter.Band(anchorX, anchorY, mouseX, mouseY);
    }
    prevCornerX = mouseX;
    prevCornerY = mouseY;
    SetStatusTextF(STATUS_TOOL, "窓ズーム [%f,%f]-[%f,%f]", anchorPlaneX, anchorPlaneY,
                   cornerPlaneX, cornerPlaneY);
}

void DragMoveFrame(HWND window)
{
    {
        XorPainter painter(window);
        if (anchorX != -1)
            painter.MoveFrame(anchorX, anchorY);
        painter.MoveFrame(mouseX, mouseY);
    }
    anchorX = mouseX;
    anchorY = mouseY;
    SetStatusTextF(STATUS_TOOL, "移動 [%f,%f]", mousePlaneX, mousePlaneY);
}

void FinishZoom(HWND window)
{
    dragging = 0;
    if (anchorPlaneX == cornerPlaneX || anchorPlaneY == cornerPlaneY)
        return;  // a zero span
    FractalView& v = currentView;
    v.Xmin = anchorPlaneX < cornerPlaneX ? anchorPlaneX : cornerPlaneX;
    v.Xmax = anchorPlaneX < cornerPlaneX ? cornerPlaneX : anchorPlaneX;
    v.Ymin = anchorPlaneY < cornerPlaneY ? anchorPlaneY : cornerPlaneY;
    v.Ymax = anchorPlaneY < cornerPlaneY ? cornerPlaneY : anchorPlaneY;
    RequestRender(window, true);  // the paint's erase removes the band
}

void FinishMove(HWND window)
{
    XorPainter(window).MoveFrame(anchorX, anchorY);
    FractalView& v = currentView;
    const double dX = v.Xmax - v.Xmin;
    const double dY = v.Ymax - v.Ymin;
    dragging = 0;
    // The new centre is the plane point under the preview's centre.
    mousePlaneX = v.Xmin + static_cast<double>(anchorX) / clientWidth * dX;
    mousePlaneY = v.Ymin + static_cast<double>(anchorY) / clientHeight * dY;
    anchorX = -1;
    anchorY = -1;
    v.Xmin = mousePlaneX - 0.5 * dX;
    v.Xmax = mousePlaneX + 0.5 * dX;
    v.Ymin = mousePlaneY - 0.5 * dY;
    v.Ymax = mousePlaneY + 0.5 * dY;
    RequestRender(window, true);
}

}  // namespace

void SelectWindowZoomTool()
{
    activeTool = IDM_WINDOW_ZOOM;
    SetStatusText(STATUS_TOOL, "窓ズーム");
}

void SelectMoveTool()
{
    activeTool = IDM_MOVE;
    SetStatusText(STATUS_TOOL, "移動");
}

void SelectZoomOutTool()
{
    activeTool = IDM_ZOOM_OUT;
    SetStatusText(STATUS_TOOL, "ズームアウト");
}

void DropMouseTool()
{
    activeTool = 0;
}

LRESULT OnMouseMove(HWND window, LPARAM lParam)
{
    mouseX = LOWORD(lParam);
    mouseY = HIWORD(lParam);
    const PlanePoint point = PixelToPlane(mouseX, mouseY);
    mousePlaneX = point.x;
    mousePlaneY = point.y;

    if (activeTool != IDM_WINDOW_ZOOM && activeTool != IDM_MOVE) {
        ShowToolStatus();
    } else if (dragging != 1) {
        SetStatusTextF(STATUS_TOOL, activeTool == IDM_WINDOW_ZOOM ? "窓ズーム [%f,%f]" : "移動 [%f,%f]",
                       mousePlaneX, mousePlaneY);
    } else {
        movedSincePress = true;
        if (activeTool == IDM_WINDOW_ZOOM)
            StretchBand(window);
        else
            DragMoveFrame(window);
    }
    return 0;
}

LRESULT OnLeftButtonDown(HWND)
{
    if (activeTool == IDM_WINDOW_ZOOM) {
        anchorPlaneX = mousePlaneX;
        anchorPlaneY = mousePlaneY;
        anchorX = mouseX;
        anchorY = mouseY;
        prevCornerX = -1;
        prevCornerY = -1;
    } else if (activeTool == IDM_MOVE) {
        anchorX = -1;
        anchorY = -1;
    } else {
        SetStatusText(STATUS_TOOL, "down");
        return 0;
    }
    dragging = 1;
    movedSincePress = false;
    return 0;
}

LRESULT OnLeftButtonUp(HWND window)
{
    if (activeTool != IDM_WINDOW_ZOOM && activeTool != IDM_MOVE) {
        SetStatusText(STATUS_TOOL, "up");
        return 0;
    }
    if (dragging != 1)
        return 0;  // the press happened outside the client area
    if (!movedSincePress) {
        dragging = 0;  // no second corner, no preview: nothing to apply
        return 0;
    }
    if (activeTool == IDM_WINDOW_ZOOM)
        FinishZoom(window);
    else
        FinishMove(window);
    return 0;
}
