// The menu and dialog resources as the program ships them.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/resource.h"
#include "window_harness.h"

namespace {

// Reads a classic DLGTEMPLATE: header, then each item, WORD-aligned strings.
class TemplateReader {
public:
    explicit TemplateReader(const char* name)
    {
        HRSRC found = FindResourceA(nullptr, name, MAKEINTRESOURCEA(5));  // RT_DIALOG
        at_ = found ? static_cast<const WORD*>(LockResource(LoadResource(nullptr, found))) : nullptr;
    }
    bool Found() const { return at_ != nullptr; }
    DWORD Dword()
    {
        const DWORD value = at_[0] | static_cast<DWORD>(at_[1]) << 16;
        at_ += 2;
        return value;
    }
    short Word() { return static_cast<short>(*at_++); }
    // A string, or an ordinal marked by 0xFFFF (returned as "#n").
    std::string Text()
    {
        if (*at_ == 0xFFFF) {
            at_ += 2;
            return "#" + std::to_string(at_[-1]);
        }
        std::wstring wide;
        while (*at_)
            wide += static_cast<wchar_t>(*at_++);
        ++at_;
        char text[256] = "";
        WideCharToMultiByte(932, 0, wide.c_str(), -1, text, sizeof text, nullptr, nullptr);
        return text;
    }
    void AlignToDword()
    {
        if (reinterpret_cast<uintptr_t>(at_) & 2)
            ++at_;
    }

private:
    const WORD* at_;
};

const std::string BUTTON = "BUTTON", EDIT = "EDIT", STATIC = "STATIC";

// The predefined classes may be stored by name or by ordinal.
std::string ClassName(const std::string& stored)
{
    if (stored == "#128") return BUTTON;
    if (stored == "#129") return EDIT;
    if (stored == "#130") return STATIC;
    std::string upper = stored;
    for (char& c : upper)
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return upper;
}

struct Item {
    int id;
    std::string className;  // the predefined classes are ordinals
    std::string text;
    short x, y, cx, cy;
    DWORD style;
};

struct Dialog {
    DWORD style, exStyle;
    short x, y, cx, cy;
    std::string title, font;
    short points;
    std::vector<Item> items;
};

Dialog ReadDialog(const char* name)
{
    TemplateReader in(name);
    Dialog d = {};
    if (!in.Found())
        return d;
    d.style = in.Dword();
    d.exStyle = in.Dword();
    const short count = in.Word();
    d.x = in.Word(), d.y = in.Word(), d.cx = in.Word(), d.cy = in.Word();
    in.Text();  // menu
    in.Text();  // class
    d.title = in.Text();
    d.points = in.Word();
    d.font = in.Text();
    for (short i = 0; i < count; ++i) {
        in.AlignToDword();
        Item item = {};
        item.style = in.Dword();
        in.Dword();  // extended style
        item.x = in.Word(), item.y = in.Word(), item.cx = in.Word(), item.cy = in.Word();
        item.id = in.Word();
        item.className = ClassName(in.Text());
        item.text = in.Text();
        in.Word();  // creation data
        d.items.push_back(item);
    }
    return d;
}



void ExpectItems(const Dialog& dialog, const std::vector<Item>& expected)
{
    ASSERT_EQ(dialog.items.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const Item& a = dialog.items[i];
        const Item& e = expected[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(a.id, e.id);
        EXPECT_EQ(a.className, e.className);
        EXPECT_EQ(a.text, e.text);
        EXPECT_EQ(a.x, e.x);
        EXPECT_EQ(a.y, e.y);
        EXPECT_EQ(a.cx, e.cx);
        EXPECT_EQ(a.cy, e.cy);
        EXPECT_EQ(a.style, e.style);
    }
}

const DWORD DIALOG_STYLE = 0x80C000C0, OK_STYLE = 0x50010001, CANCEL_STYLE = 0x50010000,
            LABEL_STYLE = 0x50020000, EDIT_STYLE = 0x50810080;

}  // namespace

TEST(Resources, TheImageSizeDialog)
{
    const Dialog d = ReadDialog("SCR_DLG");
    EXPECT_EQ(d.style, DIALOG_STYLE);
    EXPECT_EQ(d.exStyle, 0u);
    EXPECT_EQ(d.cx, 135);
    EXPECT_EQ(d.cy, 61);
    EXPECT_EQ(d.title, "ｲﾒｰｼﾞｻｲｽﾞ設定");
    EXPECT_EQ(d.font, "ＭＳ Ｐゴシック");
    EXPECT_EQ(d.points, 9);
    ExpectItems(d, {{IDOK, BUTTON, "OK", 78, 13, 50, 14, OK_STYLE},
                    {IDCANCEL, BUTTON, "ｷｬﾝｾﾙ", 78, 33, 50, 14, CANCEL_STYLE},
                    {-1, STATIC, "横", 15, 15, 54, 10, LABEL_STYLE},
                    {IDC_WIDTH, EDIT, "", 30, 13, 40, 12, EDIT_STYLE},
                    {-1, STATIC, "縦", 15, 35, 54, 10, LABEL_STYLE},
                    {IDC_HEIGHT, EDIT, "", 30, 33, 40, 12, EDIT_STYLE}});
}

TEST(Resources, TheCoordinateDialog)
{
    const Dialog d = ReadDialog("MANDEL_DLG");
    EXPECT_EQ(d.style, DIALOG_STYLE);
    EXPECT_EQ(d.cx, 175);
    EXPECT_EQ(d.cy, 101);
    EXPECT_EQ(d.title, "座標設定");
    EXPECT_EQ(d.font, "ＭＳ Ｐゴシック");
    ExpectItems(d, {{IDOK, BUTTON, "OK", 118, 13, 50, 14, OK_STYLE},
                    {IDCANCEL, BUTTON, "ｷｬﾝｾﾙ", 118, 33, 50, 14, CANCEL_STYLE},
                    {-1, STATIC, "ﾌﾗｸﾀﾙ座標　Xmin", 15, 15, 54, 10, LABEL_STYLE},
                    {IDC_XMIN, EDIT, "", 70, 13, 40, 12, EDIT_STYLE},
                    {-1, STATIC, "ﾌﾗｸﾀﾙ座標　Xmax", 15, 35, 54, 10, LABEL_STYLE},
                    {IDC_XMAX, EDIT, "", 70, 33, 40, 12, EDIT_STYLE},
                    {-1, STATIC, "ﾌﾗｸﾀﾙ座標　Ymin", 15, 55, 54, 10, LABEL_STYLE},
                    {IDC_YMIN, EDIT, "", 70, 53, 40, 12, EDIT_STYLE},
                    {-1, STATIC, "ﾌﾗｸﾀﾙ座標　Ymax", 15, 75, 54, 10, LABEL_STYLE},
                    {IDC_YMAX, EDIT, "", 70, 73, 40, 12, EDIT_STYLE}});
}

TEST(Resources, TheMenuInOrderWithItsLabels)
{
    HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), "IDM_MENU");
    ASSERT_NE(menu, nullptr);
    // Depth-first: "label|id|grey" with id 0 for a popup.
    std::vector<std::string> items;
    std::function<void(HMENU)> walk = [&](HMENU m) {
        for (int i = 0; i < GetMenuItemCount(m); ++i) {
            char label[128] = "";
            GetMenuStringA(m, i, label, sizeof label, MF_BYPOSITION);
            HMENU sub = GetSubMenu(m, i);
            const UINT state = GetMenuState(m, i, MF_BYPOSITION);
            items.push_back(std::string(label) + "|" +
                            std::to_string(sub ? 0 : GetMenuItemID(m, i)) +
                            ((state & MF_GRAYED) ? "|grey" : ""));
            if (sub)
                walk(sub);
        }
    };
    walk(menu);
    DestroyMenu(menu);
    const std::vector<std::string> expected = {
        "ﾌｧｲﾙ(&F)|0", "名前を付けて保存(&A)|1005", "終了(&X)|1000",
        "編集(&E)|0", "コピー(&C)|1001",
        "表示(&V)|0", "前に戻る(&B)|1002|grey", "次に進む(&F)|1004|grey",
        "反復回数(&N)|0", "64(&6)|1036", "512(&5)|1038", "4096(&4)|1040", "32768(&3)|1042",
        "色数(&C)|0", "64色(&6)|1006", "512色(&5)|1008", "4096色(&4)|1010", "32768色(&3)|1012",
        "ﾌﾗｸﾀﾙ座標設定(&S)|1056", "窓ズーム(&Z)|1014", "移動(&M)|1016",
        "ズームアウト ×0.5倍(&O)|1018", "ｲﾒｰｼﾞｻｲｽﾞ 任意(&V)|1058",
        "1スレッド数|1060", "2スレッド数|1062", "4スレッド数|1064", "8スレッド数|1066"};
    EXPECT_EQ(items, expected);
}
