// Everything visible: a rectangle in a tree of rectangles, drawn in tree order into a graphic device
// and offered input in the reverse order, so that what is drawn last (on top) hears it first.
#pragma once

#include <cstdint>
#include <optional>

#include "core/LinkEvents.h"
#include "core/ZFlags.h"
#include "core/ZPropertyHolder.h"
#include "core/ZRect.h"
#include "core/ZTLink.h"

class ZEventHandler;
class ZGraphicDevice;
class ZPanel;
class ZPanelHost;

// How Draw goes about its work; combine with |.
enum class ZDrawFlags : uint32_t {
    kNone = 0,
    kWithFollowing = 1u << 0,    // the following siblings (drawn above this object) too
    kClipToAncestors = 1u << 1,  // within the frames of the ancestors that clip their children
    kNested = 1u << 2,           // a step of a pass that an outer Draw runs; it finishes the pass
};
template <>
inline constexpr bool kIsFlagSet<ZDrawFlags> = true;

// How MoveBy and MoveTo go about their work; combine with |.
enum class ZMoveFlags : uint32_t {
    kNone = 0,
    kRedraw = 1u << 0,    // repaint what the move uncovered and covered
    kForce = 1u << 1,     // repaint even when the move is by nothing
    kAbsolute = 1u << 2,  // MoveTo: the point is in window coordinates, not the parent's
};
template <>
inline constexpr bool kIsFlagSet<ZMoveFlags> = true;

enum class ZRedraw { kNo, kYes };

class ZGraphicObject : public ZTLink, public ZPropertyHolder {
  public:
    // The frame is x, y, x + width, y + height in the parent's coordinates.
    ZGraphicObject(int32_t classId, int32_t id, int32_t x, int32_t y, int32_t layer, int32_t width,
                   int32_t height);
    // Lets go of the focus, the capture and the drag when they name this object.
    ~ZGraphicObject() override;

    // Among node's following siblings, after those of a lower layer.
    void InsertAfter(ZTLink* node) override;
    // Among parent's children by layer, in front of (below) those of an equal layer.
    void AttachAsFirstChild(ZTLink* parent) override;
    // Input (kinds 5 to 11) for this object alone; the broadcasts carry it through the tree.
    bool Handle(int kind, intptr_t data, intptr_t extra) override;

    // Draws this object (and its following siblings with kWithFollowing) within clip (null: no
    // limit). Without a device it asks the window for one and shows the result.
    virtual void Draw(ZGraphicDevice* device, const ZRect* clip, ZDrawFlags flags);
    // The object's own pixels inside rect (window coordinates).
    virtual void DrawContent(ZGraphicDevice& device, const ZRect& rect);

    // Entries: the window calls them on its root object.
    virtual bool OnMouseDown(const ZMouseEvent& event);
    virtual bool OnMouseUp(const ZMouseEvent& event);
    virtual bool OnMouseMove(const ZMouseEvent& event);
    virtual bool OnKeyDown(const ZKeyEvent& event);
    virtual bool OnKeyUp(const ZKeyEvent& event);
    virtual bool OnCursorQuery(const ZMouseEvent& event);

    // Dragging: BeginDrag may refuse the drag.
    virtual bool BeginDrag();
    virtual void DragMoved();
    virtual void EndDrag();

    // The visible bounds, repainted or marked painted by the window.
    virtual void InvalidateInWindow();
    virtual void ValidateInWindow();
    // Fills the visible bounds with the background colour through device (null: one from the window).
    virtual void EraseBackground(ZGraphicDevice* device);
    virtual void SetFocus(bool focus);

    // The absolute frame, clipped by the ancestors, overlaps rect.
    virtual bool IntersectsRect(const ZRect& rect) const;
    // The point lies in the clipped absolute frame, all four edges included.
    virtual bool ContainsPoint(const ZPoint& point) const;
    virtual void MoveBy(int32_t dx, int32_t dy, ZMoveFlags flags);
    virtual void MoveTo(const ZPoint& point, ZMoveFlags flags);
    virtual bool IsTransparent() const { return transparent_; }

    // The window hosting the tree (null when it has none) and the panel holding this object.
    virtual ZPanelHost* GetWindow();
    virtual ZPanel* GetPanel();
    // The node of the notification tree, for objects that have one.
    virtual ZEventHandler* GetEventHandler() { return nullptr; }

    // Heard when the object's effective visibility changes.
    virtual void VisibilityChanged() {}
    virtual void Show(bool visible, ZRedraw redraw);
    // Returns the previous value.
    virtual bool SetEnabled(bool enabled);

    // Input that reached this object (the requirements of Handle met); true when used.
    virtual bool MouseDown(const ZMouseEvent& event);
    virtual bool MouseUp(const ZMouseEvent& event);
    virtual bool MouseMoved(const ZMouseEvent& event);
    virtual bool KeyDown(const ZKeyEvent&) { return false; }
    virtual bool KeyUp(const ZKeyEvent&) { return false; }
    virtual bool CursorQuery(const ZMouseEvent& event);

    // The frame's top-left corner, in window coordinates when absolute.
    ZPoint GetPosition(bool absolute) const;
    ZRect GetAbsoluteFrame() const;
    // The absolute frame with every descendant's (not below one that clips its children).
    ZRect GetBounds() const;
    // The same over what is effectively visible, clipped by the ancestors; empty when hidden.
    ZRect GetVisibleBounds() const;
    // The intersection of the absolute frames of the ancestors that clip their children, if any do.
    std::optional<ZRect> GetAncestorClip() const;
    // This object or the first descendant in pre-order with the id.
    ZGraphicObject* FindById(int32_t id);
    bool IsEffectivelyVisible() const;
    bool IsParentEffectivelyVisible() const;
    // Visible and enabled, and so is every ancestor.
    bool AcceptsInput() const;

    ZGraphicObject* GetParentObject() const;
    ZGraphicObject* GetFirstChild() const;
    ZGraphicObject* GetNextSibling() const;
    ZGraphicObject* GetRoot();

    const ZRect& GetFrame() const { return frame_; }
    void SetFrame(const ZRect& frame) { frame_ = frame; }
    const ZRect& GetDragLimit() const { return dragLimit_; }
    void SetDragLimit(const ZRect& limit) { dragLimit_ = limit; }
    int32_t GetLayer() const { return layer_; }
    bool IsVisible() const { return visible_; }
    bool IsEnabled() const { return enabled_; }
    void SetTransparent(bool transparent) { transparent_ = transparent; }
    bool IsDraggable() const { return draggable_; }
    void SetDraggable(bool draggable) { draggable_ = draggable; }
    bool IsModal() const { return modal_; }
    void SetModal(bool modal) { modal_ = modal; }
    bool ClipsChildren() const { return clipsChildren_; }
    void SetClipsChildren(bool clips) { clipsChildren_ = clips; }
    int32_t GetClassId() const { return classId_; }
    void SetClassId(int32_t classId) { classId_ = classId; }
    int32_t GetId() const { return id_; }
    void SetId(int32_t id) { id_ = id; }
    int32_t GetCursorId() const { return cursorId_; }
    void SetCursorId(int32_t id) { cursorId_ = id; }

    // The node kind graphic objects carry in the tree.
    static constexpr uint8_t kNodeKind = 1;
    // A node of a graphic tree as the object it is; null for anything else.
    static ZGraphicObject* AsObject(ZTLink* node);

  protected:
    // The flag alone: no broadcast and no drawing.
    void SetVisibleFlag(bool visible) { visible_ = visible; }

  private:
    bool Dispatch(int kind, intptr_t data);
    void DrawFromWindow(const std::optional<ZRect>& clip, ZDrawFlags flags);
    void DrawInto(ZGraphicDevice& device, const std::optional<ZRect>& clip, ZDrawFlags flags);
    void DrawOverlays(ZGraphicDevice& device, const std::optional<ZRect>& clip);
    ZGraphicObject* OutermostCoveredAncestor(const ZRect& rect) const;
    ZRect BoundsFrom(ZPoint origin, bool visibleOnly) const;
    void AnnounceVisibility();

    ZRect frame_;
    ZRect dragLimit_;
    int32_t layer_;
    bool visible_ = true;
    bool enabled_ = true;
    bool transparent_ = false;
    bool draggable_ = false;
    bool modal_ = false;
    bool clipsChildren_ = false;
    int32_t classId_;
    int32_t id_;
    int32_t cursorId_ = 0;
};
