// Tree order by layer, drawing, hit testing, modality, focus, capture and dragging of graphic objects.
#include <algorithm>
#include <numeric>

#include "tests/controls/ControlsTestSupport.h"

namespace controlstest {
namespace {

// A new probe attached to parent in all three trees; the parent owns it.
template <class Parent>
Probe* Add(Parent& parent, const std::string& name, ZRect frame, int32_t layer = 0) {
    auto* probe = new Probe(name, frame.left, frame.top, layer, frame.Width(), frame.Height(), nullptr);
    probe->AttachNodes(parent, parent, parent);
    return probe;
}

std::string ChildNames(const ZGraphicObject& parent) {
    std::vector<std::string> names;
    for (ZGraphicObject* child = parent.GetFirstChild(); child != nullptr; child = child->GetNextSibling()) {
        names.push_back(static_cast<Probe*>(child)->Name());
    }
    return Join(names);
}

using GraphicObjectTest = ControlsTest;

TEST_F(GraphicObjectTest, ChildrenStaySortedByLayerNewestFirstAmongEquals) {
    const std::vector<std::vector<int32_t>> cases = {
        {5, 5, 3}, {1, 5, 3}, {2, 2, 2}, {3, 1, 2}, {0, 9, 4, 4, 9, 0, -1}, {7},
    };
    for (const std::vector<int32_t>& layers : cases) {
        TestWindow window;
        std::vector<int32_t> order(layers.size());
        for (size_t i = 0; i < layers.size(); ++i) {
            Add(window, std::to_string(i), ZRect{}, layers[i]);
            order[i] = int32_t(i);
        }
        // Model: by layer, and among equal layers the one attached later goes first.
        std::sort(order.begin(), order.end(), [&](int32_t a, int32_t b) {
            return layers[a] != layers[b] ? layers[a] < layers[b] : a > b;
        });
        std::vector<std::string> expected;
        for (int32_t i : order) {
            expected.push_back(std::to_string(i));
        }
        EXPECT_EQ(ChildNames(window), Join(expected)) << "layers " << ::testing::PrintToString(layers);
    }
    // The documented case: 5, 5, 3 end up 3, 5 (second), 5 (first).
    TestWindow window;
    Add(window, "first5", ZRect{}, 5);
    Add(window, "second5", ZRect{}, 5);
    Add(window, "three", ZRect{}, 3);
    EXPECT_EQ(ChildNames(window), "three second5 first5");
    // InsertAfter passes the following siblings of a lower layer only.
    Probe* moved = Add(window, "moved", ZRect{}, 4);
    moved->ZGraphicObject::InsertAfter(window.GetFirstChild());
    EXPECT_EQ(ChildNames(window), "three moved second5 first5");
    moved->ZGraphicObject::InsertAfter(static_cast<ZGraphicObject*>(moved));  // only unlinks
    EXPECT_EQ(ChildNames(window), "three second5 first5");
    delete moved;
}

// Window: A (0,0,100,100) holding A1 and A2; B (50,50,150,150) above A; C hidden, holding C1.
class DrawingTest : public ControlsTest {
  protected:
    void SetUp() override {
        ControlsTest::SetUp();
        a = Add(window, "A", ZRect{0, 0, 100, 100}, 1);
        a1 = Add(*a, "A1", ZRect{10, 10, 20, 20}, 0);
        a2 = Add(*a, "A2", ZRect{90, 90, 130, 130}, 1);  // reaches out of A
        b = Add(window, "B", ZRect{50, 50, 150, 150}, 2);
        c = Add(window, "C", ZRect{0, 0, 10, 10}, 3);
        Add(*c, "C1", ZRect{0, 0, 5, 5});
        c->Show(false, ZRedraw::kNo);
        Log().clear();
    }

    TestWindow window;
    Probe* a = nullptr;
    Probe* a1 = nullptr;
    Probe* a2 = nullptr;
    Probe* b = nullptr;
    Probe* c = nullptr;
};

TEST_F(DrawingTest, OnePassDrawsInTreeOrderAndShowsTheBufferOnce) {
    window.Draw(nullptr, nullptr, ZDrawFlags::kNone);
    EXPECT_EQ(Logged("draw "), "window A A1 A2 B");
    // Only the pass that made the device shows the buffer and runs the overlays, however deep it went.
    EXPECT_EQ(window.devices, 1);
    EXPECT_EQ(window.overlayPasses, 1);
    ASSERT_EQ(window.presented.size(), 1u);
    EXPECT_EQ(window.presented[0], ZRect::FromSize(640, 480));
    // Content is asked for within its frame, in window coordinates.
    EXPECT_EQ(a2->drawn.back(), (ZRect{90, 90, 130, 130}));
}

TEST_F(DrawingTest, ClipsLimitWhatIsDrawn) {
    struct Case {
        ZRect clip;
        bool clipsChildren;
        const char* drawn;
    };
    const Case cases[] = {
        {ZRect{0, 0, 5, 5}, false, "window A"},
        {ZRect{15, 15, 16, 16}, false, "window A A1"},
        {ZRect{120, 120, 125, 125}, false, "window A2 B"},  // A2 lies outside A but A does not clip
        {ZRect{120, 120, 125, 125}, true, "window B"},      // now A's frame cuts A2 off
        {ZRect{200, 200, 300, 300}, false, "window"},
    };
    for (const Case& test : cases) {
        a->SetClipsChildren(test.clipsChildren);
        Log().clear();
        window.Draw(nullptr, &test.clip, ZDrawFlags::kNone);
        EXPECT_EQ(Logged("draw "), test.drawn) << test.clip.left << "," << test.clip.top;
    }
    ZRect empty{};
    Log().clear();
    window.Draw(nullptr, &empty, ZDrawFlags::kNone);
    EXPECT_EQ(Logged("draw "), "");
}

TEST_F(DrawingTest, RedrawingAnObjectRepaintsWhatLiesAboveOrShowsThrough) {
    // A1 is not covered by B: it draws alone, and only its visible bounds are shown.
    a1->Draw(nullptr, nullptr, ZDrawFlags::kNone);
    EXPECT_EQ(Logged("draw "), "A1");
    EXPECT_EQ(window.presented.back(), (ZRect{10, 10, 20, 20}));
    // A2 lies under B, which is A's following sibling: the pass starts at A and includes B.
    Log().clear();
    a2->Draw(nullptr, nullptr, ZDrawFlags::kNone);
    EXPECT_EQ(Logged("draw "), "A A2 B");
    // A transparent object is repainted from the root.
    a1->SetTransparent(true);
    Log().clear();
    a1->Draw(nullptr, nullptr, ZDrawFlags::kNone);
    EXPECT_EQ(Logged("draw "), "window A A1");
    // Without a window nothing is drawn.
    Probe loose("loose", 0, 0, 0, 10, 10, nullptr);
    Log().clear();
    loose.Draw(nullptr, nullptr, ZDrawFlags::kNone);
    EXPECT_EQ(Logged("draw "), "");
}

TEST_F(DrawingTest, BoundsFollowTheTree) {
    EXPECT_EQ(a->GetBounds(), (ZRect{0, 0, 130, 130}));
    EXPECT_EQ(a->GetVisibleBounds(), (ZRect{0, 0, 130, 130}));
    a2->Show(false, ZRedraw::kNo);
    EXPECT_EQ(a->GetBounds(), (ZRect{0, 0, 130, 130}));  // visibility ignored
    EXPECT_EQ(a->GetVisibleBounds(), (ZRect{0, 0, 100, 100}));
    EXPECT_EQ(c->GetVisibleBounds(), ZRect{});
    a->SetClipsChildren(true);
    a2->Show(true, ZRedraw::kNo);
    EXPECT_EQ(a->GetBounds(), (ZRect{0, 0, 100, 100}));
    EXPECT_EQ(a2->GetVisibleBounds(), (ZRect{90, 90, 100, 100}));
    EXPECT_EQ(window.FindById(1), &window);
}

TEST_F(GraphicObjectTest, MovingAndShowingRepaintWhatChanged) {
    struct Case {
        const char* what;
        std::vector<ZRect> shown;  // what the window shows afterwards, pass by pass
    };
    const Case cases[] = {
        {"overlapping move", {ZRect{0, 0, 10, 15}}},                      // one pass over both
        {"distant move", {ZRect{0, 0, 10, 10}, ZRect{0, 100, 10, 110}}},  // old place, then new
        {"move by nothing", {}},
        {"forced move by nothing", {ZRect{0, 0, 10, 10}}},
        {"move without redraw", {}},
        {"hidden move", {}},
        {"hide", {ZRect{0, 0, 10, 10}}},
        {"hide hidden", {}},
    };
    for (const Case& test : cases) {
        TestWindow window;
        Probe* a = Add(window, "a", ZRect{0, 0, 10, 10});
        std::string what = test.what;
        if (what == "hidden move" || what == "hide hidden") {
            a->Show(false, ZRedraw::kNo);
        }
        if (what == "overlapping move") {
            a->MoveBy(5, 0, ZMoveFlags::kRedraw);
        } else if (what == "distant move") {
            a->MoveBy(100, 0, ZMoveFlags::kRedraw);
        } else if (what == "move by nothing") {
            a->MoveBy(0, 0, ZMoveFlags::kRedraw);
        } else if (what == "forced move by nothing") {
            a->MoveBy(0, 0, ZMoveFlags::kForce);
        } else if (what == "move without redraw") {
            a->MoveBy(3, 3, ZMoveFlags::kNone);
        } else if (what == "hidden move") {
            a->MoveBy(5, 0, ZMoveFlags::kRedraw);
        } else {
            a->Show(false, ZRedraw::kYes);
        }
        EXPECT_EQ(window.presented, test.shown) << what;
        // Invalidation covers what is visible, and nothing of a hidden object.
        a->InvalidateInWindow();
        EXPECT_EQ(window.invalidated.size(), a->IsEffectivelyVisible() ? 1u : 0u) << what;
    }
}

TEST_F(GraphicObjectTest, ErasingFillsTheVisibleBoundsWithTheBackgroundColour) {
    ZOffscreen pixels(ZRect::FromSize(20, 20), 32, nullptr, kKindMemory);
    ZGraphicDevice device(pixels);
    ControlState().background[0] = 10;
    ControlState().background[1] = 20;
    ControlState().background[2] = 30;
    Probe holder("holder", 2, 2, 0, 6, 6, nullptr);
    auto* child = new Probe("child", 4, 4, 0, 4, 4, nullptr);  // reaches out to (10, 10)
    child->AttachNodes(holder, holder, holder);
    holder.EraseBackground(&device);
    EXPECT_EQ(pixels.ColorAt(2, 2), 0x0A141Eu);
    EXPECT_EQ(pixels.ColorAt(9, 9), 0x0A141Eu);
    EXPECT_EQ(pixels.ColorAt(10, 10), 0u);
    EXPECT_EQ(pixels.ColorAt(1, 1), 0u);
    // Nothing of a hidden object.
    ControlState().background[0] = 99;
    holder.Show(false, ZRedraw::kNo);
    holder.EraseBackground(&device);
    EXPECT_EQ(pixels.ColorAt(2, 2), 0x0A141Eu);
}

// Three overlapping objects in one window; the hit goes to the topmost that takes it.
TEST_F(GraphicObjectTest, MouseDownsReachTheTopmostObjectThatTakesThem) {
    struct Case {
        ZPoint point;
        const char* setup;  // what is changed before the click
        const char* offered;
    };
    const Case cases[] = {
        {{5, 5}, "", "low"},
        {{25, 25}, "", "top"},                      // top is offered first and uses it
        {{60, 60}, "", "high"},                     // on high's right and bottom edges
        {{61, 61}, "", ""},                         // outside everything
        {{25, 25}, "see-through", "top high low"},  // top lets it through to those below
        {{25, 25}, "top hidden", "high"},
        {{25, 25}, "top disabled", "high"},
        {{25, 25}, "top transparent", "top"},  // transparency is about drawing only
        {{45, 45}, "holder clips", "high"},    // top's part outside its holder cannot be hit
    };
    for (const Case& test : cases) {
        TestWindow window;
        Probe* low = Add(window, "low", ZRect{0, 0, 60, 60}, 0);
        Probe* high = Add(window, "high", ZRect{20, 20, 60, 60}, 1);
        Probe* holder = Add(window, "holder", ZRect{20, 20, 40, 40}, 2);
        Probe* top = Add(*holder, "top", ZRect{0, 0, 30, 30}, 0);
        holder->usesMouse = false;
        std::string setup = test.setup;
        if (setup == "see-through") {
            top->usesMouse = false;
            high->usesMouse = false;
        }
        if (setup == "top hidden") {
            top->Show(false, ZRedraw::kNo);
        }
        if (setup == "top disabled") {
            holder->SetEnabled(false);
        }
        if (setup == "top transparent") {
            top->SetTransparent(true);
        }
        if (setup == "holder clips") {
            holder->SetClipsChildren(true);
        }
        Log().clear();
        window.OnMouseDown(Mouse(test.point.x, test.point.y));
        // The holder lets every click through; leave it out of the comparison.
        std::vector<std::string> offered;
        for (const std::string& entry : Log()) {
            if (entry.rfind("down ", 0) == 0 && entry != "down holder") {
                offered.push_back(entry.substr(5));
            }
        }
        EXPECT_EQ(Join(offered), test.offered) << test.point.x << "," << test.point.y << " " << setup;
        (void)low;
    }
}

TEST_F(GraphicObjectTest, ModalObjectsSwallowInputButNotVisibilityNews) {
    TestWindow window;
    Probe* below = Add(window, "below", ZRect{0, 0, 100, 100}, 0);
    Probe* dialog = Add(window, "dialog", ZRect{200, 200, 300, 300}, 1);
    dialog->SetModal(true);
    dialog->usesMouse = false;
    Probe* inside = Add(*dialog, "inside", ZRect{0, 0, 10, 10});
    Probe* after = Add(*dialog, "after", ZRect{10, 10, 20, 20}, 1);
    ZKeyEvent key;
    // Outside its frame too: the object below hears nothing.
    EXPECT_TRUE(window.OnMouseDown(Mouse(50, 50)));
    EXPECT_TRUE(window.OnKeyDown(key));
    EXPECT_EQ(Logged("down "), "");
    EXPECT_EQ(Logged("key "), "after inside dialog");
    // A hidden modal object no longer locks the window.
    dialog->Show(false, ZRedraw::kNo);
    EXPECT_EQ(Logged("visible "), "dialog inside after");
    Log().clear();
    window.OnMouseDown(Mouse(50, 50));
    EXPECT_EQ(Logged("down "), "below");
    // A modal child does not stop the news from reaching its later siblings; the dialog's own
    // siblings hear nothing, their visibility did not change.
    inside->SetModal(true);
    Log().clear();
    dialog->Show(true, ZRedraw::kNo);
    EXPECT_EQ(Logged("visible "), "dialog inside after");
    (void)below;
    (void)after;
}

TEST_F(GraphicObjectTest, FocusMovesAndGoesWithItsObject) {
    TestWindow window;
    Probe* a = Add(window, "a", ZRect{});
    Probe* b = Add(window, "b", ZRect{});
    a->SetFocus(true);
    b->SetFocus(true);
    EXPECT_EQ(Join(Log()), "focus a focus b blur a");
    EXPECT_EQ(ControlState().focused, b);
    a->SetFocus(false);  // not focused: nothing changes
    EXPECT_EQ(ControlState().focused, b);
    delete b;
    EXPECT_EQ(ControlState().focused, nullptr);
}

TEST_F(GraphicObjectTest, ADragCapturesTheMouseUntilRelease) {
    TestWindow window;
    Probe* below = Add(window, "below", ZRect{0, 0, 480, 640}, 0);
    Probe* piece = Add(window, "piece", ZRect{10, 10, 60, 110}, 1);
    piece->SetDraggable(true);
    EXPECT_TRUE(window.OnMouseDown(Mouse(20, 20)));
    EXPECT_EQ(ControlState().capture, piece);
    EXPECT_EQ(ControlState().dragged, piece);
    EXPECT_EQ(window.captures, 1);
    // The capture hears the pointer even outside the window.
    EXPECT_TRUE(window.OnMouseMove(Mouse(700, 30)));
    EXPECT_EQ(piece->GetPosition(true).x, 690);
    EXPECT_TRUE(window.OnMouseUp(Mouse(700, 30)));
    EXPECT_EQ(window.releases, 1);
    EXPECT_EQ(ControlState().capture, nullptr);
    EXPECT_EQ(ControlState().dragged, nullptr);
    // Afterwards the pointer goes through the tree again; outside the window it is forgotten.
    EXPECT_FALSE(window.OnMouseUp(Mouse(0, 0)));
    ControlState().cursorId = 5;
    EXPECT_TRUE(window.OnMouseMove(Mouse(-1, 0)));
    EXPECT_EQ(ControlState().cursorId, 0);
    (void)below;
}

TEST_F(GraphicObjectTest, DraggingKeepsTheObjectInsideItsLimit) {
    // A 100 x 50 object inside (top 0, left 0, bottom 480, right 640), held 10 right and 5 below its
    // corner, inside a holder at (30, 20): the limit is in window coordinates.
    struct Case {
        ZPoint pointer;
    };
    const Case cases[] = {{{300, 200}}, {{5, 2}}, {{-50, -50}}, {{639, 479}}, {{2000, 100}}, {{560, 440}}};
    for (const Case& test : cases) {
        TestWindow window;
        Probe* holder = Add(window, "holder", ZRect{20, 30, 400, 400});
        Probe* piece = Add(*holder, "piece", ZRect{0, 0, 50, 100});
        piece->SetDraggable(true);
        piece->SetDragLimit(ZRect{0, 0, 480, 640});
        ASSERT_TRUE(window.OnMouseDown(Mouse(40, 25)));
        window.OnMouseMove(Mouse(test.pointer.x, test.pointer.y));
        int32_t x = std::clamp(test.pointer.x - 10, 0, 540);
        int32_t y = std::clamp(test.pointer.y - 5, 0, 430);
        EXPECT_EQ(piece->GetPosition(true).x, x) << test.pointer.x;
        EXPECT_EQ(piece->GetPosition(true).y, y) << test.pointer.y;
        EXPECT_EQ(piece->GetPosition(false).x, x - 30);
        window.OnMouseUp(Mouse(0, 0));
    }
}

TEST_F(GraphicObjectTest, CursorQueriesShowTheCursorOfTheObjectUnderThePointer) {
    TestWindow window;
    window.SetCursorId(7);
    Probe* a = Add(window, "a", ZRect{0, 0, 10, 10});
    a->SetCursorId(42);
    window.OnCursorQuery(Mouse(5, 5));
    window.OnCursorQuery(Mouse(6, 6));  // the same cursor: no second request
    a->SetCursorId(0);                  // the default, which is the arrow
    window.OnCursorQuery(Mouse(6, 6));
    a->Show(false, ZRedraw::kNo);  // nobody takes it: the window's own cursor
    window.OnCursorQuery(Mouse(5, 5));
    EXPECT_EQ(window.cursors, (std::vector<int32_t>{42, 32512, 7}));
}

}  // namespace
}  // namespace controlstest
