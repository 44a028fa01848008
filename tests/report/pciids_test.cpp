// The pci.ids lookup on texts with hostile lines; the Linux tests hold the same texts against
// lspci.
#include <gtest/gtest.h>

#include <sstream>

#include "report/pciidscases.h"
#include "report/pciidsutil.h"

namespace tvd {
namespace {

TEST(ReportPciIds, LookupTable) {
    const PciIds ids{0x8086, 0x2922, 0x1af4, 0x1100};
    for (const test::PciIdsCase& c : test::PciIdsCases()) {
        SCOPED_TRACE(c.what);
        std::istringstream in(test::FillPciIds(c.text, ids));
        const auto names = PciIdsLookup(in, ids);
        ASSERT_EQ(names.has_value(), !c.malformed);
        if (!names) continue;
        EXPECT_EQ(names->vendor, c.vendor);
        EXPECT_EQ(names->device, c.device);
        EXPECT_EQ(names->subsystem, c.subsystem);
    }
}

TEST(ReportPciIds, UpperCaseIdsAndOtherIds) {
    std::istringstream upper("8086  Intel\n\t2922  AHCI\n\t\t1AF4 1100  QEMU\n");
    const auto names = PciIdsLookup(upper, {0x8086, 0x2922, 0x1af4, 0x1100});
    ASSERT_TRUE(names);
    EXPECT_EQ(PciIdsDisplayName(*names), "Intel AHCI (QEMU)");
    // A device of another vendor with the same device id is not ours.
    std::istringstream other("1234  Other\n\t2922  Not this\n8086  Intel\n");
    const auto vendorOnly = PciIdsLookup(other, {0x8086, 0x2922, 0, 0});
    ASSERT_TRUE(vendorOnly);
    EXPECT_EQ(PciIdsDisplayName(*vendorOnly), "Intel");
    EXPECT_EQ(PciIdsDisplayName({"", "", "x"}), "");
}

TEST(ReportPciIds, OverLongTextIsRefused) {
    std::string text = "8086  Intel\n";
    while (text.size() <= kPciIdsMaxBytes)
        text += "# padding padding padding padding padding padding padding padding padding\n";
    std::istringstream in(text);
    EXPECT_FALSE(PciIdsLookup(in, {0x8086, 0, 0, 0}));
    EXPECT_FALSE(PciIdsLookupFile({"/nonexistent/pci.ids", ""}, {0x8086, 0, 0, 0}));
}

} // namespace
} // namespace tvd
