#include "controls/ZEditControl.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <string>

#include "controls/ZFont.h"
#include "graphics/ZGraphicDevice.h"
#include "platform/Clock.h"

namespace {

using Unit = ZEditControl::Unit;

// The nearest visible unit that ends at or before offset; null when there is none.
const Unit* PrevVisible(const std::vector<Unit>& units, int32_t offset) {
    for (auto u = units.rbegin(); u != units.rend(); ++u) {
        if (u->visible && u->end <= offset) {
            return &*u;
        }
    }
    return nullptr;
}

// The nearest visible unit that starts at or after offset; null when there is none.
const Unit* NextVisible(const std::vector<Unit>& units, int32_t offset) {
    for (const Unit& u : units) {
        if (u.visible && u.start >= offset) {
            return &u;
        }
    }
    return nullptr;
}

// Spaces, tabs and line breaks separate words.
bool IsSpace(std::string_view s, const Unit& u) {
    return u.end - u.start == 1 ? uint8_t(s[size_t(u.start)]) <= ' ' : s[size_t(u.start)] == '<';
}

// Past the rest of the word at offset and the spaces after it.
int32_t WordRight(std::string_view s, const std::vector<Unit>& units, int32_t offset) {
    int32_t p = offset;
    bool spaceSeen = false;
    for (const Unit& u : units) {
        if (!u.visible || u.start < offset) {
            continue;
        }
        bool space = IsSpace(s, u);
        if (!space && spaceSeen) {
            break;
        }
        spaceSeen = spaceSeen || space;
        p = u.end;
    }
    return p;
}

// Back over the spaces before offset and the word before them.
int32_t WordLeft(std::string_view s, const std::vector<Unit>& units, int32_t offset) {
    int32_t p = offset;
    bool wordSeen = false;
    for (auto u = units.rbegin(); u != units.rend(); ++u) {
        if (!u->visible || u->end > offset) {
            continue;
        }
        bool space = IsSpace(s, *u);
        if (space && wordSeen) {
            break;
        }
        wordSeen = wordSeen || !space;
        p = u->start;
    }
    return p;
}

constexpr const char* kSpaceEntity = "&#32;";

// Where the caret stands on a line that holds nothing, by the block's alignment.
int32_t EmptyLineX(const ZTextBlock& block) {
    switch (block.alignment) {
        case html::kAlignRight:
            return std::max(block.width - ZEditControl::kCaretWidth, block.inset);
        case html::kAlignCenter:
            return std::max(block.width / 2, block.inset);
        default:
            return block.inset;
    }
}

}  // namespace

// ---- The blink task

ZEditControl::ZEditBlinkTask::ZEditBlinkTask(ZEditControl* control, ZTaskManager* manager)
    : ZTask(0, ZTaskFlags::kActive | ZTaskFlags::kOwnedByManager | ZTaskFlags::kDeleteWhenFinished, manager),
      control_(control) {}

ZEditControl::ZEditBlinkTask::~ZEditBlinkTask() {
    // A manager shutting down deletes the task while the control may live on.
    if (control_ != nullptr) {
        control_->blinkTask_ = nullptr;
    }
}

bool ZEditControl::ZEditBlinkTask::Run(uint32_t) {
    if (control_ == nullptr) {
        return false;
    }
    control_->Blink(platform::TickCount());
    return true;
}

// ---- Construction

ZEditControl::ZEditControl(int32_t id, int32_t x, int32_t y, int32_t layer, int32_t width, int32_t height,
                           ZString* text, ZFont* font, int32_t alignment, uint32_t options,
                           int32_t layoutWidth, int32_t maxLength, ZPanel* panel)
    : ZHTMLTextControl(id, x, y, layer, width, height, nullptr, font, alignment, options, layoutWidth, panel),
      lastToggle_(platform::TickCount()),
      maxLength_(maxLength) {
    SetClassId(kClassId);
    SetText(text, ZRedraw::kNo);
    blinkTask_ = new (std::nothrow) ZEditBlinkTask(this, GetRootTaskManager());
}

ZEditControl::~ZEditControl() {
    Show(false, ZRedraw::kNo);
    if (GetEditFocus() == this) {
        SetEditFocus(nullptr, false);
    }
    if (blinkTask_ != nullptr) {
        blinkTask_->control_ = nullptr;
        // A registered task is deleted by its manager at the next pass; an unregistered one is ours.
        if (blinkTask_->GetManager() != nullptr) {
            blinkTask_->SetFinished();
        } else {
            delete blinkTask_;
        }
        blinkTask_ = nullptr;
    }
}

std::string_view ZEditControl::Source() const {
    const char* text = source_->GetText();
    return text != nullptr ? std::string_view(text, size_t(source_->GetLength())) : std::string_view();
}

void ZEditControl::SetText(ZString* text, ZRedraw redraw) {
    if (text != nullptr && text->GetText() != nullptr) {
        // Prepared first, since an entity inside the open tag could swallow the closing '>'; preparing
        // the text again in the base changes nothing.
        html::PrepareSource(*text);
        std::string_view s(text->GetText(), size_t(text->GetLength()));
        size_t open = s.rfind('<');
        if (open != std::string_view::npos && s.find('>', open) == std::string_view::npos) {
            text->Append('>');
        }
    }
    selStart_ = selEnd_ = 0;
    movingEnd_ = MovingEnd::kEnd;
    caretAfter_ = false;
    goalX_ = 0;
    mouseSelecting_ = false;
    ZHTMLTextControl::SetText(text, redraw);
}

// ---- The edit focus

ZEditControl* ZEditControl::GetEditFocus() {
    return ControlState().editFocus;
}

void ZEditControl::SetEditFocus(ZEditControl* control, bool selectAll) {
    ZEditControl*& holder = ControlState().editFocus;
    if (control != nullptr && control == holder) {
        return;
    }
    if (ZEditControl* previous = holder) {
        holder = nullptr;
        previous->mouseSelecting_ = false;
        previous->SetFocus(false);
        previous->RedrawFrame();
    }
    if (control == nullptr) {
        return;
    }
    holder = control;
    control->SetFocus(true);
    if (selectAll) {
        control->selStart_ = 0;
        control->selEnd_ = control->source_->GetLength();
        control->movingEnd_ = MovingEnd::kEnd;
    } else if (control->selStart_ == 0) {
        control->selEnd_ = 0;
    }
    control->ShowCaretNow();
    control->ScrollTo(control->GetScrollPos(kHorizontal), kHorizontal);
    control->ScrollTo(control->GetScrollPos(kVertical), kVertical);
    control->RedrawFrame();
}

// ---- Units and caret stops

std::vector<ZEditControl::Unit> ZEditControl::SplitUnits(std::string_view s) {
    std::vector<Unit> units;
    size_t i = 0;
    while (i < s.size()) {
        size_t end = i + 1;
        bool visible = s[i] != '>';  // a stray '>' is not shown
        if (s[i] == '<') {
            html::ParsedTag tag;
            html::ParseTag(s, i, tag);
            end = std::max(tag.end, i + 1);
            visible = !tag.closing && (tag.id == html::kTagBr || tag.id == html::kTagImg);
        } else if (s[i] == '&') {
            html::DecodedEntity entity = html::DecodeEntity(s, i);
            if (entity.consumed) {
                end = std::max(entity.end, i + 1);
                visible = !entity.replacement.empty();
            }
        }
        units.push_back(Unit{int32_t(i), int32_t(end), visible});
        i = end;
    }
    return units;
}

int32_t ZEditControl::Snap(int32_t offset) const {
    std::string_view s = Source();
    offset = std::clamp(offset, 0, int32_t(s.size()));
    for (const Unit& u : SplitUnits(s)) {
        if (u.start < offset && offset < u.end) {
            return u.start;
        }
    }
    return offset;
}

std::vector<ZEditControl::Stop> ZEditControl::CollectStops() {
    std::vector<Stop> stops;
    ZTextBlock* root = GetLayoutRoot();
    if (root != nullptr) {
        CollectBlockStops(*root, 0, 0, SplitUnits(Source()), stops);
    }
    if (stops.empty()) {
        ZFont* font = defaultStyle_.font;
        int32_t height = font != nullptr ? font->GetAscent(nullptr) + font->GetDescent(nullptr) : 1;
        stops.push_back(Stop{0, root != nullptr ? EmptyLineX(*root) : 0, 0, height, root, 0, false});
    }
    return stops;
}

void ZEditControl::CollectBlockStops(ZTextBlock& block, int32_t ox, int32_t oy,
                                     const std::vector<Unit>& units, std::vector<Stop>& stops) {
    std::string_view s = Source();
    block.ForEach([&](ZTextSegment& seg) {
        if ((seg.flags & kSegBlock) != 0) {
            if (seg.block != nullptr) {
                CollectBlockStops(*seg.block, ox + seg.x, oy + seg.y, units, stops);
            }
            return;
        }
        // Floating pictures and bullets stand on no line.
        if (seg.line < 0 || size_t(seg.line) >= block.lines.size() || seg.offset < 0 ||
            size_t(seg.offset) + size_t(std::max(seg.length, 0)) > s.size()) {
            return;
        }
        const ZTextLine& line = block.lines[size_t(seg.line)];
        auto add = [&](int32_t offset, int32_t x, bool after) {
            stops.push_back(Stop{offset, ox + x, oy + line.y, line.height, &block, seg.line, after});
        };
        if (seg.length == 0 && (seg.flags & (kSegLineBreak | kSegPicture)) != 0) {
            // The segment stands just after its tag; the caret may stand before the tag too.
            auto tag = std::lower_bound(units.begin(), units.end(), seg.offset,
                                        [](const Unit& u, int32_t offset) { return u.end < offset; });
            int32_t start = tag != units.end() && tag->end == seg.offset ? tag->start : seg.offset;
            add(start, seg.x, false);
            if ((seg.flags & kSegPicture) != 0) {
                add(seg.offset, seg.x + seg.width, true);
                return;
            }
            // After a break the caret starts the next line, which may not exist yet.
            size_t next = size_t(seg.line) + 1;
            if (next < block.lines.size()) {
                const ZTextLine& below = block.lines[next];
                ZTextSegment* first = below.count > 0 ? block.At(below.first) : nullptr;
                int32_t x = first != nullptr ? first->x : EmptyLineX(block);
                stops.push_back(
                    Stop{seg.offset, ox + x, oy + below.y, below.height, &block, int32_t(next), false});
            } else {
                stops.push_back(Stop{seg.offset, ox + EmptyLineX(block), oy + block.y, line.height, &block,
                                     int32_t(next), false});
            }
            return;
        }
        if (seg.length <= 0) {
            return;  // anchors
        }
        const char* text = s.data() + seg.offset;
        bool plain = (seg.flags & kSegText) != 0 && seg.replacement.empty() && seg.font != nullptr &&
                     !(seg.length == 1 && text[0] == '\t');
        if (!plain) {
            add(seg.offset, seg.x, false);
            add(seg.offset + seg.length, seg.x + seg.width, true);
            return;
        }
        // Every byte boundary; a lone space opening a line has no width, hence the limit.
        const uint8_t* widths = seg.font->GetWidths(nullptr);
        int32_t x = seg.x;
        for (int32_t i = 0; i <= seg.length; ++i) {
            add(seg.offset + i, std::min(x, seg.x + seg.width), i == seg.length);
            if (i < seg.length) {
                x += widths[uint8_t(text[i])];
            }
        }
    });
}

ZEditControl::Stop ZEditControl::Locate(const std::vector<Stop>& stops, int32_t offset, bool after) {
    const Stop* exact = nullptr;
    for (const Stop& s : stops) {
        if (s.offset == offset && (exact == nullptr || (exact->after != after && s.after == after))) {
            exact = &s;
        }
    }
    if (exact != nullptr) {
        return *exact;
    }
    // Between stops lie tags that show nothing: the caret stands where the next visible unit starts.
    const Stop* next = nullptr;
    const Stop* prev = nullptr;
    for (const Stop& s : stops) {
        if (s.offset > offset && (next == nullptr || s.offset < next->offset)) {
            next = &s;
        }
        if (s.offset < offset && (prev == nullptr || s.offset >= prev->offset)) {
            prev = &s;
        }
    }
    return next != nullptr ? *next : (prev != nullptr ? *prev : stops.front());
}

const ZEditControl::Stop* ZEditControl::Nearest(const std::vector<Stop>& stops, const ZPoint& point,
                                                int32_t minTop, int32_t maxBottom) {
    const Stop* best = nullptr;
    int64_t bestDy = 0;
    int64_t bestDx = 0;
    for (const Stop& s : stops) {
        int64_t bottom = int64_t(s.top) + s.height;
        if (s.top < minTop || bottom > maxBottom) {
            continue;
        }
        int64_t dy =
            point.y < s.top ? int64_t(s.top) - point.y : (point.y >= bottom ? point.y - bottom + 1 : 0);
        int64_t dx = std::abs(int64_t(point.x) - s.x);
        if (best == nullptr || dy < bestDy || (dy == bestDy && dx < bestDx)) {
            best = &s;
            bestDy = dy;
            bestDx = dx;
        }
    }
    return best;
}

ZRect ZEditControl::GetCaretRect() {
    const Stop at = Locate(CollectStops(), GetCaret(), caretAfter_);
    ZRect frame = GetAbsoluteFrame();
    int32_t left = frame.left - scrollX_ + at.x;
    int32_t top = frame.top - scrollY_ + at.top;
    return ZRect{top, left, top + at.height, left + kCaretWidth};
}

// ---- Keys

bool ZEditControl::KeyDown(const ZKeyEvent& event) {
    if (GetEditFocus() != this || selStart_ < 0 || selStart_ > selEnd_ || selEnd_ > source_->GetLength()) {
        return false;
    }
    bool shift = (event.modifiers & kModifierShift) != 0;
    bool ctrl = (event.modifiers & kModifierControl) != 0;
    Edit edit;
    switch (event.virtualKey) {
        case kKeyBackspace:
            edit = DeleteKey(true);
            break;
        case kKeyDelete:
            edit = DeleteKey(false);
            break;
        case kKeyEscape:
            SetEditFocus(nullptr, false);
            edit.handled = true;
            break;
        case kKeyEnd:
        case kKeyHome:
        case kKeyLeft:
        case kKeyUp:
        case kKeyRight:
        case kKeyDown:
            edit = MoveKey(event.virtualKey, shift, ctrl);
            break;
        default: {
            char c = char(event.character);
            bool typed = c == '\t' || c == '\n' || c == '\r' || event.character >= 32;
            if (typed && !(ctrl && event.character < 32)) {
                edit = Type(c);
            }
            break;
        }
    }
    if (!edit.handled) {
        return false;
    }
    ShowCaretNow();
    ScrollToCaret();
    RedrawFrame();
    intptr_t data = reinterpret_cast<intptr_t>(&event);
    if (edit.changed) {
        Notify(kLinkEditChanged, data);
    }
    Notify(kLinkEditKey, data);
    return true;
}

ZEditControl::Edit ZEditControl::MoveKey(uint32_t key, bool shift, bool ctrl) {
    std::string_view s = Source();
    std::vector<Unit> units = SplitUnits(s);
    int32_t caret = GetCaret();
    bool collapse = !shift && selStart_ != selEnd_;
    switch (key) {
        case kKeyLeft:
        case kKeyRight: {
            bool left = key == kKeyLeft;
            int32_t target = left ? selStart_ : selEnd_;  // a selection collapses to its edge
            if (!collapse) {
                const Unit* u = left ? PrevVisible(units, caret) : NextVisible(units, caret);
                target = ctrl ? (left ? WordLeft(s, units, caret) : WordRight(s, units, caret))
                              : (u == nullptr ? caret : (left ? u->start : u->end));
            }
            MoveCaret(target, shift, false);
            RememberGoal();
            break;
        }
        case kKeyHome:
        case kKeyEnd: {
            bool home = key == kKeyHome;
            if (ctrl) {
                MoveCaret(home ? 0 : int32_t(s.size()), shift, false);
            } else {
                // The leftmost or rightmost stop of the caret's line.
                std::vector<Stop> stops = CollectStops();
                const Stop here = Locate(stops, caret, caretAfter_);
                const Stop* best = nullptr;
                for (const Stop& st : stops) {
                    if (st.block != here.block || st.line != here.line) {
                        continue;
                    }
                    bool better = best == nullptr ||
                                  (home ? st.x < best->x || (st.x == best->x && st.offset < best->offset)
                                        : st.x > best->x || (st.x == best->x && st.offset > best->offset));
                    best = better ? &st : best;
                }
                if (best != nullptr) {
                    MoveCaret(best->offset, shift, best->after);
                }
            }
            RememberGoal();
            break;
        }
        default: {
            // Up and Down: the nearest line above or below, at the goal x.
            std::vector<Stop> stops = CollectStops();
            const Stop here = Locate(stops, caret, caretAfter_);
            bool up = key == kKeyUp;
            ZPoint point{goalX_, up ? here.top - 1 : here.top + here.height};
            const Stop* target = up ? Nearest(stops, point, INT32_MIN, here.top)
                                    : Nearest(stops, point, here.top + here.height, INT32_MAX);
            if (target != nullptr) {
                MoveCaret(target->offset, shift, target->after);
            }
            break;
        }
    }
    return Edit{true, false};
}

ZEditControl::Edit ZEditControl::DeleteKey(bool backward) {
    if (selStart_ != selEnd_) {
        return Edit{true, ReplaceSelection(selStart_, selEnd_, {})};
    }
    // One visible unit, whole: an entity or a tag never loses part of itself.
    std::vector<Unit> units = SplitUnits(Source());
    const Unit* u = backward ? PrevVisible(units, selStart_) : NextVisible(units, selStart_);
    if (u == nullptr) {
        return Edit{true, false};
    }
    int32_t caret = selStart_;
    bool changed = ReplaceSelection(u->start, u->end, {});
    if (!backward) {
        MoveCaret(caret, false, false);  // before the tags that preceded the deleted unit, as it was
    }
    return Edit{true, changed};
}

ZEditControl::Edit ZEditControl::Type(char c) {
    std::string text;
    EscapeChar(c == '\r' ? '\n' : c, text);
    // The layout skips white space after a line break, so a space typed right after a tag that shows
    // (a break or a picture) enters as an entity, which is shown.
    std::vector<Unit> units = SplitUnits(Source());
    const Unit* before = PrevVisible(units, selStart_);
    if (c == ' ' && before != nullptr && before->end == selStart_ && Source()[size_t(before->start)] == '<') {
        text = kSpaceEntity;
    }
    return Edit{true, ReplaceSelection(selStart_, selEnd_, text)};
}

bool ZEditControl::ReplaceSelection(int32_t start, int32_t end, std::string_view text) {
    int32_t length = source_->GetLength();
    if (int64_t(length) - (end - start) + int64_t(text.size()) > maxLength_) {
        return false;
    }
    if (!text.empty()) {
        // Inserted before the deletion, so that running out of memory leaves the source as it was.
        ZString insert(text.data(), int32_t(text.size()));
        source_->Insert(insert, end);
        if (source_->GetLength() != length + int32_t(text.size())) {
            return false;
        }
    }
    source_->Delete(start, end - start);
    MoveCaret(start + int32_t(text.size()), false, false);
    Relayout();
    RememberGoal();
    return true;
}

void ZEditControl::MoveCaret(int32_t offset, bool extend, bool after) {
    offset = Snap(offset);
    caretAfter_ = after;
    if (!extend) {
        selStart_ = selEnd_ = offset;
        movingEnd_ = MovingEnd::kEnd;
        return;
    }
    int32_t fixed = movingEnd_ == MovingEnd::kStart ? selEnd_ : selStart_;
    selStart_ = std::min(fixed, offset);
    selEnd_ = std::max(fixed, offset);
    movingEnd_ = offset < fixed ? MovingEnd::kStart : MovingEnd::kEnd;
}

void ZEditControl::SetSelection(int32_t start, int32_t end) {
    start = Snap(start);
    end = Snap(end);
    selStart_ = std::min(start, end);
    selEnd_ = std::max(start, end);
    movingEnd_ = MovingEnd::kEnd;
    caretAfter_ = false;
    RememberGoal();
    if (GetEditFocus() == this) {
        RedrawFrame();
    }
}

void ZEditControl::Relayout() {
    InvalidateLayout();
    // Link indices name segments of the old layout.
    linkUnderPointer_ = pressedFirst_ = pressedLast_ = -1;
    pressing_ = false;
    Layout(nullptr);
    ScrollTo(GetScrollPos(kHorizontal), kHorizontal);
    ScrollTo(GetScrollPos(kVertical), kVertical);
    UpdateScrollBars();
}

void ZEditControl::ScrollToCaret() {
    const Stop at = Locate(CollectStops(), GetCaret(), caretAfter_);
    int32_t page = GetPageSize(kVertical);
    if (at.top < scrollY_) {
        ScrollTo(at.top, kVertical);
    } else if (at.top + at.height > scrollY_ + page) {
        ScrollTo(at.top + at.height - page, kVertical);
    }
}

void ZEditControl::ShowCaretNow() {
    caretShown_ = true;
    lastToggle_ = platform::TickCount();
}

void ZEditControl::RememberGoal() {
    goalX_ = Locate(CollectStops(), GetCaret(), caretAfter_).x;
}

// ---- The mouse

bool ZEditControl::MouseDown(const ZMouseEvent& event) {
    // Links and dragging come first; a press on a link ends there.
    if (ZHTMLTextControl::MouseDown(event)) {
        return true;
    }
    SetEditFocus(this, false);
    ControlState().capture = this;
    std::vector<Stop> stops = CollectStops();
    const Stop* at = Nearest(stops, ContentPoint(event), INT32_MIN, INT32_MAX);
    MoveCaret(at != nullptr ? at->offset : 0, false, at != nullptr && at->after);
    mouseSelecting_ = true;
    RememberGoal();
    ShowCaretNow();
    RedrawFrame();
    return true;
}

bool ZEditControl::MouseMoved(const ZMouseEvent& event) {
    if (mouseSelecting_ && event.buttons == 0) {
        mouseSelecting_ = false;  // the release went elsewhere
    }
    if (!mouseSelecting_ || GetEditFocus() != this) {
        return ZHTMLTextControl::MouseMoved(event);
    }
    std::vector<Stop> stops = CollectStops();
    const Stop* at = Nearest(stops, ContentPoint(event), INT32_MIN, INT32_MAX);
    if (at != nullptr && at->offset != GetCaret()) {
        MoveCaret(at->offset, true, at->after);
        RememberGoal();
        RedrawFrame();
    }
    return true;
}

bool ZEditControl::MouseUp(const ZMouseEvent& event) {
    if (!mouseSelecting_) {
        return ZHTMLTextControl::MouseUp(event);
    }
    mouseSelecting_ = false;
    if (ControlState().capture == this) {
        ControlState().capture = nullptr;
    }
    return true;
}

// ---- Drawing and blinking

void ZEditControl::DrawContent(ZGraphicDevice& device, const ZRect& rect) {
    ZHTMLTextControl::DrawContent(device, rect);
    ZRect frame = GetAbsoluteFrame();
    ZRect clip = frame.Intersect(rect);
    if (GetEditFocus() != this || clip.IsEmpty()) {
        return;
    }
    std::vector<Stop> stops = CollectStops();
    int32_t ox = frame.left - scrollX_;
    int32_t oy = frame.top - scrollY_;
    if (selStart_ < selEnd_) {
        // Each line from its leftmost to its rightmost stop inside the selection, inverted.
        struct Span {
            const ZTextBlock* block;
            int32_t line, top, height, left, right;
        };
        std::vector<Span> spans;
        for (const Stop& s : stops) {
            if (s.offset < selStart_ || s.offset > selEnd_) {
                continue;
            }
            auto span = std::find_if(spans.begin(), spans.end(),
                                     [&](const Span& p) { return p.block == s.block && p.line == s.line; });
            if (span == spans.end()) {
                spans.push_back(Span{s.block, s.line, s.top, s.height, s.x, s.x});
            } else {
                span->left = std::min(span->left, s.x);
                span->right = std::max(span->right, s.x);
            }
        }
        for (const Span& p : spans) {
            ZRect box{oy + p.top, ox + p.left, oy + p.top + p.height, ox + p.right};
            device.FillRect(box.Intersect(clip), nullptr, nullptr, 1, ZGraphicDevice::kModeInvert,
                            ZGraphicDevice::kModeNone);
        }
    }
    if (caretShown_) {
        const Stop at = Locate(stops, GetCaret(), caretAfter_);
        ZRect caret{oy + at.top, ox + at.x, oy + at.top + at.height, ox + at.x + kCaretWidth};
        device.FillRect(caret.Intersect(clip), defaultStyle_.color, nullptr, 1, 0, ZGraphicDevice::kModeNone);
    }
}

void ZEditControl::Blink(uint32_t now) {
    // Ticks wrap: compare the time passed, never the tick values.
    if (blinkInterval_ <= 0 || now - lastToggle_ <= uint32_t(blinkInterval_)) {
        return;
    }
    caretShown_ = !caretShown_;
    lastToggle_ = now;
    if (GetEditFocus() == this && IsEffectivelyVisible()) {
        ZRect caret = GetCaretRect().Intersect(GetAbsoluteFrame());
        if (!caret.IsEmpty()) {
            Draw(nullptr, &caret, ZDrawFlags::kWithFollowing | ZDrawFlags::kClipToAncestors);
        }
    }
}
