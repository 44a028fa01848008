#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "foundation/bytesutil.h"
#include "jobs/fundiskeraseutil.h"
#include "storage/ataidentifyutil.h"
#include "storage/sim/simdevices.h"
#include "storage/winpassthroughatafun.h"

namespace {

// A drive that answers every command with the fuzzer's bytes.
class EchoDrive : public tvd::SimAtaDevice {
public:
    explicit EchoDrive(tvd::ByteView page) : page_(page) {}
    bool Execute(const tvd::AtaRegisters& in, tvd::DataDirection, tvd::MutableByteView data,
                 tvd::AtaRegisters& out) override {
        out = in;
        for (std::size_t i = 0; i < data.size(); ++i)
            data[i] = page_.empty() ? 0 : page_[i % page_.size()];
        return !page_.empty() && (page_[0] & 1);
    }

private:
    tvd::ByteView page_;
};

} // namespace

// IDENTIFY data comes from drives and bridges. Every decoder must stay inside the buffer it is
// given (any length), and the values it reports must be ones a caller can use. The same bytes
// also go to the simulation's request decoders as a Windows request buffer.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    namespace ataid = tvd::ataid;
    const tvd::ByteView id(data, size);
    const bool full = size >= 512;
    const bool valid = ataid::IsValid(id);
    if (valid && !full) __builtin_trap();
    for (const std::string& s : {ataid::Model(id), ataid::Serial(id), ataid::Firmware(id)})
        if (!full ? !s.empty() : s.size() > 40) __builtin_trap();
    ataid::HasChecksum(id);
    ataid::ChecksumOk(id);
    // The erase decides on word 128 before sending anything.
    const tvd::AtaSecurityState sec = tvd::DecodeAtaSecurity(id);
    if (sec.valid != (size >= 258) || (!sec.supported && (sec.enabled || sec.frozen)))
        __builtin_trap();
    tvd::AtaSecurityStateName(sec);
    const int major = ataid::MajorVersion(id);
    if (major < 0 || major > 14) __builtin_trap();
    ataid::MajorVersionName(major);
    ataid::MinorVersionName(id);
    const std::uint8_t highest = ataid::HighestUdmaMode(id);
    if (highest != ataid::kNoMode && highest > 7) __builtin_trap();
    const std::uint8_t selected = ataid::SelectedUdmaMode(id);
    if (selected != ataid::kNoMode && selected > 7) __builtin_trap();
    ataid::UdmaName(ataid::Word(id, 88));
    if (ataid::SataCurrentSpeed(id) > 3) __builtin_trap();
    ataid::SataSpeedName(ataid::SataMaxSpeed(id));
    ataid::SecuritySupported(id);
    ataid::SecurityEnabled(id);
    ataid::Lba48Supported(id);
    const std::uint32_t sector = ataid::LogicalSectorSize(id);
    if (sector < 512 || sector > 65536) __builtin_trap();
    ataid::SectorCount(id);
    std::uint8_t wwn[8];
    ataid::Wwn(id, wwn);
    ataid::IsSolidState(id);
    if (ataid::SecurityEraseTimeoutSeconds(id, size & 1) == 0) __builtin_trap();

    EchoDrive drive(id);
    static const std::uint32_t kCodes[] = {
        tvd::ioctl::kAtaPassThrough, tvd::ioctl::kSmartRcvDriveData,
        tvd::ioctl::kSmartSendDriveCommand, tvd::ioctl::kScsiMiniport};
    static std::uint8_t out[4096];
    for (std::uint32_t code : kCodes) {
        const std::size_t outSize = size ? data[size - 1] * 16 : 0;
        std::uint32_t returned = 0;
        const tvd::ErrorCode e =
            tvd::SimAtaIoControl(drive, 0, code, id, tvd::MutableByteView(out, outSize), returned);
        if (e == tvd::err::kSuccess && returned > outSize) __builtin_trap();
    }
    return 0;
}
