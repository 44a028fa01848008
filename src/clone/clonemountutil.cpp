#include "clone/clonemountutil.h"

#include <charconv>

namespace tvd {

bool MountInfoWritable(std::string_view text, unsigned major, unsigned minor) {
    // "36 35 98:0 /mnt1 /mnt2 rw,noatime master:1 - ext3 /dev/root rw,errors=continue"
    while (!text.empty()) {
        const std::size_t eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
        std::string_view fields[6];
        std::size_t n = 0;
        while (n < 6 && !line.empty()) {
            const std::size_t sp = line.find(' ');
            fields[n++] = line.substr(0, sp);
            line = sp == std::string_view::npos ? std::string_view() : line.substr(sp + 1);
        }
        if (n < 6) continue;
        const std::string_view dev = fields[2];
        const std::size_t colon = dev.find(':');
        if (colon == std::string_view::npos) continue;
        unsigned ma = 0, mi = 0;
        if (std::from_chars(dev.data(), dev.data() + colon, ma).ec != std::errc() ||
            std::from_chars(dev.data() + colon + 1, dev.data() + dev.size(), mi).ec != std::errc())
            continue;
        if (ma != major || mi != minor) continue;
        const std::string_view options = fields[5];
        if (options == "rw" || options.rfind("rw,", 0) == 0) return true;
    }
    return false;
}

} // namespace tvd
