// A control that shows text in its frame: it owns a source string, lays it out into lines of segments
// (runs of text in one font and colour, pictures, nested blocks), draws the part in view, scrolls, and
// tells its panel about links under the pointer and links clicked. The plain control shows its source
// as it is; the HTML controls read markup in it through the hooks ScanRun, ParseMarkup and DecodeEntity.
//
// The layout keeps, for every segment, the source bytes it stands for (offset and length) and its
// position, so a point maps to a source offset (OffsetAt) and an offset to a caret position (CaretAt);
// an edit control changes the source and lays it out again with InvalidateLayout.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "controls/ZControl.h"
#include "controls/ZScroller.h"
#include "core/ZLinkedList.h"
#include "core/ZString.h"

class ZFont;
class ZPicture;
class ZTextBlock;

// What a segment is; markup adds the flags past kSegText / kSegPicture / kSegBlock.
enum ZSegmentFlag : uint32_t {
    kSegText = 1u << 0,
    kSegPicture = 1u << 1,
    kSegBlock = 1u << 2,  // a nested block: table, row, cell, list, item, sub- or superscript
    kSegLink = 1u << 3,
    kSegAnchor = 1u << 4,
    kSegLineBreak = 1u << 5,
    kSegCell = 1u << 6,
    kSegBullet = 1u << 7,
    kSegEntity = 1u << 8,  // drawn from its replacement text, not from the source
    kSegPressed = 1u << 9,
    kSegSubscript = 1u << 10,
    kSegSuperscript = 1u << 11,
};

struct ZTextSegment {
    int32_t x = 0;  // relative to the block's content
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t ascent = 0;
    ZFont* font = nullptr;
    uint8_t color[3] = {0, 0, 0};
    uint32_t flags = 0;
    int32_t offset = 0;  // the source bytes the segment stands for
    int32_t length = 0;
    int32_t visibleLength = 0;     // how many of them are drawn (trailing spaces are not)
    std::string_view replacement;  // what an entity segment draws (static text)
    int32_t index = 0;             // number in layout order, unique across the nested blocks
    int32_t linkFirst = -1;        // index of the first segment of the link it belongs to
    int32_t linkOffset = -1;       // the link's target in the source
    int32_t linkLength = 0;
    int32_t line = 0;
    ZPicture* picture = nullptr;  // one reference, held by the chunk
    ZTextBlock* block = nullptr;  // owned by the chunk
};

// Sixteen segments of a block; the chunk owns the pictures and nested blocks they refer to.
class ZTextSegmentChunk : public ZListElement {
  public:
    static constexpr int32_t kCapacity = 16;
    ~ZTextSegmentChunk() override;
    std::array<ZTextSegment, kCapacity> segments;
    int32_t count = 0;
};

// One line of a block: its segments are [first, first + count), its top y and height.
struct ZTextLine {
    int32_t first = 0;
    int32_t count = 0;
    int32_t y = 0;
    int32_t height = 0;
};

class ZTextBlock {
  public:
    enum class Kind { kRoot, kTable, kRow, kCell, kSub, kSup, kList, kItem };

    explicit ZTextBlock(Kind kind, int32_t width) : kind(kind), width(width) {}
    ~ZTextBlock() { chunks_.DeleteAll(); }
    ZTextBlock(const ZTextBlock&) = delete;
    ZTextBlock& operator=(const ZTextBlock&) = delete;

    // A new segment at the end (null when out of memory).
    ZTextSegment* Add();
    ZTextSegment* At(int32_t i);
    int32_t Count() const { return count_; }
    template <class F>
    void ForEach(F&& f) {
        for (ZListElement* e = chunks_.GetHead(); e != nullptr; e = e->next) {
            auto* chunk = static_cast<ZTextSegmentChunk*>(e);
            for (int32_t i = 0; i < chunk->count; ++i) {
                f(chunk->segments[size_t(i)]);
            }
        }
    }

    Kind kind;
    int32_t width;             // what lines are laid out to
    int32_t height = 0;        // content height after layout
    int32_t contentWidth = 0;  // widest line
    int32_t minWidth = 0;      // widest item that cannot be broken (pictures, nested blocks)
    int32_t inset = 0;         // x where lines start
    std::vector<ZTextLine> lines;
    // The line being filled.
    int32_t x = 0;
    int32_t y = 0;
    int32_t lineHeight = 0;
    int32_t lineAscent = 0;
    int32_t lineStart = 0;  // its first segment
    int32_t alignment = 1;
    bool explicitEnd = false;
    // Pictures aligned left or right: how wide, and down to which y they hold the margin.
    int32_t leftFloatWidth = 0;
    int32_t leftFloatBottom = 0;
    int32_t rightFloatWidth = 0;
    int32_t rightFloatBottom = 0;
    uint8_t background[3] = {255, 255, 255};
    bool hasBackground = false;
    bool border = false;  // framed in the segment's colour: a bordered table and its cells
    int32_t rowGap = 0;
    int32_t columnGap = 0;
    int32_t explicitWidth = 0;  // a cell's "width", 0 none
    int32_t cells = 0;          // a row's cells so far

  private:
    ZLinkedList chunks_;
    ZTextSegmentChunk* last_ = nullptr;
    int32_t count_ = 0;
};

class ZTextControl : public ZControl, public ZScroller {
  public:
    static constexpr int32_t kClassId = 29763;
    static constexpr int32_t kStackDepth = 10;
    static constexpr int32_t kTabWidth = 16;
    static constexpr int32_t kLineGap = 4;
    // Further layout options of the constructor.
    enum : uint32_t { kOptionBorder = 1u << 0, kOptionPageMode = 1u << 1 };

    // Takes ownership of text (null: empty). Without a font, "Times" 12. alignment: 1 left, 4 right,
    // 18 centre. layoutWidth, when not 0, is the width lines are laid out to.
    ZTextControl(int32_t id, int32_t x, int32_t y, int32_t layer, int32_t width, int32_t height,
                 ZString* text, ZFont* font, int32_t alignment, uint32_t options = 0, int32_t layoutWidth = 0,
                 ZPanel* panel = BuildingPanel());
    ~ZTextControl() override;

    // ---- The source
    virtual void SetValue(int32_t value);
    virtual int32_t GetValue() const { return value_; }
    virtual const ZString& GetText() const { return *source_; }
    // Replaces the source (deleting the old one unless it is the same object; null: empty) and lays it
    // out again; with redraw the control's frame is redrawn.
    virtual void SetText(ZString* text, ZRedraw redraw);
    virtual void ClearText(ZRedraw redraw) { SetText(nullptr, redraw); }
    // The "TEXT" item mediaId; an item that cannot be read gives an empty text.
    void SetTextFromMedia(int32_t mediaId, ZRedraw redraw);

    // ---- Layout hooks
    virtual bool IsBreakChar(char c) const { return c == ' ' || c == '-'; }
    virtual int32_t TabDistance(int32_t x) const;
    virtual int32_t GetLinkCursor(const ZTextSegment*) const { return 0; }
    virtual void DrawSegment(ZGraphicDevice& device, const ZTextSegment& segment, int32_t x, int32_t y,
                             const ZRect& clip);
    struct RunResult {
        int32_t consumed = 0;  // bytes taken from the source
        int32_t width = 0;     // pixels, trailing spaces included
        bool lineEnded = false;
    };
    // Measures how much of the source from pos fits in available pixels in font, moving pos past what
    // was taken; returns the visible length (the bytes taken less trailing bytes below '!').
    virtual int32_t MeasureRun(ZFont& font, int32_t& pos, int32_t available, bool splitAllowed,
                               RunResult& out);
    // The length of the plain run at pos before markup; -1 when the control reads no markup.
    virtual int32_t ScanRun(int32_t) const { return -1; }
    // Handles the markup at the layout position, moving it on by at least one byte.
    virtual void ParseMarkup(ZTextBlock&, int32_t) { ++pos_; }
    virtual bool EscapeChar(char c, std::string& out) const;
    // The text an entity at pos stands for; consumed false when pos starts no entity.
    virtual std::string_view DecodeEntity(int32_t pos, int32_t& end, bool& consumed) const;
    virtual void Layout(ZGraphicDevice* device);
    virtual void InvalidateLayout();

    // ---- Fonts and colours
    void SetFont(ZFont* font);
    ZFont* GetFont() const { return style_.font; }
    // Saves the font and switches to the same face and size with style | bits.
    void PushFont(int32_t styleBits);
    // Saves the font and switches to font (null: keeps the current one).
    void PushFontAs(ZFont* font);
    void PopFont();
    // Saves the colour and sets a new one.
    void SetColor(uint8_t r, uint8_t g, uint8_t b);
    void PopColor();
    int32_t GetFontDepth() const { return stacks_.fontDepth; }
    int32_t GetColorDepth() const { return stacks_.colorDepth; }
    // The colour of text outside any markup.
    void SetTextColor(uint8_t r, uint8_t g, uint8_t b);
    const uint8_t* GetColor() const { return style_.color; }
    void SetBackground(uint8_t r, uint8_t g, uint8_t b);
    void SetLinkColor(uint8_t r, uint8_t g, uint8_t b);

    // ---- Scrolling
    void ScrollTo(int32_t position, int32_t axis);
    void ScrollBy(int32_t delta, int32_t axis) override;
    int32_t GetScrollMax(int32_t axis) override;
    int32_t GetScrollPos(int32_t axis) override { return axis == kHorizontal ? scrollX_ : scrollY_; }
    int32_t GetPageSize(int32_t axis) override;
    int32_t GetFirstVisibleLine() const { return firstVisibleLine_; }
    int32_t GetPageCount() const { return pageCount_; }

    // ---- What lies where
    // The segment under a window point, or null.
    ZTextSegment* HitTest(const ZPoint& point);
    // The source offset nearest to a point in content coordinates (-1 without layout).
    int32_t OffsetAt(const ZPoint& content);
    // Where a caret before the source offset stands, in content coordinates: x, the line's top and
    // height. False without layout.
    bool CaretAt(int32_t offset, ZPoint& position, int32_t& height);
    ZTextBlock* GetLayoutRoot();
    int32_t GetLinkUnderPointer() const { return linkUnderPointer_; }

    // ---- The graphic object
    void DrawContent(ZGraphicDevice& device, const ZRect& rect) override;
    bool MouseDown(const ZMouseEvent& event) override;
    bool MouseUp(const ZMouseEvent& event) override;
    bool MouseMoved(const ZMouseEvent& event) override;
    // Over a link, the link's cursor; elsewhere the control's own.
    bool CursorQuery(const ZMouseEvent& event) override;
    // With a button down, the link under point shows pressed; otherwise the pressed link is let go.
    virtual void LinkPressed(const ZPoint& point, const ZMouseEvent& event);
    // Records the pressed link (-1 without a button).
    virtual void LinkReleased(int32_t link, const ZMouseEvent& event);

    // The record of notification 35.
    struct LinkRecord {
        ZString target;
    };

  protected:
    // Everything the markup changes as the layout walks the source; saved around a table's trial layout.
    struct Style {
        ZFont* font = nullptr;
        uint8_t color[3] = {0, 0, 0};
        // -1 outside a link; INT32_MAX inside one until its first segment gives it that segment's index.
        int32_t linkFirst = -1;
        int32_t linkOffset = -1;  // the link's target in the source
        int32_t linkLength = 0;
        bool hidden = false;
    };
    struct Stacks {
        ZFont* fonts[kStackDepth] = {};
        uint8_t colors[kStackDepth][3] = {};
        int32_t fontDepth = 0;  // entries saved
        int32_t colorDepth = 0;
    };

    // Lays out the source from pos_ into block until the source ends or a closer ends the block.
    void LayoutBlock(ZTextBlock& block, int32_t depth);
    // Lays a new nested block (null: out of memory) out from pos_, until its closer or the end of the
    // source; depth is the parent's.
    ZTextBlock* LayoutNested(ZTextBlock* block, int32_t depth);
    // Places a run of source text (or an entity's replacement) on the line.
    void PlaceText(ZTextBlock& block, int32_t offset, int32_t length, int32_t visible, int32_t width,
                   std::string_view replacement);
    ZTextSegment* PlaceItem(ZTextBlock& block, int32_t width, int32_t height, int32_t ascent, uint32_t flags);
    // Ends the line: alignment, line height, line gap after an explicit break, page breaks.
    void EndLine(ZTextBlock& block, bool explicitBreak);
    // Pixels left on the line.
    int32_t WidthLeft(const ZTextBlock& block) const;
    void StartLine(ZTextBlock& block);
    int32_t LineAscent(ZFont* font);
    void FinishBlock(ZTextBlock& block);
    ZTextSegment* SegmentAt(ZTextBlock& block, const ZPoint& content, int32_t originX, int32_t originY);
    void NotifyLinkChange(int32_t link);
    void SetPressed(int32_t linkFirst, bool pressed);
    bool Notify(int kind, intptr_t data);
    void RedrawFrame();
    ZPoint ContentPoint(const ZMouseEvent& event) const;

    ZString* source_ = nullptr;
    Style style_;
    Style defaultStyle_;
    Stacks stacks_;
    uint8_t background_[3] = {255, 255, 255};
    bool hasBackground_ = true;
    uint8_t linkColor_[3] = {0, 0, 255};
    bool needsLayout_ = true;
    bool border_ = false;
    bool pageMode_ = false;
    int32_t alignment_ = 1;
    int32_t layoutWidth_ = 0;
    int32_t value_ = 0;
    bool valueSet_ = false;
    ZTextBlock* root_ = nullptr;
    int32_t scrollX_ = 0;
    int32_t scrollY_ = 0;
    int32_t firstVisibleLine_ = -1;
    int32_t pageCount_ = 1;
    int32_t linkUnderPointer_ = -1;
    int32_t pressedFirst_ = -1;
    int32_t pressedLast_ = -1;
    bool pressing_ = false;
    bool linkCursorShown_ = false;
    // Layout in progress.
    int32_t pos_ = 0;
    int32_t nextIndex_ = 0;
    int32_t closeTo_ = -1;           // a closer ends the blocks down to this depth
    std::vector<ZTextBlock*> open_;  // the blocks being laid out, outermost first (index = depth)
    ZGraphicDevice* device_ = nullptr;

    ZPoint lastPointer_;
    bool pointerKnown_ = false;
};
