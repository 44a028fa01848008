// The control layer on Win32: pictures from the test program's own resources, painting into a
// 32-bit buffer, and mouse messages routed through real windows.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <cstdlib>
#include <limits>
#include <map>
#include <memory>
#include <string>

#include "shell/controls/boxlayout.h"
#include "shell/controls/buttonlook.h"
#include "shell/controls/dpiscale.h"
#include "shell/controls/picturetable.h"
#include "shell/controls/win32/wincombobox.h"
#include "shell/controls/win32/wincomponents.h"
#include "shell/controls/win32/wincontrols.h"
#include "shell/controls/win32/winpicture.h"

namespace tvd {
namespace {

// A top-down 32-bit buffer a frame paints into.
class PaintBuffer {
public:
    PaintBuffer(int w, int h) : w_(w), h_(h) {
        BITMAPINFO bi{};
        bi.bmiHeader = {sizeof bi.bmiHeader, w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        dc_ = CreateCompatibleDC(nullptr);
        bmp_ = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_),
                                nullptr, 0);
        old_ = SelectObject(dc_, bmp_);
    }
    ~PaintBuffer() {
        SelectObject(dc_, old_);
        DeleteObject(bmp_);
        DeleteDC(dc_);
    }
    HDC Dc() const { return dc_; }
    bool Ok() const { return dc_ && bmp_ && bits_; }
    Rgb At(int x, int y) const {
        GdiFlush();
        return bits_[static_cast<std::size_t>(y) * w_ + x] & 0xFFFFFF; // BGRA = 0xAARRGGBB
    }

private:
    int w_, h_;
    HDC dc_ = nullptr;
    HBITMAP bmp_ = nullptr;
    HGDIOBJ old_ = nullptr;
    std::uint32_t* bits_ = nullptr;
};

TEST(WinPictures, EveryShellPictureLoadsAtBothScales) {
    for (const auto& p : ShellPictures()) {
        for (int scale : {1, 2}) {
            auto pic = LoadPictureResource(nullptr, p.name, scale);
            ASSERT_TRUE(pic) << p.name << " at " << scale;
            EXPECT_EQ(pic->Width(), p.width * scale) << p.name;
            EXPECT_EQ(pic->Height(), p.height * scale) << p.name;
            // Premultiplied: no colour channel above the alpha.
            for (int y = 0; y < pic->Height(); y += 3) {
                for (int x = 0; x < pic->Width(); x += 3) {
                    std::uint32_t v = pic->PixelAt(x, y);
                    std::uint32_t a = v >> 24;
                    ASSERT_LE(v & 0xFF, a) << p.name;
                    ASSERT_LE((v >> 8) & 0xFF, a) << p.name;
                    ASSERT_LE((v >> 16) & 0xFF, a) << p.name;
                }
            }
        }
    }
    EXPECT_FALSE(LoadPictureResource(nullptr, "IMG_NO_SUCH_PICTURE", 1));
    EXPECT_FALSE(LoadPictureResource(nullptr, "", 1));
    EXPECT_FALSE(PictureForDpi("IMG_NO_SUCH_PICTURE", 96));
}

TEST(WinPictures, DpiPicksTheNearerRender) {
    struct Case {
        int dpi, width;
    };
    for (Case c : {Case{96, 197}, Case{120, 197}, Case{144, 394}, Case{192, 394}}) {
        auto pic = PictureForDpi("IMG_LOGO", c.dpi);
        ASSERT_TRUE(pic);
        EXPECT_EQ(pic->Width(), c.width) << c.dpi;
    }
}

// A frame without a window paints the same as with one.
struct OffscreenFrame {
    explicit OffscreenFrame(int dpi = 96) : frame("test") {
        frame.SetDpi(dpi);
        frame.SetBounds({0, 0, 800, 480});
        frame.SetBackColour(kWhite);
    }
    TclCustomFrame frame;
};

TEST(WinPainting, StdButtonLooksAndTooNarrowButtons) {
    OffscreenFrame f;
    struct Case {
        const char* what;
        int width;
        bool disable;
        bool press;
        Rgb middle; // a pixel of the middle slice, away from the caption and the border
    };
    // The slices' fills: white, pale blue when pressed, light grey when disabled.
    const Case cases[] = {
        {"normal", 100, false, false, 0xFFFFFF},
        {"pressed", 100, false, true, 0xCCE4F7},
        {"disabled", 100, true, false, 0xF0F0F0},
        {"pressed while disabled", 100, true, true, 0xF0F0F0},
        {"under two slices", 11, false, false, 0x123456},
    };
    int top = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        f.frame.SetBackColour(0x123456);
        auto* b = f.frame.Add<TclStdButton>(std::string("b") + c.what);
        b->SetBounds({10, top, c.width, 60}); // the height stays 27
        if (c.disable) b->SetEnabled(false);
        b->MouseEnter();
        if (c.press) b->LeftDown({11, top + 1});
        PaintBuffer buf(800, 480);
        ASSERT_TRUE(buf.Ok());
        f.frame.PaintTo(buf.Dc());
        EXPECT_EQ(buf.At(10 + c.width / 2, top + 6), c.middle);
        EXPECT_EQ(buf.At(10 + c.width / 2, top + 40), 0x123456u); // nothing below 27 pixels
        b->SetVisible(false);
        top += 60;
    }
}

TEST(WinPainting, InfoBoxCapacityBarAndScale) {
    for (int dpi : {96, 192}) {
        SCOPED_TRACE(dpi);
        OffscreenFrame f(dpi);
        auto box = CreateInfoBox(f.frame, "box");
        PlaceInfoBox(box, {20, 20, 400, 200});
        auto tiny = CreateInfoBox(f.frame, "tiny");
        PlaceInfoBox(tiny, {500, 20, 26, 200});
        auto bar = CreateCapacityBar(f.frame, "bar");
        bar.gradient->SetColours(0x004BFD, 0x004BFD);
        PlaceCapacityBar(bar, {20, 300, 680, 30}, 37.5);
        auto s = [dpi](int v) { return ScaleForDpi(v, dpi); };
        PaintBuffer buf(s(800), s(480));
        ASSERT_TRUE(buf.Ok());
        f.frame.PaintTo(buf.Dc());
        EXPECT_EQ(buf.At(s(200), s(100)), kInfoBoxInner);
        EXPECT_EQ(buf.At(s(20), s(120)), kWhite);  // outside the card and its shadow
        EXPECT_EQ(buf.At(s(510), s(100)), kWhite); // too small: nothing drawn
        EXPECT_FALSE(tiny.inner->Visible());
        // 37.5 % of 680 is 255 pixels of gradient, then the grey background.
        EXPECT_EQ(buf.At(s(20 + 254), s(302)), 0x004BFDu);
        EXPECT_EQ(buf.At(s(20 + 256), s(302)), 0xC5C5C5u);
        PlaceCapacityBar(bar, {20, 300, 680, 30}, std::numeric_limits<double>::quiet_NaN());
        EXPECT_FALSE(bar.gradient->Visible());
    }
}

TEST(WinPainting, BottomAlignedLabelSitsOnItsBottomEdge) {
    OffscreenFrame f;
    auto* top = f.frame.Add<TclLabel>("top");
    auto* bottom = f.frame.Add<TclLabel>("bottom");
    for (auto* l : {top, bottom}) {
        l->SetFont(FontSpec{u"Arial", 13, false, kCharsetDefault});
        l->SetWordWrap(true);
        l->SetAlign(TextAlign::kCentre, false);
        l->SetText(u"Drive Health");
    }
    top->SetBounds({0, 0, 136, 60});
    bottom->SetBounds({200, 0, 136, 60});
    bottom->SetBottomAligned(true);
    PaintBuffer buf(800, 480);
    ASSERT_TRUE(buf.Ok());
    f.frame.PaintTo(buf.Dc());
    auto inked = [&](int left, int y0, int y1) {
        for (int y = y0; y < y1; ++y)
            for (int x = left; x < left + 136; ++x)
                if (buf.At(x, y) != kWhite) return true;
        return false;
    };
    EXPECT_TRUE(inked(0, 0, 20));
    EXPECT_FALSE(inked(0, 40, 60));
    EXPECT_FALSE(inked(200, 0, 30));
    EXPECT_TRUE(inked(200, 40, 60));
}

TEST(WinPainting, PieCoversFromNoonClockwiseAndWholeForEqualAngles) {
    OffscreenFrame f;
    auto* pie = f.frame.Add<TclPie>("cover");
    pie->SetBounds({0, 0, 128, 128});
    pie->SetColours(0xE5E5E5, 0xE5E5E5);
    pie->SetAngles(90, 180); // the upper-left quarter
    PaintBuffer buf(800, 480);
    f.frame.PaintTo(buf.Dc());
    EXPECT_EQ(buf.At(34, 34), 0xE5E5E5u);
    EXPECT_EQ(buf.At(94, 34), kWhite);
    EXPECT_EQ(buf.At(34, 94), kWhite);
    pie->SetAngles(90, 90);
    f.frame.PaintTo(buf.Dc());
    EXPECT_EQ(buf.At(94, 94), 0xE5E5E5u);
}

// Windows from here on; a machine without a window station skips.
std::unique_ptr<TclCustomFrame> TopLevel(const Rect& r) {
    auto f = std::make_unique<TclCustomFrame>("root");
    f->SetDpi(96);
    if (!f->CreateTopLevel(r, L"Tarvik test")) return nullptr;
    return f;
}

LPARAM At(int x, int y) {
    return MAKELPARAM(x, y);
}

TEST(WinWindows, ButtonsClickOnlyWhenEnabled) {
    auto root = TopLevel({40, 40, 400, 300});
    if (!root) GTEST_SKIP() << "no window station";
    int clicks = 0;
    auto* ok = root->Add<TclStdButton>("ok");
    ok->SetBounds({10, 10, 100, 27});
    ok->SetOnClick([&](TclCustomControl&) { ++clicks; });
    auto* off = root->Add<TclStdButton>("off");
    off->SetBounds({10, 50, 100, 27});
    off->SetOnClick([&](TclCustomControl&) { clicks += 100; });
    off->SetEnabled(false);
    HWND w = root->Window();
    SendMessageW(w, WM_MOUSEMOVE, 0, At(50, 20));
    EXPECT_EQ(ok->Look(), ButtonLook::kHot);
    SendMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, At(50, 20));
    EXPECT_EQ(ok->Look(), ButtonLook::kPressed);
    SendMessageW(w, WM_LBUTTONUP, 0, At(50, 20));
    EXPECT_EQ(clicks, 1);
    // Pressed, dragged off and released elsewhere: no click.
    SendMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, At(50, 20));
    SendMessageW(w, WM_MOUSEMOVE, MK_LBUTTON, At(300, 200));
    EXPECT_FALSE(ok->Look() == ButtonLook::kHot);
    SendMessageW(w, WM_LBUTTONUP, 0, At(300, 200));
    EXPECT_EQ(ok->Look(), ButtonLook::kNormal);
    EXPECT_EQ(clicks, 1);
    // The disabled one keeps its gray look when pressed and never clicks.
    SendMessageW(w, WM_MOUSEMOVE, 0, At(50, 60));
    SendMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, At(50, 60));
    EXPECT_EQ(off->Look(), ButtonLook::kDisabled);
    SendMessageW(w, WM_LBUTTONUP, 0, At(50, 60));
    EXPECT_EQ(clicks, 1);
    // Below its 27 pixels the button is not there, whatever height it was given.
    ok->SetHeight(60);
    SendMessageW(w, WM_MOUSEMOVE, 0, At(50, 45));
    SendMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, At(50, 45));
    SendMessageW(w, WM_LBUTTONUP, 0, At(50, 45));
    EXPECT_EQ(clicks, 1);
}

std::wstring HintText(HWND frame) {
    HWND tip = HintWindow();
    if (!tip) return L"<no tooltip window>";
    wchar_t text[80] = {};
    TTTOOLINFOW ti{};
    ti.cbSize = TTTOOLINFOW_V2_SIZE;
    ti.hwnd = frame;
    ti.uId = reinterpret_cast<UINT_PTR>(frame);
    ti.lpszText = text;
    SendMessageW(tip, TTM_GETTEXTW, 80, reinterpret_cast<LPARAM>(&ti));
    return text;
}

TEST(WinWindows, OneTooltipShowsTheHotControlsHint) {
    auto root = TopLevel({40, 40, 400, 300});
    if (!root) GTEST_SKIP() << "no window station";
    auto* close = root->Add<TclImageButton>("close");
    close->SetPictures({"IMG_BTN_CLOSE", "", "", ""});
    close->SetBounds({360, 8, 16, 16});
    close->SetCaption(u"Close");
    auto* mini = root->Add<TclImageButton>("mini");
    mini->SetPictures({"IMG_BTN_MINI", "", "", ""});
    mini->SetBounds({330, 8, 16, 16});
    mini->SetCaption(u"Minimize");
    HWND w = root->Window();
    SendMessageW(w, WM_MOUSEMOVE, 0, At(368, 16));
    EXPECT_EQ(HintText(w), L"Close");
    SendMessageW(w, WM_MOUSEMOVE, 0, At(338, 16));
    EXPECT_EQ(HintText(w), L"Minimize");
    SendMessageW(w, WM_MOUSEMOVE, 0, At(100, 200));
    EXPECT_EQ(HintText(w), L"");
    std::map<std::string, ControlInfo> seen;
    root->ForEachControl([&](const ControlInfo& i) { seen[i.name] = i; });
    EXPECT_EQ(seen["close"].picture, "IMG_BTN_CLOSE");
    EXPECT_EQ(seen["close"].className, "TclImageButton");
}

TEST(WinWindows, MenuButtonInItsRoundedFrame) {
    auto root = TopLevel({40, 40, 400, 300});
    if (!root) GTEST_SKIP() << "no window station";
    TclMenuButton menu("menu.ssd");
    ASSERT_TRUE(menu.Create(*root, {35, 76}));
    menu.SetPictures("IMG_MENU_SSD_N", "IMG_MENU_SSD_S");
    menu.SetCaption(u"Drive Information");
    int clicks = 0;
    menu.SetOnClick([&](TclCustomControl&) { ++clicks; });
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    EXPECT_NE(GetWindowRgn(menu.Window(), rgn), ERROR);
    EXPECT_FALSE(PtInRegion(rgn, 0, 0)); // the rounded corner is cut away
    EXPECT_TRUE(PtInRegion(rgn, 109, 27));
    DeleteObject(rgn);
    SendMessageW(menu.Window(), WM_MOUSEMOVE, 0, At(100, 20));
    SendMessageW(menu.Window(), WM_LBUTTONDOWN, MK_LBUTTON, At(100, 20));
    SendMessageW(menu.Window(), WM_LBUTTONUP, 0, At(100, 20));
    EXPECT_EQ(clicks, 1);
    menu.SetSelected(true);
    menu.SetEnabledButton(false);
    SendMessageW(menu.Window(), WM_LBUTTONDOWN, MK_LBUTTON, At(100, 20));
    SendMessageW(menu.Window(), WM_LBUTTONUP, 0, At(100, 20));
    EXPECT_EQ(clicks, 1);

    std::map<std::string, ControlInfo> seen;
    root->ForEachControl([&](const ControlInfo& i) { seen[i.name] = i; });
    ASSERT_TRUE(seen.count("menu.ssd"));
    EXPECT_EQ(seen["menu.ssd"].className, "TclMenuButton");
    EXPECT_EQ(seen["menu.ssd"].rect, (Rect{35, 76, 218, 54}));
    EXPECT_EQ(seen["menu.ssd.icon"].picture, "IMG_MENU_SSD_S");
    EXPECT_EQ(seen["menu.ssd.icon"].rect, (Rect{50, 88, 30, 30})); // in the window's coordinates
    EXPECT_EQ(seen["menu.ssd.caption"].text, "Drive Information");
    EXPECT_EQ(seen["menu.ssd.caption"].textColour, kWhite);
    EXPECT_TRUE(seen["menu.ssd.gradient"].visible);
    EXPECT_FALSE(seen["menu.ssd.overlay"].enabled);
    EXPECT_EQ(ControlTreeOfWindow(reinterpret_cast<std::uintptr_t>(root->Window())), root.get());
    EXPECT_EQ(ControlTreeOfWindow(0), nullptr);
}

TEST(WinWindows, FrameInsideAWindowOfAnotherKind) {
    auto root = TopLevel({40, 40, 400, 300});
    if (!root) GTEST_SKIP() << "no window station";
    // A frame may sit in a plain window that is no frame of ours.
    HWND plain = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 10, 20, 300, 200,
                                 root->Window(), nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(plain, nullptr);
    TclCustomFrame content("content");
    content.SetDpi(96); // the plain window's pixels, whatever the system's scale
    ASSERT_TRUE(content.CreateInWindow(plain, {5, 6, 100, 50}));
    EXPECT_FALSE(content.CreateInWindow(plain, {5, 6, 100, 50})); // once
    EXPECT_EQ(GetParent(content.Window()), plain);
    EXPECT_EQ(TclCustomFrame::FromWindow(content.Window()), &content);
    EXPECT_EQ(content.ParentFrame(), nullptr);
    TclCustomFrame inner("inner");
    ASSERT_TRUE(inner.CreateChild(content, {1, 2, 30, 40}));
    EXPECT_EQ(inner.ParentFrame(), &content);
    RECT r{};
    GetWindowRect(inner.Window(), &r);
    MapWindowPoints(nullptr, root->Window(), reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, 10 + 5 + 1);
    EXPECT_EQ(r.top, 20 + 6 + 2);
    TclCustomFrame orphan("orphan");
    EXPECT_FALSE(orphan.CreateInWindow(nullptr, {0, 0, 10, 10}));

    // The capture paints the frames over the plain window, each within its parent window.
    TclCustomFrame edge("edge");
    edge.SetDpi(96);
    ASSERT_TRUE(edge.CreateInWindow(plain, {280, 180, 60, 60}));
    content.SetBackColour(0xFF0000);
    inner.SetBackColour(0x0000FF);
    edge.SetBackColour(0x00FF00);
    for (TclCustomFrame* f : {&content, &inner, &edge})
        f->SetVisible(true);
    ShowWindow(root->Window(), SW_SHOWNA);
    PaintBuffer buf(400, 300);
    ASSERT_TRUE(buf.Ok());
    RECT all{0, 0, 400, 300};
    FillRect(buf.Dc(), &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    PaintChildWindows(buf.Dc(), root->Window());
    EXPECT_EQ(buf.At(10 + 5 + 1 + 5, 20 + 6 + 2 + 5), 0x0000FFu); // inner
    EXPECT_EQ(buf.At(10 + 5 + 60, 20 + 6 + 45), 0xFF0000u);       // content around it
    EXPECT_EQ(buf.At(10 + 290, 20 + 190), 0x00FF00u);             // edge, inside the window
    EXPECT_NE(buf.At(10 + 305, 20 + 190), 0x00FF00u);             // edge, past the window
    EXPECT_NE(buf.At(10 + 290, 20 + 205), 0x00FF00u);
    DestroyWindow(plain);
}

// The pixels of `r` (layout pixels, scaled to `dpi`) that `match` accepts.
template <class Match>
int CountPixels(const PaintBuffer& buf, const Rect& r, int dpi, Match match) {
    Rect d = ScaleRect(r, dpi);
    int n = 0;
    for (int y = d.top; y < d.Bottom(); ++y)
        for (int x = d.left; x < d.Right(); ++x)
            if (match(buf.At(x, y))) ++n;
    return n;
}

TEST(WinWindows, ComposedComponentsPaintAndClickAtBothScales) {
    for (int dpi : {96, 192}) {
        SCOPED_TRACE(dpi);
        auto s = [dpi](int v) { return ScaleForDpi(v, dpi); };
        TclCustomFrame root("root");
        root.SetDpi(dpi);
        if (!root.CreateTopLevel({20, 20, 700, 420}, L"Tarvik test"))
            GTEST_SKIP() << "no window station";
        root.SetBackColour(kWhite);

        auto titled = CreateTitledBox(root, "titled");
        titled.icon->SetPicture("IMG_ICON_SSD");
        titled.name->SetText(u"Orvane Quill 860 256GB");
        PlaceTitledBox(titled, {10, 10, 360, 120});
        auto link = CreateLinkBox(root, "link");
        link.title->SetText(u"Firmware Update");
        link.text->SetText(u"Looks for a newer firmware for the selected drive.");
        link.button->SetCaption(u"Check Update");
        int linkClicks = 0;
        link.button->SetOnClick([&](TclCustomControl&) { ++linkClicks; });
        PlaceLinkBox(link, {400, 10, 236, 220});
        auto warning = CreateWarningLine(root, "warning");
        warning.label->SetText(u"All data on the target drive will be lost.");
        PlaceWarningLine(warning, {10, 150}, 360);
        auto option = CreateOptionItem(root, "option");
        option.button->SetBounds({10, 200, 18, 18});
        option.title->SetText(u"Quick Diagnostic Scan");
        option.title->SetLeft(32);
        option.title->SetTop(201);
        option.description->SetBounds({32, 225, 300, 40});
        option.description->SetText(u"Reads the drive at evenly spread points.");
        int optionClicks = 0;
        option.button->SetOnClick([&](TclCustomControl&) { ++optionClicks; });
        ShowOptionItem(option, true);
        TclLabel* section = CreateSectionTitle(root, "section");
        TclLabel* description = CreateDescriptionLabel(root, "description");
        EXPECT_FALSE(section->Visible()); // hidden until the page shows it
        EXPECT_FALSE(description->Visible());
        section->SetText(u"Select Scan mode :");
        section->SetLeft(10);
        section->SetTop(290);
        section->SetVisible(true);

        PaintBuffer buf(s(700), s(420));
        ASSERT_TRUE(buf.Ok());
        root.PaintTo(buf.Dc());
        auto blue = [](Rgb c) { return RgbBlue(c) > 120 && RgbRed(c) < 90; };
        auto red = [](Rgb c) { return RgbRed(c) > 200 && RgbGreen(c) < 90 && RgbBlue(c) < 90; };
        auto dark = [](Rgb c) { return RgbRed(c) < 90 && RgbGreen(c) < 90 && RgbBlue(c) < 90; };
        auto notBack = [](Rgb c) { return c != kWhite && c != kInfoBoxInner; };
        // Titled box: inner card, the header line 2 pixels under the header, the icon and the
        // blue name.
        EXPECT_EQ(buf.At(s(200), s(100)), kInfoBoxInner);
        EXPECT_EQ(buf.At(s(200), s(70)), kTitledBoxLine);
        EXPECT_EQ(buf.At(s(200), s(71)), kTitledBoxLine);
        EXPECT_EQ(buf.At(s(200), s(72)), kInfoBoxInner);
        EXPECT_GT(CountPixels(buf, {35, 26, 30, 30}, dpi, notBack), 0);
        EXPECT_GT(CountPixels(buf, titled.name->Bounds(), dpi, blue), 0);
        // Link box: blue title, black text, the button's slices on the card.
        EXPECT_GT(CountPixels(buf, {430, 30, 174, 40}, dpi, blue), 0);
        EXPECT_GT(CountPixels(buf, {430, 70, 174, 100}, dpi, dark), 0);
        EXPECT_NE(buf.At(s(453 + 65), s(178 + 3)), kInfoBoxInner);
        // Warning line: the picture and red text.
        EXPECT_GT(CountPixels(buf, {10, 150, 27, 25}, dpi, notBack), 0);
        EXPECT_GT(CountPixels(buf, {41, 150, 325, 25}, dpi, red), 0);
        EXPECT_EQ(CountPixels(buf, {41, 150, 325, 25}, dpi, dark), 0);
        // Option item and section title.
        EXPECT_GT(CountPixels(buf, {10, 200, 18, 18}, dpi, notBack), 0);
        EXPECT_GT(CountPixels(buf, option.title->Bounds(), dpi, dark), 0);
        EXPECT_GT(CountPixels(buf, option.description->Bounds(), dpi, dark), 0);
        EXPECT_GT(CountPixels(buf, section->Bounds(), dpi, dark), 0);
        EXPECT_EQ(CountPixels(buf, {10, 330, 300, 40}, dpi, dark), 0); // the hidden description

        std::map<std::string, ControlInfo> seen;
        root.ForEachControl([&](const ControlInfo& i) { seen[i.name] = i; });
        EXPECT_EQ(seen["titled.name"].rect.left, 81);
        EXPECT_EQ(seen["titled.name"].rect.top, 30);
        EXPECT_EQ(seen["titled.line"].rect, (Rect{35, 70, 310, 2}));
        EXPECT_EQ(seen["link.button"].rect, (Rect{453, 178, 130, 27}));
        EXPECT_EQ(seen["warning.label"].rect, (Rect{41, 150, 325, 25}));
        EXPECT_EQ(seen["warning.label"].textColour, kWarningText);
        EXPECT_TRUE(seen["section"].font->bold);
        EXPECT_EQ(seen["section"].font->heightPx, FontHeightFromPoints(11));

        // Real mouse messages in device pixels: the buttons click, labels do not take the mouse,
        // the chosen (disabled) option does not click again.
        HWND w = root.Window();
        auto press = [&](int x, int y) {
            SendMessageW(w, WM_MOUSEMOVE, 0, At(s(x), s(y)));
            SendMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, At(s(x), s(y)));
            SendMessageW(w, WM_LBUTTONUP, 0, At(s(x), s(y)));
        };
        press(453 + 65, 178 + 13);
        EXPECT_EQ(linkClicks, 1);
        press(19, 209);
        EXPECT_EQ(optionClicks, 1);
        option.button->SetEnabled(false);
        press(19, 209);
        EXPECT_EQ(optionClicks, 1);
        EXPECT_EQ(option.button->Look(), ButtonLook::kDisabled);
        press(60, 160); // the warning's text
        press(20, 295); // the section title
        EXPECT_EQ(linkClicks + optionClicks, 2);
    }
}

TEST(WinWindows, FormMoveDragsTheWindowByTheMouseDistance) {
    auto root = TopLevel({100, 100, 300, 200});
    if (!root) GTEST_SKIP() << "no window station";
    auto* move = root->Add<TclFormMove>("drag");
    move->SetBounds({0, 0, 300, 200});
    RECT before, after;
    GetWindowRect(root->Window(), &before);
    SendMessageW(root->Window(), WM_LBUTTONDOWN, MK_LBUTTON, At(10, 10));
    SendMessageW(root->Window(), WM_MOUSEMOVE, MK_LBUTTON, At(40, 25));
    GetWindowRect(root->Window(), &after);
    EXPECT_EQ(after.left - before.left, 30);
    EXPECT_EQ(after.top - before.top, 15);
    SendMessageW(root->Window(), WM_LBUTTONUP, 0, At(10, 10)); // back at the press point
    RECT last;
    GetWindowRect(root->Window(), &last);
    EXPECT_EQ(last.left, after.left);
    SendMessageW(root->Window(), WM_MOUSEMOVE, 0, At(90, 90)); // no button: no move
    GetWindowRect(root->Window(), &last);
    EXPECT_EQ(last.left, after.left);
}

TEST(WinWindows, ComboPopupRowsAndCaptureLoss) {
    auto root = TopLevel({50, 50, 600, 400});
    if (!root) GTEST_SKIP() << "no window station";
    ShowWindow(root->Window(), SW_SHOWNA);
    auto* combo = root->Add<TclMainComboBox>("selector");
    combo->SetLeft(20);
    combo->SetTop(20);
    int changes = 0;
    combo->SetOnChange([&](TclStdComboBox&) { ++changes; });
    EXPECT_FALSE(combo->OpenPopup()); // empty: nothing opens
    struct Case {
        int items, rows;
    };
    for (Case c : {Case{40, 32}, Case{3, 3}}) {
        combo->Clear();
        for (int i = 0; i < c.items; ++i)
            combo->AddItem(u"Disk " + std::u16string(1, static_cast<char16_t>(u'A' + i % 26)),
                           0x7FF600000000ULL + i);
        EXPECT_EQ(combo->SelectedIndex(), 0);
        ASSERT_TRUE(combo->OpenPopup());
        auto* popup = combo->Popup();
        RECT pr, cr;
        GetWindowRect(popup->Window(), &pr);
        POINT origin{20, 20};
        ClientToScreen(root->Window(), &origin);
        EXPECT_EQ(pr.bottom - pr.top, c.rows * combo->ItemHeight() + 4) << c.items;
        EXPECT_EQ(pr.right - pr.left, 440);
        EXPECT_EQ(pr.left, origin.x);
        EXPECT_EQ(pr.top, origin.y + kMainComboHeight - 1);
        int rows = 0;
        popup->ForEachControl([&](const ControlInfo&) { ++rows; });
        EXPECT_EQ(rows, c.rows);
        // Choosing the second row closes the popup and reports the change.
        GetClientRect(popup->Window(), &cr);
        SendMessageW(popup->Window(), WM_LBUTTONDOWN, MK_LBUTTON,
                     At(10, 2 + combo->ItemHeight() + 3));
        EXPECT_FALSE(popup->IsOpen());
        EXPECT_EQ(combo->SelectedIndex(), 1);
        EXPECT_EQ(combo->SelectedData(), 0x7FF600000001ULL);
    }
    EXPECT_EQ(changes, 2);
    // Another window taking the mouse closes the popup.
    ASSERT_TRUE(combo->OpenPopup());
    ASSERT_TRUE(combo->Popup()->IsOpen());
    SetCapture(root->Window());
    EXPECT_FALSE(combo->Popup()->IsOpen());
    EXPECT_FALSE(IsWindowVisible(combo->Popup()->Window()));
    ReleaseCapture();
    // A press outside closes it without a change.
    ASSERT_TRUE(combo->OpenPopup());
    SendMessageW(combo->Popup()->Window(), WM_LBUTTONDOWN, MK_LBUTTON, At(-20, -20));
    EXPECT_FALSE(combo->Popup()->IsOpen());
    EXPECT_EQ(changes, 2);
    // Disabled: no popup.
    combo->SetEnabled(false);
    EXPECT_FALSE(combo->OpenPopup());
}

TEST(WinWindows, ScrollBoxMovesItsPanel) {
    auto root = TopLevel({50, 50, 800, 700});
    if (!root) GTEST_SKIP() << "no window station";
    TclVertScrollBox box("drives");
    ASSERT_TRUE(box.Create(*root, {0, 0, 769, 631}));
    box.SetRange(900);
    box.ShowBar(true);
    box.SetVisible(true);
    box.ScrollTo(300);
    RECT pr;
    GetWindowRect(box.Panel().Window(), &pr);
    POINT o{0, 0};
    ClientToScreen(root->Window(), &o);
    EXPECT_EQ(pr.top - o.y, -300);
    EXPECT_EQ(pr.bottom - pr.top, 900 + 631);
    EXPECT_EQ(GetScrollPos(box.Bar(), SB_CTL), 300);
    SendMessageW(root->Window(), WM_VSCROLL, SB_PAGEDOWN, reinterpret_cast<LPARAM>(box.Bar()));
    EXPECT_EQ(box.Model().Position(), 900);
    box.SetVisible(false);
    EXPECT_EQ(box.Model().Position(), 0);
    EXPECT_FALSE(IsWindowVisible(box.Bar()));
}

} // namespace
} // namespace tvd

namespace tvd {
namespace {

// Run once at the prefix's default 96 DPI and once with the prefix set to 192
// (TVD_EXPECT_DPI=192): the layout and the pictures follow the system DPI.
TEST(WinDpi, LayoutAndPicturesFollowTheSystemDpi) {
    int dpi = SystemDpi();
    if (const char* expect = std::getenv("TVD_EXPECT_DPI")) {
        EXPECT_EQ(dpi, std::atoi(expect));
    }
    TclCustomFrame root("root");
    if (!root.CreateTopLevel({10, 10, 300, 200}, L"Tarvik test"))
        GTEST_SKIP() << "no window station";
    RECT rc;
    GetClientRect(root.Window(), &rc);
    EXPECT_EQ(rc.right, ScaleForDpi(300, dpi));
    EXPECT_EQ(rc.bottom, ScaleForDpi(200, dpi));
    auto pic = PictureForDpi("IMG_BTN_CLOSE", dpi);
    ASSERT_TRUE(pic);
    EXPECT_EQ(pic->Width(), 16 * PictureScaleForDpi(dpi));
    auto* close = root.Add<TclImageButton>("close");
    close->SetPictures({"IMG_BTN_CLOSE", "", "", ""});
    close->SetBounds({8, 8, 16, 16});
    root.SetBackColour(kWhite);
    PaintBuffer buf(rc.right, rc.bottom);
    root.PaintTo(buf.Dc());
    // The cross's centre is drawn, its corner of the box is not.
    EXPECT_NE(buf.At(ScaleForDpi(16, dpi), ScaleForDpi(16, dpi)), kWhite);
    EXPECT_EQ(buf.At(ScaleForDpi(9, dpi), ScaleForDpi(23, dpi)), kWhite);
}

} // namespace
} // namespace tvd
