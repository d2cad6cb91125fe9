// An HTML text control whose text the user changes: a caret and a selection, typing while it holds the
// edit focus, Backspace and Delete, the arrow, Home and End keys, selection with Shift and the mouse,
// and notifications to its panel for every key it handles. A blink task flips the caret on a timer.
//
// The selection and the caret are offsets into the source, which holds markup. They only ever stand
// between whole units of it: a tag ("<BR>", "<b>"), an entity ("&lt;") or a plain byte. Keys step over
// one visible unit at a time (a byte, an entity, a line break or a picture) together with the tags that
// show nothing, so an edit never leaves half an entity or half a tag behind.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "controls/ZHTMLTextControl.h"
#include "core/ZTask.h"

class ZEditControl : public ZHTMLTextControl {
  public:
    static constexpr int32_t kClassId = 265;
    static constexpr int32_t kDefaultMaxLength = 32767;
    static constexpr int32_t kCaretWidth = 1;

    // Virtual-key codes of the keys the control reacts to.
    enum : uint32_t {
        kKeyBackspace = 8,
        kKeyEscape = 27,
        kKeyEnd = 35,
        kKeyHome = 36,
        kKeyLeft = 37,
        kKeyUp = 38,
        kKeyRight = 39,
        kKeyDown = 40,
        kKeyDelete = 46,
    };

    // Which end of the selection follows Shift-movement.
    enum class MovingEnd { kStart, kEnd };

    // Flips its control's caret when the blink interval has passed. It reads the tick count itself:
    // the count a manager hands to Run numbers passes, it is not a time.
    class ZEditBlinkTask : public ZTask {
      public:
        ZEditBlinkTask(ZEditControl* control, ZTaskManager* manager);
        ~ZEditBlinkTask() override;
        bool Run(uint32_t count) override;

      private:
        friend class ZEditControl;
        ZEditControl* control_;  // null once the control is gone
    };

    // The text control's arguments, and the longest source (in bytes) that typing may make. The text is
    // set without redraw; the blink task joins the root task manager when there is one.
    ZEditControl(int32_t id, int32_t x, int32_t y, int32_t layer, int32_t width, int32_t height,
                 ZString* text, ZFont* font, int32_t alignment, uint32_t options = 0, int32_t layoutWidth = 0,
                 int32_t maxLength = kDefaultMaxLength, ZPanel* panel = BuildingPanel());
    // Hides the control, lets go of the edit focus and ends the blink task.
    ~ZEditControl() override;

    // Gives the edit focus to control (null: to nobody); the previous holder loses it. With selectAll
    // the whole text is selected; otherwise a selection starting at 0 becomes a caret at the start.
    // Nothing changes when control holds the focus already.
    static void SetEditFocus(ZEditControl* control, bool selectAll);
    static ZEditControl* GetEditFocus();

    // A new text: the selection becomes a caret at the start. A tag left open at the end is closed, so
    // that what is typed after it is not read as part of the tag.
    void SetText(ZString* text, ZRedraw redraw) override;

    // The focus holder reacts to the keys above and to typed characters; true when the key was used.
    bool KeyDown(const ZKeyEvent& event) override;
    // A press takes the edit focus and the mouse and places the caret; moving extends the selection.
    bool MouseDown(const ZMouseEvent& event) override;
    bool MouseMoved(const ZMouseEvent& event) override;
    bool MouseUp(const ZMouseEvent& event) override;
    // The text, then the selection (inverted) and the caret while the control holds the edit focus.
    void DrawContent(ZGraphicDevice& device, const ZRect& rect) override;

    // Flips the caret when the interval is not 0 and more than that many milliseconds have passed since
    // the last flip; now is the tick count.
    void Blink(uint32_t now);
    void SetBlinkInterval(int32_t milliseconds) { blinkInterval_ = milliseconds; }
    int32_t GetBlinkInterval() const { return blinkInterval_; }
    bool IsCaretShown() const { return caretShown_; }
    ZEditBlinkTask* GetBlinkTask() const { return blinkTask_; }

    // Selects [start, end) of the source, both moved back to the start of the unit they fall in; the
    // end moves with Shift.
    void SetSelection(int32_t start, int32_t end);
    int32_t GetSelectionStart() const { return selStart_; }
    int32_t GetSelectionEnd() const { return selEnd_; }
    MovingEnd GetMovingEnd() const { return movingEnd_; }
    // The offset the caret stands at: the moving end of the selection.
    int32_t GetCaret() const { return movingEnd_ == MovingEnd::kStart ? selStart_ : selEnd_; }
    int32_t GetMaxLength() const { return maxLength_; }
    void SetMaxLength(int32_t maxLength) { maxLength_ = maxLength; }
    // The caret's rectangle in window coordinates.
    ZRect GetCaretRect();

    // A piece of the source: a tag, an entity or a byte; visible when it shows something or breaks the
    // line (opening "br" and "img" tags, entities with a text, bytes other than a stray '>').
    struct Unit {
        int32_t start = 0;
        int32_t end = 0;
        bool visible = false;
    };
    static std::vector<Unit> SplitUnits(std::string_view source);

  private:
    // A place the caret can stand, in content coordinates, on one line of one block. after: the caret
    // follows what ends at offset (the end of a line) rather than preceding what starts there.
    struct Stop {
        int32_t offset = 0;
        int32_t x = 0;
        int32_t top = 0;
        int32_t height = 0;
        const ZTextBlock* block = nullptr;
        int32_t line = 0;
        bool after = false;
    };
    struct Edit {
        bool handled = false;
        bool changed = false;
    };

    std::string_view Source() const;
    std::vector<Stop> CollectStops();
    void CollectBlockStops(ZTextBlock& block, int32_t ox, int32_t oy, const std::vector<Unit>& units,
                           std::vector<Stop>& stops);
    // The stop the caret at offset shows at.
    static Stop Locate(const std::vector<Stop>& stops, int32_t offset, bool after);
    // The stop nearest to a content point (the nearest line, then the nearest x) among those whose top
    // is at least minTop and whose bottom at most maxBottom; null when there is none.
    static const Stop* Nearest(const std::vector<Stop>& stops, const ZPoint& point, int32_t minTop,
                               int32_t maxBottom);
    int32_t Snap(int32_t offset) const;

    Edit MoveKey(uint32_t key, bool shift, bool ctrl);
    Edit DeleteKey(bool backward);
    Edit Type(char c);
    // Puts the moving end at offset (Shift) or collapses the selection there.
    void MoveCaret(int32_t offset, bool extend, bool after);
    // Replaces the selection with text; false when the source would grow past the maximum length or
    // memory runs out (the source is then unchanged).
    bool ReplaceSelection(int32_t start, int32_t end, std::string_view text);
    void Relayout();
    // Scrolls vertically until the caret's line is in view.
    void ScrollToCaret();
    void ShowCaretNow();
    void RememberGoal();

    int32_t selStart_ = 0;
    int32_t selEnd_ = 0;
    MovingEnd movingEnd_ = MovingEnd::kEnd;
    bool caretAfter_ = false;  // see Stop::after
    int32_t goalX_ = 0;        // the x Up and Down keep to
    bool mouseSelecting_ = false;
    bool caretShown_ = true;
    int32_t blinkInterval_ = 0;  // 0: the caret does not blink
    uint32_t lastToggle_ = 0;
    int32_t maxLength_ = kDefaultMaxLength;
    ZEditBlinkTask* blinkTask_ = nullptr;
};
