// The screensaver scene: a background photograph, a mosaic of tiles that slowly covers and uncovers it,
// a looping animation, ring animations that fire at random, and a memory game of 40 bubbles hiding 20
// pairs of photographs that plays itself when nobody touches it. A click pops the bubble under the
// pointer, a key ends the show. In preview mode the panel shows one still picture scaled to the window.
//
// The panel is also the task that steps the mosaic.
#pragma once

#include <array>
#include <cstdint>

#include "controls/ZPanel.h"
#include "core/ZTask.h"

class ZAnimatingPictureControl;
class ZClassDescriptor;
class ZEditControl;
class ZFactory;
class ZPictureControl;

class CMainPanel : public ZPanel, public ZTask {
  public:
    static constexpr int32_t kClassId = 2048;

    // Control ids.
    static constexpr int32_t kBackgroundId = 12290;
    static constexpr int32_t kLoopId = 14362;
    static constexpr int32_t kCaptionId = 14363;
    static constexpr int32_t kFirstBubbleId = 14364;  // bubble k has id kFirstBubbleId + k
    static constexpr int32_t kFirstPhotoId = 14405;   // the hidden photographs, one per bubble
    static constexpr int32_t kFeatureId = 14446;
    static constexpr int32_t kFirstRingId = 14447;  // ring ids span 75 values, with gaps
    static constexpr int32_t kRingIdSpan = 75;
    static constexpr int32_t kPopAId = 14523;
    static constexpr int32_t kPopBId = 14524;

    static constexpr int32_t kBubbleCount = 40;
    static constexpr int32_t kPairCount = 20;
    static constexpr int32_t kRingSlots = 4;
    static constexpr int32_t kTileColumns = 8;
    static constexpr int32_t kTileRows = 6;
    static constexpr int32_t kFirstPhotoLayer = 3;  // the two photographs of a pair share a layer
    static constexpr int32_t kParkedAt = -61;       // a parked pop animation waits off the scene

    // Times in milliseconds.
    static constexpr uint32_t kFeatureTime = 5000;
    static constexpr uint32_t kQuietTime = 10000;
    static constexpr uint32_t kTileTime = 5000;

    // Draws the photo set. The mosaic task joins manager (null: none), inactive in preview mode.
    CMainPanel(bool preview, ZTaskManager* manager);
    ~CMainPanel() override;

    // Installs the scene's class in factory (null: the current one) unless it knows class kClassId
    // already. The program does this at start-up; tests do the same.
    static void Install(ZFactory* factory = nullptr);

    void BuildContents() override;
    void Close() override;
    bool MouseMoved(const ZMouseEvent& event) override;
    bool KeyDown(const ZKeyEvent& event) override;
    bool HandleEvent(int kind, intptr_t data, intptr_t extra) override;
    // The mosaic step; the task always goes on.
    bool Run(uint32_t count) override;

    // Pops bubble id when it is shown, or remembers it until both pop animations are free.
    void PopBubble(int32_t id);
    void Tick(uint32_t now);
    void LoadPhotoSet();

    // ---- State, for the scene's own checks and for tests
    bool IsPreview() const { return preview_; }
    int32_t GetPhotoSet() const { return photoSet_; }
    int32_t GetMatchCount() const { return matchCount_; }
    // The photograph hidden under bubble k, or null.
    ZPictureControl* GetPhoto(int32_t k) const { return k >= 0 && k < kBubbleCount ? photos_[k] : nullptr; }
    ZAnimatingPictureControl* GetPopA() const { return popA_; }
    ZAnimatingPictureControl* GetPopB() const { return popB_; }
    ZAnimatingPictureControl* GetRingSlot(int32_t i) const { return ringSlots_[size_t(i)]; }
    ZPictureControl* GetFeature() const { return feature_; }
    ZEditControl* GetCaption() const { return caption_; }
    ZPictureControl* GetRevealedFirst() const { return revealedFirst_; }
    ZPictureControl* GetRevealedSecond() const { return revealedSecond_; }
    ZPictureControl* GetTile(int32_t column, int32_t row) const {
        return tiles_[size_t(row)][size_t(column)];
    }
    int32_t GetTileColumn() const { return tileColumn_; }
    int32_t GetTileRow() const { return tileRow_; }
    bool GetTileShowState() const { return tileShowState_; }
    bool IsPopPending() const { return popPending_; }
    bool IsAutoPlay() const { return autoPlay_; }
    bool IsLastPairMatched() const { return lastPairMatched_; }
    static bool IsParked(const ZAnimatingPictureControl& pop);

  private:
    void BuildPreview();
    void BuildScene();
    void BuildRings();
    // Puts photo into a free slot of the photo table, starting from a random one.
    void PlaceInFreeSlot(ZPictureControl* photo);
    void StartPop(ZAnimatingPictureControl& pop, ZPictureControl& bubble);
    void Park(ZAnimatingPictureControl& pop);
    void PopFinished(bool first);
    // Both photographs are revealed: match or not, then any pending pop.
    void EvaluatePair();
    // Hides the two photographs and plays both pops backwards, closing the bubbles.
    void ClosePair();
    // Both bubbles have closed: they show again, the pops park, and any pending pop goes ahead.
    void PairClosed();
    // Forgets the pair: nothing revealed or popped, nothing pending.
    void ForgetPair();
    ZPictureControl* FindPicture(int32_t id);

    bool preview_;
    bool photosLoaded_ = false;
    int32_t photoSet_ = 0;
    int32_t matchCount_ = 0;
    ZAnimatingPictureControl* popA_ = nullptr;
    ZAnimatingPictureControl* popB_ = nullptr;
    std::array<ZAnimatingPictureControl*, kRingSlots> ringSlots_{};
    ZPictureControl* revealedFirst_ = nullptr;
    ZPictureControl* revealedSecond_ = nullptr;
    ZPictureControl* poppedFirst_ = nullptr;
    ZPictureControl* poppedSecond_ = nullptr;
    ZPictureControl* feature_ = nullptr;
    std::array<std::array<ZPictureControl*, kTileColumns>, kTileRows> tiles_{};
    ZEditControl* caption_ = nullptr;
    bool lastPairMatched_ = false;
    bool popPending_ = false;
    int32_t pendingBubbleId_ = 0;
    uint32_t lastActivityTime_;
    uint32_t featureShownTime_;
    uint32_t lastTileTime_;
    bool autoPlay_ = false;
    ZPictureControl* background_ = nullptr;
    ZPictureControl* logoSet1_ = nullptr;
    ZPictureControl* logoSet0_ = nullptr;
    int32_t tileColumn_ = 0;
    int32_t tileRow_ = 0;
    bool tileShowState_;
    // Slot k: the photograph under bubble k. The controls belong to the panel.
    std::array<ZPictureControl*, kBubbleCount> photos_{};
};
