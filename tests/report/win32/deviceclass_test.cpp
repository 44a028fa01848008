// The device class blocks and the monitor devices against what reg.exe, a reader we did not
// write, finds in the registry the setup API serves them from; the APPS section against the
// uninstall keys reg.exe writes in each registry view.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <optional>
#include <regex>
#include <string>

#include "report/infodeviceclassutil.h"
#include "report/infosavemonitorutil.h"
#include "report/infosavesystemutil.h"

namespace tvd {
namespace {

struct RegResult {
    int status = -1;
    std::string out;
};

RegResult Reg(const std::string& arguments) {
    RegResult r;
    std::FILE* p = _popen(("reg " + arguments + " 2>NUL").c_str(), "rb");
    if (!p) return r;
    for (int c; (c = std::fgetc(p)) != EOF;)
        r.out += static_cast<char>(c);
    r.status = _pclose(p);
    return r;
}

// The text of a REG_SZ value as reg query prints it; empty when absent.
std::string RegText(const std::string& key, const char* value) {
    const RegResult r = Reg("query \"" + key + "\" /v " + value);
    std::smatch m;
    if (r.status != 0 ||
        !std::regex_search(r.out, m, std::regex(std::string(value) + "\\s+REG_SZ\\s+([^\r\n]*)")))
        return {};
    return m[1];
}

TEST(DeviceClassWin, ClassKeysAndFiltersAsTheRegistryHoldsThem) {
    if (Reg("/?").status < 0) GTEST_SKIP() << "reg.exe cannot be started";
    const struct {
        ReportDeviceClass cls;
        const char* guid;
    } classes[] = {
        {ReportDeviceClass::kMonitor, "{4D36E96E-E325-11CE-BFC1-08002BE10318}"},
        {ReportDeviceClass::kAtaController, "{4D36E96A-E325-11CE-BFC1-08002BE10318}"},
        {ReportDeviceClass::kScsiController, "{4D36E97B-E325-11CE-BFC1-08002BE10318}"},
        {ReportDeviceClass::kUsb, "{36FC9E60-C465-11CF-8056-444553540000}"},
        {ReportDeviceClass::kDisk, "{4D36E967-E325-11CE-BFC1-08002BE10318}"},
        {ReportDeviceClass::kVolume, "{71A27CDD-812A-11D0-BEC7-08002BE2092F}"},
    };
    int keys = 0;
    for (const auto& c : classes) {
        SCOPED_TRACE(c.guid);
        const std::string key =
            std::string("HKLM\\System\\CurrentControlSet\\Control\\Class\\") + c.guid;
        const DeviceClassFacts f = GatherDeviceClass(c.cls);
        const bool exists = Reg("query \"" + key + "\"").status == 0;
        EXPECT_EQ(f.classKeyError == err::kSuccess, exists);
        if (!exists) continue;
        ++keys;
        for (const auto& [value, filter] :
             {std::pair{"UpperFilters", &f.upper}, std::pair{"LowerFilters", &f.lower}}) {
            const bool present = Reg("query \"" + key + "\" /v " + value).status == 0;
            EXPECT_EQ(filter->error == err::kSuccess, present) << value;
        }
        // Only started devices are listed, each with the instance id of its own node.
        for (const NodeFacts& n : f.devices)
            EXPECT_TRUE(n.instanceId && !n.instanceId->empty());
    }
    EXPECT_GT(keys, 0);
}

TEST(DeviceClassWin, MonitorDevicesAsTheRegistryHoldsThem) {
    if (Reg("/?").status < 0) GTEST_SKIP() << "reg.exe cannot be started";
    const MonitorSectionFacts f = GatherMonitorFacts();
    ASSERT_TRUE(f.listOk);
    if (f.monitors.empty()) GTEST_SKIP() << "no monitor device on this system";
    int described = 0;
    for (const MonitorDeviceFacts& m : f.monitors) {
        ASSERT_TRUE(m.node.instanceId);
        SCOPED_TRACE(*m.node.instanceId);
        const std::string key = "HKLM\\System\\CurrentControlSet\\Enum\\" + *m.node.instanceId;
        EXPECT_EQ(RegText(key, "ClassGUID"), "{4D36E96E-E325-11CE-BFC1-08002BE10318}");
        EXPECT_EQ(RegText(key, "DeviceDesc"), m.node.description.value_or(""));
        described += m.node.description.has_value();
        EXPECT_EQ(RegText(key, "Driver"), m.node.driver.value_or(""));
        EXPECT_EQ(RegText(key, "FriendlyName"), m.node.friendlyName.value_or(""));
        // The EDID is read from the device key only when the value is there.
        const bool edid = Reg("query \"" + key + "\\Device Parameters\" /v EDID").status == 0;
        EXPECT_EQ(m.edidError == err::kSuccess, edid);
    }
    EXPECT_GT(described, 0); // a comparison of empty texts on both sides proves nothing
    // Two views of the window system: the metric and the monitors it enumerates.
    EXPECT_EQ(static_cast<std::size_t>(f.count), f.displays.size());
    EXPECT_EQ(f.workAreaError, err::kSuccess);
}

// A program registered in the 32-bit view and one in the 64-bit view are each listed once: a
// 64-bit program asking for its default view would list the 64-bit view twice.
TEST(ReportAppsWin, EachRegistryViewListedOnce) {
    if (sizeof(void*) != 8) GTEST_SKIP() << "the two views are those of a 64-bit system";
    if (Reg("/?").status < 0) GTEST_SKIP() << "reg.exe cannot be started";
    const std::string base = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
    const struct {
        const char *key, *name, *view, *version;
    } entries[] = {{"TvdReportApp32", "TVD Report App 32", "/reg:32", "3.2"},
                   {"TvdReportApp64", "TVD Report App 64", "/reg:64", nullptr}};
    struct Cleanup {
        std::string base;
        ~Cleanup() {
            for (const char* view : {"/reg:32", "/reg:64"})
                for (const char* key : {"TvdReportApp32", "TvdReportApp64"})
                    Reg("delete \"" + base + key + "\" /f " + view);
        }
    } cleanup{base};
    for (const auto& e : entries) {
        ASSERT_EQ(Reg("add \"" + base + e.key + "\" /v DisplayName /t REG_SZ /d \"" + e.name +
                      "\" /f " + e.view)
                      .status,
                  0)
            << e.key;
        if (e.version) {
            ASSERT_EQ(Reg("add \"" + base + e.key + "\" /v DisplayVersion /t REG_SZ /d " +
                          e.version + " /f " + e.view)
                          .status,
                      0);
        }
    }
    const AppsFacts f = GatherAppsFacts();
    EXPECT_TRUE(f.supported);
    for (const auto& e : entries) {
        SCOPED_TRACE(e.name);
        int listed = 0;
        for (const AppEntry& a : f.apps) {
            if (a.name != e.name) continue;
            ++listed;
            EXPECT_EQ(a.version, e.version ? std::optional<std::string>(e.version) : std::nullopt);
        }
        EXPECT_EQ(listed, 1);
    }
}

} // namespace
} // namespace tvd
