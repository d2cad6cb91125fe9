// The controls' process-wide state: the automatic id pool, the cursor and the reset for tests.
#include <gtest/gtest.h>

#include <vector>

#include "controls/ZControlState.h"
#include "controls/ZPanelHost.h"

namespace {

TEST(ControlStateTest, ThePoolSearchStartsAtTheSlotHandedOutLast) {
    ZIdPool pool;
    EXPECT_EQ(pool.Take(), 0);
    EXPECT_EQ(pool.Take(), 1);
    EXPECT_EQ(pool.Take(), 2);
    pool.Free(0);
    EXPECT_EQ(pool.Take(), 3);  // forward first
    pool.Free(1);
    pool.Free(-1);  // outside the pool: ignored
    pool.Free(ZIdPool::kSlots);
    for (int32_t slot = 4; slot < ZIdPool::kSlots; ++slot) {
        ASSERT_EQ(pool.Take(), slot);
    }
    EXPECT_EQ(pool.Take(), 0);  // wrapped
    EXPECT_EQ(pool.Take(), 1);
    // Full: one lap and no more.
    EXPECT_EQ(pool.Take(), ZIdPool::kNone);
    EXPECT_EQ(pool.CountTaken(), ZIdPool::kSlots);
    pool.Free(700);
    EXPECT_EQ(pool.Take(), 700);
}

// Records the cursors it is asked to show.
class CursorHost : public ZPanelHost {
  public:
    void InvalidateRect(const ZRect&) override {}
    void ValidateRect(const ZRect&) override {}
    ZHostDevice MakeDevice() override { return ZHostDevice{}; }
    void PresentBackBuffer(const ZRect&) override {}
    void DrawOverlays(ZGraphicDevice&, const ZRect&) override {}
    void AdoptChangedPalette() override {}
    void SetCursor(int32_t id) override { shown.push_back(id); }
    void CaptureMouse() override {}
    void ReleaseMouse() override {}

    std::vector<int32_t> shown;
};

TEST(ControlStateTest, CursorsAreAskedForOnlyWhenTheyChange) {
    ResetControlState();
    CursorHost host;
    SetCursorById(&host, 0);  // the arrow is shown already
    SetCursorById(&host, 130);
    SetCursorById(&host, 130);
    SetCursorById(nullptr, 140);  // no window: nothing, and nothing remembered
    SetCursorById(&host, 0);
    ControlState().defaultCursorId = 32515;
    SetCursorById(&host, 0);
    SetCursorById(&host, 32515);
    ForgetCursor();  // the platform shows the default by itself outside the window
    SetCursorById(&host, 0);
    EXPECT_EQ(host.shown, (std::vector<int32_t>{130, 32512, 32515}));
    ResetControlState();
    EXPECT_EQ(ControlState().defaultCursorId, 0);
    EXPECT_EQ(ControlState().cursorId, 0);
}

}  // namespace
