// The choice of a disk's command interfaces (SCSI, ATA, NVMe). The command classes register a
// factory per candidate kind; the choice tries the candidates of the disk's bus in order and
// keeps the first one whose factory gives a valid verdict (for ATA: it opened and its IDENTIFY
// DEVICE data passed; for NVMe: IDENTIFY CONTROLLER succeeded through it). Rejected candidates
// are destroyed. With no factory registered for a kind that candidate is skipped, so with none
// at all every choice answers none.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "foundation/bytesutil.h"
#include "storage/cldevice.h"
#include "storage/storagetypes.h"

namespace tvd {

class clAta;
class clNvme;
class clNtScsi;

// Destroys a command interface through the function its factory supplied (the classes are
// complete only where they are made).
template <class T> struct InterfaceDeleter {
    void (*destroy)(T*) = nullptr;
    void operator()(T* p) const {
        if (destroy) destroy(p);
    }
};
template <class T> using InterfacePtr = std::unique_ptr<T, InterfaceDeleter<T>>;

// Wraps a new command object of class U (derived from T) with its matching destruction.
template <class T, class U> InterfacePtr<T> AdoptInterface(U* object) {
    return InterfacePtr<T>(object, InterfaceDeleter<T>{[](T* p) { delete static_cast<U*>(p); }});
}

// What a factory answers: the object it made (may be null) and whether it is usable.
template <class T> struct CandidateResult {
    InterfacePtr<T> object;
    bool valid = false;
};

// What the factories get to know about the disk.
struct CandidateContext {
    clDisk* disk = nullptr;
    std::string path;                   // the disk's path
    std::optional<ScsiAddress> address; // its SCSI address, when it could be read
};

enum class ScsiCandidate { kNtScsi };
// kSat and kPlatform are the paths of back ends that carry commands themselves (Linux's SG_IO
// with libata's SCSI/ATA Translation and NVME_IOCTL_ADMIN_CMD, the simulation); they are tried
// first and registered only where they exist.
enum class AtaCandidate { kUsbBridge, kWinSmart, kWinPassThrough, kNtScsiAta, kSat };
enum class NvmeCandidate { kUsbAsmedia, kUsbJmicron, kW10, kWinIrst, kPlatform };

inline constexpr std::size_t kNvmeIdentifySize = 4096;

using ScsiFactory = std::function<CandidateResult<clNtScsi>(const CandidateContext&)>;
using AtaFactory = std::function<CandidateResult<clAta>(const CandidateContext&)>;
// `identify` is the 4096-byte buffer shared by all attempts (zeroed before each). The USB
// bridges get the disk's SCSI interface in `scsi` and take it (move it out) only when they
// answer valid; the other candidates get an empty one.
using NvmeFactory = std::function<CandidateResult<clNvme>(
    const CandidateContext&, MutableByteView identify, InterfacePtr<clNtScsi>& scsi)>;

// Registers (or, with an empty function, removes) the factory of a candidate kind.
void SetScsiCandidateFactory(ScsiCandidate kind, ScsiFactory factory);
void SetAtaCandidateFactory(AtaCandidate kind, AtaFactory factory);
void SetNvmeCandidateFactory(NvmeCandidate kind, NvmeFactory factory);
void ClearCandidateFactories();

// The ATA candidates of a disk in the order they are tried.
std::vector<AtaCandidate> AtaCandidatesFor(std::uint32_t busType, bool isUsb);
// The NVMe candidates, before the removable check of the USB bridges.
std::vector<NvmeCandidate> NvmeCandidatesFor(std::uint32_t busType, bool isUsb);

// A SCSI interface on the disk's path with its SCSI address; none when the disk cannot be
// opened.
InterfacePtr<clNtScsi> OpenScsiInterface(clDisk* disk);
InterfacePtr<clAta> OpenAtaInterface(clDisk* disk);

struct NvmeChoice {
    InterfacePtr<clNvme> nvme;
    std::vector<std::uint8_t> identify; // the winner's IDENTIFY CONTROLLER data (4096 bytes)
};
NvmeChoice OpenNvmeInterface(clDisk* disk);

} // namespace tvd
