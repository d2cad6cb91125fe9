#include "app/CMainPanel.h"

#include <utility>

#include "app/CAnimatingPicture.h"
#include "app/CProjectApplication.h"
#include "controls/ZAnimatingPictureControl.h"
#include "controls/ZEditControl.h"
#include "controls/ZFont.h"
#include "controls/ZPictureControl.h"
#include "core/ZFactory.h"
#include "core/ZRandom.h"
#include "platform/Clock.h"

namespace {

struct Point {
    int16_t x, y;
};

constexpr Point kBubbles[CMainPanel::kBubbleCount] = {
    {38, 210},  {38, 270},  {38, 330},  {98, 150},  {98, 210},  {98, 270},  {98, 330},  {98, 390},
    {98, 450},  {158, 90},  {158, 150}, {158, 210}, {158, 270}, {158, 330}, {158, 390}, {158, 450},
    {218, 270}, {218, 330}, {218, 390}, {218, 450}, {218, 510}, {278, 330}, {278, 390}, {278, 450},
    {278, 510}, {338, 390}, {338, 450}, {338, 510}, {398, 390}, {398, 450}, {398, 510}, {458, 390},
    {458, 450}, {458, 510}, {518, 390}, {518, 450}, {578, 390}, {578, 450}, {638, 390}, {698, 390}};

constexpr Point kRings2000[] = {{-19, 215}, {-19, 334}, {42, 394},  {42, 155},  {102, 95},  {162, 35},
                                {162, 514}, {222, 574}, {282, 574}, {222, 215}, {282, 274}, {342, 334},
                                {401, 574}, {462, 574}, {522, 514}, {642, 454}, {762, 394}};
constexpr Point kRings1500[] = {{363, 56},  {423, 56},  {423, 116}, {483, 236},
                                {603, 296}, {723, 356}, {783, 356}};
constexpr Point kRings1600[] = {{300, 53}, {360, 113}, {420, 173}, {540, 293}, {660, 353}};
constexpr Point kRings1700[] = {{-5, 109},  {-5, 468},  {56, 49},   {56, 528},  {116, -12},
                                {116, 588}, {236, -12}, {236, 49},  {296, 109}, {296, 168},
                                {356, 168}, {356, 229}, {416, 229}, {416, 289}, {476, 289},
                                {536, 349}, {596, 349}, {715, 528}, {775, 528}, {596, 588}};
constexpr Point kRings1800[] = {{-12, 162}, {-12, 402}, {49, 102},  {49, 462},  {109, 42},
                                {109, 522}, {169, -18}, {169, 582}, {229, 102}, {229, 162},
                                {289, 222}, {349, 282}, {409, 342}, {469, 342}, {529, 582},
                                {589, 522}, {649, 522}, {709, 462}, {769, 462}};
constexpr Point kRings1900[] = {{-21, 272}, {340, 572}};

struct RingKind {
    uint16_t firstFrame, lastFrame, alpha;
    int32_t size, firstId;
    const Point* points;
    int32_t count;
};

template <size_t N>
constexpr RingKind Kind(uint16_t first, uint16_t last, uint16_t alpha, int32_t size, int32_t id,
                        const Point (&points)[N]) {
    return RingKind{first, last, alpha, size, id, points, int32_t(N)};
}

// In the order they are made.
const RingKind kRingKinds[] = {
    Kind(1701, 1737, 1700, 24, 14479, kRings1700), Kind(1801, 1818, 1800, 37, 14500, kRings1800),
    Kind(1501, 1537, 1500, 9, 14465, kRings1500),  Kind(1601, 1637, 1600, 15, 14473, kRings1600),
    Kind(1901, 1913, 1900, 56, 14520, kRings1900), Kind(2001, 2037, 2000, 52, 14447, kRings2000),
};

// Media ids.
constexpr int32_t kBackgroundPicture = 1000;
constexpr int32_t kFeatureBase[2] = {1003, 1243};
constexpr int32_t kBubblePhotoBase[2] = {1103, 1363};
constexpr uint16_t kLoopFirst = 1400, kLoopLast = 1479;
constexpr uint16_t kBubbleAlpha = 2100, kBubbleStill = 2101, kPopLast = 2111;
constexpr int32_t kCaptionBase[2] = {2400, 2300};
constexpr int32_t kCaptionFont = 2500;
constexpr int32_t kPreviewPicture = 2600;
constexpr int32_t kFirstTile = 2700;
constexpr int32_t kLogo[2] = {2800, 2900};

constexpr int32_t kLoopInterval = 40;
constexpr int32_t kRingInterval = 100;
constexpr int32_t kPopInterval = 66;
constexpr int32_t kTileSize = 100;
// The columns the sweep covers in rows 0 and 1; the rest lies behind the feature photograph.
constexpr int32_t kShortRows = 2;
constexpr int32_t kShortRowColumns = 5;

int32_t DrawBelow(int32_t bound) {
    return (RandomValue() & 0x7FFF) % bound;
}

// A still with its alpha, as every bubble and bubble photograph is.
CAnimatingPicture* MaskedStill(int32_t id) {
    return new CAnimatingPicture(uint16_t(id), uint16_t(id), kBubbleAlpha, 0);
}

ZPropertyHolder* CreateScene(void*, ZTLink*) {
    auto* app = dynamic_cast<CProjectApplication*>(ZApplication::GetApplication());
    bool preview = app != nullptr && app->GetMode() == CProjectApplication::Mode::Preview;
    return new CMainPanel(preview, app != nullptr ? &app->GetRootTaskManager() : nullptr);
}

}  // namespace

// The panel belongs to its window, which deletes it; the manager only runs it, so it never owns it.
CMainPanel::CMainPanel(bool preview, ZTaskManager* manager)
    : ZTask(0, preview ? ZTaskFlags::kNone : ZTaskFlags::kActive, manager), preview_(preview) {
    SeedRandom();
    photoSet_ = DrawBelow(99) >= 50 ? 1 : 0;
    uint32_t now = platform::TickCount();
    lastActivityTime_ = featureShownTime_ = lastTileTime_ = now;
    tileShowState_ = photoSet_ == 0;
}

CMainPanel::~CMainPanel() = default;

void CMainPanel::Install(ZFactory* factory) {
    static const ZClassDescriptor* descriptor = [] {
        // Made aside, so that making it registers it nowhere; Install registers it where asked.
        ZFactory aside;
        ZFactory* previous = ZFactory::SetFactory(&aside);
        auto* made = new ZClassDescriptor(kClassId, int32_t(sizeof(CMainPanel)), nullptr, CreateScene);
        ZFactory::SetFactory(previous);
        return made;
    }();
    if (factory == nullptr) {
        factory = ZFactory::GetFactory();
    }
    if (factory->Find(kClassId) == nullptr) {
        factory->Register(descriptor);
    }
}

bool CMainPanel::IsParked(const ZAnimatingPictureControl& pop) {
    return pop.GetFrame().top == kParkedAt;
}

ZPictureControl* CMainPanel::FindPicture(int32_t id) {
    return dynamic_cast<ZPictureControl*>(FindById(id));
}

// ---- Opening and closing

void CMainPanel::BuildContents() {
    if (preview_) {
        BuildPreview();
    } else {
        BuildScene();
    }
}

void CMainPanel::BuildPreview() {
    auto* still = new ZPictureControl(0, kPreviewPicture, 0, 0, 1, 0, 0);
    ZGraphicObject* root = GetRoot();
    ZRect window = root != nullptr ? root->GetFrame() : ZRect{};
    ZRect frame = still->GetFrame();
    frame.bottom = frame.top + window.Height();
    frame.right = frame.left + window.Width();
    still->SetScaled(true, &frame);
    still->SetFrame(frame);
    SetFrame(frame);
}

void CMainPanel::BuildScene() {
    photos_.fill(nullptr);
    SetFrame(ZRect::FromSize(800, 600));
    background_ = new ZPictureControl(kBackgroundId, kBackgroundPicture, 0, 0, 0, 0, 0);

    // The caption takes no input: the show ends on any key, so nothing may hold the edit focus.
    caption_ = new ZEditControl(kCaptionId, 513, 251, 2, 254, 37, nullptr,
                                ZFont::FindPictureFont(kCaptionFont, kCaptionFont), 18);
    caption_->SetBackground(0, 0, 0);
    caption_->SetTextColor(255, 255, 255);
    caption_->SetEnabled(false);
    caption_->Show(false, ZRedraw::kNo);

    auto* loopPicture = new CAnimatingPicture(kLoopFirst, kLoopLast, 0, 0);
    auto* loop = new ZAnimatingPictureControl(kLoopId, loopPicture, 515, 28, 2, 0, 0);
    loopPicture->Release();
    loop->SetEnabled(false);
    loop->SetInterval(kLoopInterval);
    loop->SetEndMode(ZAnimatingPictureControl::kEndLoop);
    loop->Play();

    BuildRings();

    for (int32_t k = 0; k < kBubbleCount; ++k) {
        CAnimatingPicture* still = MaskedStill(kBubbleStill);
        new ZPictureControl(kFirstBubbleId + k, still, kBubbles[k].x, kBubbles[k].y, 2, 0, 0);
        still->Release();
    }

    for (int32_t row = 0; row < kTileRows; ++row) {
        for (int32_t column = 0; column < kTileColumns; ++column) {
            auto* tile = new ZPictureControl(ZControl::kAutomaticId, kFirstTile + kTileColumns * row + column,
                                             kTileSize * column, kTileSize * row, 1, kTileSize, kTileSize);
            tile->Show(photoSet_ == 1, ZRedraw::kNo);
            tiles_[size_t(row)][size_t(column)] = tile;
        }
    }

    auto* pop = new CAnimatingPicture(kBubbleStill, kPopLast, kBubbleAlpha, 0);
    for (auto [control, id] : {std::pair{&popA_, kPopAId}, std::pair{&popB_, kPopBId}}) {
        *control = new ZAnimatingPictureControl(id, pop, kParkedAt, kParkedAt, 2, 0, 0);
        (*control)->SetInterval(kPopInterval);
        (*control)->SetEnabled(false);
        (*control)->SetEndMode(ZAnimatingPictureControl::kEndStop);
        Park(**control);
    }
    pop->Release();

    feature_ = new ZPictureControl(kFeatureId, kFeatureBase[0], 514, 26, 3, 0, 0);
    feature_->Show(false, ZRedraw::kNo);
    logoSet1_ = new ZPictureControl(ZControl::kAutomaticId, kLogo[1], 640, 578, 2, 0, 0);
    logoSet1_->Show(false, ZRedraw::kNo);
    logoSet0_ = new ZPictureControl(ZControl::kAutomaticId, kLogo[0], 640, 578, 2, 0, 0);
    logoSet0_->Show(tileShowState_, ZRedraw::kNo);

    LoadPhotoSet();
}

void CMainPanel::BuildRings() {
    for (const RingKind& kind : kRingKinds) {
        auto* frames = new CAnimatingPicture(kind.firstFrame, kind.lastFrame, kind.alpha, 0);
        for (int32_t n = 0; n < kind.count; ++n) {
            auto* ring = new ZAnimatingPictureControl(kind.firstId + n, frames, kind.points[n].x,
                                                      kind.points[n].y, 2, kind.size, kind.size);
            ring->SetEnabled(false);
            ring->SetInterval(kRingInterval);
            ring->SetEndMode(ZAnimatingPictureControl::kEndStop);
        }
        frames->Release();
    }
}

void CMainPanel::Close() {
    // The references point into the control list, which goes with the panel.
    photos_.fill(nullptr);
    ringSlots_.fill(nullptr);
    ForgetPair();
}

// ---- The photo sets

void CMainPanel::PlaceInFreeSlot(ZPictureControl* photo) {
    int32_t slot = DrawBelow(kBubbleCount - 1);
    for (int32_t tries = 0; tries < kBubbleCount && photos_[size_t(slot)] != nullptr; ++tries) {
        slot = (slot + 1) % kBubbleCount;
    }
    photos_[size_t(slot)] = photo;
}

void CMainPanel::LoadPhotoSet() {
    photos_.fill(nullptr);
    matchCount_ = 0;
    // The photographs change under the game: a pair left on the scene refers to none of them any more.
    if (popA_ != nullptr && popB_ != nullptr && !popA_->IsPlaying() && !popB_->IsPlaying()) {
        Park(*popA_);
        Park(*popB_);
        ForgetPair();
        lastPairMatched_ = false;
    }
    int32_t base = kBubblePhotoBase[photoSet_];
    for (int32_t i = 0; i < kBubbleCount; ++i) {
        CAnimatingPicture* still = MaskedStill(base + i / 2);
        ZPictureControl* photo = nullptr;
        if (!photosLoaded_) {
            photo = new ZPictureControl(kFirstPhotoId + i, still, 0, 0, kFirstPhotoLayer + i / 2, 0, 0, this);
            photo->Show(false, ZRedraw::kNo);
        } else if ((photo = FindPicture(kFirstPhotoId + i)) != nullptr) {
            photo->Show(false, ZRedraw::kYes);
            photo->SetPicture(still, ZRedraw::kNo);
            if (ZPictureControl* bubble = FindPicture(kFirstBubbleId + i)) {
                bubble->Show(true, ZRedraw::kYes);
            }
        }
        still->Release();
        if (photo != nullptr) {
            PlaceInFreeSlot(photo);
        }
    }
    if (logoSet0_ != nullptr && logoSet1_ != nullptr) {
        logoSet0_->Show(photoSet_ == 0, ZRedraw::kYes);
        logoSet1_->Show(photoSet_ == 1, ZRedraw::kYes);
    }
    photosLoaded_ = true;
    InvalidateInWindow();
}

// ---- The game

void CMainPanel::StartPop(ZAnimatingPictureControl& pop, ZPictureControl& bubble) {
    ZRect frame = bubble.GetFrame();
    pop.MoveTo(ZPoint{frame.left, frame.top}, ZMoveFlags::kRedraw);
    pop.Play();
    bubble.Show(false, ZRedraw::kYes);
}

void CMainPanel::Park(ZAnimatingPictureControl& pop) {
    pop.MoveTo(ZPoint{kParkedAt, kParkedAt}, ZMoveFlags::kRedraw);
    pop.SetStep(1);
    pop.Rewind();
}

void CMainPanel::ForgetPair() {
    revealedFirst_ = revealedSecond_ = nullptr;
    poppedFirst_ = poppedSecond_ = nullptr;
    popPending_ = false;
}

void CMainPanel::PopBubble(int32_t id) {
    if (popA_ == nullptr || popB_ == nullptr || id < kFirstBubbleId || id >= kFirstBubbleId + kBubbleCount) {
        return;
    }
    ZPictureControl* bubble = FindPicture(id);
    if (bubble == nullptr || !bubble->IsVisible() || !bubble->IsEffectivelyVisible()) {
        return;
    }
    if (IsParked(*popA_)) {
        StartPop(*popA_, *bubble);
        poppedFirst_ = bubble;
        return;
    }
    if (IsParked(*popB_)) {
        StartPop(*popB_, *bubble);
        poppedSecond_ = bubble;
        return;
    }
    // Both are busy with a pair: this pop waits until the pair is settled. While either still plays, the
    // pair has not been judged yet (or is closing), and the request goes ahead when it is.
    popPending_ = true;
    pendingBubbleId_ = id;
    if (popA_->IsPlaying() || popB_->IsPlaying()) {
        return;
    }
    if (!lastPairMatched_) {
        ClosePair();
        return;
    }
    // The matched photographs stay where they are; the pops start over on the new bubble.
    lastPairMatched_ = false;
    Park(*popA_);
    Park(*popB_);
    ForgetPair();
    StartPop(*popA_, *bubble);
    poppedFirst_ = bubble;
}

void CMainPanel::ClosePair() {
    for (ZPictureControl* photo : {revealedFirst_, revealedSecond_}) {
        if (photo != nullptr) {
            photo->Show(false, ZRedraw::kYes);
        }
    }
    revealedFirst_ = revealedSecond_ = nullptr;
    popA_->SetStep(-1);
    popB_->SetStep(-1);
    popB_->Play();
    popA_->Play();
}

void CMainPanel::PairClosed() {
    for (ZPictureControl* bubble : {poppedFirst_, poppedSecond_}) {
        if (bubble != nullptr) {
            bubble->Show(true, ZRedraw::kYes);
        }
    }
    Park(*popA_);
    Park(*popB_);
    bool pending = popPending_;
    int32_t id = pendingBubbleId_;
    ForgetPair();
    if (pending) {
        PopBubble(id);
    }
}

void CMainPanel::PopFinished(bool first) {
    if (!autoPlay_) {
        lastActivityTime_ = platform::TickCount();
    }
    ZAnimatingPictureControl& pop = first ? *popA_ : *popB_;
    if (pop.GetStep() < 0) {
        // The bubbles have closed once both pops have played back.
        if (!popA_->IsPlaying() && !popB_->IsPlaying()) {
            PairClosed();
        }
        return;
    }
    ZPictureControl* bubble = first ? poppedFirst_ : poppedSecond_;
    if (bubble == nullptr) {
        return;
    }
    ZPictureControl* photo = GetPhoto(bubble->GetId() - kFirstBubbleId);
    if (photo == nullptr) {
        return;
    }
    ZRect frame = bubble->GetFrame();
    photo->MoveTo(ZPoint{frame.left, frame.top}, ZMoveFlags::kNone);
    photo->Show(true, ZRedraw::kYes);
    (first ? revealedFirst_ : revealedSecond_) = photo;
    // Whichever pop ends second judges the pair.
    if (revealedFirst_ != nullptr && revealedSecond_ != nullptr) {
        EvaluatePair();
    }
}

void CMainPanel::EvaluatePair() {
    lastPairMatched_ = revealedFirst_->GetLayer() == revealedSecond_->GetLayer();
    if (lastPairMatched_) {
        ++matchCount_;
        int32_t k = revealedFirst_->GetLayer() - kFirstPhotoLayer;
        if (k >= 0 && k < kPairCount && feature_ != nullptr) {
            auto* picture = new ZPicture(uint16_t(kFeatureBase[photoSet_] + k));
            feature_->SetPicture(picture, ZRedraw::kNo);
            picture->Release();
            feature_->Show(true, ZRedraw::kYes);
            if (caption_ != nullptr) {
                caption_->SetTextFromMedia(kCaptionBase[photoSet_] + k, ZRedraw::kNo);
                caption_->Show(true, ZRedraw::kYes);
            }
            featureShownTime_ = platform::TickCount();
        }
    }
    if (!popPending_) {
        return;
    }
    if (lastPairMatched_) {
        popPending_ = false;
        PopBubble(pendingBubbleId_);
    } else {
        ClosePair();  // the pending bubble pops once the pair has closed
    }
}

// ---- Time and input

void CMainPanel::Tick(uint32_t now) {
    if (preview_) {
        return;
    }
    if (feature_ != nullptr && feature_->IsVisible() && feature_->IsEffectivelyVisible() &&
        now - featureShownTime_ > kFeatureTime) {
        feature_->Show(false, ZRedraw::kYes);
        if (caption_ != nullptr) {
            caption_->Show(false, ZRedraw::kYes);
        }
        if (matchCount_ >= kPairCount) {
            photoSet_ ^= 1;
            LoadPhotoSet();
        }
    }
    size_t free = 0;
    while (free < ringSlots_.size() && ringSlots_[free] != nullptr && ringSlots_[free]->IsPlaying()) {
        ++free;
    }
    if (free == ringSlots_.size()) {
        return;
    }
    // A draw that falls into a gap between the ring kinds starts nothing.
    auto* ring = dynamic_cast<ZAnimatingPictureControl*>(FindById(kFirstRingId + DrawBelow(kRingIdSpan)));
    ringSlots_[free] = ring;
    if (ring != nullptr) {
        ring->Play();
        ring->Rewind();
    }
    if (popA_ != nullptr && popB_ != nullptr && now - lastActivityTime_ > kQuietTime && !popA_->IsPlaying() &&
        !popB_->IsPlaying()) {
        autoPlay_ = true;
        PopBubble(kFirstBubbleId + DrawBelow(kBubbleCount));
    }
}

bool CMainPanel::HandleEvent(int kind, intptr_t data, intptr_t extra) {
    if (preview_) {
        return false;
    }
    switch (kind) {
        case kLinkTick:
            Tick(uint32_t(data));
            return false;
        case kLinkAnimationStopped:
            if (data == kPopAId || data == kPopBId) {
                PopFinished(data == kPopAId);
            }
            // Let the tick that ended the animation go on to the other controls.
            return false;
        case kLinkPictureClicked:
            autoPlay_ = false;
            PopBubble(int32_t(data));
            return true;
        default:
            return ZPanel::HandleEvent(kind, data, extra);
    }
}

bool CMainPanel::MouseMoved(const ZMouseEvent&) {
    if (!preview_) {
        lastActivityTime_ = platform::TickCount();
    }
    return false;
}

bool CMainPanel::KeyDown(const ZKeyEvent&) {
    if (preview_) {
        return false;
    }
    if (ZApplication* app = ZApplication::GetApplication()) {
        app->Quit();
    }
    return true;
}

// ---- The mosaic

bool CMainPanel::Run(uint32_t) {
    uint32_t now = platform::TickCount();
    if (preview_ || now - lastTileTime_ < kTileTime) {
        return true;
    }
    lastTileTime_ = now;
    if (ZPictureControl* tile = tiles_[size_t(tileRow_)][size_t(tileColumn_)]) {
        tile->Show(tileShowState_, ZRedraw::kYes);
    }
    int32_t lastColumn = tileRow_ < kShortRows ? kShortRowColumns - 1 : kTileColumns - 1;
    if (tileColumn_ < lastColumn) {
        ++tileColumn_;
    } else if (tileRow_ < kTileRows - 1) {
        ++tileRow_;
        tileColumn_ = 0;
    } else {
        tileRow_ = tileColumn_ = 0;
        tileShowState_ = !tileShowState_;
    }
    return true;
}
