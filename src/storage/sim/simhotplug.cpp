// Drives coming and going: the folder read again or a drive plugged or unplugged, the device
// table rebuilt, and the arrivals and removals that tell the registry.
#include "storage/sim/simstorageimpl.h"

namespace tvd {

using namespace simstore;

namespace {

// One volume event per letter, as a volume mounted or dismounted announces itself.
void VolumeEvents(const std::map<char, std::string>& from, const std::map<char, std::string>& to,
                  DeviceEvent::Kind kind, std::vector<DeviceEvent>& out) {
    for (const auto& [letter, holder] : from) {
        const auto it = to.find(letter);
        if (it != to.end() && it->second == holder) continue;
        DeviceEvent e;
        e.kind = kind;
        e.unitMask = 1u << (letter - 'A');
        e.letter = letter;
        out.push_back(std::move(e));
    }
}

} // namespace

std::map<char, std::string> SimStorage::Impl::LetterHolders() const {
    std::map<char, std::string> out;
    for (char letter = 'A'; letter <= 'Z'; ++letter)
        if (const Node* n = LetterNode(letter))
            out.emplace(letter, std::to_string(n->devInst) + "|" + n->identity);
    return out;
}

void SimStorage::Impl::Update(bool readFolder, bool announce) {
    // A letter whose volume changes (a drive pulled, plugged or edited, a layout written) leaves
    // and arrives again as a volume notification, as a real volume's letter does.
    const std::map<char, std::string> lettersBefore = LetterHolders();
    if (readFolder) ReadFolder();
    for (auto it = drives.begin(); it != drives.end();) {
        const auto f = files.find(it->first);
        const bool stays =
            f != files.end() && f->second.spec == it->second->spec && !unplugged.count(it->first);
        if (stays) {
            ++it;
            continue;
        }
        it->second->present = false;
        it = drives.erase(it);
    }
    for (auto& [upper, f] : files) {
        if (!f.spec || unplugged.count(upper) || drives.count(upper)) continue;
        if (auto d = MakeDrive(upper, f)) drives.emplace(upper, std::move(d));
    }
    for (const auto& [upper, d] : drives)
        RefreshLayout(*d);

    std::vector<Node> next = BuildNodes();
    std::vector<Node> previous = std::move(nodes);
    nodes = std::move(next);
    const std::map<char, std::string> lettersAfter = LetterHolders();
    if (announce) {
        // Volumes go before their disk and come after it.
        VolumeEvents(lettersBefore, lettersAfter, DeviceEvent::Kind::kVolumeRemoved, pending);
        std::set<std::string> before, after;
        for (const Node& n : previous)
            before.insert(std::to_string(n.devInst) + "|" + n.identity);
        for (const Node& n : nodes)
            after.insert(std::to_string(n.devInst) + "|" + n.identity);
        // Children leave before their parents and arrive after them.
        for (auto it = previous.rbegin(); it != previous.rend(); ++it) {
            if (after.count(std::to_string(it->devInst) + "|" + it->identity)) continue;
            if (!it->path.empty()) {
                DeviceEvent e;
                e.kind = DeviceEvent::Kind::kInterfaceRemoved;
                e.devInst = it->devInst;
                e.path = it->path;
                pending.push_back(std::move(e));
            }
            DeviceEvent e;
            e.kind = DeviceEvent::Kind::kNodeRemoved;
            e.devInst = it->devInst;
            pending.push_back(std::move(e));
        }
        for (const Node& n : nodes) {
            if (before.count(std::to_string(n.devInst) + "|" + n.identity)) continue;
            DeviceEvent e;
            e.kind = n.path.empty() ? DeviceEvent::Kind::kNodeArrival
                                    : DeviceEvent::Kind::kInterfaceArrival;
            e.devInst = n.devInst;
            e.path = n.path;
            pending.push_back(std::move(e));
        }
        VolumeEvents(lettersAfter, lettersBefore, DeviceEvent::Kind::kVolumeArrival, pending);
    }
    nodeByDevInst.clear();
    nodeByPath.clear();
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        nodeByDevInst.emplace(nodes[i].devInst, i);
        if (!nodes[i].path.empty()) nodeByPath.emplace(Upper(nodes[i].path), i);
    }
}

ErrorCode SimStorage::Plug(const std::string& name) {
    std::lock_guard<std::mutex> guard(impl_->lock);
    const std::string upper = Upper(name);
    impl_->unplugged.erase(upper);
    impl_->Update(true, true);
    if (impl_->drives.count(upper)) return err::kSuccess;
    const auto f = impl_->files.find(upper);
    return f == impl_->files.end() ? err::kFileNotFound : f->second.error;
}

ErrorCode SimStorage::Unplug(const std::string& name) {
    std::lock_guard<std::mutex> guard(impl_->lock);
    const std::string upper = Upper(name);
    if (!impl_->drives.count(upper)) return err::kFileNotFound;
    impl_->unplugged.insert(upper);
    impl_->Update(false, true);
    return err::kSuccess;
}

ErrorCode SimStorage::RegisterNotifications(void*, DeviceClass cls, void*& token) {
    token = nullptr;
    if (static_cast<int>(cls) < static_cast<int>(DeviceClass::kDiskInterface) ||
        static_cast<int>(cls) > static_cast<int>(DeviceClass::kUsbSetupClass))
        return err::kInvalidParameter;
    std::lock_guard<std::mutex> guard(impl_->lock);
    const std::uintptr_t id = impl_->nextToken++;
    impl_->tokens.insert(id);
    token = reinterpret_cast<void*>(id);
    return err::kSuccess;
}

void SimStorage::UnregisterNotifications(void* token) {
    std::lock_guard<std::mutex> guard(impl_->lock);
    impl_->tokens.erase(reinterpret_cast<std::uintptr_t>(token));
}

void SimStorage::PollEvents(std::vector<DeviceEvent>& events) {
    std::lock_guard<std::mutex> guard(impl_->lock);
    impl_->Update(true, true);
    events.insert(events.end(), std::make_move_iterator(impl_->pending.begin()),
                  std::make_move_iterator(impl_->pending.end()));
    impl_->pending.clear();
}

ErrorCode SimStorage::PowerCycle(const std::string& name) {
    std::lock_guard<std::mutex> guard(impl_->lock);
    const auto it = impl_->drives.find(Upper(name));
    if (it == impl_->drives.end()) return err::kFileNotFound;
    SimDrive& d = *it->second;
    std::lock_guard<std::mutex> commands(d.commandLock);
    if (!d.ata) return err::kNotSupported;
    d.ata->PowerCycle();
    return err::kSuccess;
}

} // namespace tvd
