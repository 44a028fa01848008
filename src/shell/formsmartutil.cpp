#include "shell/formsmartutil.h"

#include <algorithm>

#include "foundation/textconvutil.h"
#include "shell/formattext.h"

namespace tvd {

const std::vector<SmartColumn>& SmartAtaColumns() {
    static const std::vector<SmartColumn> columns = {{u"ID", 40},        {u"Name", 210},
                                                     {u"Threshold", 80}, {u"Value", 50},
                                                     {u"Worst", 50},     {u"Raw Data", 150}};
    return columns;
}

const std::vector<SmartColumn>& SmartNvmeColumns() {
    static const std::vector<SmartColumn> columns = {{u"ID", 40}, {u"Name", 390}, {u"Value", 150}};
    return columns;
}

namespace {

// The stored entries only: a count read from elsewhere never reaches past the array.
template <class F> void ForEachAttribute(const SmartAttributeList& list, F f) {
    const int count = std::clamp(list.count, 0, kSmartMaxAttributes);
    for (int i = 0; i < count; ++i)
        if (list.entries[i].id != 0) f(list.entries[i]);
}

std::u16string Id(const SmartAttribute& a) {
    return FormatText(u"%02X", {static_cast<unsigned>(a.id)});
}

std::u16string Raw(const SmartAttribute& a) {
    return FormatText(u"%016llX", {static_cast<unsigned long long>(a.raw)});
}

} // namespace

std::vector<SmartRow> BuildSmartAtaRows(const SmartAttributeList& list,
                                        const std::function<std::u16string(std::uint8_t)>& name) {
    std::vector<SmartRow> rows;
    ForEachAttribute(list, [&](const SmartAttribute& a) {
        rows.push_back({Id(a), name ? name(a.id) : std::u16string(),
                        FormatText(u"%i", {static_cast<int>(a.threshold)}),
                        FormatText(u"%i", {static_cast<int>(a.current)}),
                        FormatText(u"%i", {static_cast<int>(a.worst)}), Raw(a)});
    });
    return rows;
}

std::vector<SmartRow> BuildSmartNvmeRows(const SmartAttributeList& list,
                                         const std::function<std::u16string(std::uint8_t)>& name) {
    std::vector<SmartRow> rows;
    ForEachAttribute(list, [&](const SmartAttribute& a) {
        rows.push_back({Id(a), name ? name(a.id) : std::u16string(), Raw(a)});
    });
    return rows;
}

SmartWindowContents BuildSmartWindowContents(clFunDisk* fd, const MessageLookup& text) {
    SmartWindowContents c;
    if (!fd) return c;
    const std::string* model = GetModel(fd);
    c.header = FormatText(u"%s:\n%s", {text ? text(pagessdmsg::kSmartDetails) : std::u16string(),
                                       Utf8ToUtf16(model ? *model : std::string())});
    clSmart* smart = fd->smart.smart.get();
    if (!smart) return c;
    auto name = [smart](std::uint8_t id) { return smart->GetAttributeName(id); };
    if (fd->nvme) {
        c.kind = SmartViewKind::kNvme;
        c.rows = BuildSmartNvmeRows(smart->Attributes(), name);
    } else if (fd->ata) {
        c.kind = SmartViewKind::kAta;
        c.rows = BuildSmartAtaRows(smart->Attributes(), name);
    }
    return c;
}

} // namespace tvd
