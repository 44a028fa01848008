// Lists of the two base classes.
//
// clZoltItemList   holds one reference on each member; a member lives at least as long as it is
//                  listed. An item is in at most one list at a time: its Owner() is that list and
//                  is cleared again when the item is detached.
// clZoltObjectList chains owned objects and deletes the members it owns when cleared.
//
// Links are not synchronized: one thread at a time changes a list. Range-for walks the members;
// the walk may remove (or release) the member it stands on, but no other member.
#pragma once
#include "foundation/clzoltitem.h"

#include <cstddef>
#include <iterator>

namespace tvd {

// Forward walk over an intrusive chain (clZoltItem or clZoltObject), reading the next link
// before the current member is handed out.
template <class Node> class ZoltChainIterator {
public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = Node*;
    using difference_type = std::ptrdiff_t;
    using pointer = Node* const*;
    using reference = Node*;

    ZoltChainIterator() noexcept = default;
    explicit ZoltChainIterator(Node* node) noexcept
        : cur_(node), next_(node ? node->Next() : nullptr) {}

    Node* operator*() const noexcept { return cur_; }
    ZoltChainIterator& operator++() noexcept {
        cur_ = next_;
        next_ = cur_ ? cur_->Next() : nullptr;
        return *this;
    }
    ZoltChainIterator operator++(int) noexcept {
        ZoltChainIterator old = *this;
        ++*this;
        return old;
    }
    friend bool operator==(const ZoltChainIterator& a, const ZoltChainIterator& b) noexcept {
        return a.cur_ == b.cur_;
    }

private:
    Node* cur_ = nullptr;
    Node* next_ = nullptr;
};

class clZoltItemList : public clZoltItem {
public:
    using iterator = ZoltChainIterator<clZoltItem>;

    clZoltItemList() noexcept = default;
    // Clears the list: every member is released once.
    ~clZoltItemList() override;

    TVD_ISA(clZoltItemList, clZoltItem)
    bool IsList() const noexcept override { return true; }

    // Links the item after the last member and takes a reference on it. Refuses (false) a null
    // item, the list itself and an item that is already in a list.
    bool Append(clZoltItem* item) noexcept;
    // Detaches and releases every member.
    void Clear() noexcept;
    // Detach and release the first (last) member; nothing on an empty list.
    void RemoveFirst() noexcept;
    void RemoveLast() noexcept;
    // Detaches and releases a member of this list; anything else (null, an item of another
    // list, an item already removed) is left alone and gives false.
    bool Remove(clZoltItem* item) noexcept;
    // Detach the first (last) member and hand the list's reference to the caller, who must
    // Release it (ZoltRef<T>::Adopt does). Null on an empty list.
    [[nodiscard]] clZoltItem* TakeFirst() noexcept;
    [[nodiscard]] clZoltItem* TakeLast() noexcept;

    bool Contains(const clZoltItem* item) const noexcept {
        return item != nullptr && item->owner_ == this;
    }
    clZoltItem* First() const noexcept { return first_; }
    clZoltItem* Last() const noexcept { return last_; }
    bool IsEmpty() const noexcept { return first_ == nullptr; }
    std::size_t Count() const noexcept;

    iterator begin() const noexcept { return iterator(first_); }
    iterator end() const noexcept { return iterator(); }

private:
    // Unlinks a member and clears its links and owner; the list's reference stays with the
    // caller.
    void Detach(clZoltItem* item) noexcept;

    clZoltItem* first_ = nullptr;
    clZoltItem* last_ = nullptr;
};

class clZoltObjectList : public clZoltObject {
public:
    using iterator = ZoltChainIterator<clZoltObject>;

    clZoltObjectList() noexcept : clZoltObject(true) {}
    // Runs this class's Clear. A descendant that overrides Clear and needs its own version at
    // destruction calls it from its own destructor.
    ~clZoltObjectList() override;

    // Empties the list: members owned by this list are deleted, the others only unlinked.
    virtual void Clear() noexcept;

    // Links the object after the tail without setting its owner. Refuses (false) a null object,
    // the list itself, an object already linked in a chain or owned by another list.
    bool Append(clZoltObject* obj) noexcept;
    // Append, making this list the object's owner.
    bool AppendOwned(clZoltObject* obj) noexcept;
    // Unlinks a member (clearing its links, and its owner when that is this list) without
    // deleting it. A non-member leaves the list untouched and gives false.
    bool Remove(clZoltObject* obj) noexcept;

    bool Contains(const clZoltObject* obj) const noexcept;
    clZoltObject* First() const noexcept { return head_; }
    clZoltObject* Last() const noexcept;
    bool IsEmpty() const noexcept { return head_ == nullptr; }
    std::size_t Count() const noexcept;

    iterator begin() const noexcept { return iterator(head_); }
    iterator end() const noexcept { return iterator(); }

private:
    clZoltObject* head_ = nullptr;
    clZoltObject* tail_ = nullptr;
};

} // namespace tvd
