// The volumes of a Windows disk for its partition snapshot: the device layer's drive letters and
// volume objects by disk extent, and the volume information Windows keeps for each.
#include <windows.h>

#include <string>

#include "drive/fundiskpartitionsutil.h"
#include "foundation/winfolderutila.h"
#include "storage/deviceregistry.h"
#include "storage/storageplatform.h"
#include "storage/devicehandleutil.h"

namespace tvd {
namespace {

std::u16string Wide(const std::string& text) {
    return std::u16string(text.begin(), text.end()); // device paths are ASCII
}

class WinVolumeLookup : public VolumeLookup {
public:
    explicit WinVolumeLookup(std::int64_t diskNumber)
        : diskNumber_(diskNumber), windowsLetter_(WindowsDriveLetter()) {}

    bool Find(std::uint64_t offset, VolumeMatch& out) const override {
        out = VolumeMatch{};
        const clDrive* drive = FindDriveByExtent(diskNumber_, offset);
        clVolume* volume = FindVolumeByExtent(diskNumber_, offset);
        if (drive == nullptr && volume == nullptr) return false;
        if (volume != nullptr && !volume->Path().empty())
            out.volumePath = u"\\\\?\\" + Wide(volume->Path()) + u"\\";
        if (drive != nullptr) {
            out.letter = drive->Letter();
            out.root = {char16_t(out.letter), u':', u'\\'};
        } else {
            out.root = out.volumePath;
        }
        if (out.root.empty()) return true;
        wchar_t label[MAX_PATH + 1] = {};
        wchar_t fileSystem[kMaxFileSystemChars + 1] = {};
        const std::wstring root(out.root.begin(), out.root.end());
        if (GetVolumeInformationW(root.c_str(), label, MAX_PATH + 1, nullptr, nullptr, nullptr,
                                  fileSystem, DWORD(kMaxFileSystemChars + 1))) {
            out.label.assign(label, label + wcsnlen(label, MAX_PATH + 1));
            out.fileSystem.assign(fileSystem,
                                  fileSystem + wcsnlen(fileSystem, kMaxFileSystemChars + 1));
        }
        return true;
    }

    bool FileExists(const std::u16string& root, std::u16string_view relative) const override {
        if (root.empty()) return false;
        std::wstring path(root.begin(), root.end());
        path.append(relative.begin(), relative.end());
        const DWORD attributes = GetFileAttributesW(path.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    }

    char WindowsLetter() const override { return windowsLetter_; }

private:
    std::int64_t diskNumber_;
    char windowsLetter_;
};

} // namespace

std::unique_ptr<VolumeLookup> NewPlatformVolumeLookup(const std::string& diskPath) {
    DeviceHandle h;
    StorageDeviceNumber number;
    if (diskPath.empty() || OpenDevice(diskPath, h) != err::kSuccess ||
        Storage().GetDeviceNumber(h, number) != err::kSuccess || number.deviceNumber < 0)
        return std::make_unique<NoVolumeLookup>();
    return std::make_unique<WinVolumeLookup>(number.deviceNumber);
}

} // namespace tvd
