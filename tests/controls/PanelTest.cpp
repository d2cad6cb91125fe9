// Panels' life (open, start, stop, suspend, resume, close) and the owner's switching between them.
#include "core/ZFactory.h"
#include "tests/controls/ControlsTestSupport.h"

namespace controlstest {
namespace {

// A panel that logs its life under its id and builds one control.
class LifePanel : public ZPanel {
  public:
    explicit LifePanel(bool resumable) { SetResumable(resumable); }
    ~LifePanel() override { Record("gone"); }

    void BuildContents() override {
        Record(BuildingPanel() == this ? "build" : "build elsewhere");
        new Probe("content" + std::to_string(GetId()), 0, 0, 0, 10, 10);
    }
    void Start() override { Record(BuildingPanel() == this ? "start" : "start elsewhere"); }
    bool Stop() override {
        Record("stop");
        return stopResult;
    }
    void Close() override { Record("close"); }
    void VisibilityChanged() override { Record(IsEffectivelyVisible() ? "shown" : "hidden"); }

    bool stopResult = true;

  private:
    void Record(const char* what) { Log().push_back("panel " + std::to_string(GetId()) + " " + what); }
};

constexpr int32_t kPlainClass = 2048;
constexpr int32_t kResumableClass = 2049;

ZPropertyHolder* MakePlain(void*, ZTLink*) {
    return new LifePanel(false);
}

ZPropertyHolder* MakeResumable(void*, ZTLink*) {
    return new LifePanel(true);
}

// Not a panel at all: the owner must refuse it.
ZPropertyHolder* MakeControl(void*, ZTLink*) {
    return new ZControl(5, 0, 0, 0, 0, 1, 1, nullptr);
}

class PanelTest : public ControlsTest {
  protected:
    void SetUp() override {
        ControlsTest::SetUp();
        previous_ = ZFactory::SetFactory(&factory_);
        plain_ = std::make_unique<ZClassDescriptor>(kPlainClass, 1, nullptr, MakePlain);
        resumable_ = std::make_unique<ZClassDescriptor>(kResumableClass, 1, nullptr, MakeResumable);
        control_ = std::make_unique<ZClassDescriptor>(2050, 1, nullptr, MakeControl);
    }
    void TearDown() override {
        ZFactory::SetFactory(previous_);
        ControlsTest::TearDown();
    }

    std::string Life() { return Logged("panel "); }

  private:
    ZFactory factory_;
    ZFactory* previous_ = nullptr;
    std::unique_ptr<ZClassDescriptor> plain_;
    std::unique_ptr<ZClassDescriptor> resumable_;
    std::unique_ptr<ZClassDescriptor> control_;
};

TEST_F(PanelTest, OpenBuildsAndStartsAsTheBuildingPanel) {
    struct Case {
        bool startSuspended;
        const char* life;
    };
    const Case cases[] = {{false, "0 build 0 start"}, {true, "0 build"}};
    for (const Case& test : cases) {
        TestWindow window;
        auto* panel = new LifePanel(false);
        ZPanel* outer = new ZPanel();  // a panel being built around the opening one
        ControlState().building = outer;
        Log().clear();
        EXPECT_TRUE(panel->Open(&window, test.startSuspended));
        EXPECT_EQ(Life(), test.life);
        EXPECT_EQ(BuildingPanel(), outer);  // put back afterwards
        ControlState().building = nullptr;
        delete outer;
        EXPECT_EQ(panel->IsSuspended(), test.startSuspended);
        EXPECT_TRUE(panel->IsOpened());
        EXPECT_FALSE(panel->IsVisible());
        EXPECT_FALSE(panel->Open(&window, false));
        // The content joined the panel, and the panel the window.
        ASSERT_NE(panel->GetFirstChild(), nullptr);
        EXPECT_EQ(panel->GetFirstChild()->GetPanel(), panel);
        EXPECT_EQ(panel->GetParentObject(), &window);
        EXPECT_EQ(panel->GetFirstChild()->GetWindow(), &window);
    }
}

TEST_F(PanelTest, SuspendAndResume) {
    struct Case {
        bool resumable;
        bool stopResult;
        const char* life;
        bool resumed;
    };
    const Case cases[] = {
        {false, true, "0 hidden 0 stop", false},
        {true, true, "0 hidden 0 stop 0 start", true},
        {true, false, "0 hidden 0 stop 0 start", true},
    };
    for (const Case& test : cases) {
        LifePanel panel(test.resumable);
        panel.stopResult = test.stopResult;
        panel.Open(nullptr, false);
        EXPECT_FALSE(panel.Resume());  // running: nothing to resume
        panel.Show(true, ZRedraw::kNo);
        Log().clear();
        EXPECT_EQ(panel.Suspend(), test.stopResult);
        EXPECT_TRUE(panel.Suspend());  // already suspended: nothing more
        EXPECT_EQ(panel.Resume(), test.resumed);
        EXPECT_EQ(Life(), test.life);
        EXPECT_EQ(panel.IsSuspended(), !test.resumed);
    }
}

TEST_F(PanelTest, TheOwnerSwitchesBetweenPanels) {
    TestWindow window;
    ZPanel* first = window.OpenPanel(kPlainClass, 1, false);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(Life(), "1 build 1 start 1 shown");
    EXPECT_EQ(window.GetActivePanel(), first);
    EXPECT_EQ(first->GetClassId(), kPlainClass);
    EXPECT_EQ(Logged("draw "), "content1");  // drawn once shown
    EXPECT_FALSE(window.validated.empty());
    EXPECT_EQ(window.cursors, (std::vector<int32_t>{32514, 32512}));
    // Hiding on switching, a plain panel is replaced: suspended while the new one is built, then
    // closed and destroyed (not stopped twice).
    Log().clear();
    ZPanel* second = window.OpenPanel(kResumableClass, 2, false);
    EXPECT_EQ(Life(), "1 hidden 1 stop 2 build 2 start 1 close 1 gone 2 shown");
    EXPECT_EQ(window.FindPanel(1), nullptr);
    // A resumable panel is suspended instead, and comes back as it was.
    Log().clear();
    window.OpenPanel(kPlainClass, 3, true);
    EXPECT_EQ(Life(), "2 hidden 2 stop 3 build 3 start 3 shown");
    Log().clear();
    EXPECT_EQ(window.ActivatePanel(2, true), second);
    EXPECT_EQ(Life(), "3 stop 3 close 3 gone 2 start 2 shown");
    // Activating the active panel again hides nothing.
    Log().clear();
    EXPECT_EQ(window.ActivatePanel(2, false), second);
    EXPECT_EQ(Life(), "");
    EXPECT_EQ(Logged("draw "), "content2");
    // Opening what exists only activates it; unknown classes and non-panels make nothing.
    EXPECT_EQ(window.OpenPanel(kPlainClass, 2, false), second);
    EXPECT_EQ(window.OpenPanel(999, 4, false), nullptr);
    EXPECT_EQ(window.OpenPanel(2050, 5, false), nullptr);
    EXPECT_EQ(window.ActivatePanel(6, false), nullptr);
}

TEST_F(PanelTest, WithoutReplacingAnOwnerThatKeepsPanelsShownHidesNothing) {
    TestWindow window;
    window.SetHideOnSwitch(false);
    ZPanel* first = window.OpenPanel(kPlainClass, 1, false);
    ZPanel* second = new LifePanel(false);
    second->SetId(2);
    second->Open(&window, false);
    Log().clear();
    window.ActivatePanel(2, false);
    EXPECT_EQ(Life(), "2 shown");
    EXPECT_TRUE(first->IsVisible());
    EXPECT_EQ(window.GetActivePanel(), second);
    // Hiding on switching, the owner hides the panel it switches away from.
    window.SetHideOnSwitch(true);
    Log().clear();
    window.ActivatePanel(1, false);
    EXPECT_EQ(Life(), "2 hidden");
}

TEST_F(PanelTest, ClosingDestroysOrDetaches) {
    auto window = std::make_unique<TestWindow>();
    window->OpenPanel(kResumableClass, 1, false);
    ZPanel* second = window->OpenPanel(kResumableClass, 2, true);  // 1 suspended
    window->OpenPanel(kPlainClass, 3, true);                       // 2 suspended
    // A running panel is stopped before it is closed; a suspended one is not.
    Log().clear();
    window->ClosePanel(3, ZPanelClose::kDestroy);
    EXPECT_EQ(Life(), "3 stop 3 close 3 gone");
    EXPECT_EQ(window->GetActivePanel(), nullptr);
    Log().clear();
    window->ClosePanel(2, ZPanelClose::kDetach);
    EXPECT_EQ(Life(), "");
    EXPECT_EQ(window->FindPanel(2), nullptr);
    EXPECT_EQ(second->GetParentObject(), nullptr);
    EXPECT_EQ(static_cast<ZEventHandler*>(second)->GetBack(), nullptr);
    // Its contents stay with it, and go when it goes.
    ASSERT_NE(second->GetFirstChild(), nullptr);
    EXPECT_EQ(static_cast<ZEventHandler&>(*second).GetChild(),
              static_cast<ZEventHandler*>(static_cast<Probe*>(second->GetFirstChild())));
    delete second;
    Log().clear();
    window.reset();  // the owner closes what is left
    EXPECT_EQ(Life(), "1 close 1 gone");
}

}  // namespace
}  // namespace controlstest
