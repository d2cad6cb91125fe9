#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/LinkEvents.h"
#include "core/ZTLink.h"

namespace {

using Log = std::vector<std::string>;

// A node that records every message it is offered and answers true at a chosen name.
struct Node : ZTLink {
    Node(std::string n, Log* l) : name(std::move(n)), log(l) {}
    bool Handle(int, intptr_t, intptr_t) override {
        log->push_back(name);
        return name == *stopAt;
    }
    std::string name;
    Log* log;
    const std::string* stopAt = &kNobody;
    static inline const std::string kNobody;
};

// R { A { A1, A2 }, B { B1 } }, built only through the public moves.
struct Tree {
    Log log;
    Node r{"R", &log}, a{"A", &log}, a1{"A1", &log}, a2{"A2", &log}, b{"B", &log}, b1{"B1", &log};
    Tree() {
        a.AttachAsFirstChild(&r);
        b.InsertAfter(&a);
        a2.AttachAsFirstChild(&a);
        a1.AttachAsFirstChild(&a);
        b1.AttachAsFirstChild(&b);
    }
    Log Take() { return std::exchange(log, {}); }
};

}  // namespace

TEST(CoreLinks, BroadcastOrders) {
    Tree t;
    EXPECT_FALSE(t.r.BroadcastForward(kLinkTick, 0, 0));
    Log forward = t.Take();
    EXPECT_EQ(forward, Log({"R", "A", "A1", "A2", "B", "B1"}));
    EXPECT_FALSE(t.r.BroadcastReverse(kLinkTick, 0, 0));
    Log reverse = t.Take();
    EXPECT_EQ(reverse, Log(forward.rbegin(), forward.rend()));

    std::string stop = "A2";
    t.a2.stopAt = &stop;
    EXPECT_TRUE(t.r.BroadcastForward(kLinkTick, 0, 0));
    EXPECT_EQ(t.Take(), Log({"R", "A", "A1", "A2"}));
    EXPECT_TRUE(t.r.BroadcastReverse(kLinkTick, 0, 0));
    EXPECT_EQ(t.Take(), Log({"B1", "B", "A2"}));
    t.a2.stopAt = &Node::kNobody;

    EXPECT_FALSE(t.b.SendBack(kLinkPictureClicked, 0, 0));
    EXPECT_EQ(t.Take(), Log({"B", "A", "R"}));
    EXPECT_FALSE(t.a2.SendBack(kLinkPictureClicked, 0, 0));
    EXPECT_EQ(t.Take(), Log({"A2", "A1", "A", "R"}));

    EXPECT_EQ(t.a2.GetParent(), &t.a);
    EXPECT_EQ(t.b.GetParent(), &t.r);
    EXPECT_EQ(t.b1.GetParent(), &t.b);
    EXPECT_EQ(t.r.GetParent(), nullptr);
}

TEST(CoreLinks, EventHandlersSeeWholePointers) {
    struct Handler : ZEventHandler {
        bool HandleEvent(int kind, intptr_t data, intptr_t extra) override {
            seen = kind == kLinkMouseDown ? reinterpret_cast<ZMouseEvent*>(data) : nullptr;
            from = reinterpret_cast<ZEventHandler*>(extra);
            return true;
        }
        ZMouseEvent* seen = nullptr;
        ZEventHandler* from = nullptr;
    };
    Handler parent;
    ZEventHandler child;
    child.AttachAsFirstChild(&parent);
    ZMouseEvent event;
    event.x = 12;
    EXPECT_TRUE(child.SendBack(kLinkMouseDown, reinterpret_cast<intptr_t>(&event),
                               reinterpret_cast<intptr_t>(&child)));
    EXPECT_EQ(parent.seen, &event);
    EXPECT_EQ(parent.from, &child);
}

TEST(CoreLinks, DetachLeavesChildrenChained) {
    Tree t;
    EXPECT_EQ(t.a.Detach(), &t.a1);
    EXPECT_EQ(t.a1.GetBack(), nullptr);
    EXPECT_EQ(t.a1.GetNext(), &t.a2);
    EXPECT_EQ(t.a2.GetBack(), &t.a1);
    EXPECT_EQ(t.a.GetBack(), nullptr);
    EXPECT_EQ(t.a.GetNext(), nullptr);
    EXPECT_EQ(t.a.GetChild(), nullptr);
    EXPECT_EQ(t.r.GetChild(), &t.b);
    EXPECT_EQ(t.b.GetBack(), &t.r);

    // The head of a detached chain has no back link; moving it must not crash.
    t.a1.InsertAfter(&t.b1);
    EXPECT_EQ(t.a2.GetBack(), nullptr);
    EXPECT_EQ(t.a1.GetParent(), &t.b);
    EXPECT_EQ(t.a.Detach(), nullptr);
}

TEST(CoreLinks, MovesToSelfOnlyUnlink) {
    Tree t;
    t.a.InsertAfter(&t.a);
    EXPECT_EQ(t.r.GetChild(), &t.b);
    EXPECT_EQ(t.a.GetBack(), nullptr);
    EXPECT_EQ(t.a.GetChild(), &t.a1);  // keeps its children

    t.a.AttachAsFirstChild(&t.r);
    t.b.AttachAsFirstChild(&t.b);
    EXPECT_EQ(t.r.GetChild(), &t.a);
    EXPECT_EQ(t.a.GetNext(), nullptr);
    EXPECT_EQ(t.b.GetChild(), &t.b1);
    t.b.InsertAfter(nullptr);
    EXPECT_EQ(t.b.GetBack(), nullptr);
}

TEST(CoreLinks, MovesIntoOwnSubtreeAreRefused) {
    Tree t;
    Node deep("D", &t.log);
    deep.AttachAsFirstChild(&t.a2);
    t.a.AttachAsFirstChild(&deep);
    t.a.InsertAfter(&t.a1);
    t.r.InsertAfter(&deep);
    EXPECT_EQ(t.a.GetParent(), &t.r);
    EXPECT_EQ(t.a.GetNext(), &t.b);
    EXPECT_EQ(t.r.GetBack(), nullptr);
    EXPECT_EQ(deep.GetNext(), nullptr);
    t.r.BroadcastForward(kLinkTick, 0, 0);
    EXPECT_EQ(t.Take(), Log({"R", "A", "A1", "A2", "D", "B", "B1"}));
}

TEST(CoreLinks, DestroyedNodesLeaveTheTree) {
    Tree t;
    {
        Node temp("T", &t.log);
        temp.InsertAfter(&t.a1);
        Node inner("I", &t.log);
        inner.AttachAsFirstChild(&temp);
        t.r.BroadcastForward(kLinkTick, 0, 0);
        EXPECT_EQ(t.Take(), Log({"R", "A", "A1", "T", "I", "A2", "B", "B1"}));
    }
    t.r.BroadcastForward(kLinkTick, 0, 0);
    EXPECT_EQ(t.Take(), Log({"R", "A", "A1", "A2", "B", "B1"}));
    EXPECT_EQ(t.a2.GetBack(), &t.a1);
}

// The parent a node remembers is always the one its links describe (the first earlier node whose first
// child begins the run of siblings), through any sequence of moves, detaches and destructions.
TEST(CoreLinks, RememberedParentsFollowEveryMove) {
    auto walked = [](const ZTLink* node) -> const ZTLink* {
        const ZTLink* from = node;
        const ZTLink* at = node->GetBack();
        while (at != nullptr && at->GetChild() != from) {
            from = at;
            at = at->GetBack();
        }
        return at;
    };
    Log log;
    std::vector<std::unique_ptr<Node>> nodes;
    for (int i = 0; i < 12; ++i) {
        nodes.push_back(std::make_unique<Node>(std::to_string(i), &log));
    }
    uint32_t seed = 12345;
    auto next = [&seed](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % n;
    };
    for (int step = 0; step < 5000; ++step) {
        Node* self = nodes[next(12)].get();
        Node* other = nodes[next(12)].get();
        switch (next(5)) {
            case 0:
            case 1:
                self->InsertAfter(other);
                break;
            case 2:
            case 3:
                self->AttachAsFirstChild(other);
                break;
            default:
                if (next(4) == 0) {
                    size_t i = next(12);
                    nodes[i] = std::make_unique<Node>("new", &log);  // destroys the old node
                } else {
                    self->Detach();
                }
                break;
        }
        for (const auto& node : nodes) {
            ASSERT_EQ(node->GetParent(), walked(node.get())) << "step " << step;
        }
    }
}
