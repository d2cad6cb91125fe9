#include "controls/ZTextControl.h"

#include <algorithm>
#include <new>

#include "controls/ZFont.h"
#include "controls/ZPanelHost.h"
#include "graphics/ZGraphicDevice.h"
#include "graphics/ZPicture.h"
#include "media/ZMediaServer.h"

namespace {

bool IsLineEnd(char c) {
    return c == '\r' || c == '\n';
}

}  // namespace

// ---- Segments and blocks

ZTextSegmentChunk::~ZTextSegmentChunk() {
    for (int32_t i = 0; i < count; ++i) {
        ZTextSegment& s = segments[size_t(i)];
        if (s.picture != nullptr) {
            s.picture->Release();
        }
        delete s.block;
    }
}

ZTextSegment* ZTextBlock::Add() {
    if (last_ == nullptr || last_->count == ZTextSegmentChunk::kCapacity) {
        auto* chunk = new (std::nothrow) ZTextSegmentChunk;
        if (chunk == nullptr) {
            return nullptr;
        }
        chunks_.Append(chunk);
        last_ = chunk;
    }
    ++count_;
    return &last_->segments[size_t(last_->count++)];
}

ZTextSegment* ZTextBlock::At(int32_t i) {
    if (i < 0 || i >= count_) {
        return nullptr;
    }
    ZListElement* e = chunks_.GetHead();
    for (int32_t skip = i / ZTextSegmentChunk::kCapacity; skip > 0; --skip) {
        e = e->next;
    }
    return &static_cast<ZTextSegmentChunk*>(e)->segments[size_t(i % ZTextSegmentChunk::kCapacity)];
}

// ---- Construction and the source

ZTextControl::ZTextControl(int32_t id, int32_t x, int32_t y, int32_t layer, int32_t width, int32_t height,
                           ZString* text, ZFont* font, int32_t alignment, uint32_t options,
                           int32_t layoutWidth, ZPanel* panel)
    : ZControl(kClassId, id, x, y, layer, width, height, panel),
      source_(text != nullptr ? text : new ZString(kDefaultCapacity)),
      border_((options & kOptionBorder) != 0),
      pageMode_((options & kOptionPageMode) != 0),
      alignment_(alignment),
      layoutWidth_(layoutWidth) {
    style_.font = font != nullptr ? font : ZFont::FindFont("Times", 12, 0, nullptr, true);
    defaultStyle_ = style_;
}

ZTextControl::~ZTextControl() {
    delete root_;
    delete source_;
}

void ZTextControl::SetValue(int32_t value) {
    value_ = value;
    valueSet_ = true;
    needsLayout_ = true;
}

void ZTextControl::SetText(ZString* text, ZRedraw redraw) {
    if (text != source_) {
        delete source_;
        source_ = text != nullptr ? text : new ZString(kDefaultCapacity);
    }
    InvalidateLayout();
    // Link indices name segments of the old layout.
    linkUnderPointer_ = pressedFirst_ = pressedLast_ = -1;
    pressing_ = false;
    Layout(nullptr);
    scrollX_ = std::min(scrollX_, GetScrollMax(kHorizontal));
    scrollY_ = std::min(scrollY_, GetScrollMax(kVertical));
    if (redraw == ZRedraw::kYes) {
        RedrawFrame();
    }
    UpdateScrollBars();
}

void ZTextControl::SetTextFromMedia(int32_t mediaId, ZRedraw redraw) {
    auto* text = new ZString(kDefaultCapacity);
    if (gMediaServer == nullptr || !gMediaServer->ReadTextItem(uint16_t(mediaId), *text)) {
        text->Clear();
    }
    SetText(text, redraw);
}

bool ZTextControl::EscapeChar(char c, std::string& out) const {
    out.assign(1, c);
    return false;
}

std::string_view ZTextControl::DecodeEntity(int32_t pos, int32_t& end, bool& consumed) const {
    end = pos;
    consumed = false;
    return {};
}

int32_t ZTextControl::TabDistance(int32_t x) const {
    int32_t into = x % kTabWidth;
    return kTabWidth - (into < 0 ? into + kTabWidth : into);
}

// ---- Fonts and colours

void ZTextControl::SetFont(ZFont* font) {
    if (font != nullptr) {
        style_.font = font;
        defaultStyle_.font = font;
        needsLayout_ = true;
    }
}

void ZTextControl::PushFontAs(ZFont* font) {
    // A push beyond the stack is not saved; its closer then pops the entry below.
    if (stacks_.fontDepth < kStackDepth) {
        stacks_.fonts[stacks_.fontDepth++] = style_.font;
    }
    if (font != nullptr) {
        style_.font = font;
    }
}

void ZTextControl::PushFont(int32_t styleBits) {
    ZFont* font = style_.font;
    ZFont* styled = nullptr;
    if (font != nullptr && font->IsPlatformFont()) {
        styled = ZFont::FindFont(font->GetFaceName().GetText(), font->GetSize(), font->GetStyle() | styleBits,
                                 nullptr, true);
    }
    PushFontAs(styled);
}

void ZTextControl::PopFont() {
    if (stacks_.fontDepth > 0) {
        style_.font = stacks_.fonts[--stacks_.fontDepth];
    }
}

void ZTextControl::SetColor(uint8_t r, uint8_t g, uint8_t b) {
    if (stacks_.colorDepth < kStackDepth) {
        std::copy_n(style_.color, 3, stacks_.colors[stacks_.colorDepth++]);
    }
    style_.color[0] = r;
    style_.color[1] = g;
    style_.color[2] = b;
}

void ZTextControl::PopColor() {
    if (stacks_.colorDepth > 0) {
        std::copy_n(stacks_.colors[--stacks_.colorDepth], 3, style_.color);
    }
}

void ZTextControl::SetTextColor(uint8_t r, uint8_t g, uint8_t b) {
    uint8_t rgb[3] = {r, g, b};
    std::copy_n(rgb, 3, style_.color);
    std::copy_n(rgb, 3, defaultStyle_.color);
    needsLayout_ = true;
}

void ZTextControl::SetBackground(uint8_t r, uint8_t g, uint8_t b) {
    background_[0] = r;
    background_[1] = g;
    background_[2] = b;
    hasBackground_ = true;
}

void ZTextControl::SetLinkColor(uint8_t r, uint8_t g, uint8_t b) {
    linkColor_[0] = r;
    linkColor_[1] = g;
    linkColor_[2] = b;
    needsLayout_ = true;
}

// ---- Measuring

int32_t ZTextControl::MeasureRun(ZFont& font, int32_t& pos, int32_t available, bool splitAllowed,
                                 RunResult& out) {
    out = RunResult{};
    const char* s = source_->GetText();
    int32_t len = s != nullptr ? source_->GetLength() : 0;
    int32_t start = pos;
    if (start < 0 || start >= len) {
        return 0;
    }
    available = std::max(available, 0);
    const uint8_t* widths = font.GetWidths(device_);
    // The run grows while its width is at most the line's; the byte that passes it stays in for now.
    int32_t end = start;
    int32_t width = 0;
    while (end < len && width <= available) {
        char c = s[end];
        if (c == '\0' || c == '\t') {
            break;
        }
        if (IsLineEnd(c)) {
            if (end == start) {
                ++end;
                char partner = c == '\r' ? '\n' : '\r';
                end += end < len && s[end] == partner ? 1 : 0;
                out.lineEnded = true;
            }
            break;
        }
        width += widths[uint8_t(c)];
        ++end;
    }
    int32_t plain = ScanRun(start);
    if (plain == 0) {
        return 0;
    }
    if (plain > 0 && plain < end - start) {
        end = start + plain;
        out.lineEnded = false;
        width = font.TextWidth(s + start, end - start);
    }
    if (width > available) {
        out.lineEnded = true;
        while (end > start && width > available) {
            width -= widths[uint8_t(s[--end])];
        }
        int32_t fitEnd = end;
        // Break after the last space or hyphen, which stays on this line.
        while (end > start && !IsBreakChar(s[end - 1])) {
            --end;
        }
        if (end == start) {
            if (!splitAllowed) {
                return 0;
            }
            end = fitEnd;
        }
    }
    if (end == start) {
        pos = start + 1;  // a byte wider than the whole line is passed over
        out.lineEnded = false;
        return 0;
    }
    out.consumed = end - start;
    out.width = out.lineEnded && IsLineEnd(s[start]) ? 0 : font.TextWidth(s + start, end - start);
    pos = end;
    int32_t visible = out.consumed;
    while (visible > 0 && uint8_t(s[start + visible - 1]) < '!') {
        --visible;
    }
    return visible;
}

// ---- Layout

void ZTextControl::InvalidateLayout() {
    needsLayout_ = true;
    firstVisibleLine_ = -1;
    delete root_;
    root_ = nullptr;
}

ZTextBlock* ZTextControl::GetLayoutRoot() {
    if (needsLayout_ || root_ == nullptr) {
        Layout(nullptr);
    }
    return root_;
}

int32_t ZTextControl::LineAscent(ZFont* font) {
    return font != nullptr ? std::max(font->GetAscent(device_), 0) : 0;
}

void ZTextControl::Layout(ZGraphicDevice* device) {
    delete root_;
    int32_t width = layoutWidth_ != 0 ? layoutWidth_ : GetFrame().Width();
    root_ = new (std::nothrow) ZTextBlock(ZTextBlock::Kind::kRoot, width);
    needsLayout_ = false;
    if (root_ == nullptr) {
        return;
    }
    device_ = device;
    root_->inset = border_ ? 2 : 0;
    root_->alignment = alignment_;
    style_ = defaultStyle_;
    stacks_ = Stacks{};
    pos_ = 0;
    nextIndex_ = 0;
    closeTo_ = -1;
    pageCount_ = 1;
    LayoutBlock(*root_, 0);
    device_ = nullptr;
    int32_t pageHeight = GetFrame().Height();
    if (pageMode_ && pageHeight > 0) {
        pageCount_ = std::max(1, (root_->height + pageHeight - 1) / pageHeight);
    }
    firstVisibleLine_ = 0;
    while (firstVisibleLine_ < int32_t(root_->lines.size()) &&
           root_->lines[size_t(firstVisibleLine_)].y < scrollY_) {
        ++firstVisibleLine_;
    }
}

int32_t ZTextControl::WidthLeft(const ZTextBlock& block) const {
    int32_t right = block.y < block.rightFloatBottom ? block.rightFloatWidth : 0;
    return block.width - block.x - right;
}

void ZTextControl::StartLine(ZTextBlock& block) {
    block.x = block.inset + (block.y < block.leftFloatBottom ? block.leftFloatWidth : 0);
    block.lineHeight = 0;
    block.lineAscent = 0;
    block.lineStart = block.Count();
}

void ZTextControl::LayoutBlock(ZTextBlock& block, int32_t depth) {
    open_.resize(size_t(depth));
    open_.push_back(&block);
    StartLine(block);
    const char* s = source_->GetText();
    int32_t len = s != nullptr ? source_->GetLength() : 0;
    while (pos_ < len) {
        int32_t before = pos_;
        if (ScanRun(pos_) == 0) {
            ParseMarkup(block, depth);
            if (closeTo_ >= 0) {
                // A closer may leave its tag to be read again by the block it returns to.
                if (closeTo_ == depth) {
                    closeTo_ = -1;
                }
                break;
            }
            pos_ = std::max(pos_, before + 1);  // every step moves on
            continue;
        }
        bool empty = block.Count() == block.lineStart;
        if (s[pos_] == '\t') {
            int32_t distance = TabDistance(block.x);
            if (distance > WidthLeft(block) && !empty) {
                EndLine(block, false);
                continue;
            }
            PlaceText(block, pos_, 1, 0, distance, {});
            ++pos_;
            continue;
        }
        ZFont* font = style_.font;
        if (font == nullptr) {
            ++pos_;
            continue;
        }
        RunResult run;
        int32_t visible = MeasureRun(*font, pos_, WidthLeft(block), empty, run);
        if (run.consumed > 0 && !style_.hidden) {
            bool lineBreak = IsLineEnd(s[before]);
            // A lone space opening a line takes no room.
            bool loneSpace = empty && run.consumed == 1 && s[before] == ' ';
            PlaceText(block, before, run.consumed, visible, loneSpace ? 0 : run.width, {});
            if (lineBreak) {
                block.At(block.Count() - 1)->flags |= kSegLineBreak;
            }
            if (run.lineEnded) {
                EndLine(block, lineBreak);
            }
        } else if (pos_ == before && !empty) {
            EndLine(block, false);  // the word goes to the next line
        }
    }
    FinishBlock(block);
    open_.resize(size_t(depth));
}

void ZTextControl::FinishBlock(ZTextBlock& block) {
    if (block.Count() > block.lineStart) {
        EndLine(block, false);
    }
    block.height = std::max({block.y, block.leftFloatBottom, block.rightFloatBottom});
}

ZTextSegment* ZTextControl::PlaceItem(ZTextBlock& block, int32_t width, int32_t height, int32_t ascent,
                                      uint32_t flags) {
    ZTextSegment* seg = block.Add();
    if (seg == nullptr) {
        return nullptr;
    }
    seg->x = block.x;
    seg->y = block.y;
    seg->width = width;
    seg->height = height;
    seg->ascent = ascent;
    seg->font = style_.font;
    bool link = style_.linkFirst >= 0;
    std::copy_n(link ? linkColor_ : style_.color, 3, seg->color);
    seg->flags = flags | (link ? kSegLink : 0u);
    seg->index = nextIndex_++;
    seg->offset = pos_;
    if (link) {
        if (style_.linkFirst == INT32_MAX) {
            style_.linkFirst = seg->index;  // the link's first segment names it
        }
        seg->linkFirst = style_.linkFirst;
        seg->linkOffset = style_.linkOffset;
        seg->linkLength = style_.linkLength;
    }
    block.x += width;
    block.lineAscent = std::max(block.lineAscent, ascent);
    block.lineHeight = std::max({block.lineHeight, height, block.lineAscent + (height - ascent)});
    return seg;
}

void ZTextControl::PlaceText(ZTextBlock& block, int32_t offset, int32_t length, int32_t visible,
                             int32_t width, std::string_view replacement) {
    ZFont* font = style_.font;
    int32_t ascent = LineAscent(font);
    int32_t descent = font != nullptr ? std::max(font->GetDescent(device_), 0) : 0;
    ZTextSegment* seg =
        PlaceItem(block, width, ascent + descent, ascent, kSegText | (replacement.empty() ? 0u : kSegEntity));
    if (seg != nullptr) {
        seg->offset = offset;
        seg->length = length;
        seg->visibleLength = visible;
        seg->replacement = replacement;
    }
}

ZTextBlock* ZTextControl::LayoutNested(ZTextBlock* block, int32_t depth) {
    if (block != nullptr) {
        LayoutBlock(*block, depth + 1);
    }
    return block;
}

void ZTextControl::EndLine(ZTextBlock& block, bool explicitBreak) {
    int32_t pageHeight = GetFrame().Height();
    int32_t height = std::max(block.lineHeight, 1);
    if (pageMode_ && block.kind == ZTextBlock::Kind::kRoot && pageHeight > 0) {
        int32_t pageTop = block.y / pageHeight * pageHeight;
        // Only a line that does not start a page moves: one taller than the page stays where it is.
        if (block.y + height > pageTop + pageHeight && block.y != pageTop) {
            block.y = pageTop + pageHeight;
        }
    }
    int32_t lineLeft = block.inset + (block.y < block.leftFloatBottom ? block.leftFloatWidth : 0);
    int32_t lineWidth = block.x - lineLeft;
    int32_t slack = std::max(WidthLeft(block), 0);
    int32_t shift = block.alignment == 4 ? slack : (block.alignment == 18 ? slack / 2 : 0);
    int32_t count = block.Count() - block.lineStart;
    for (int32_t i = block.lineStart; i < block.Count(); ++i) {
        ZTextSegment* seg = block.At(i);
        seg->x += shift;
        seg->y = block.y + block.lineAscent - seg->ascent;
        seg->line = int32_t(block.lines.size());
    }
    block.lines.push_back(ZTextLine{block.lineStart, count, block.y, height});
    block.contentWidth = std::max(block.contentWidth, lineLeft + lineWidth + shift);
    block.y += height;
    bool atPageTop = pageMode_ && pageHeight > 0 && block.y % pageHeight == 0;
    if (explicitBreak && count > 0 && !atPageTop) {
        block.y += kLineGap;
    }
    StartLine(block);
}

// ---- Scrolling

int32_t ZTextControl::GetPageSize(int32_t axis) {
    return axis == kHorizontal ? GetFrame().Width() : GetFrame().Height();
}

int32_t ZTextControl::GetScrollMax(int32_t axis) {
    ZTextBlock* root = GetLayoutRoot();
    if (root == nullptr) {
        return 0;
    }
    int32_t extent = axis == kHorizontal ? root->contentWidth
                                         : (pageMode_ ? pageCount_ * GetFrame().Height() : root->height);
    return std::max(0, extent - GetPageSize(axis));
}

void ZTextControl::ScrollBy(int32_t delta, int32_t axis) {
    ScrollTo(int32_t(std::clamp<int64_t>(int64_t(GetScrollPos(axis)) + delta, INT32_MIN, INT32_MAX)), axis);
}

void ZTextControl::ScrollTo(int32_t position, int32_t axis) {
    if (axis != kHorizontal && axis != kVertical) {
        return;
    }
    position = std::clamp(position, GetScrollMin(axis), std::max(GetScrollMin(axis), GetScrollMax(axis)));
    int32_t page = GetFrame().Height();
    if (pageMode_ && axis == kVertical && page > 0) {
        position = position / page * page;  // whole pages
    }
    int32_t& current = axis == kHorizontal ? scrollX_ : scrollY_;
    if (position == current) {
        return;
    }
    current = position;
    UpdateScrollBar(axis);
    if (root_ != nullptr) {
        firstVisibleLine_ = 0;
        while (firstVisibleLine_ < int32_t(root_->lines.size()) &&
               root_->lines[size_t(firstVisibleLine_)].y < scrollY_) {
            ++firstVisibleLine_;
        }
    }
    RedrawFrame();
    if (pointerKnown_ && ContainsPoint(lastPointer_)) {
        SetCursorById(GetWindow(), GetLinkCursor(HitTest(lastPointer_)));
    } else if (linkCursorShown_) {
        SetCursorById(GetWindow(), 0);
    }
}

void ZTextControl::RedrawFrame() {
    if (IsEffectivelyVisible()) {
        ZRect frame = GetAbsoluteFrame();
        Draw(nullptr, &frame, ZDrawFlags::kWithFollowing | ZDrawFlags::kClipToAncestors);
    }
}

// ---- Drawing

void ZTextControl::DrawContent(ZGraphicDevice& device, const ZRect& rect) {
    ZRect frame = GetAbsoluteFrame();
    ZRect clip = frame.Intersect(rect);
    if (clip.IsEmpty()) {
        return;
    }
    if (needsLayout_ || root_ == nullptr) {
        Layout(&device);
    }
    if (!IsTransparent() && hasBackground_) {
        device.FillRect(clip, background_, nullptr, 1, 0, ZGraphicDevice::kModeNone);
    }
    if (border_) {
        const uint8_t* rgb = defaultStyle_.color;
        ZRect edges[4] = {{frame.top, frame.left, frame.top + 1, frame.right},
                          {frame.bottom - 1, frame.left, frame.bottom, frame.right},
                          {frame.top, frame.left, frame.bottom, frame.left + 1},
                          {frame.top, frame.right - 1, frame.bottom, frame.right}};
        for (const ZRect& edge : edges) {
            device.FillRect(edge.Intersect(clip), rgb, nullptr, 1, 0, ZGraphicDevice::kModeNone);
        }
    }
    if (root_ == nullptr) {
        return;
    }
    ZTextSegment whole;
    whole.flags = kSegBlock;
    whole.block = root_;
    whole.width = root_->width;
    whole.height = root_->height;
    DrawSegment(device, whole, frame.left - scrollX_, frame.top - scrollY_, clip);
}

void ZTextControl::DrawSegment(ZGraphicDevice& device, const ZTextSegment& seg, int32_t x, int32_t y,
                               const ZRect& clip) {
    ZRect box{y, x, y + seg.height, x + seg.width};
    if ((seg.flags & kSegBlock) != 0 && seg.block != nullptr) {
        ZTextBlock& block = *seg.block;
        if (block.hasBackground) {
            device.FillRect(box.Intersect(clip), block.background, nullptr, 1, 0, ZGraphicDevice::kModeNone);
        }
        if (block.border) {
            ZRect edges[4] = {{box.top, box.left, box.top + 1, box.right},
                              {box.bottom - 1, box.left, box.bottom, box.right},
                              {box.top, box.left, box.bottom, box.left + 1},
                              {box.top, box.right - 1, box.bottom, box.right}};
            for (const ZRect& edge : edges) {
                device.FillRect(edge.Intersect(clip), seg.color, nullptr, 1, 0, ZGraphicDevice::kModeNone);
            }
        }
        block.ForEach([&](ZTextSegment& inner) {
            int32_t top = y + inner.y;
            if (top < clip.bottom && top + inner.height > clip.top) {
                DrawSegment(device, inner, x + inner.x, top, clip);
            }
        });
        return;
    }
    if (box.Intersect(clip).IsEmpty() && (seg.flags & kSegText) == 0) {
        return;
    }
    if ((seg.flags & kSegBullet) != 0) {
        device.FillRect(box.Intersect(clip), seg.color, nullptr, 1, 0, ZGraphicDevice::kModeNone);
    } else if ((seg.flags & kSegPicture) != 0 && seg.picture != nullptr) {
        seg.picture->Draw(device, box, &clip);
    } else if ((seg.flags & kSegText) != 0 && seg.font != nullptr) {
        const char* text = seg.replacement.empty() ? source_->GetText() + seg.offset : seg.replacement.data();
        int32_t count = seg.replacement.empty() ? seg.visibleLength : int32_t(seg.replacement.size());
        if (count > 0) {
            uint8_t rgb[3];
            std::copy_n(seg.color, 3, rgb);
            if ((seg.flags & kSegPressed) != 0) {
                rgb[0] = uint8_t(255 - rgb[0]);  // a pressed link shows in the inverse colour
                rgb[1] = uint8_t(255 - rgb[1]);
                rgb[2] = uint8_t(255 - rgb[2]);
            }
            seg.font->DrawText(device, x, y + seg.ascent, text, count, &clip, rgb);
        }
    }
}

// ---- What lies where

ZPoint ZTextControl::ContentPoint(const ZMouseEvent& event) const {
    ZPoint at = GetPosition(true);
    return ZPoint{event.x - at.x + scrollX_, event.y - at.y + scrollY_};
}

ZTextSegment* ZTextControl::SegmentAt(ZTextBlock& block, const ZPoint& content, int32_t originX,
                                      int32_t originY) {
    ZTextSegment* found = nullptr;
    block.ForEach([&](ZTextSegment& seg) {
        int32_t left = originX + seg.x;
        int32_t top = originY + seg.y;
        if (found != nullptr || content.x < left || content.x >= left + seg.width || content.y < top ||
            content.y >= top + seg.height) {
            return;
        }
        found = &seg;
        if ((seg.flags & kSegBlock) != 0 && seg.block != nullptr) {
            if (ZTextSegment* inner = SegmentAt(*seg.block, content, left, top)) {
                found = inner;
            }
        }
    });
    return found;
}

ZTextSegment* ZTextControl::HitTest(const ZPoint& point) {
    ZTextBlock* root = GetLayoutRoot();
    if (root == nullptr) {
        return nullptr;
    }
    ZPoint at = GetPosition(true);
    return SegmentAt(*root, ZPoint{point.x - at.x + scrollX_, point.y - at.y + scrollY_}, 0, 0);
}

int32_t ZTextControl::OffsetAt(const ZPoint& content) {
    ZTextBlock* root = GetLayoutRoot();
    if (root == nullptr) {
        return -1;
    }
    // The line at the point's height (the last one below it), then the segment at its x.
    ZTextBlock* block = root;
    ZPoint p = content;
    while (true) {
        const ZTextLine* line = nullptr;
        for (const ZTextLine& l : block->lines) {
            if (line == nullptr || l.y <= p.y) {
                line = &l;
            }
        }
        if (line == nullptr || line->count == 0) {
            return 0;
        }
        ZTextSegment* seg = block->At(line->first);
        for (int32_t i = 0; i < line->count; ++i) {
            ZTextSegment* s = block->At(line->first + i);
            if (p.x >= s->x) {
                seg = s;
            }
        }
        if ((seg->flags & kSegBlock) != 0 && seg->block != nullptr) {
            p = ZPoint{p.x - seg->x, p.y - seg->y};
            block = seg->block;
            continue;
        }
        if ((seg->flags & kSegText) == 0 || seg->replacement.size() > 0 || seg->font == nullptr) {
            return p.x < seg->x + seg->width / 2 ? seg->offset : seg->offset + seg->length;
        }
        // The byte boundary nearest to x.
        const char* text = source_->GetText() + seg->offset;
        int32_t x = seg->x;
        const uint8_t* widths = seg->font->GetWidths(nullptr);
        for (int32_t i = 0; i < seg->visibleLength; ++i) {
            int32_t w = widths[uint8_t(text[i])];
            if (p.x < x + w / 2) {
                return seg->offset + i;
            }
            x += w;
        }
        return seg->offset + seg->visibleLength;
    }
}

bool ZTextControl::CaretAt(int32_t offset, ZPoint& position, int32_t& height) {
    ZTextBlock* root = GetLayoutRoot();
    if (root == nullptr) {
        return false;
    }
    bool found = false;
    auto search = [&](auto& self, ZTextBlock& block, int32_t ox, int32_t oy) -> void {
        block.ForEach([&](ZTextSegment& seg) {
            if (found) {
                return;
            }
            if ((seg.flags & kSegBlock) != 0 && seg.block != nullptr) {
                self(self, *seg.block, ox + seg.x, oy + seg.y);
                return;
            }
            // Floating pictures and bullets (on no line) hold no caret.
            if (seg.line < 0 || offset < seg.offset || offset > seg.offset + seg.length) {
                return;
            }
            int32_t x = seg.x;
            if ((seg.flags & kSegText) != 0 && seg.replacement.empty() && seg.font != nullptr) {
                int32_t count = std::min(offset - seg.offset, seg.visibleLength);
                x += seg.font->TextWidth(source_->GetText() + seg.offset, count);
            } else if (offset > seg.offset) {
                x += seg.width;
            }
            bool onLine = seg.line < int32_t(block.lines.size());
            const ZTextLine* line = onLine ? &block.lines[size_t(seg.line)] : nullptr;
            position = ZPoint{ox + x, oy + (line != nullptr ? line->y : seg.y)};
            height = line != nullptr ? line->height : seg.height;
            found = true;
        });
    };
    search(search, *root, 0, 0);
    return found;
}

// ---- Links

bool ZTextControl::Notify(int kind, intptr_t data) {
    ZEventHandler* own = GetEventHandler();
    return own->SendBack(kind, data, reinterpret_cast<intptr_t>(own));
}

void ZTextControl::SetPressed(int32_t linkFirst, bool pressed) {
    if (root_ == nullptr || linkFirst < 0) {
        return;
    }
    auto mark = [&](auto& self, ZTextBlock& block) -> void {
        block.ForEach([&](ZTextSegment& seg) {
            if (seg.linkFirst == linkFirst) {
                seg.flags = pressed ? seg.flags | kSegPressed : seg.flags & ~uint32_t(kSegPressed);
            }
            if (seg.block != nullptr) {
                self(self, *seg.block);
            }
        });
    };
    mark(mark, *root_);
    RedrawFrame();
}

void ZTextControl::NotifyLinkChange(int32_t link) {
    if (link != linkUnderPointer_) {
        linkUnderPointer_ = link;
        Notify(kLinkHotLinkChanged, link);
    }
}

bool ZTextControl::MouseMoved(const ZMouseEvent& event) {
    if (ZControl::MouseMoved(event)) {
        return true;
    }
    lastPointer_ = ZPoint{event.x, event.y};
    pointerKnown_ = true;
    ZTextSegment* seg = HitTest(lastPointer_);
    int32_t link = seg != nullptr && (seg->flags & kSegLink) != 0 ? seg->linkFirst : -1;
    int32_t cursor = GetLinkCursor(seg);
    linkCursorShown_ = cursor != 0;
    SetCursorById(GetWindow(), cursor);
    if (pressing_) {
        SetPressed(pressedFirst_, link == pressedFirst_);
    }
    // Last: whoever hears it may give the control a new text, and the segment with it.
    NotifyLinkChange(link);
    return false;
}

bool ZTextControl::CursorQuery(const ZMouseEvent& event) {
    int32_t cursor = GetLinkCursor(HitTest(ZPoint{event.x, event.y}));
    SetCursorById(GetWindow(), cursor != 0 ? cursor : GetCursorId());
    return true;
}

bool ZTextControl::MouseDown(const ZMouseEvent& event) {
    if (ZControl::MouseDown(event)) {
        return true;
    }
    LinkPressed(ZPoint{event.x, event.y}, event);
    return pressing_;
}

bool ZTextControl::MouseUp(const ZMouseEvent& event) {
    if (ZControl::MouseUp(event)) {
        return true;
    }
    if (!pressing_) {
        return false;
    }
    ZTextSegment* seg = HitTest(ZPoint{event.x, event.y});
    int32_t link = seg != nullptr && (seg->flags & kSegLink) != 0 ? seg->linkFirst : -1;
    bool activated = link >= 0 && link == pressedFirst_;
    LinkRecord record;
    if (activated && seg->linkOffset >= 0 && seg->linkOffset + seg->linkLength <= source_->GetLength()) {
        ZString target(source_->GetText() + seg->linkOffset, seg->linkLength);
        record.target.Assign(target);
    }
    ZMouseEvent released = event;
    released.buttons = 0;
    LinkPressed(ZPoint{event.x, event.y}, released);
    if (activated) {
        Notify(kLinkHyperlinkActivated, reinterpret_cast<intptr_t>(&record));
    }
    return true;
}

void ZTextControl::LinkPressed(const ZPoint& point, const ZMouseEvent& event) {
    if (event.buttons != 0) {
        ZTextSegment* seg = HitTest(point);
        if (seg != nullptr && (seg->flags & kSegLink) != 0) {
            LinkReleased(seg->linkFirst, event);
            pressing_ = true;
            ControlState().capture = this;
            SetPressed(pressedFirst_, true);
        }
        return;
    }
    if (pressing_) {
        SetPressed(pressedFirst_, false);
        pressing_ = false;
        if (ControlState().capture == this) {
            ControlState().capture = nullptr;
        }
    }
    LinkReleased(-1, event);
}

void ZTextControl::LinkReleased(int32_t link, const ZMouseEvent& event) {
    if (event.buttons == 0 || link < 0 || root_ == nullptr) {
        pressedFirst_ = pressedLast_ = -1;
        return;
    }
    pressedFirst_ = link;
    pressedLast_ = link;
    auto last = [&](auto& self, ZTextBlock& block) -> void {
        block.ForEach([&](ZTextSegment& seg) {
            if (seg.linkFirst == link) {
                pressedLast_ = std::max(pressedLast_, seg.index);
            }
            if (seg.block != nullptr) {
                self(self, *seg.block);
            }
        });
    };
    last(last, *root_);
}
