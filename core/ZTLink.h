// The tree node that messages travel along: first child, next sibling and one back link (the previous
// sibling, or the parent for a first child). Each node also remembers its parent, so that asking for it
// does not walk back over all earlier siblings (a panel holds nearly two hundred controls). A node does not
// own its children; destroying it only detaches it. Messages are (kind, data, extra) and answer "handled";
// data and extra may carry pointers.
#pragma once

#include <cstdint>

class ZTLink {
  public:
    ZTLink() = default;
    ZTLink(const ZTLink&) = delete;
    ZTLink& operator=(const ZTLink&) = delete;
    virtual ~ZTLink();

    // Self, then the first child's subtree, then the next sibling's; the first true ends the walk.
    virtual bool BroadcastForward(int kind, intptr_t data, intptr_t extra);
    // The same nodes in the opposite order: later siblings first, children before their parent.
    virtual bool BroadcastReverse(int kind, intptr_t data, intptr_t extra);
    // Self, then back along the links: earlier siblings, the parent, and so on to the root.
    virtual bool SendBack(int kind, intptr_t data, intptr_t extra);
    // Moves self (with its children) to be node's next sibling. Self or null as the target only
    // unlinks; a target inside self's own subtree is refused and nothing changes.
    virtual void InsertAfter(ZTLink* node);
    // Moves self (with its children) to be parent's first child; same rules as InsertAfter.
    virtual void AttachAsFirstChild(ZTLink* parent);
    // Unlinks self and lets go of its children, which stay linked to one another as a chain whose
    // first node has no back link. Returns that first node.
    virtual ZTLink* Detach();
    virtual bool Handle(int kind, intptr_t data, intptr_t extra);

    ZTLink* GetParent() const { return parent_; }
    // What kind of node this is, as the layer that made it tells (0: a plain node). Lets a tree ask a
    // node what it is without a dynamic_cast, which costs a string comparison per base class.
    uint8_t GetNodeKind() const { return nodeKind_; }
    ZTLink* GetBack() const { return back_; }
    ZTLink* GetNext() const { return next_; }
    ZTLink* GetChild() const { return child_; }

  protected:
    void SetNodeKind(uint8_t kind) { nodeKind_ = kind; }

  private:
    void Unlink();
    bool IsAncestorOf(const ZTLink* node) const;
    ZTLink* DetachNode();

    ZTLink* back_ = nullptr;
    ZTLink* next_ = nullptr;
    ZTLink* child_ = nullptr;
    ZTLink* parent_ = nullptr;
    uint8_t nodeKind_ = 0;
};

// The node of the notification tree: Handle passes every message to HandleEvent.
class ZEventHandler : public ZTLink {
  public:
    bool Handle(int kind, intptr_t data, intptr_t extra) override;
    virtual bool HandleEvent(int kind, intptr_t data, intptr_t extra);
};

// The node of the data-exchange tree that mirrors containment.
class ZDataLink : public ZTLink {
  public:
    // Exchanges a value with the node; nothing answers it yet.
    virtual bool ExchangeData(intptr_t what, intptr_t data, intptr_t extra, intptr_t context);
};
