// The base of the drive windows (S.M.A.R.T., drive details): a borderless, rounded, stay-on-top
// window over the main window with an outline, a drag area and a close button, shown modally
// for one disk. The window holds a reference to its disk and closes by itself when the kernel
// removes that disk (the modal loop keeps the main window's tick running).
#pragma once
#include <windows.h>

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "drive/clfundisk.h"
#include "foundation/clzoltitem.h"
#include "shell/controls/win32/wincontrols.h"
#include "shell/win32/mainuitestutil.h"

namespace tvd::win {

// A list-view column: header text and width in layout pixels.
struct ListColumn {
    std::u16string_view title;
    int width;
};
using ListRow = std::vector<std::u16string>;

class clFormChild {
public:
    // `name` names the window in the test dump ("FormSmart", "FormDriveDetail").
    explicit clFormChild(std::string name);
    virtual ~clFormChild();
    clFormChild(const clFormChild&) = delete;
    clFormChild& operator=(const clFormChild&) = delete;

    // Builds the window hidden, `clientWidth` x `clientHeight` layout pixels: outline, drag
    // area, the subclass's controls (BuildContents), close button. False when it could not be
    // made.
    bool Create(int clientWidth, int clientHeight);
    bool Created() const { return frame_ && frame_->Window(); }
    HWND Window() const { return frame_ ? frame_->Window() : nullptr; }
    const std::string& Name() const { return name_; }

    // Remembers `disk`, centres the window over the main window, shows it modally and runs the
    // header and contents hooks; returns once it is closed. Nothing happens for a null or
    // detached disk, an unbuilt window, or a window already open.
    void ShowFor(clFunDisk* disk);
    // Ends the modal run and forgets the disk (the close button's action).
    void Close();
    bool IsOpen() const { return open_; }
    clFunDisk* Disk() const { return disk_.Get(); }

    // The kernel removed `disk`: every open child window that shows it closes.
    static void DiskRemoved(clFunDisk* disk);
    // The innermost open child window, or null.
    static clFormChild* OpenWindow();

protected:
    // Adds the subclass's controls to Frame() and child windows to Window().
    virtual bool BuildContents() { return true; }
    virtual void HeaderHook() {}
    virtual void ContentsHook() {}
    // The subclass's own rows for the test dump (list-view rows, for instance).
    virtual void DescribeExtra(std::vector<ControlInfo>& out) const { (void)out; }

    // A hidden report-style list view on the window at `rect` (layout pixels): grid lines,
    // whole-row selection, read-only, single selection, column headers, Segoe UI 11 pt. `name`
    // (static storage) names it in the test dump. Null when it could not be made.
    HWND AddListView(const char* name, const tvd::Rect& rect, std::span<const ListColumn> columns);
    // Replaces the view's rows; a row's cells beyond the columns are ignored by the control.
    static void FillListView(HWND view, const std::vector<ListRow>& rows);
    // The view's columns (`NAME.column.N`, width in `rect`) and rows (`NAME.row.N`, the cells
    // joined by a tab) as the control holds them, for the test dump.
    static void DescribeListView(std::vector<ControlInfo>& out, HWND view, const std::string& name);

    TclCustomFrame* Frame() const { return frame_.get(); }
    int ClientWidth() const { return width_; }
    int ClientHeight() const { return height_; }
    // Layout pixels to the window's device pixels.
    int Scaled(int layoutPx) const;

private:
    static std::vector<ControlInfo> ListControls(HWND window);
    void RunModal();

    std::string name_;
    std::unique_ptr<TclCustomFrame> frame_;
    int width_ = 0;
    int height_ = 0;
    std::vector<HWND> listViews_;
    HFONT listFont_ = nullptr;
    ZoltRef<clFunDisk> disk_;
    bool open_ = false;
    bool done_ = false;
};

} // namespace tvd::win
