#include "shell/win32/mainuitestutil.h"

#include <commctrl.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>

#include "foundation/textconvutil.h"
#include "shell/controls/dpiscale.h"
#include "shell/controls/win32/wincontrols.h"
#include "shell/controls/win32/winpicture.h"
#include "shell/mainpagesutil.h"
#include "shell/win32/formloadingutil.h"
#include "shell/win32/frmdrivedetail.h"
#include "shell/win32/frmmain.h"
#include "shell/win32/tformutil.h"

namespace tvd::win {

namespace {

std::wstring g_folder;
bool g_enabled = false;
bool g_serving = false;
std::map<HWND, ControlLister>& Listers() {
    static std::map<HWND, ControlLister> listers;
    return listers;
}
// The box a request asked for, opened from the main loop so that requests go on being served
// while it is up.
BoxKind g_boxKind = BoxKind::kInformation;
std::u16string g_boxText;
std::string g_lastBoxResult = "none";
// The selector entry whose details window a request asked for.
std::size_t g_detailEntry = 0;

// Opens the details window from whichever loop dispatches the timer, so that requests go on
// being served while it is up.
void CALLBACK OpenDetailWindow(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    MainShell* s = Shell();
    const MainShell::SelectorEntry* e = s ? s->EntryAt(g_detailEntry) : nullptr;
    if (!e) return;
    const ZoltRef<clFunDisk> disk = e->disk;
    ShowDriveDetailsWindow(disk.Get());
}

std::string U8(const std::u16string& s) {
    return Utf16ToUtf8(s);
}
std::string U8(const std::wstring& s) {
    return Utf16ToUtf8(std::u16string(s.begin(), s.end()));
}
std::u16string U16(const std::string& s) {
    return Utf8ToUtf16(s);
}

std::string Json(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

std::string Hex(std::uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "\"0x%08X\"", v);
    return buf;
}

std::string RectJson(const RECT& r) {
    std::ostringstream o;
    o << "{\"left\":" << r.left << ",\"top\":" << r.top << ",\"width\":" << (r.right - r.left)
      << ",\"height\":" << (r.bottom - r.top) << "}";
    return o.str();
}

std::string ColourJson(std::int64_t c) {
    if (c < 0) return "null";
    char buf[16];
    std::snprintf(buf, sizeof buf, "\"#%06X\"", static_cast<unsigned>(c));
    return buf;
}

std::string ControlJson(const ControlInfo& c) {
    std::ostringstream o;
    o << "{\"name\":" << Json(c.name) << ",\"class\":" << Json(c.cls)
      << ",\"rect\":" << RectJson(c.rect) << ",\"text\":" << Json(U8(c.text))
      << ",\"picture\":" << (c.picture.empty() ? "null" : Json(c.picture)) << ",\"font\":";
    if (c.fontFace.empty())
        o << "null";
    else
        o << "{\"face\":" << Json(U8(c.fontFace)) << ",\"height\":" << c.fontHeight
          << ",\"weight\":" << c.fontWeight << "}";
    o << ",\"textColor\":" << ColourJson(c.textColor)
      << ",\"backColor\":" << ColourJson(c.backColor)
      << ",\"borderColor\":" << ColourJson(c.borderColor)
      << ",\"extra\":" << (c.extra.empty() ? "null" : c.extra)
      << ",\"visible\":" << (c.visible ? "true" : "false")
      << ",\"enabled\":" << (c.enabled ? "true" : "false") << "}";
    return o.str();
}

// Range, position and page of a scroll bar; columns and rows of a list view.
std::string WindowExtra(HWND w, const std::wstring& cls) {
    std::ostringstream o;
    if (_wcsicmp(cls.c_str(), L"ScrollBar") == 0) {
        SCROLLINFO si{sizeof si, SIF_ALL, 0, 0, 0, 0, 0};
        if (!GetScrollInfo(w, SB_CTL, &si)) return {};
        const int range = si.nPage ? si.nMax - static_cast<int>(si.nPage) + 1 : si.nMax;
        o << "{\"range\":" << (range > 0 ? range : 0) << ",\"position\":" << si.nPos
          << ",\"page\":" << si.nPage << "}";
        return o.str();
    }
    if (_wcsicmp(cls.c_str(), WC_LISTVIEWW) != 0) return {};
    HWND header = reinterpret_cast<HWND>(SendMessageW(w, LVM_GETHEADER, 0, 0));
    const int columns = header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
    auto cell = [w](int row, int col) {
        wchar_t buf[512] = {};
        LVITEMW item{};
        item.iSubItem = col;
        item.pszText = buf;
        item.cchTextMax = 512;
        SendMessageW(w, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
        return Json(U8(std::wstring(buf)));
    };
    // The first row in view: where the list is scrolled to.
    o << "{\"topIndex\":" << SendMessageW(w, LVM_GETTOPINDEX, 0, 0) << ",\"columns\":[";
    for (int c = 0; c < columns; ++c) {
        wchar_t buf[128] = {};
        LVCOLUMNW col{};
        col.mask = LVCF_TEXT | LVCF_WIDTH;
        col.pszText = buf;
        col.cchTextMax = 128;
        SendMessageW(w, LVM_GETCOLUMNW, c, reinterpret_cast<LPARAM>(&col));
        o << (c ? "," : "") << "{\"text\":" << Json(U8(std::wstring(buf)))
          << ",\"width\":" << col.cx << "}";
    }
    o << "],\"rows\":[";
    const int rows = static_cast<int>(SendMessageW(w, LVM_GETITEMCOUNT, 0, 0));
    for (int r = 0; r < rows && r < 256; ++r) {
        o << (r ? ",[" : "[");
        for (int c = 0; c < columns; ++c)
            o << (c ? "," : "") << cell(r, c);
        o << "]";
    }
    o << "]}";
    return o.str();
}

// The controls of one of our frames (and the frames inside it), in `top`'s client pixels.
void AddFrameTree(const TclCustomFrame& root, HWND top, std::vector<ControlInfo>& out) {
    POINT origin{0, 0};
    MapWindowPoints(root.Window(), top, &origin, 1);
    const int dpi = root.Dpi();
    const bool shown = IsWindowVisible(root.Window()) != FALSE;
    if (root.Window() != top) {
        ControlInfo f;
        f.name = root.Name();
        f.cls = "TclCustomFrame";
        RECT r{};
        GetWindowRect(root.Window(), &r);
        MapWindowPoints(nullptr, top, reinterpret_cast<POINT*>(&r), 2);
        f.rect = r;
        f.backColor = root.BackColour();
        f.visible = shown;
        f.enabled = IsWindowEnabled(root.Window()) != FALSE;
        out.push_back(std::move(f));
    }
    root.ForEachControl([&](const tvd::ControlInfo& i) {
        ControlInfo c = DumpEntry(i, dpi, origin);
        c.visible = shown && i.visible;
        out.push_back(std::move(c));
    });
}

// Frames of ours below `top` in windows of another kind (a direct child frame lists its tree
// through the window's lister), and named scroll bars and list views below its direct
// children.
struct NestedWalk {
    HWND top;
    std::vector<ControlInfo>* out;
};

// A named callback, not a lambda: i686 needs the stdcall convention the lambda cannot carry.
BOOL CALLBACK CollectNested(HWND w, LPARAM lp) {
    auto* k = reinterpret_cast<NestedWalk*>(lp);
    const TclCustomFrame* f = TclCustomFrame::FromWindow(w);
    if (f) {
        if (!f->ParentFrame() && GetParent(w) != k->top) AddFrameTree(*f, k->top, *k->out);
        return TRUE;
    }
    if (GetParent(w) == k->top || !GetPropW(w, L"TvdName")) return TRUE;
    ControlInfo c;
    wchar_t cls[128] = {};
    GetClassNameW(w, cls, 128);
    c.cls = U8(std::wstring(cls));
    c.name = static_cast<const char*>(GetPropW(w, L"TvdName"));
    RECT r{};
    GetWindowRect(w, &r);
    MapWindowPoints(nullptr, k->top, reinterpret_cast<POINT*>(&r), 2);
    c.rect = r;
    c.visible = IsWindowVisible(w) != FALSE;
    c.enabled = IsWindowEnabled(w) != FALSE;
    c.extra = WindowExtra(w, cls);
    k->out->push_back(std::move(c));
    return TRUE;
}

std::vector<ControlInfo> NestedControls(HWND top) {
    std::vector<ControlInfo> out;
    NestedWalk walk{top, &out};
    EnumChildWindows(top, CollectNested, reinterpret_cast<LPARAM>(&walk));
    return out;
}

// Child windows (frames, the selector) as controls of their top-level window.
std::vector<ControlInfo> ChildControls(HWND top) {
    std::vector<ControlInfo> out;
    for (HWND child = GetWindow(top, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        // Frames list their own controls (the window's lister walks them).
        if (TclCustomFrame::FromWindow(child)) continue;
        ControlInfo c;
        wchar_t cls[128] = {};
        GetClassNameW(child, cls, 128);
        c.cls = U8(std::wstring(cls));
        if (const char* name = static_cast<const char*>(GetPropW(child, L"TvdName"))) c.name = name;
        RECT r{};
        GetWindowRect(child, &r);
        MapWindowPoints(nullptr, top, reinterpret_cast<POINT*>(&r), 2);
        c.rect = r;
        wchar_t text[512] = {};
        GetWindowTextW(child, text, 512);
        c.text = std::u16string(reinterpret_cast<const char16_t*>(text));
        if (HFONT f = reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0))) {
            LOGFONTW lf{};
            if (GetObjectW(f, sizeof lf, &lf)) {
                c.fontFace = reinterpret_cast<const char16_t*>(lf.lfFaceName);
                c.fontHeight = lf.lfHeight < 0 ? -lf.lfHeight : lf.lfHeight;
                c.fontWeight = lf.lfWeight;
            }
        }
        c.visible = IsWindowVisible(child) != FALSE;
        c.enabled = IsWindowEnabled(child) != FALSE;
        c.extra = WindowExtra(child, cls);
        out.push_back(std::move(c));
    }
    return out;
}

} // namespace

ControlInfo DumpEntry(const tvd::ControlInfo& i, int dpi, POINT origin) {
    ControlInfo c;
    c.name = i.name;
    c.cls = i.className;
    const Rect d = ScaleRect(i.rect, dpi);
    c.rect = {origin.x + d.left, origin.y + d.top, origin.x + d.Right(), origin.y + d.Bottom()};
    c.text = Utf8ToUtf16(i.text);
    c.picture = i.picture;
    if (i.font) {
        c.fontFace = i.font->face;
        c.fontHeight = ScaleForDpi(i.font->heightPx, dpi);
        c.fontWeight = i.font->bold ? FW_BOLD : FW_NORMAL;
    }
    if (i.textColour) c.textColor = *i.textColour;
    if (i.backColour) c.backColor = *i.backColour;
    if (i.borderColour) c.borderColor = *i.borderColour;
    c.visible = i.visible;
    c.enabled = i.enabled;
    return c;
}

std::vector<ControlInfo> ControlsOfTree(const ControlTree& tree) {
    std::vector<ControlInfo> out;
    const int dpi = Dpi();
    tree.ForEachControl([&](const tvd::ControlInfo& i) { out.push_back(DumpEntry(i, dpi)); });
    return out;
}

namespace {

bool WriteFileAll(const std::wstring& path, const void* data, std::size_t size) {
    const std::wstring tmp = path + L".tmp";
    HANDLE h = CreateFileW(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(h, data, static_cast<DWORD>(size), &written, nullptr);
    CloseHandle(h);
    if (!ok || written != size) {
        DeleteFileW(tmp.c_str());
        return false;
    }
    // Readers see the whole file or none.
    return MoveFileExW(tmp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

bool CapturePng(HWND hwnd, const std::wstring& path) {
    // The client area: what the program paints (the frame and caption are the system's).
    RECT r{};
    if (!GetClientRect(hwnd, &r)) return false;
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0 || w > 16384 || h > 16384) return false;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (mem && bmp && bits) {
        HGDIOBJ old = SelectObject(mem, bmp);
        if (TclCustomFrame* f = TclCustomFrame::FromWindow(hwnd)) {
            f->PaintTo(mem);
            ok = true;
        } else {
            ok = PrintWindow(hwnd, mem, PW_CLIENTONLY) != FALSE;
        }
        // PrintWindow leaves child windows out under Wine.
        if (ok) PaintChildWindows(mem, hwnd);
        GdiFlush();
        SelectObject(mem, old);
    }
    std::vector<std::uint8_t> rgba;
    if (ok) {
        const auto* p = static_cast<const std::uint8_t*>(bits);
        rgba.resize(static_cast<std::size_t>(w) * h * 4);
        for (std::size_t i = 0; i < rgba.size(); i += 4) {
            rgba[i] = p[i + 2];
            rgba[i + 1] = p[i + 1];
            rgba[i + 2] = p[i];
            rgba[i + 3] = 255;
        }
    }
    if (bmp) DeleteObject(bmp);
    if (mem) DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    if (!ok) return false;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(w);
    image.height = static_cast<png_uint_32>(h);
    image.format = PNG_FORMAT_RGBA;
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, rgba.data(), 0, nullptr))
        return false;
    std::vector<std::uint8_t> png(size);
    if (!png_image_write_to_memory(&image, png.data(), &size, 0, rgba.data(), 0, nullptr))
        return false;
    return WriteFileAll(path, png.data(), size);
}

struct TopWindows {
    std::vector<HWND> list;
};
BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM lParam) {
    reinterpret_cast<TopWindows*>(lParam)->list.push_back(hwnd);
    return TRUE;
}

std::string StateJson() {
    std::ostringstream o;
    MainShell* s = Shell();
    clMenuPage* page = s ? s->CurrentPage() : nullptr;
    o << "{\"started\":" << (s && s->Started() ? "true" : "false")
      << ",\"page\":" << (page ? Json(page->Entry().name) : "null")
      << ",\"busy\":" << (s && s->IsBusy() ? "true" : "false")
      << ",\"devices\":" << (s ? s->EntryCount() : 0)
      << ",\"selected\":" << (s ? s->SelectedIndex() : -1)
      << ",\"closePending\":" << (s && s->ClosePending() ? "true" : "false")
      << ",\"splash\":" << (SplashWindow() ? "true" : "false")
      << ",\"box\":" << (OpenAlertWindow() ? "true" : "false")
      << ",\"lastBoxResult\":" << Json(g_lastBoxResult) << ",\"entries\":[";
    for (std::size_t i = 0; s && i < s->EntryCount(); ++i)
        o << (i ? "," : "") << Json(U8(s->EntryAt(i)->text));
    o << "]}";
    return o.str();
}

std::string Trim(std::string s) {
    while (!s.empty() && (s.back() == '\r' || s.back() == ' '))
        s.pop_back();
    return s;
}

bool Serve(const std::string& line, std::string& error) {
    std::istringstream in(line);
    std::string verb, arg;
    in >> verb;
    std::getline(in >> std::ws, arg);
    MainShell* s = Shell();
    if (verb == "id" || verb.empty()) return true;
    if (verb == "dump") {
        if (arg.empty() || arg.find_first_of("\\/:.") != std::string::npos) {
            error = "dump needs a plain name";
            return false;
        }
        return UiTestDump(g_folder, std::wstring(arg.begin(), arg.end()));
    }
    if (verb == "page") {
        clMenuPage* page = s ? s->FindPage(arg.c_str()) : nullptr;
        if (!page) {
            error = "no page " + arg;
            return false;
        }
        page->MenuClicked();
        return true;
    }
    if (verb == "busy") {
        if (!s || (arg != "on" && arg != "off")) return false;
        if (arg == "on")
            s->EnterBusy();
        else
            s->LeaveBusy();
        return true;
    }
    if (verb == "select") {
        // The active-drive selector's entry N, as a choice in its list would pick it.
        char* end = nullptr;
        const long i = std::strtol(arg.c_str(), &end, 10);
        if (!s || arg.empty() || *end || i < 0 || static_cast<std::size_t>(i) >= s->EntryCount()) {
            error = "no entry " + arg;
            return false;
        }
        s->SelectDriveIndex(static_cast<int>(i));
        return true;
    }
    if (verb == "selector") {
        if (!s || (arg != "show" && arg != "hide")) return false;
        s->ShowDriveSelector(arg == "show");
        return true;
    }
    if (verb == "box") {
        std::istringstream a(arg);
        std::string kind, text;
        a >> kind;
        std::getline(a >> std::ws, text);
        if (!BoxKindFromName(kind, g_boxKind)) {
            error = "no box kind " + kind;
            return false;
        }
        g_boxText = U16(text);
        return PostMessageW(MainWindow(), kMsgOpenTestBox, 0, 0) != FALSE;
    }
    if (verb == "closebox") {
        HWND box = OpenAlertWindow();
        if (!box) {
            error = "no box is open";
            return false;
        }
        if (arg != "primary" && arg != "secondary") return false;
        PostMessageW(box, WM_COMMAND, arg == "primary" ? IDOK : IDCANCEL, 0);
        return true;
    }
    if (verb == "detail") {
        char* end = nullptr;
        const unsigned long index = std::strtoul(arg.c_str(), &end, 10);
        if (arg.empty() || *end || !s || !s->EntryAt(index) || !DriveDetailWindow()) {
            error = "no drive entry " + arg + " or no details window";
            return false;
        }
        g_detailEntry = index;
        return SetTimer(nullptr, 0, 0, OpenDetailWindow) != 0;
    }
    if (verb == "closedetail") {
        clFormChild* form = DriveDetailWindow();
        if (!form || !form->IsOpen()) {
            error = "the details window is not open";
            return false;
        }
        form->Close();
        return true;
    }
    if (verb == "close") return PostMessageW(MainWindow(), WM_CLOSE, 0, 0) != FALSE;
    error = "unknown request " + verb;
    return false;
}

} // namespace

void RegisterControlLister(HWND window, ControlLister lister) {
    Listers()[window] = lister;
}
void UnregisterControlLister(HWND window) {
    Listers().erase(window);
}

bool UiTestEnabled() {
    return g_enabled;
}

bool UiTestStart(HWND window, const std::wstring& folder) {
    const DWORD attr = GetFileAttributesW(folder.c_str());
    if (attr == INVALID_FILE_ATTRIBUTES || !(attr & FILE_ATTRIBUTE_DIRECTORY)) return false;
    g_folder = folder;
    g_enabled = SetTimer(window, kUiTestTimerId, 100, nullptr) != 0;
    return g_enabled;
}

void UiTestStop(HWND window) {
    if (!g_enabled) return;
    KillTimer(window, kUiTestTimerId);
    g_enabled = false;
}

void UiTestOpenPendingBox() {
    const bool yes = ShowBox(g_boxKind, g_boxText);
    g_lastBoxResult = yes ? "primary" : "secondary";
}

void UiTestOnTimer() {
    if (!g_enabled || g_serving) return;
    const std::wstring request = g_folder + L"\\request";
    HANDLE h = CreateFileW(request.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    std::string body;
    char buf[4096];
    DWORD got = 0;
    while (body.size() < 65536 && ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0)
        body.append(buf, got);
    CloseHandle(h);
    DeleteFileW(request.c_str());
    g_serving = true;
    std::string id, errors;
    bool ok = true;
    std::istringstream lines(body);
    std::string line;
    while (std::getline(lines, line)) {
        line = Trim(line);
        if (line.rfind("id ", 0) == 0) id = line.substr(3);
        std::string error;
        if (!Serve(line, error)) {
            ok = false;
            if (!errors.empty()) errors += ',';
            errors += Json(error.empty() ? line : error);
        }
    }
    g_serving = false;
    const std::string reply = "{\"id\":" + Json(id) + ",\"ok\":" + (ok ? "true" : "false") +
                              ",\"errors\":[" + errors + "],\"state\":" + StateJson() + "}\n";
    WriteFileAll(g_folder + L"\\reply.json", reply.data(), reply.size());
}

bool UiTestDump(const std::wstring& folder, const std::wstring& name) {
    TopWindows top;
    EnumThreadWindows(GetCurrentThreadId(), CollectWindow, reinterpret_cast<LPARAM>(&top));
    std::ostringstream o;
    o << "{\"dpi\":" << Dpi() << ",\"state\":" << StateJson() << ",\"windows\":[";
    bool ok = true;
    int n = 0;
    for (HWND w : top.list) {
        wchar_t cls[128] = {}, caption[256] = {};
        GetClassNameW(w, cls, 128);
        // Only the program's own windows (the system's IME and tooltip windows are no part of
        // it).
        auto lister = Listers().find(w);
        // A frame of the controls (the selector's popup) tells its own controls.
        const ControlTree* tree = TclCustomFrame::FromWindow(w);
        if (lister == Listers().end() && !tree) continue;
        GetWindowTextW(w, caption, 256);
        RECT wr{}, cr{};
        GetWindowRect(w, &wr);
        GetClientRect(w, &cr);
        POINT origin{0, 0};
        ClientToScreen(w, &origin);
        const bool visible = IsWindowVisible(w) != FALSE;
        std::string capture = "null";
        if (visible && !IsIconic(w)) {
            const std::wstring png = name + L"-" + std::to_wstring(n) + L".png";
            if (CapturePng(w, folder + L"\\" + png))
                capture = Json(U8(png));
            else
                ok = false;
        }
        std::vector<ControlInfo> controls =
            lister != Listers().end() ? lister->second(w) : ControlsOfTree(*tree);
        for (ControlInfo& c : ChildControls(w))
            controls.push_back(std::move(c));
        for (ControlInfo& c : NestedControls(w))
            controls.push_back(std::move(c));
        o << (n ? "," : "") << "{\"class\":" << Json(U8(std::wstring(cls)))
          << ",\"caption\":" << Json(U8(std::wstring(caption))) << ",\"rect\":" << RectJson(wr)
          << ",\"clientOrigin\":{\"x\":" << origin.x << ",\"y\":" << origin.y
          << "},\"client\":{\"width\":" << cr.right << ",\"height\":" << cr.bottom
          << "},\"style\":" << Hex(static_cast<std::uint32_t>(GetWindowLongW(w, GWL_STYLE)))
          << ",\"exStyle\":" << Hex(static_cast<std::uint32_t>(GetWindowLongW(w, GWL_EXSTYLE)))
          << ",\"visible\":" << (visible ? "true" : "false")
          << ",\"minimized\":" << (IsIconic(w) ? "true" : "false")
          << ",\"enabled\":" << (IsWindowEnabled(w) ? "true" : "false")
          << ",\"capture\":" << capture << ",\"controls\":[";
        for (std::size_t i = 0; i < controls.size(); ++i)
            o << (i ? "," : "") << ControlJson(controls[i]);
        o << "]}";
        ++n;
    }
    o << "]}\n";
    const std::string text = o.str();
    return WriteFileAll(folder + L"\\" + name + L".json", text.data(), text.size()) && ok;
}

} // namespace tvd::win
