#include "platform/list.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{
struct Item : LListable {
    Item(int v, std::vector<int> *gone) : value(v), deleted(gone) {}
    ~Item() override
    {
        if (deleted)
            deleted->push_back(value);
    }
    int value;
    std::vector<int> *deleted;
};

std::vector<int> Values(LList &list)
{
    std::vector<int> out;
    for (LListIteratorOf<Item> it(list); it.Get(); it.Next())
        out.push_back(it->value);
    return out;
}
} // namespace

TEST(List, OrderOwnershipAndTakeAll)
{
    std::vector<int> gone;
    Item *kept = new Item(7, &gone);
    {
        LListOf<Item> list, other;
        EXPECT_TRUE(list.IsEmpty());
        list.AddBottom(new Item(10, &gone)); // on an empty list
        list.Add(new Item(1, &gone));
        list.AddTop(new Item(2, &gone));
        list.AddBottom(new Item(3, &gone));
        list.Add(kept);
        EXPECT_TRUE(list.Detach(kept));
        EXPECT_FALSE(list.Detach(kept));
        EXPECT_FALSE(list.Delete(kept)); // not listed: must not be deleted
        EXPECT_EQ((std::vector<int>{2, 1, 10, 3}), Values(list));
        EXPECT_EQ(4, list.GetCount());
        EXPECT_EQ(2, list.GetFirst()->value);
        other.AddBottom(new Item(4, &gone));
        other.AddBottom(new Item(5, &gone));
        list.TakeAll(other); // in front, in order
        list.TakeAll(list);
        EXPECT_TRUE(other.IsEmpty());
        EXPECT_EQ((std::vector<int>{4, 5, 2, 1, 10, 3}), Values(list));
    }
    EXPECT_EQ((std::vector<int>{4, 5, 2, 1, 10, 3}), gone);
    delete kept;
}

TEST(List, IteratorDetachAndDeleteLeaveItOnTheNextElement)
{
    // values to take out in one pass, and those left
    // clang-format off
    const struct { const char *name; std::vector<int> remove, left; } cases[] = {
        {"first", {5}, {4, 3, 2, 1}}, {"last", {1}, {5, 4, 3, 2}}, {"adjacent", {4, 3}, {5, 2, 1}},
        {"all", {5, 4, 3, 2, 1}, {}}, {"none", {}, {5, 4, 3, 2, 1}},
    };
    // clang-format on
    for (const auto &c : cases) {
        for (bool del : {false, true}) {
            std::vector<int> gone;
            std::vector<Item *> detached;
            LList list;
            for (int v = 1; v <= 5; v++)
                list.Add(new Item(v, &gone));
            std::vector<int> visited;
            for (LListIteratorOf<Item> it(list); it.Get();) {
                int v = it->value;
                visited.push_back(v);
                bool take = std::find(c.remove.begin(), c.remove.end(), v) != c.remove.end();
                if (!take)
                    it.Next();
                else if (del)
                    it.Delete();
                else
                    detached.push_back(it.Detach());
            }
            EXPECT_EQ((std::vector<int>{5, 4, 3, 2, 1}), visited) << c.name;
            EXPECT_EQ(c.left, Values(list)) << c.name;
            if (del) {
                EXPECT_EQ(c.remove, gone) << c.name;
            } else {
                EXPECT_TRUE(gone.empty()) << c.name;
                for (Item *item : detached) {
                    EXPECT_EQ(nullptr, item->GetNext()) << c.name;
                    EXPECT_FALSE(list.Contains(item));
                    delete item;
                }
            }
        }
    }
}
