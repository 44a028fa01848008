// Names and places of what the installer put on the machine, and the uninstaller's own.
#pragma once
#include <cstdint>

namespace tvd::uninstall {

inline constexpr const char16_t* kProductName = u"Tarvik";
inline constexpr const char16_t* kMainWindowClass = u"TFormTarvikdornMain";
inline constexpr const char16_t* kMainWindowCaption = u"Tarvik";
inline constexpr const char16_t* kWindowClass = u"TFormUninstall";
inline constexpr const char16_t* kWindowCaption = u"VORNA Tarvik Uninstaller";
inline constexpr const char16_t* kInstanceLockName = u"Local\\TarvikdornUninstallInstance";
inline constexpr const char16_t* kCompanyFolder = u"VORNA";
inline constexpr const char16_t* kShortcutName = u"VORNA Tarvik";
inline constexpr const char16_t* kUninstallShortcutName = u"Uninstall";
inline constexpr const char16_t* kProductKeyName = u"VornaTarvikdorn";
inline constexpr const char16_t* kProductFolder = u"Tarvik";
inline constexpr const char16_t* kVendorDataFolder = u"Zolt";
inline constexpr const char16_t* kMainProgramFile = u"Tarvikdorn.exe";
inline constexpr const char16_t* kUninstallerFile = u"VORNA_TarvikdornUninstall.exe";
inline constexpr const char16_t* kBatchFileName = u"VornaTarvikdorn Delete Files.bat";

inline constexpr const char* kUninstallKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VornaTarvikdorn";
inline constexpr const char* kUninstallStringValue = "UninstallString";
inline constexpr const char* kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const char* kRunValue = "VornaTarvikdorn";

// Message ids of the uninstaller's tables.
namespace msg {
inline constexpr std::int32_t kYes = 20002;
inline constexpr std::int32_t kNo = 20003;
// The message box's button.
inline constexpr std::int32_t kOk = 20004;
inline constexpr std::int32_t kCancel = 20005;
inline constexpr std::int32_t kMemoryAllocationFailed = 20011;
inline constexpr std::int32_t kDone = 20023;
inline constexpr std::int32_t kStartTitle = 20050;
inline constexpr std::int32_t kStartQuestion = 20051;
inline constexpr std::int32_t kProgressTitle = 20052;
inline constexpr std::int32_t kFinalTitle = 20053;
// The main program did not end within the bound; also the steps' result in that case.
inline constexpr std::int32_t kMainProgramBusy = 20054;
} // namespace msg

} // namespace tvd::uninstall
