// A scripted SCSI path for the tests of the classes that speak through one (the USB bridges, the
// SCSI/ATA Translation): it records every CDB and data-out payload, answers from a script and
// fails once the script is used up.
#pragma once
#include <algorithm>
#include <cstdint>
#include <deque>
#include <vector>

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
        length = static_cast<std::uint32_t>(n);
        return true;
    }
    bool ExecDataOut(ByteView cdb, ByteView buffer, std::uint32_t& length,
                     std::uint8_t* status) override {
        sent.emplace_back(buffer.begin(), buffer.begin() + length);
        Reply r;
        if (!Run(cdb, &r, status)) return false;
        if (r.outAccepted >= 0) length = std::min<std::uint32_t>(length, r.outAccepted);
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

} // namespace tvd::test
