#include "foundation/clzoltitemlist.h"

namespace tvd {

// ---- clZoltItemList ----

clZoltItemList::~clZoltItemList() {
    Clear();
}

bool clZoltItemList::Append(clZoltItem* item) noexcept {
    if (item == nullptr || item == this || item->owner_ != nullptr) return false;
    item->prev_ = last_;
    item->next_ = nullptr;
    if (last_)
        last_->next_ = item;
    else
        first_ = item;
    last_ = item;
    item->owner_ = this;
    item->AddRef();
    return true;
}

void clZoltItemList::Detach(clZoltItem* item) noexcept {
    if (item->prev_)
        item->prev_->next_ = item->next_;
    else
        first_ = item->next_;
    if (item->next_)
        item->next_->prev_ = item->prev_;
    else
        last_ = item->prev_;
    item->prev_ = nullptr;
    item->next_ = nullptr;
    item->owner_ = nullptr;
}

void clZoltItemList::Clear() noexcept {
    // One member at a time, so that a destructor run by Release sees a consistent list.
    while (first_)
        RemoveFirst();
}

void clZoltItemList::RemoveFirst() noexcept {
    if (clZoltItem* item = TakeFirst()) item->Release();
}

void clZoltItemList::RemoveLast() noexcept {
    if (clZoltItem* item = TakeLast()) item->Release();
}

bool clZoltItemList::Remove(clZoltItem* item) noexcept {
    if (!Contains(item)) return false;
    Detach(item);
    item->Release();
    return true;
}

clZoltItem* clZoltItemList::TakeFirst() noexcept {
    clZoltItem* item = first_;
    if (item) Detach(item);
    return item;
}

clZoltItem* clZoltItemList::TakeLast() noexcept {
    clZoltItem* item = last_;
    if (item) Detach(item);
    return item;
}

std::size_t clZoltItemList::Count() const noexcept {
    std::size_t n = 0;
    for (const clZoltItem* it = first_; it; it = it->next_)
        ++n;
    return n;
}

// ---- clZoltObjectList ----

clZoltObjectList::~clZoltObjectList() {
    clZoltObjectList::Clear();
}

void clZoltObjectList::Clear() noexcept {
    while (clZoltObject* obj = head_) {
        head_ = obj->next_;
        if (head_) head_->prev_ = nullptr;
        obj->prev_ = nullptr;
        obj->next_ = nullptr;
        if (obj->owner_ == this) delete obj;
    }
    tail_ = nullptr;
}

bool clZoltObjectList::Append(clZoltObject* obj) noexcept {
    if (obj == nullptr || obj == this || obj->prev_ != nullptr || obj->next_ != nullptr)
        return false;
    if (obj->owner_ != nullptr && obj->owner_ != this) return false;
    // The tail is kept, so that filling a list of n objects costs n steps, not n squared.
    if (head_ == nullptr) {
        head_ = tail_ = obj;
        return true;
    }
    if (obj == head_) return false; // already the only member (a later one has a prev link)
    tail_->next_ = obj;
    obj->prev_ = tail_;
    tail_ = obj;
    return true;
}

bool clZoltObjectList::AppendOwned(clZoltObject* obj) noexcept {
    if (obj == nullptr || (obj->owner_ != nullptr && obj->owner_ != this)) return false;
    clZoltObjectList* before = obj->owner_;
    obj->owner_ = this;
    if (Append(obj)) return true;
    obj->owner_ = before;
    return false;
}

bool clZoltObjectList::Remove(clZoltObject* obj) noexcept {
    if (!Contains(obj)) return false;
    if (obj == tail_) tail_ = obj->prev_;
    if (obj == head_) {
        head_ = obj->next_;
        if (head_) head_->prev_ = nullptr;
    } else {
        obj->prev_->next_ = obj->next_;
        if (obj->next_) obj->next_->prev_ = obj->prev_;
    }
    obj->prev_ = nullptr;
    obj->next_ = nullptr;
    if (obj->owner_ == this) obj->owner_ = nullptr;
    return true;
}

bool clZoltObjectList::Contains(const clZoltObject* obj) const noexcept {
    if (obj == nullptr) return false;
    for (const clZoltObject* it = head_; it; it = it->next_)
        if (it == obj) return true;
    return false;
}

clZoltObject* clZoltObjectList::Last() const noexcept {
    return tail_;
}

std::size_t clZoltObjectList::Count() const noexcept {
    std::size_t n = 0;
    for (const clZoltObject* it = head_; it; it = it->next_)
        ++n;
    return n;
}

} // namespace tvd
