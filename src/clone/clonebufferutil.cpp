#include "clone/clonebufferutil.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "clone/kernelclonefun.h"

#ifdef _WIN32
#include <malloc.h>
#endif

namespace tvd {

namespace {

AlignedBuffer g_shared;
std::unique_ptr<std::u16string> g_current, g_display;

bool EnsurePaths() {
    if (!g_current) {
        g_current.reset(new (std::nothrow) std::u16string);
        if (!g_current) {
            CloneError("Allocate filename buffer fail");
            return false;
        }
        g_current->reserve(kClonePathUnits);
    }
    if (!g_display) {
        g_display.reset(new (std::nothrow) std::u16string);
        if (!g_display) {
            CloneError("Allocate display filename buffer fail");
            return false;
        }
        g_display->reserve(kClonePathUnits);
    }
    return true;
}

} // namespace

bool IsPageAligned(const void* p) {
    return reinterpret_cast<std::uintptr_t>(p) % kClonePageSize == 0;
}

bool SharedBufferEnsure(std::size_t size) {
    if (g_shared.Data() && g_shared.Size() >= size) return true;
    if (!g_shared.Allocate(size)) {
        CloneError("Allocate buffer [%i] bytes fail", size);
        return false;
    }
    return true;
}

MutableByteView SharedBuffer() {
    return g_shared.View();
}

void SharedBufferRelease() {
    g_shared.Free();
}

std::u16string* CurrentPath() {
    return EnsurePaths() ? g_current.get() : nullptr;
}

std::u16string* DisplayPath() {
    return EnsurePaths() ? g_display.get() : nullptr;
}

int SetPathPrefix(char letter, std::u16string_view root) {
    std::u16string* path = CurrentPath();
    if (!path) return -1;
    if (letter != 0) {
        *path = {char16_t(std::uint8_t(letter)), u':', u'\\'};
    } else if (!root.empty() && root.size() < kClonePathUnits) {
        path->assign(root);
    } else {
        *path = u"\\";
    }
    return int(path->size());
}

} // namespace tvd
