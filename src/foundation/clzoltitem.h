// Base classes of the engine's long-lived objects and the by-name class check.
//
// clZoltItem   reference-counted item with intrusive links; lives in any number of
//              references but in at most one clZoltItemList at a time.
// clZoltObject owned object with intrusive links; belongs to exactly one clZoltObjectList,
//              which deletes it.
//
// The class check IsA(name) replaces run-time type information throughout the engine: every
// class answers true for its own name (exact, case-sensitive) and, failing that, asks its direct
// base. Declare it with one line in a public section of the class:
//
//     class clNtAta : public clAta {
//     public:
//         TVD_ISA(clNtAta, clAta)
//         ...
//
// and for a class without a base that has a name check, TVD_ISA_ROOT(clAta).
#pragma once
#include <atomic>
#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

namespace tvd {

class clZoltItemList;
class clZoltObjectList;

// The name comparison of IsA: exact byte comparison; a null name never matches.
inline bool ClassNameEquals(const char* name, const char* own) noexcept {
    return name != nullptr && std::strcmp(name, own) == 0;
}

// Name check of a class without a named base: compares only its own name.
#define TVD_ISA_ROOT(Class)                                                                        \
    static constexpr const char* kClassName = #Class;                                              \
    virtual bool IsA(const char* name) const noexcept {                                            \
        return ::tvd::ClassNameEquals(name, kClassName);                                           \
    }

// Name check of a class derived from Base: its own name, else the direct base's answer.
#define TVD_ISA(Class, Base)                                                                       \
    static constexpr const char* kClassName = #Class;                                              \
    bool IsA(const char* name) const noexcept override {                                           \
        return ::tvd::ClassNameEquals(name, kClassName) || Base::IsA(name);                        \
    }

// Null-safe form of the class check: a null object is of no class.
template <class T> bool ObjectIsA(const T* obj, const char* name) noexcept {
    return obj != nullptr && obj->IsA(name);
}

// Checked down-cast by name, in place of dynamic_cast: the object as a T when it is one (or
// derives from one), else null.
template <class T, class U> T* ZoltCast(U* obj) noexcept {
    static_assert(std::is_base_of_v<std::remove_cv_t<U>, std::remove_cv_t<T>>);
    return ObjectIsA(obj, T::kClassName) ? static_cast<T*>(obj) : nullptr;
}

class clZoltItem {
public:
    clZoltItem() noexcept = default;
    clZoltItem(const clZoltItem&) = delete;
    clZoltItem& operator=(const clZoltItem&) = delete;
    virtual ~clZoltItem();

    TVD_ISA_ROOT(clZoltItem)
    virtual bool IsList() const noexcept { return false; }

    // Interlocked increment of the reference count.
    void AddRef() noexcept;
    // Interlocked decrement; when the count reaches 0 the item destroys itself.
    void Release() noexcept;
    // The same, accepting a null item (which is ignored).
    static void AddRef(clZoltItem* item) noexcept {
        if (item) item->AddRef();
    }
    static void Release(clZoltItem* item) noexcept {
        if (item) item->Release();
    }

    std::int32_t RefCount() const noexcept { return refCount_.load(std::memory_order_acquire); }

    // Links within the owning list; all null when the item is in no list.
    clZoltItem* Prev() const noexcept { return prev_; }
    clZoltItem* Next() const noexcept { return next_; }
    clZoltItemList* Owner() const noexcept { return owner_; }

private:
    friend class clZoltItemList;

    clZoltItem* prev_ = nullptr;
    clZoltItem* next_ = nullptr;
    clZoltItemList* owner_ = nullptr;
    std::atomic<std::int32_t> refCount_{0};
};

// Null-safe reference helpers for code outside the item classes.
inline void AddRef(clZoltItem* item) noexcept {
    clZoltItem::AddRef(item);
}
inline void Release(clZoltItem* item) noexcept {
    clZoltItem::Release(item);
}

// Holds one reference on an item: AddRef when it acquires a pointer, Release when it lets go.
// Copies take a reference of their own; moves hand the reference over.
template <class T> class ZoltRef {
public:
    ZoltRef() noexcept = default;
    ZoltRef(std::nullptr_t) noexcept {}
    // Takes a new reference on item.
    explicit ZoltRef(T* item) noexcept : p_(item) { clZoltItem::AddRef(Base(p_)); }
    ZoltRef(const ZoltRef& other) noexcept : p_(other.p_) { clZoltItem::AddRef(Base(p_)); }
    ZoltRef(ZoltRef&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    ZoltRef(const ZoltRef<U>& other) noexcept : p_(other.Get()) {
        clZoltItem::AddRef(Base(p_));
    }
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    ZoltRef(ZoltRef<U>&& other) noexcept : p_(other.Detach()) {}
    ~ZoltRef() { clZoltItem::Release(Base(p_)); }

    ZoltRef& operator=(ZoltRef other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }

    // Wraps a reference the caller already holds (from TakeFirst, TakeLast, Detach or a fresh
    // AddRef) without taking another one.
    static ZoltRef Adopt(T* item) noexcept {
        ZoltRef r;
        r.p_ = item;
        return r;
    }

    // Lets go of the current item and takes a new reference on item.
    void Reset(T* item = nullptr) noexcept { ZoltRef(item).Swap(*this); }
    // Hands the held reference to the caller, who must Release it.
    [[nodiscard]] T* Detach() noexcept { return std::exchange(p_, nullptr); }
    void Swap(ZoltRef& other) noexcept { std::swap(p_, other.p_); }

    T* Get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    T& operator*() const noexcept { return *p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }

    friend bool operator==(const ZoltRef& a, const ZoltRef& b) noexcept { return a.p_ == b.p_; }
    friend bool operator==(const ZoltRef& a, const T* b) noexcept { return a.p_ == b; }
    friend bool operator==(const ZoltRef& a, std::nullptr_t) noexcept { return a.p_ == nullptr; }

private:
    static clZoltItem* Base(T* p) noexcept {
        static_assert(std::is_base_of_v<clZoltItem, std::remove_cv_t<T>>,
                      "ZoltRef holds clZoltItem descendants only");
        return const_cast<clZoltItem*>(static_cast<const clZoltItem*>(p));
    }

    T* p_ = nullptr;
};

// Creates an item and returns the only reference to it (null when memory runs out).
template <class T, class... Args> ZoltRef<T> MakeZoltRef(Args&&... args) {
    return ZoltRef<T>(new (std::nothrow) T(std::forward<Args>(args)...));
}

class clZoltObject {
public:
    clZoltObject() noexcept = default;
    clZoltObject(const clZoltObject&) = delete;
    clZoltObject& operator=(const clZoltObject&) = delete;
    virtual ~clZoltObject();

    bool IsList() const noexcept { return isList_; }

    clZoltObject* Prev() const noexcept { return prev_; }
    clZoltObject* Next() const noexcept { return next_; }
    // The list that owns (and will delete) the object; null when unowned.
    clZoltObjectList* Owner() const noexcept { return owner_; }
    void SetOwner(clZoltObjectList* owner) noexcept { owner_ = owner; }

protected:
    explicit clZoltObject(bool isList) noexcept : isList_(isList) {}

private:
    friend class clZoltObjectList;

    bool isList_ = false;
    clZoltObject* prev_ = nullptr;
    clZoltObject* next_ = nullptr;
    clZoltObjectList* owner_ = nullptr;
};

} // namespace tvd
