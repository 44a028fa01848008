#include <cstddef>
#include <cstdint>
#include <cstring>

#include "clone/clonelayoututil.h"
#include "foundation/bytesutil.h"
#include "storage/fsrecognizeutil.h"
#include "storage/partitiontableutil.h"

// The clone's layout from arbitrary table sectors: byte 0 picks the sector size, bytes 1-4 the
// source's length in sectors, bytes 5-8 the target's; the rest are the source's first bytes.
// Every plan accepted must lie inside its target, and its MBR list must turn into sectors.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 9) return 0;
    const tvd::ByteView in(data, size);
    const std::uint32_t ss = (data[0] & 1) ? 4096 : 512;
    const std::uint64_t sectors = tvd::Le<std::uint32_t>(in, 1) | 1u;
    const std::uint64_t target = std::uint64_t(tvd::Le<std::uint32_t>(in, 5)) << (data[0] >> 4);
    const tvd::ByteView image = in.subspan(9);
    const tvd::SectorReadFn read = [&](std::uint64_t offset, tvd::MutableByteView out) {
        std::memset(out.data(), 0, out.size());
        if (offset < image.size()) {
            const std::size_t n = std::min<std::uint64_t>(out.size(), image.size() - offset);
            std::memcpy(out.data(), image.data() + offset, n);
        }
        return tvd::err::kSuccess;
    };
    tvd::DriveLayout layout;
    if (tvd::ReadDriveLayout(read, ss, sectors * ss, layout) != tvd::err::kSuccess) return 0;
    std::uint8_t first[4096] = {};
    std::memcpy(first, image.data(), std::min<std::size_t>(image.size(), ss));
    const std::uint8_t kind = tvd::RecognizeFileSystem(tvd::ByteView(first, ss));
    const tvd::LayoutInfo info = tvd::LayoutFromDrive(layout, kind, ss, sectors);
    std::vector<tvd::LayoutPart> parts;
    if (info.style == tvd::diskstyle::kRaw && info.count == 1) {
        tvd::LayoutPart p;
        p.sourceSize = sectors;
        p.neededBytes = sectors * ss;
        parts.push_back(p);
    }
    for (const tvd::PartitionEntry& e : layout.partitions) {
        if (e.length == 0 ||
            (e.style == tvd::layoutstyle::kMbr && tvd::IsExtendedMbrType(e.mbrType)))
            continue;
        tvd::LayoutPart p;
        p.entry = e;
        p.sourceStart = e.startingOffset / ss;
        p.sourceSize = e.length / ss;
        p.fsKind = std::uint8_t(e.number * 37);
        const bool resizable = e.style != tvd::layoutstyle::kGpt || tvd::GptPartitionResizable(e);
        p.neededBytes = resizable ? e.length / (1 + e.number % 3) : 0;
        parts.push_back(p);
    }
    tvd::LayoutPlan plan;
    if (!tvd::PlanParts(info.style, data[0] & 2, ss, sectors, target, parts, plan)) return 0;
    for (const tvd::LayoutPart& p : plan.parts) {
        if (p.start >= target || p.size > target - p.start) __builtin_trap();
        if (p.size * ss < p.neededBytes) __builtin_trap();
    }
    if (plan.targetStyle == tvd::diskstyle::kMbr && plan.resized) {
        const tvd::LayoutInfo list = tvd::BuildMbrList(plan);
        tvd::MbrSectors out;
        if (tvd::BuildMbrSectors(list.buffer.data(), list.count, ss, 255, target, out) !=
            tvd::err::kSuccess)
            __builtin_trap();
    }
    if (plan.targetStyle == tvd::diskstyle::kGpt) {
        tvd::LayoutInfo gpt = tvd::BuildGptFromMbr(plan);
        const std::uint8_t guid[16] = {};
        tvd::FinalizeGpt(gpt.buffer, ss, target, guid);
    }
    return 0;
}
