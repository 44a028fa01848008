#include "foundation/clmsgobject.h"
#include "foundation/clzoltitem.h"
#include "foundation/clzoltitemlist.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace tvd {
namespace {

// ---- fixtures ----

// Records its destruction (count and order) in a log the test owns.
struct DestroyLog {
    std::atomic<int> count{0};
    std::vector<int> order; // tags in destruction order (single-threaded tests only)
};

class CountedItem : public clZoltItem {
public:
    CountedItem(DestroyLog* log, int tag) : log_(log), tag_(tag) {}
    ~CountedItem() override {
        log_->count.fetch_add(1);
        log_->order.push_back(tag_);
    }
    TVD_ISA(CountedItem, clZoltItem)
    int Tag() const { return tag_; }

private:
    DestroyLog* log_;
    int tag_;
};

class ThreadCountedItem : public clZoltItem {
public:
    explicit ThreadCountedItem(std::atomic<int>* destroyed) : destroyed_(destroyed) {}
    ~ThreadCountedItem() override { destroyed_->fetch_add(1); }

private:
    std::atomic<int>* destroyed_;
};

class CountedObject : public clZoltObject {
public:
    CountedObject(DestroyLog* log, int tag) : log_(log), tag_(tag) {}
    ~CountedObject() override {
        log_->count.fetch_add(1);
        log_->order.push_back(tag_);
    }
    int Tag() const { return tag_; }

private:
    DestroyLog* log_;
    int tag_;
};

// Three-level hierarchy with a root of its own, as the command interfaces have.
class clLevelOne {
public:
    virtual ~clLevelOne() = default;
    TVD_ISA_ROOT(clLevelOne)
};
class clLevelTwo : public clLevelOne {
public:
    TVD_ISA(clLevelTwo, clLevelOne)
};
class clLevelThree : public clLevelTwo {
public:
    TVD_ISA(clLevelThree, clLevelTwo)
};

std::vector<int> Tags(const clZoltItemList& list) {
    std::vector<int> tags;
    for (clZoltItem* it : list)
        tags.push_back(static_cast<CountedItem*>(it)->Tag());
    return tags;
}

std::vector<int> Tags(const clZoltObjectList& list) {
    std::vector<int> tags;
    for (clZoltObject* it : list)
        tags.push_back(static_cast<CountedObject*>(it)->Tag());
    return tags;
}

// Checks both directions of the chain, the ends and the owner of every member.
void ExpectConsistent(const clZoltItemList& list) {
    const clZoltItem* prev = nullptr;
    for (const clZoltItem* it = list.First(); it; it = it->Next()) {
        EXPECT_EQ(it->Prev(), prev);
        EXPECT_EQ(it->Owner(), &list);
        prev = it;
    }
    EXPECT_EQ(list.Last(), prev);
}

void ExpectDetached(const clZoltItem* item) {
    EXPECT_EQ(item->Prev(), nullptr);
    EXPECT_EQ(item->Next(), nullptr);
    EXPECT_EQ(item->Owner(), nullptr);
}

// ---- name check ----

TEST(ZoltIsA, ThreeLevelHierarchy) {
    clLevelOne one;
    clLevelTwo two;
    clLevelThree three;
    struct Row {
        const clLevelOne* obj;
        const char* name;
        bool want;
    } rows[] = {
        // clang-format off
        {&three, "clLevelThree", true},  // exact name
        {&three, "clLevelTwo", true},    // direct base
        {&three, "clLevelOne", true},    // base of the base
        {&two, "clLevelThree", false},   // a base is not its descendant
        {&two, "clLevelTwo", true},
        {&two, "clLevelOne", true},
        {&one, "clLevelOne", true},
        {&one, "clLevelTwo", false},
        {&three, "clZoltItem", false},   // unrelated
        {&three, "clLevelthree", false}, // case differs
        {&three, "CLLEVELONE", false},
        {&three, "clLevel", false},      // prefix only
        {&three, "clLevelThreeX", false},
        {&three, "", false},
        {&three, nullptr, false},
        // clang-format on
    };
    for (const Row& r : rows)
        EXPECT_EQ(r.obj->IsA(r.name), r.want) << (r.name ? r.name : "(null)");
}

TEST(ZoltIsA, LibraryClassesAndHelpers) {
    DestroyLog log;
    clZoltItemList list;
    clMsgObject msg;
    CountedItem item(&log, 1);
    struct Row {
        const clZoltItem* obj;
        const char* name;
        bool want;
    } rows[] = {
        {&list, "clZoltItemList", true}, {&list, "clZoltItem", true},
        {&list, "clMsgObject", false},   {&msg, "clMsgObject", true},
        {&msg, "clZoltItem", true},      {&msg, "clZoltItemList", false},
        {&item, "CountedItem", true},    {&item, "clZoltItem", true},
        {&item, "clzoltitem", false},
    };
    for (const Row& r : rows)
        EXPECT_EQ(r.obj->IsA(r.name), r.want) << r.name;

    EXPECT_TRUE(list.IsList());
    EXPECT_FALSE(msg.IsList());
    EXPECT_FALSE(ObjectIsA<clZoltItem>(nullptr, "clZoltItem"));
    EXPECT_EQ(clZoltItemList::kClassName, std::string("clZoltItemList"));

    clZoltItem* asItem = &list;
    EXPECT_EQ(ZoltCast<clZoltItemList>(asItem), &list);
    EXPECT_EQ(ZoltCast<clMsgObject>(asItem), nullptr);
    EXPECT_EQ(ZoltCast<clMsgObject>(static_cast<clZoltItem*>(nullptr)), nullptr);
    clLevelOne* three = new clLevelThree;
    EXPECT_NE(ZoltCast<clLevelTwo>(three), nullptr);
    EXPECT_NE(ZoltCast<clLevelThree>(three), nullptr);
    clLevelOne two;
    EXPECT_EQ(ZoltCast<clLevelTwo>(&two), nullptr);
    delete three;
}

// ---- reference count ----

TEST(ZoltItem, ReferenceCountAndNullSafety) {
    DestroyLog log;
    auto* item = new CountedItem(&log, 7);
    EXPECT_EQ(item->RefCount(), 0);
    ExpectDetached(item);
    item->AddRef();
    AddRef(item);
    clZoltItem::AddRef(item);
    EXPECT_EQ(item->RefCount(), 3);
    Release(item);
    clZoltItem::Release(item);
    EXPECT_EQ(log.count, 0);
    item->Release();
    EXPECT_EQ(log.count, 1);

    AddRef(nullptr);
    Release(nullptr);
    clZoltItem::AddRef(nullptr);
    clZoltItem::Release(nullptr);
    EXPECT_EQ(log.count, 1);
}

TEST(ZoltItem, ConcurrentAddRefReleaseDestroysExactlyOnce) {
    constexpr int kThreads = 8;
    constexpr int kRounds = 20;
    constexpr int kPairs = 2000;
    for (int round = 0; round < kRounds; ++round) {
        std::atomic<int> destroyed{0};
        auto* item = new ThreadCountedItem(&destroyed);
        // Each thread starts with a reference of its own, churns the count, then lets go: the
        // last one out destroys the item, whichever thread that is.
        for (int t = 0; t < kThreads; ++t)
            item->AddRef();
        std::atomic<bool> go{false};
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&] {
                while (!go.load())
                    std::this_thread::yield();
                for (int i = 0; i < kPairs; ++i) {
                    AddRef(item);
                    Release(item);
                }
                Release(item);
            });
        }
        go = true;
        for (auto& th : threads)
            th.join();
        ASSERT_EQ(destroyed.load(), 1) << "round " << round;
    }
}

TEST(ZoltItem, ConcurrentCountSettlesToHeldReferences) {
    constexpr int kThreads = 6;
    constexpr int kPerThread = 5000;
    std::atomic<int> destroyed{0};
    auto* item = new ThreadCountedItem(&destroyed);
    item->AddRef(); // the test's own reference keeps it alive throughout
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < kPerThread; ++i)
                item->AddRef();
            for (int i = 0; i < kPerThread; ++i)
                item->Release();
        });
    }
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(item->RefCount(), 1);
    EXPECT_EQ(destroyed.load(), 0);
    item->Release();
    EXPECT_EQ(destroyed.load(), 1);
}

// ---- clZoltItemList ----

TEST(ZoltItemList, ReleasingTheListDestroysEachMemberOnce) {
    // held: index of an item with a second reference held by the test, or -1.
    for (int held : {-1, 0, 1, 2}) {
        SCOPED_TRACE(held);
        DestroyLog log;
        auto* list = new clZoltItemList;
        list->AddRef();
        CountedItem* items[3];
        for (int i = 0; i < 3; ++i) {
            items[i] = new CountedItem(&log, i);
            EXPECT_TRUE(list->Append(items[i]));
            EXPECT_EQ(items[i]->RefCount(), 1);
        }
        if (held >= 0) items[held]->AddRef();
        EXPECT_EQ(list->Count(), 3u);
        ExpectConsistent(*list);

        list->Release(); // last reference: the destructor clears
        const int survivors = held >= 0 ? 1 : 0;
        EXPECT_EQ(log.count, 3 - survivors);
        std::vector<int> want;
        for (int i = 0; i < 3; ++i)
            if (i != held) want.push_back(i);
        EXPECT_EQ(log.order, want); // released front to back
        if (held >= 0) {
            EXPECT_EQ(items[held]->RefCount(), 1);
            ExpectDetached(items[held]);
            items[held]->Release();
            EXPECT_EQ(log.count, 3);
        }
    }
}

TEST(ZoltItemList, TakeFirstAndTakeLast) {
    DestroyLog log;
    clZoltItemList list;
    EXPECT_EQ(list.TakeFirst(), nullptr);
    EXPECT_EQ(list.TakeLast(), nullptr);

    auto* one = new CountedItem(&log, 1);
    list.Append(one);
    clZoltItem* taken = list.TakeFirst();
    EXPECT_EQ(taken, one);
    EXPECT_EQ(taken->RefCount(), 1);
    EXPECT_EQ(list.First(), nullptr);
    EXPECT_EQ(list.Last(), nullptr);
    EXPECT_TRUE(list.IsEmpty());
    ExpectDetached(taken);
    EXPECT_FALSE(list.Remove(taken)); // no longer a member: the caller's reference is untouched
    EXPECT_EQ(taken->RefCount(), 1);
    Release(taken);
    EXPECT_EQ(log.count, 1);

    for (int i = 0; i < 3; ++i)
        list.Append(new CountedItem(&log, 10 + i));
    {
        auto last = ZoltRef<CountedItem>::Adopt(static_cast<CountedItem*>(list.TakeLast()));
        EXPECT_EQ(last->Tag(), 12);
        EXPECT_EQ(last->RefCount(), 1);
        EXPECT_EQ(Tags(list), (std::vector<int>{10, 11}));
        EXPECT_EQ(list.Last()->Next(), nullptr);
        ExpectConsistent(list);
    }
    EXPECT_EQ(log.count, 2);
}

TEST(ZoltItemList, RemoveRelinksNeighbours) {
    struct Row {
        int remove; // index into the five members
        std::vector<int> rest;
    } rows[] = {
        {0, {1, 2, 3, 4}}, // first
        {2, {0, 1, 3, 4}}, // middle
        {4, {0, 1, 2, 3}}, // last: the predecessor becomes last with next null
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.remove);
        DestroyLog log;
        clZoltItemList list;
        CountedItem* items[5];
        for (int i = 0; i < 5; ++i)
            list.Append(items[i] = new CountedItem(&log, i));
        CountedItem* victim = items[r.remove];
        victim->AddRef(); // keep it to look at its links afterwards
        EXPECT_TRUE(list.Remove(victim));
        ExpectDetached(victim);
        EXPECT_EQ(victim->RefCount(), 1);
        EXPECT_EQ(Tags(list), r.rest);
        ExpectConsistent(list);
        EXPECT_EQ(list.First()->Prev(), nullptr);
        EXPECT_EQ(list.Last()->Next(), nullptr);
        victim->Release();
        EXPECT_EQ(log.count, 1);
    }
}

TEST(ZoltItemList, RemoveFirstAndRemoveLast) {
    DestroyLog log;
    clZoltItemList list;
    list.RemoveFirst(); // empty: nothing
    list.RemoveLast();
    for (int i = 0; i < 4; ++i)
        list.Append(new CountedItem(&log, i));
    list.RemoveFirst();
    list.RemoveLast();
    EXPECT_EQ(Tags(list), (std::vector<int>{1, 2}));
    EXPECT_EQ(log.order, (std::vector<int>{0, 3}));
    ExpectConsistent(list);
    list.RemoveLast();
    list.RemoveLast();
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.Last(), nullptr);
    EXPECT_EQ(log.count, 4);
}

TEST(ZoltItemList, RemoveOfANonMemberReleasesNothing) {
    DestroyLog log;
    clZoltItemList list, other;
    auto* a = new CountedItem(&log, 1);
    auto* b = new CountedItem(&log, 2);
    auto* elsewhere = new CountedItem(&log, 3);
    CountedItem loose(&log, 4); // never listed, never referenced
    list.Append(a);
    list.Append(b);
    other.Append(elsewhere);

    EXPECT_FALSE(list.Remove(nullptr));
    EXPECT_FALSE(list.Remove(elsewhere)); // member of another list
    EXPECT_EQ(elsewhere->RefCount(), 1);
    EXPECT_EQ(elsewhere->Owner(), &other);
    EXPECT_EQ(other.First(), elsewhere);
    EXPECT_FALSE(list.Remove(&loose));
    EXPECT_EQ(loose.RefCount(), 0);
    EXPECT_FALSE(list.Remove(&list)); // the list itself
    EXPECT_EQ(Tags(list), (std::vector<int>{1, 2}));
    ExpectConsistent(list);

    a->AddRef();
    EXPECT_TRUE(list.Remove(a));
    EXPECT_FALSE(list.Remove(a)); // second Remove: harmless, the reference is not released twice
    EXPECT_EQ(a->RefCount(), 1);
    EXPECT_EQ(list.First(), b);
    EXPECT_EQ(b->Prev(), nullptr);
    a->Release();
    EXPECT_EQ(log.count, 1);
}

TEST(ZoltItemList, AppendRefusesWhatCannotBeLinked) {
    DestroyLog log;
    clZoltItemList list, other;
    auto* item = new CountedItem(&log, 1);
    EXPECT_FALSE(list.Append(nullptr));
    EXPECT_FALSE(list.Append(&list));
    EXPECT_TRUE(list.Append(item));
    EXPECT_FALSE(list.Append(item));  // already here: would corrupt the chain
    EXPECT_FALSE(other.Append(item)); // in another list
    EXPECT_EQ(item->RefCount(), 1);
    EXPECT_EQ(list.Count(), 1u);
    EXPECT_TRUE(other.IsEmpty());

    // Once removed (and so detached) it may join another list.
    item->AddRef();
    list.Remove(item);
    EXPECT_TRUE(other.Append(item));
    EXPECT_EQ(item->Owner(), &other);
    item->Release();
    EXPECT_EQ(item->RefCount(), 1);
}

TEST(ZoltItemList, ListsNestAndWalksMayRemoveTheCurrentMember) {
    DestroyLog log;
    auto* outer = new clZoltItemList;
    outer->AddRef();
    auto* inner = new clZoltItemList;
    outer->Append(inner);
    for (int i = 0; i < 5; ++i)
        inner->Append(new CountedItem(&log, i));
    for (clZoltItem* it : *inner)
        if (static_cast<CountedItem*>(it)->Tag() % 2 == 0) inner->Remove(it);
    EXPECT_EQ(Tags(*inner), (std::vector<int>{1, 3}));
    EXPECT_EQ(log.count, 3);
    outer->Release(); // releases the inner list, which releases its members
    EXPECT_EQ(log.count, 5);
}

// ---- ZoltRef ----

TEST(ZoltRefHolder, CountsReferences) {
    DestroyLog log;
    auto* raw = new CountedItem(&log, 1);
    {
        ZoltRef<CountedItem> a(raw);
        EXPECT_EQ(raw->RefCount(), 1);
        ZoltRef<CountedItem> b = a; // copy: a reference of its own
        EXPECT_EQ(raw->RefCount(), 2);
        ZoltRef<CountedItem> c = std::move(b);
        EXPECT_EQ(raw->RefCount(), 2);
        EXPECT_FALSE(b);
        EXPECT_TRUE(c == a);
        ZoltRef<clZoltItem> base = c; // converting copy
        EXPECT_EQ(raw->RefCount(), 3);
        c = nullptr;
        EXPECT_EQ(raw->RefCount(), 2);
        ZoltRef<CountedItem>& alias = a;
        a = alias; // self-assignment keeps the count
        EXPECT_EQ(raw->RefCount(), 2);
        base.Reset();
        EXPECT_EQ(raw->RefCount(), 1);
        EXPECT_EQ(log.count, 0);
    }
    EXPECT_EQ(log.count, 1);

    {
        auto made = MakeZoltRef<CountedItem>(&log, 2);
        ASSERT_TRUE(made);
        EXPECT_EQ(made->RefCount(), 1);
        CountedItem* detached = made.Detach();
        EXPECT_FALSE(made);
        EXPECT_EQ(detached->RefCount(), 1);
        auto adopted = ZoltRef<CountedItem>::Adopt(detached); // no extra reference
        EXPECT_EQ(adopted->RefCount(), 1);
        ZoltRef<CountedItem> empty;
        EXPECT_TRUE(empty == nullptr);
        empty.Reset(nullptr);
    }
    EXPECT_EQ(log.count, 2);

    {
        clZoltItemList list;
        ZoltRef<CountedItem> held(new CountedItem(&log, 3));
        list.Append(held.Get());
        EXPECT_EQ(held->RefCount(), 2);
        auto taken = ZoltRef<clZoltItem>::Adopt(list.TakeFirst());
        EXPECT_EQ(held->RefCount(), 2);
        EXPECT_EQ(taken.Get(), held.Get());
    }
    EXPECT_EQ(log.count, 3);
}

// ---- clZoltObjectList ----

TEST(ZoltObjectList, ClearDeletesOnlyOwnedMembers) {
    DestroyLog log;
    auto* owned1 = new CountedObject(&log, 1);
    auto* foreign = new CountedObject(&log, 2); // owned elsewhere
    auto* unowned = new CountedObject(&log, 3);
    auto* owned2 = new CountedObject(&log, 4);
    clZoltObjectList list, elsewhere;
    EXPECT_TRUE(list.AppendOwned(owned1));
    foreign->SetOwner(&elsewhere);
    EXPECT_FALSE(list.Append(foreign)); // belongs to another list
    foreign->SetOwner(nullptr);
    EXPECT_TRUE(list.Append(foreign));
    foreign->SetOwner(&elsewhere); // as a device list would, after linking
    EXPECT_TRUE(list.Append(unowned));
    owned2->SetOwner(&list);
    EXPECT_TRUE(list.Append(owned2));
    EXPECT_EQ(list.Count(), 4u);
    EXPECT_EQ(owned1->Owner(), &list);

    list.Clear();
    EXPECT_EQ(list.First(), nullptr);
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_EQ(log.order, (std::vector<int>{1, 4}));
    for (CountedObject* o : {foreign, unowned}) {
        EXPECT_EQ(o->Prev(), nullptr);
        EXPECT_EQ(o->Next(), nullptr);
    }
    delete foreign;
    delete unowned;
}

TEST(ZoltObjectList, RemoveUnlinksWithoutDeleting) {
    struct Row {
        int remove;
        std::vector<int> rest;
    } rows[] = {{0, {1, 2, 3}}, {1, {0, 2, 3}}, {3, {0, 1, 2}}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.remove);
        DestroyLog log;
        CountedObject* objs[4];
        {
            clZoltObjectList list;
            for (int i = 0; i < 4; ++i)
                list.AppendOwned(objs[i] = new CountedObject(&log, i));
            CountedObject* victim = objs[r.remove];
            EXPECT_TRUE(list.Remove(victim));
            EXPECT_EQ(log.count, 0);
            EXPECT_EQ(victim->Prev(), nullptr);
            EXPECT_EQ(victim->Next(), nullptr);
            EXPECT_EQ(victim->Owner(), nullptr);
            EXPECT_EQ(Tags(list), r.rest);
            EXPECT_EQ(list.First()->Prev(), nullptr);
            EXPECT_EQ(list.Last()->Next(), nullptr);
            EXPECT_EQ(static_cast<CountedObject*>(list.Last())->Tag(), r.rest.back());
            EXPECT_FALSE(list.Remove(victim)); // second Remove: harmless
            EXPECT_EQ(Tags(list), r.rest);
            delete victim; // the caller's to delete once removed
        }
        EXPECT_EQ(log.count, 4); // the destructor cleared the other three
    }
}

// The list keeps its tail: appends after removals at either end, and after emptying, land last.
TEST(ZoltObjectList, AppendsFollowRemovalsAtEitherEnd) {
    DestroyLog log;
    clZoltObjectList list;
    CountedObject* objs[3];
    for (int i = 0; i < 3; ++i)
        list.AppendOwned(objs[i] = new CountedObject(&log, i));
    list.Remove(objs[2]);
    delete objs[2];
    list.AppendOwned(new CountedObject(&log, 7));
    list.Remove(objs[0]);
    delete objs[0];
    list.AppendOwned(new CountedObject(&log, 8));
    EXPECT_EQ(Tags(list), (std::vector<int>{1, 7, 8}));
    EXPECT_EQ(static_cast<CountedObject*>(list.Last())->Tag(), 8);
    EXPECT_EQ(list.Last()->Prev()->Next(), list.Last());
    list.Clear();
    EXPECT_EQ(list.Last(), nullptr);
    auto* again = new CountedObject(&log, 9);
    EXPECT_TRUE(list.AppendOwned(again));
    EXPECT_EQ(list.First(), again);
    EXPECT_EQ(list.Last(), again);
    while (clZoltObject* o = list.Last()) {
        list.Remove(o);
        delete o;
    }
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_TRUE(list.AppendOwned(new CountedObject(&log, 10)));
    EXPECT_EQ(Tags(list), (std::vector<int>{10}));
}

TEST(ZoltObjectList, RemoveOfANonMemberLeavesTheListAlone) {
    DestroyLog log;
    clZoltObjectList list, other;
    list.AppendOwned(new CountedObject(&log, 1));
    list.AppendOwned(new CountedObject(&log, 2));
    auto* otherHead = new CountedObject(&log, 3);
    auto* otherTail = new CountedObject(&log, 4);
    other.AppendOwned(otherHead);
    other.AppendOwned(otherTail);
    CountedObject loose(&log, 5);

    clZoltObject* strangers[] = {nullptr, &loose, otherHead, otherTail, &list, &other};
    for (clZoltObject* s : strangers) {
        EXPECT_FALSE(list.Remove(s));
        EXPECT_EQ(Tags(list), (std::vector<int>{1, 2}));
        EXPECT_EQ(list.First()->Prev(), nullptr);
    }
    EXPECT_EQ(Tags(other), (std::vector<int>{3, 4}));
    EXPECT_EQ(otherTail->Prev(), otherHead);
    EXPECT_EQ(log.count, 0);
}

TEST(ZoltObjectList, AppendRefusesLinkedObjectsAndWalks) {
    DestroyLog log;
    clZoltObjectList list, other;
    EXPECT_TRUE(list.IsList());
    EXPECT_EQ(list.Last(), nullptr);
    EXPECT_FALSE(list.Append(nullptr));
    EXPECT_FALSE(list.Append(&list));
    auto* a = new CountedObject(&log, 1);
    auto* b = new CountedObject(&log, 2);
    EXPECT_FALSE(a->IsList());
    EXPECT_TRUE(list.AppendOwned(a));
    EXPECT_FALSE(list.Append(a)); // the only member already
    EXPECT_TRUE(list.AppendOwned(b));
    EXPECT_FALSE(list.Append(b));       // the tail already
    EXPECT_FALSE(other.AppendOwned(a)); // linked and owned here
    EXPECT_EQ(list.Count(), 2u);
    EXPECT_EQ(list.Last(), b);
    EXPECT_TRUE(other.IsEmpty());

    // A walk may remove (and delete) the member it stands on.
    for (int i = 3; i <= 5; ++i)
        list.AppendOwned(new CountedObject(&log, i));
    for (clZoltObject* o : list)
        if (static_cast<CountedObject*>(o)->Tag() != 4) {
            list.Remove(o);
            delete o;
        }
    EXPECT_EQ(Tags(list), (std::vector<int>{4}));
    EXPECT_EQ(log.count, 4);
}

} // namespace
} // namespace tvd
