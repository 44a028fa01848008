#include "report/infosavesystemutil.h"

#include <cstdio>

#include "foundation/smbiosutil.h"

namespace tvd {

namespace {

template <class... A> std::string Format(const char* format, A... args) {
    char buffer[256];
    const int n = std::snprintf(buffer, sizeof buffer, format, args...);
    return n < 0 ? std::string() : std::string(buffer, std::min<std::size_t>(n, sizeof buffer - 1));
}

// "%s = [%i] (%s)" with the string number and its text ("(NULL)" for 0 or a missing string).
bool SmbiosText(ReportWriter& w, ByteView blob, std::int64_t o, std::string_view name,
                std::size_t field) {
    const auto index = SmbiosByte(blob, o, field);
    const auto text = SmbiosFieldString(blob, o, field);
    const std::string value = text ? DeviceText(*text) : std::string();
    return w.NumberName(name, index.value_or(0), text ? value.c_str() : nullptr);
}

bool NotFound(ReportWriter& w) {
    return w.ErrorLine(" ** Not found.");
}

bool WriteFact(ReportWriter& w, std::string_view name, const TextFact& f) {
    if (!f.supported) return w.NotSupported(std::string(name.substr(name.find_first_not_of(' '))));
    if (f.error) return w.GetError(name.substr(name.find_first_not_of(' ')), f.error);
    return w.Value(name, f.value);
}

bool WriteAddresses(ReportWriter& w, const char* name, const std::vector<NetAddress>& list) {
    if (list.empty()) return w.Line(Format("  %s : NULL", name));
    for (std::size_t i = 0; i < list.size(); ++i) {
        const NetAddress& a = list[i];
        const std::string tail = Format("IPAddress=[%s], SubnetMask=[%s], Context=[%08X]",
                                        a.ip.c_str(), a.mask.c_str(), a.context);
        if (!w.Line(i == 0 ? Format("  %s : ", name) + tail : "    " + tail)) return false;
    }
    return true;
}

} // namespace

bool WriteSmbiosSection(ReportWriter& w, ErrorCode error, const std::vector<std::uint8_t>& raw) {
    if (!w.Line("SM-BIOS :")) return false;
    const ByteView blob(raw);
    if (error || raw.size() < kSmbiosHeaderSize) return w.ErrorLine("  ** Read SM-BIOS fail.");
    if (!w.Line(Format(" Verion=[%i.%i], DataLength=[%i]", raw[1], raw[2],
                       static_cast<int>(raw.size() - kSmbiosHeaderSize))))
        return false;
    const std::int64_t start = kSmbiosHeaderSize;
    auto find = [&](std::uint8_t type) { return FindSmbiosStructure(blob, start, type); };
    if (!w.Line(" Type0(BIOS) :")) return false;
    if (auto o = find(0);
        o < 0 ? !NotFound(w)
              : !(SmbiosText(w, blob, o, "  Vendor", 4) && SmbiosText(w, blob, o, "  Version", 5) &&
                  SmbiosText(w, blob, o, "  ReleaseDate", 8)))
        return false;
    if (!w.Line(" Type1(System) :")) return false;
    if (auto o = find(1);
        o < 0 ? !NotFound(w)
              : !(SmbiosText(w, blob, o, "  Manufacturer", 4) &&
                  SmbiosText(w, blob, o, "  Product", 5) &&
                  SmbiosText(w, blob, o, "  Version", 6) && SmbiosText(w, blob, o, "  Serial", 7)))
        return false;
    if (!w.Line(" Type2(Baseboard) :")) return false;
    if (auto o = find(2); o < 0) {
        if (!NotFound(w)) return false;
    } else {
        const std::uint8_t type = SmbiosByte(blob, o, 0x0D).value_or(0);
        if (!w.NumberName("  BoardType", type, SmbiosBoardTypeName(type)) ||
            !SmbiosText(w, blob, o, "  Manufacturer", 4) ||
            !SmbiosText(w, blob, o, "  Product", 5) || !SmbiosText(w, blob, o, "  Version", 6) ||
            !SmbiosText(w, blob, o, "  Serial", 7))
            return false;
    }
    if (!w.Line(" Type3(Chassis) :")) return false;
    if (auto o = find(3); o < 0) {
        if (!NotFound(w)) return false;
    } else {
        const std::uint8_t type = SmbiosByte(blob, o, 5).value_or(0) & 0x7F;
        if (!w.NumberName("  EnclosureType", type, SmbiosChassisTypeName(type)) ||
            !SmbiosText(w, blob, o, "  Manufacturer", 4) ||
            !SmbiosText(w, blob, o, "  Version", 6) || !SmbiosText(w, blob, o, "  Serial", 7) ||
            !SmbiosText(w, blob, o, "  AssetTagNumber", 8))
            return false;
    }
    if (!w.Line(" Type4(Processor) :")) return false;
    std::int64_t o = find(4);
    if (o < 0 && !NotFound(w)) return false;
    for (int n = 0; o >= 0 && n < 256;
         o = FindSmbiosStructure(blob, NextSmbiosStructure(blob, o), 4), ++n) {
        const std::uint8_t cores = SmbiosByte(blob, o, 0x23).value_or(0);
        const std::uint8_t threads = SmbiosByte(blob, o, 0x25).value_or(0);
        if (!SmbiosText(w, blob, o, "  Processor", 0x10) ||
            !w.Unsigned("   ProcessorType", SmbiosByte(blob, o, 5).value_or(0)) ||
            !w.Value("   Clock", Format("%u/%u", SmbiosWord(blob, o, 0x16).value_or(0),
                                        SmbiosWord(blob, o, 0x14).value_or(0))) ||
            !w.Value("   Core/Thread", Format("%u/%u", cores, threads)))
            return false;
    }
    if (!w.Line(" Type16(Physical Memory Array) :")) return false;
    if (auto a = find(16);
        a < 0 ? !NotFound(w)
              : !(w.Unsigned("  MaximumCapacity", SmbiosDword(blob, a, 7).value_or(0)) &&
                  w.Unsigned("  NumberOfMemoryDevices", SmbiosWord(blob, a, 0x0D).value_or(0))))
        return false;
    if (!w.Line(" Type17(Memory Device) :")) return false;
    o = find(17);
    if (o < 0 && !NotFound(w)) return false;
    for (std::uint32_t n = 1; o >= 0 && n <= 1024;
         o = FindSmbiosStructure(blob, NextSmbiosStructure(blob, o), 17), ++n) {
        if (!w.Unsigned("  Device", n) || !SmbiosText(w, blob, o, "   DeviceLocator", 0x10) ||
            !SmbiosText(w, blob, o, "   BankLocator", 0x11))
            return false;
        if (SmbiosWord(blob, o, 0x0C).value_or(0) == 0) continue;
        const std::uint8_t type = SmbiosByte(blob, o, 0x12).value_or(0);
        const unsigned speed = SmbiosWord(blob, o, 0x15).value_or(0);
        const char* typeName = SmbiosMemoryTypeName(type);
        if (!w.Value("   MemorySize", ReportSizeText(SmbiosMemorySize(blob, o))) ||
            !w.Value("   MemoryType", typeName ? Format("%s-%u", typeName, speed)
                                               : Format("Type%u-%u", type, speed)) ||
            !SmbiosText(w, blob, o, "   Manufacturer", 0x17) ||
            !SmbiosText(w, blob, o, "   PartNumber", 0x1A) ||
            !SmbiosText(w, blob, o, "   Serial Number", 0x18))
            return false;
    }
    return true;
}

bool WriteComputerSection(ReportWriter& w, const ComputerFacts& f) {
    if (!w.Line("OS Info :") || !w.Line(" OSVERSIONINFO :")) return false;
    if (f.platformId ? !w.Line(Format("  dwPlatformId = [%u]", *f.platformId))
                     : !w.NotSupported("dwPlatformId"))
        return false;
    if (!w.Line(Format("  Version = [%u.%u.%u]", f.major, f.minor, f.build))) return false;
    if (f.productType) {
        const std::string line =
            f.productName ? Format(" Product = [0x%02X](%s)", f.productType, f.productName)
                          : Format(" Product = [0x%02X]", f.productType);
        if (!w.Line(line)) return false;
    }
    if (!w.Value(" OS", f.osName)) return false;
    if (f.osCaption && !w.Value(" OS Name", *f.osCaption)) return false;
    if (f.isServer ? !w.Bool(" IsServer", *f.isServer) : !w.NotSupported("IsServer")) return false;
    if (f.isWinPe ? !w.Bool(" IsWinPE", *f.isWinPe) : !w.NotSupported("IsWinPE")) return false;
    if (!w.Bool(" Admin Mode", f.admin) || !w.Eol()) return false;

    if (!w.Line("CPU ID :") || !w.Value(" Vendor String", f.cpuVendor)) return false;
    if (f.cpuBrand.empty() ? !w.ErrorLine("  ** Get CPU Brand fail")
                           : !w.Value(" Brand String", f.cpuBrand))
        return false;
    if (!w.Eol()) return false;

    if (!WriteSmbiosSection(w, f.smbiosError, f.smbios)) return false;
    if (!w.Text("Physical Memory = ")) return false;
    if (f.memoryError
            ? !w.ErrorLine("  ** Get Memory Status fail")
            : !w.Line(Format("[%llu]M/[%llu]M", static_cast<unsigned long long>(f.availableMiB),
                             static_cast<unsigned long long>(f.totalMiB))))
        return false;
    if (!w.Line(Format("UILanguage = [%i]", f.uiLanguage))) return false;
    if (f.timeZone && !w.Line("TimeZone = [" + *f.timeZone + "]")) return false;
    return w.Eol();
}

bool WriteUserSection(ReportWriter& w, const UserFacts& f) {
    return w.Line("User Information :") && WriteFact(w, " Dns Hostname", f.dnsHostname) &&
           WriteFact(w, " Net BIOS", f.netBios) && WriteFact(w, " UserName", f.userName) && w.Eol();
}

bool WriteAppsSection(ReportWriter& w, const AppsFacts& f) {
    if (!w.Line("APPS :")) return false;
    if (!f.supported) return w.NotSupported("APPS") && w.Eol();
    for (const AppEntry& a : f.apps)
        if (!w.Text(" ") || !w.Bracketed(a.name) ||
            !w.Line(", Version=[" + a.version.value_or("") + "]"))
            return false;
    return w.Eol();
}

bool WriteNetSection(ReportWriter& w, const NetFacts& f) {
    if (!w.Line("Net Interface :")) return false;
    if (f.interfacesError) {
        if (!w.Error("GetInterfaceInfo", f.interfacesError)) return false;
    } else {
        if (!w.Line(Format(" NumAdapters = [%i]", static_cast<int>(f.interfaces.size()))))
            return false;
        for (const auto& [index, name] : f.interfaces)
            if (!w.Value(Format(" Index[%u]", index), name)) return false;
    }
    if (!w.Eol() || !w.Line("Net Adapter :")) return false;
    if (f.adaptersError) return w.Error("GetAdaptersInfo", f.adaptersError);
    for (const NetAdapter& a : f.adapters) {
        std::string mac;
        for (std::size_t i = 0; i < a.mac.size() && i < 8; ++i)
            mac += Format(i ? ":%02X" : "%02X", a.mac[i]);
        const char* typeName = a.type == 6    ? "Ethernet"
                               : a.type == 23 ? "PPP"
                               : a.type == 71 ? "802.11"
                                              : nullptr;
        if (!w.Line(Format(" Adapter[%u] :", a.comboIndex)) ||
            !w.Line(Format("  Index = [%u]", a.index)) || !w.Value("  AdapterName", a.name) ||
            !w.Value("  Description", a.description) || !w.Value("  MAC Address", mac) ||
            !w.Line(typeName ? Format("  Type = [%u](%s)", a.type, typeName)
                             : Format("  Type = [%u]", a.type)))
            return false;
        if (a.dhcp ? !w.Bool("  DHCP Enabled", *a.dhcp) : !w.NotSupported("DHCP Enabled"))
            return false;
        if (!WriteAddresses(w, "CurrentIpAddress", a.current) ||
            !WriteAddresses(w, "IpAddressList", a.addresses) ||
            !WriteAddresses(w, "GatewayList", a.gateways))
            return false;
        if (a.dhcpServers ? !WriteAddresses(w, "DhcpServer", *a.dhcpServers)
                          : !w.NotSupported("DhcpServer"))
            return false;
        if (a.haveWins ? !w.Bool("  HaveWins", *a.haveWins) : !w.NotSupported("WINS")) return false;
        if (!w.Eol()) return false;
    }
    return true;
}

bool WriteVolumeInformation(ReportWriter& w, const VolumeInfoFacts& f) {
    if (!w.Line(" Volume Information :") || !w.DriveType(f.driveType)) return false;
    if (f.infoError) {
        if (!w.ErrorLine("  * SaveVolumeInformation fail - GetVolumeInformationW fail."))
            return false;
    } else if (!w.Value("  VolumeLabel", f.label) || !w.Value("  FileSystemName", f.fileSystem) ||
               (f.serial ? !w.Hex08("  VolumeSerialNumber", *f.serial)
                         : !w.NotSupported("VolumeSerialNumber"))) {
        return false;
    }
    if (f.spaceError) {
        if (!w.ErrorLine("  * GetFreeSpace fail.")) return false;
    } else if (!w.Size("  TotalBytes", f.totalBytes) || !w.Size("  FreeBytes ", f.freeBytes)) {
        return false;
    }
    // Only roots that can hold a volume of their own have a volume name.
    const std::uint32_t t = f.driveType;
    if (t != 1 && t != 2 && t != 3 && t != 5 && t != 6) return true;
    if (f.volumeNameError == err::kNotSupported) return w.NotSupported("VolumeName");
    if (f.volumeNameError)
        return w.ErrorLine("  * Get VolumeName fail - GetVolumeNameForVolumeMountPoint fail");
    return w.Value("  VolumeName", f.volumeName);
}

bool WriteDrivesSection(ReportWriter& w, const std::vector<VolumeInfoFacts>& drives) {
    if (!w.Line("Drives :")) return false;
    for (const VolumeInfoFacts& d : drives) {
        if (!w.Line(d.name) || !WriteVolumeInformation(w, d)) return false;
        if (d.connectionName && !w.Value("  ConnectionName", *d.connectionName)) return false;
    }
    return w.Eol();
}

} // namespace tvd
