// pci.ids texts for the lookup's tests: templates where {V} {D} {SV} {SD} stand for the ids
// looked up, as four lowercase hex digits, so the same texts can name any machine's functions
// for lspci. `malformed` texts are ones pciutils refuses as a whole.
#pragma once
#include <cstdio>
#include <string>
#include <vector>

#include "report/pciidsutil.h"

namespace tvd::test {

struct PciIdsCase {
    const char* what;
    std::string text;
    bool malformed;
    // Expected names for ids that differ from every other id in the text.
    std::string vendor, device, subsystem;
};

inline std::string Hex4(unsigned v, bool upper = false) {
    char b[8];
    std::snprintf(b, sizeof b, upper ? "%04X" : "%04x", v & 0xFFFF);
    return b;
}

inline std::string FillPciIds(std::string text, const PciIds& ids) {
    const struct {
        const char* key;
        std::uint16_t value;
        bool upper;
    } keys[] = {{"{SV}", ids.subVendor, false}, {"{SD}", ids.subDevice, false},
                {"{VU}", ids.vendor, true},     {"{DU}", ids.device, true},
                {"{V}", ids.vendor, false},     {"{D}", ids.device, false}};
    for (const auto& k : keys)
        for (std::size_t at; (at = text.find(k.key)) != std::string::npos;)
            text.replace(at, std::char_traits<char>::length(k.key), Hex4(k.value, k.upper));
    return text;
}

inline std::vector<PciIdsCase> PciIdsCases() {
    const std::string head = "# header comment\n\n   \t\n"
                             "0001  SafeNet (wrong ID)\n"
                             "\t0001  Not our device\n";
    const std::string vendor = "{V}  Test Vendor, Inc.\n"
                               "\t{D}  Test Controller [AHCI mode]\n"
                               "\t\t{SV} {SD}  Test Board\n";
    const std::string classes = "C 01  Mass storage controller\n"
                                "\t06  SATA controller\n"
                                "\t\t01  AHCI 1.0\n";
    std::vector<PciIdsCase> c = {
        {"well formed", head + vendor + classes, false, "Test Vendor, Inc.",
         "Test Controller [AHCI mode]", "Test Board"},
        {"empty file", "", false, "", "", ""},
        {"only comments", "# nothing\n#\n", false, "", "", ""},
        {"CR LF lines", "{V}  Maker CR\r\n\t{D}  Part CR\r\n", false, "Maker CR", "Part CR", ""},
        {"text after a CR is dropped", "{V}  Maker\rhidden\n\t{D}  Part\n", false, "Maker", "Part",
         ""},
        {"one space, tabs, trailing blank", "{V} One Space \n\t{D}\tTabbed\n\t\t{SV}\t{SD}\tSub\n",
         false, "One Space", "Tabbed", "Sub"},
        {"no newline at the end", "{V}  Maker\n\t{D}  Last line", false, "Maker", "Last line", ""},
        {"unknown category skipped", "X 12  Reserved\n\tzz  anything at all\n" + vendor, false,
         "Test Vendor, Inc.", "Test Controller [AHCI mode]", "Test Board"},
        {"generic subsystem block",
         "{SV}  Board Maker\n{V}  Maker\n\t{D}  Part\nS {SV}\n\t{SD}  Generic Board\n", false,
         "Maker", "Part", "Generic Board"},
        {"control bytes and Latin-1 kept raw",
         "{V}  Ven\x01"
         "dor \xe9\n\t{D}  Dev\x1b[2Jice\n",
         false,
         "Ven\x01"
         "dor \xe9",
         "Dev\x1b[2Jice", ""},
        {"longest line", "{V}  " + std::string(1016, 'v') + "\n\t{D}  Part\n", false,
         std::string(1016, 'v'), "Part", ""},
        // Refused: pciutils gives no names at all for these.
        {"bad vendor id", "zzzz  Bad\n" + vendor, true, "", "", ""},
        {"short vendor id", "{V}\n", true, "", "", ""},
        {"id without a name", "{V}  Vendor\n\t{D}\n", true, "", "", ""},
        {"id and blanks only", "{V}  Vendor\n\t{D}    \n", true, "", "", ""},
        {"no blank after the id", "{V}Vendor\n", true, "", "", ""},
        {"device before any vendor", "\t{D}  Orphan\n" + vendor, true, "", "", ""},
        {"three tabs deep", vendor + "\t\t\t0000  Too deep\n", true, "", "", ""},
        {"duplicate vendor", vendor + "{V}  Again\n", true, "", "", ""},
        {"duplicate device", vendor + "\t{D}  Again\n", true, "", "", ""},
        {"subsystem without a blank", "{V}  V\n\t{D}  D\n\t\t{SV}{SD}  S\n", true, "", "", ""},
        {"generic block of an unknown vendor", "S fffe\n\t0001  x\n" + vendor, true, "", "", ""},
        {"line too long", "{V}  " + std::string(1017, 'v') + "\n\t{D}  Device\n", true, "", "", ""},
        {"NUL inside a line", std::string("{V}  Ven\0dor\n", 13) + "\t{D}  Device\n", true, "", "",
         ""},
        {"bad class id", vendor + "C zz  Bad class\n", true, "", "", ""},
        {"upper-case ids", "{VU}  Upper\n\t{DU}  Upper Device\n", false, "Upper", "Upper Device",
         ""},
    };
    return c;
}

} // namespace tvd::test
