// Controls: automatic ids, ownership of the subtree, the three trees, and drop notifications.
#include <set>

#include "tests/controls/ControlsTestSupport.h"

namespace controlstest {
namespace {

using ControlTest = ControlsTest;

std::unique_ptr<ZControl> Automatic() {
    return std::make_unique<ZControl>(1, ZControl::kAutomaticId, 0, 0, 0, 1, 1, nullptr);
}

TEST_F(ControlTest, AutomaticIdsComeFromAPoolThatRunsOutAndRefills) {
    std::vector<std::unique_ptr<ZControl>> controls;
    std::set<int32_t> ids;
    for (int32_t i = 0; i < ZIdPool::kSlots; ++i) {
        controls.push_back(Automatic());
        ids.insert(controls.back()->GetId());
    }
    EXPECT_EQ(ids.size(), size_t(ZIdPool::kSlots));
    EXPECT_EQ(*ids.begin(), 12311);
    EXPECT_EQ(*ids.rbegin(), 14358);
    // The 2049th finds every slot taken after one lap and gets no id.
    std::unique_ptr<ZControl> extra = Automatic();
    EXPECT_EQ(extra->GetId(), ZControl::kNoId);
    EXPECT_EQ(extra->GetPoolSlot(), ZIdPool::kNone);
    extra.reset();
    EXPECT_EQ(ControlState().idPool.CountTaken(), ZIdPool::kSlots);  // it held nothing to give back
    // A destroyed control gives its slot back, and the search wraps round to find it.
    int32_t freed = controls[5]->GetId();
    controls[5].reset();
    EXPECT_EQ(Automatic()->GetId(), freed);
}

TEST_F(ControlTest, OnlyIdsTakenFromThePoolGoBack) {
    struct Case {
        int32_t explicitId;
    };
    // Ids inside the pool's range, at its edges, and outside it.
    const Case cases[] = {{12311}, {12316}, {14358}, {12310}, {14359}, {7}};
    for (const Case& test : cases) {
        ResetControlState();
        std::vector<std::unique_ptr<ZControl>> held;
        for (int i = 0; i < 10; ++i) {
            held.push_back(Automatic());
        }
        auto chosen = std::make_unique<ZControl>(1, test.explicitId, 0, 0, 0, 1, 1, nullptr);
        EXPECT_EQ(chosen->GetId(), test.explicitId);
        chosen.reset();
        EXPECT_EQ(ControlState().idPool.CountTaken(), 10) << test.explicitId;
        for (int32_t slot = 0; slot < 10; ++slot) {
            EXPECT_TRUE(ControlState().idPool.IsTaken(slot)) << test.explicitId << " slot " << slot;
        }
    }
}

TEST_F(ControlTest, AControlJoinsThreeTreesAndOwnsItsSubtree) {
    auto* panel = new ZPanel();
    Probe* low = new Probe("low", 0, 0, 1, 10, 10, panel);
    Probe* high = new Probe("high", 0, 0, 9, 10, 10, panel);
    Probe* mid = new Probe("mid", 0, 0, 5, 10, 10, panel);
    // The graphic tree by layer; the other two newest first.
    EXPECT_EQ(panel->GetFirstChild(), low);
    EXPECT_EQ(low->GetNextSibling(), mid);
    EXPECT_EQ(mid->GetNextSibling(), high);
    ZEventHandler& events = *panel;
    EXPECT_EQ(events.GetChild(), static_cast<ZEventHandler*>(mid));
    EXPECT_EQ(static_cast<ZEventHandler*>(mid)->GetNext(), static_cast<ZEventHandler*>(high));
    ZDataLink& data = *panel;
    EXPECT_EQ(data.GetChild(), static_cast<ZDataLink*>(mid));
    // Below a control, plain graphic objects and controls alike belong to it.
    auto* nested = new Probe("nested", 0, 0, 0, 1, 1, nullptr);
    nested->AttachNodes(*mid, *mid, *mid);
    auto* plain = new ZGraphicObject(2, 0, 0, 0, 0, 1, 1);
    plain->AttachAsFirstChild(static_cast<ZGraphicObject*>(high));
    // A notification from a control goes back through its earlier siblings to the panel.
    high->consumesEvents = false;
    mid->consumesEvents = false;
    static_cast<ZEventHandler*>(high)->SendBack(kLinkPictureClicked, 3, 0);
    EXPECT_EQ(Logged("event "), "high 18 3 mid 18 3");
    Log().clear();
    delete panel;
    EXPECT_EQ(Logged("gone "), "high nested mid low");
    // Deleting one control detaches it from all three trees.
    ZPanel other;
    Probe* gone = new Probe("gone", 0, 0, 0, 1, 1, &other);
    delete gone;
    EXPECT_EQ(static_cast<ZGraphicObject&>(other).GetChild(), nullptr);
    EXPECT_EQ(static_cast<ZEventHandler&>(other).GetChild(), nullptr);
    EXPECT_EQ(static_cast<ZDataLink&>(other).GetChild(), nullptr);
}

TEST_F(ControlTest, DraggingTellsTheTopmostVisibleObjectUnderIt) {
    TestWindow window;
    auto* panel = new ZPanel();
    panel->Open(&window, false);
    panel->Show(true, ZRedraw::kNo);
    Probe* left = new Probe("left", 0, 0, 1, 100, 100, panel);
    Probe* right = new Probe("right", 200, 0, 1, 100, 100, panel);
    Probe* cover = new Probe("cover", 200, 0, 2, 100, 100, panel);  // above right, hidden
    cover->Show(false, ZRedraw::kNo);
    Probe* piece = new Probe("piece", 40, 40, 5, 10, 10, panel, 77);
    piece->SetDraggable(true);
    Log().clear();
    ASSERT_TRUE(window.OnMouseDown(Mouse(45, 45)));
    window.OnMouseMove(Mouse(245, 45));
    // The drop goes on back along the notification tree, where the newest control comes first.
    right->consumesEvents = false;
    window.OnMouseUp(Mouse(245, 45));
    EXPECT_EQ(Logged("event "), "left 12 77 right 13 77 right 14 77 cover 14 77");
    EXPECT_EQ(left->lastExtra, reinterpret_cast<intptr_t>(static_cast<ZEventHandler*>(piece)));
    (void)cover;
}

}  // namespace
}  // namespace controlstest
