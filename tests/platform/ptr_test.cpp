#include "platform/ptr.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace
{
int gAlive = 0;
struct Object : LCountable {
    explicit Object(int v) : value(v) { gAlive++; }
    ~Object() override { gAlive--; }
    int value;
};
} // namespace

TEST(Ptr, OwnershipMovesAndSwaps)
{
    gAlive = 0;
    {
        LPtr<Object> a(new Object(1)), b(new Object(2));
        a.Assign(b); // the old object of a is deleted, b is emptied
        EXPECT_EQ(1, gAlive);
        EXPECT_TRUE(b.IsNull());
        EXPECT_EQ(2, a->value);
        a.Assign(a); // self-assignment keeps the object
        EXPECT_EQ(2, a->value);
        b.Reset(new Object(3));
        a.Swap(b);
        EXPECT_EQ(3, a->value);
        EXPECT_EQ(2, b->value);
        LRef<Object> view(a);
        EXPECT_EQ(3, view->value);
        Object *raw = b.Detach();
        EXPECT_FALSE(b);
        delete raw;
        EXPECT_EQ(1, gAlive);
    }
    EXPECT_EQ(0, gAlive);
}

TEST(Ptr, CountedObjectLivesUntilTheLastPointerLetsGo)
{
    gAlive = 0;
    LCountedPtr<Object> first(new Object(5));
    EXPECT_EQ(1, first->GetRefCount());
    {
        LCountedPtr<Object> copy(first);
        LCountedPtr<Object> assigned;
        assigned = copy;
        EXPECT_EQ(3, first->GetRefCount());
        assigned = assigned; // self-assignment keeps the count
        EXPECT_EQ(3, first->GetRefCount());
        LCountedPtr<Object> moved(std::move(copy));
        EXPECT_TRUE(copy.IsNull());
        EXPECT_EQ(3, first->GetRefCount());
    }
    EXPECT_EQ(1, first->GetRefCount());
    LCountedPtr<Object> shared;
    shared.Share(first.Get());
    first.Reset();
    EXPECT_EQ(1, gAlive);
    shared.Reset();
    EXPECT_EQ(0, gAlive);
}

TEST(Ptr, CountedPointersAcrossThreads)
{
    gAlive = 0;
    LCountedPtr<Object> root(new Object(9));
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; t++)
        threads.emplace_back([copy = root]() mutable {
            for (int i = 0; i < 10000; i++) {
                LCountedPtr<Object> again(copy);
                again.Reset();
            }
        });
    for (std::thread &t : threads)
        t.join();
    EXPECT_EQ(1, root->GetRefCount());
    root.Reset();
    EXPECT_EQ(0, gAlive);
}
