#include <gtest/gtest.h>

#include <vector>

#include "core/ZLinkedList.h"

namespace {

struct Item : ZListElement {
    Item(int v, int* deaths) : value(v), destroyed(deaths) {}
    ~Item() override { ++*destroyed; }
    int value;
    int* destroyed;
};

std::vector<int> Values(const ZLinkedList& list) {
    std::vector<int> values;
    for (ZListElement* e = list.GetHead(); e != nullptr; e = e->next) {
        values.push_back(static_cast<Item*>(e)->value);
    }
    return values;
}

}  // namespace

TEST(CoreList, AppendAndGetAt) {
    int deaths = 0;
    ZLinkedList list;
    ZListElement* at = nullptr;
    ZListElement* prev = nullptr;
    EXPECT_EQ(list.GetAt(0, &at, &prev), nullptr);
    EXPECT_EQ(at, nullptr);

    Item* a = new Item(1, &deaths);
    Item* b = new Item(2, &deaths);
    Item* c = new Item(3, &deaths);
    list.Append(a);
    list.Append(b);
    list.Append(c);
    list.Append(nullptr);
    EXPECT_EQ(list.GetCount(), 3);
    EXPECT_EQ(list.GetAt(1, &at, &prev), b);
    EXPECT_EQ(prev, a);
    EXPECT_EQ(list.GetAt(3, &at, &prev), nullptr);
    EXPECT_EQ(at, nullptr);
    EXPECT_EQ(prev, c);
    EXPECT_EQ(list.GetAt(-2, &at, &prev), nullptr);
    EXPECT_EQ(at, a);
    EXPECT_EQ(prev, nullptr);
    EXPECT_EQ(list.GetAt(2, nullptr, nullptr), c);
}

TEST(CoreList, InsertAtPlacesWholeChains) {
    int deaths = 0;
    ZLinkedList list;
    list.InsertAt(new Item(1, &deaths), 0);
    EXPECT_EQ(Values(list), std::vector<int>({1}));
    list.InsertAt(new Item(3, &deaths), 7);
    list.InsertAt(new Item(0, &deaths), 0);
    list.InsertAt(new Item(-1, &deaths), -4);

    Item* x = new Item(10, &deaths);
    x->next = new Item(11, &deaths);
    list.InsertAt(x, 2);
    EXPECT_EQ(Values(list), std::vector<int>({-1, 0, 10, 11, 1, 3}));
    list.InsertAt(nullptr, 1);
    EXPECT_EQ(list.GetCount(), 6);
}

TEST(CoreList, RemoveAndOwnership) {
    int deaths = 0;
    Item outsider(99, &deaths);
    {
        ZLinkedList list;
        Item* a = new Item(1, &deaths);
        Item* b = new Item(2, &deaths);
        Item* c = new Item(3, &deaths);
        list.Append(a);
        list.Append(b);
        list.Append(c);

        list.Remove(b, false);
        EXPECT_EQ(b->next, nullptr);
        EXPECT_EQ(deaths, 0);
        EXPECT_EQ(Values(list), std::vector<int>({1, 3}));
        list.Remove(&outsider, true);  // not in the list: nothing happens
        list.Remove(nullptr, true);
        EXPECT_EQ(deaths, 0);
        list.Remove(a, true);
        EXPECT_EQ(deaths, 1);
        EXPECT_EQ(Values(list), std::vector<int>({3}));

        list.Append(b);
        list.Append(new Item(4, &deaths));
    }
    EXPECT_EQ(deaths, 4);  // the list destroyed the three it still held
    ZLinkedList list;
    list.Append(new Item(5, &deaths));
    list.DeleteAll();
    EXPECT_EQ(list.GetHead(), nullptr);
    EXPECT_EQ(deaths, 5);
}
