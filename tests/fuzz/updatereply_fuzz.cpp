#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/versioninfo.h"
#include "net/jsonutil.h"
#include "net/panelfwupdateutil.h"
#include "net/panelswupdateutil.h"
#include "net/weburlutil.h"

// Replies of the update services come from the network: every lookup, both decoders, the URL
// check and the form builder must stay in bounds, and whatever they accept must hold up.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tvd;
    // The lookups on exactly these bytes (a copy, so that reading past the end is caught).
    const std::string copy(reinterpret_cast<const char*>(data), size);
    const auto* t = reinterpret_cast<const std::uint8_t*>(copy.data());
    const std::string_view key = size > 0 ? std::string_view(copy).substr(1, data[0] % 8) : "";
    for (std::string_view k : {std::string_view("statuscode"), std::string_view("url"), key}) {
        if (auto span = JsonFindMember(t, size, k)) {
            if (span->start >= span->end || span->end > size) __builtin_trap();
        }
        JsonGetString(t, size, k);
        JsonGetNumber(t, size, k);
        const auto off = JsonObjectOffset(t, size, k);
        if (off >= 0) {
            if (static_cast<std::size_t>(off) >= size || t[off] != '{') __builtin_trap();
            JsonGetString(t + off, size - static_cast<std::size_t>(off), k);
        }
    }

    const UpdateOutcome fw = DecodeFwUpdateReply(false, 0, 200, t, size);
    if (fw.state == UpdateCheckState::kUpdateAvailable &&
        (!IsSafeBrowserUrl(fw.url) || fw.fileName.empty()))
        __builtin_trap();
    const UpdateOutcome sw = DecodeSwUpdateReply(false, 0, 200, t, size, kProductVersionNumber);
    if (sw.state == UpdateCheckState::kUpdateAvailable && !IsSafeBrowserUrl(sw.url))
        __builtin_trap();

    if (IsSafeBrowserUrl(copy)) {
        HttpsUrl u;
        if (!ParseHttpsUrl(copy, u) || u.host.empty() || u.path.empty() || u.path[0] != '/')
            __builtin_trap();
    }

    const std::size_t cut = size / 2;
    std::string body;
    if (BuildFwUpdateForm(std::string_view(copy).substr(0, cut), std::string_view(copy).substr(cut),
                          "k", body) == 0) {
        std::size_t count = 0;
        for (std::size_t p = body.find("--boundary1"); p != std::string::npos;
             p = body.find("--boundary1", p + 1))
            ++count;
        if (count != 4) __builtin_trap();
    }
    return 0;
}
