// The test doubles of the command interfaces, shared by the storage, SMART and drive tests: a
// scripted SCSI path (for the classes that speak through one: the USB bridges, the SCSI/ATA
// Translation), an ATA drive answering from fixed pages, an NVMe drive with a settable log.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <optional>
#include <vector>

#include "storage/clata.h"
#include "storage/clnvme.h"
#include "storage/clscsi.h"
#include "storage/devicechoice.h"

namespace tvd::test {

using Bytes = std::vector<std::uint8_t>;

struct Reply {
    std::uint8_t status = 0;
    Bytes data;  // data-in bytes (more than the buffer holds are cut)
    Bytes sense; // returned sense data
    // Data-out bytes the device takes; -1: all of them.
    int outAccepted = -1;
    // The count the path reports whatever moved (a path that claims too much or too little).
    std::optional<std::uint32_t> transferred = std::nullopt;
    bool requestFails = false; // the platform request itself fails
};

class ScriptedScsi : public clNtScsi {
public:
    ScriptedScsi() : clNtScsi("USBSTOR") {}
    std::deque<Reply> replies;
    std::vector<Bytes> cdbs, sent;
    int opens = 0, closes = 0;

    void Open() override { ++opens; }
    void Close() override { ++closes; }
    bool ExecNonData(ByteView cdb, std::uint8_t* status) override { return Run(cdb, {}, status); }
    bool ExecDataIn(ByteView cdb, MutableByteView buffer, std::uint32_t& length,
                    std::uint8_t* status) override {
        Reply r;
        if (!Run(cdb, &r, status)) return false;
        const std::size_t n = std::min({r.data.size(), buffer.size(), std::size_t{length}});
        std::copy_n(r.data.begin(), n, buffer.begin());
        length = r.transferred.value_or(static_cast<std::uint32_t>(n));
        return true;
    }
    bool ExecDataOut(ByteView cdb, ByteView buffer, std::uint32_t& length,
                     std::uint8_t* status) override {
        sent.emplace_back(buffer.begin(), buffer.begin() + length);
        Reply r;
        if (!Run(cdb, &r, status)) return false;
        if (r.outAccepted >= 0) length = std::min<std::uint32_t>(length, r.outAccepted);
        if (r.transferred) length = *r.transferred;
        return true;
    }
    ByteView LastSense() const override { return sense_; }

    // The next answers: GOOD with data, or a status alone.
    void Good(Bytes data = {}) { replies.push_back({0, std::move(data), {}}); }
    void Status(std::uint8_t status) { replies.push_back({status, {}, {}}); }

private:
    bool Run(ByteView cdb, Reply* out, std::uint8_t* status) {
        cdbs.emplace_back(cdb.begin(), cdb.end());
        sense_.clear();
        if (replies.empty()) return false;
        Reply r = std::move(replies.front());
        replies.pop_front();
        if (r.requestFails) return false;
        if (status) *status = r.status;
        sense_ = r.sense;
        if (out) *out = std::move(r);
        return true;
    }
    Bytes sense_;
};

// A command interface of class T over a scripted path (extra constructor arguments follow the
// transport).
template <class T> struct Bridge {
    template <class... Args>
    explicit Bridge(Args... args) : ata(AdoptInterface<clNtScsi>(scsi), args...) {}
    ScriptedScsi* scsi = new ScriptedScsi;
    T ata;
};

// An ATA interface answering from fixed pages; any page can be made to fail, and SMART RETURN
// STATUS gives a set answer.
class PageAta : public clAta {
public:
    std::vector<std::uint8_t> identify, data, thresholds;
    bool dataOk = true, thresholdsOk = true;
    std::uint16_t returnStatus = 0;
    int returnStatusReads = 0;
    int closes = 0;

    void Close() override { ++closes; }
    bool Identify(MutableByteView buffer) override { return Copy(identify, buffer); }
    bool SmartReadData(MutableByteView buffer) override { return dataOk && Copy(data, buffer); }
    bool SmartReadThresholds(MutableByteView buffer) override {
        return thresholdsOk && Copy(thresholds, buffer);
    }
    std::uint16_t SmartReturnStatus() override {
        ++returnStatusReads;
        return returnStatus;
    }

private:
    static bool Copy(const std::vector<std::uint8_t>& from, MutableByteView to) {
        if (from.size() != to.size()) return false;
        std::memcpy(to.data(), from.data(), to.size());
        return true;
    }
};

// An NVMe interface whose log page is a buffer the test fills (the first bytes of it that fit
// are copied); it records what was asked.
class LogNvme : public clNvme {
public:
    std::vector<std::uint8_t> log = std::vector<std::uint8_t>(512, 0);
    bool ok = true;
    std::uint8_t askedLog = 0;
    std::uint32_t askedDwords = 0;
    std::size_t askedBytes = 0;

    bool GetLogPage(std::uint8_t logId, std::uint32_t dwordsMinusOne,
                    MutableByteView buffer) override {
        askedLog = logId;
        askedDwords = dwordsMinusOne;
        askedBytes = buffer.size();
        if (!ok) return false;
        std::memcpy(buffer.data(), log.data(), std::min(buffer.size(), log.size()));
        return true;
    }
    void Set(std::size_t offset, std::uint64_t value, int width) {
        for (int b = 0; b < width; ++b)
            log[offset + b] = static_cast<std::uint8_t>(value >> (8 * b));
    }
};

} // namespace tvd::test
