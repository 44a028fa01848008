// Rows of the S.M.A.R.T. window's list views.
#include <gtest/gtest.h>

#include "shell/formsmartutil.h"

namespace tvd {
namespace {

std::u16string Name(std::uint8_t id) {
    return id == 0xC2 ? u"Temperature" : u"Attribute";
}

SmartAttributeList Sample() {
    SmartAttributeList l;
    l.count = 4;
    l.entries[0] = {5, 10, 100, 99, 0, 0};
    l.entries[1] = {0, 0, 0, 0, 0, 0}; // no id: no row
    l.entries[2] = {0xC2, 0, 65, 45, 0x0000002D0014002Bull, 0};
    l.entries[3] = {0xF1, 0, 100, 100, 0xFFFFFFFFFFFFFFull, 0};
    return l;
}

TEST(SmartRows, AtaRowsInListOrder) {
    const std::vector<SmartRow> rows = BuildSmartAtaRows(Sample(), Name);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], (SmartRow{u"05", u"Attribute", u"10", u"100", u"99", u"0000000000000000"}));
    EXPECT_EQ(rows[1], (SmartRow{u"C2", u"Temperature", u"0", u"65", u"45", u"0000002D0014002B"}));
    EXPECT_EQ(rows[2][0], u"F1");
    EXPECT_EQ(rows[2][5], u"00FFFFFFFFFFFFFF");
    for (const SmartRow& r : rows)
        EXPECT_EQ(r.size(), SmartAtaColumns().size());
}

TEST(SmartRows, NvmeRows) {
    const std::vector<SmartRow> rows = BuildSmartNvmeRows(Sample(), Name);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1], (SmartRow{u"C2", u"Temperature", u"0000002D0014002B"}));
    for (const SmartRow& r : rows)
        EXPECT_EQ(r.size(), SmartNvmeColumns().size());
}

TEST(SmartRows, CountBeyondTheListIsBounded) {
    SmartAttributeList l;
    for (int i = 0; i < kSmartMaxAttributes; ++i)
        l.entries[i].id = static_cast<std::uint8_t>(i + 1);
    l.count = 1000;
    EXPECT_EQ(BuildSmartAtaRows(l, nullptr).size(), static_cast<std::size_t>(kSmartMaxAttributes));
    l.count = -4;
    EXPECT_TRUE(BuildSmartNvmeRows(l, nullptr).empty());
}

TEST(SmartRows, ColumnsAsTheWindowShowsThem) {
    int ata = 0, nvme = 0;
    for (const SmartColumn& c : SmartAtaColumns())
        ata += c.width;
    for (const SmartColumn& c : SmartNvmeColumns())
        nvme += c.width;
    EXPECT_EQ(ata, 580);
    EXPECT_EQ(nvme, 580);
    EXPECT_EQ(std::u16string(SmartAtaColumns()[5].header), u"Raw Data");
}

TEST(SmartRows, WindowWithoutSmartHasNoView) {
    ZoltRef<clFunDisk> d = MakeZoltRef<clFunDisk>(nullptr);
    d->model = "Sim SCSI";
    const SmartWindowContents c = BuildSmartWindowContents(
        d.Get(), [](int) { return std::u16string(u"S.M.A.R.T. Details"); });
    EXPECT_EQ(c.header, u"S.M.A.R.T. Details:\nSim SCSI");
    EXPECT_EQ(c.kind, SmartViewKind::kNone);
    EXPECT_TRUE(c.rows.empty());
}

} // namespace
} // namespace tvd
