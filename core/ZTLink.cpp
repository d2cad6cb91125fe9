#include "core/ZTLink.h"

// Called from the destructor, where only the base behaviour may run.
ZTLink::~ZTLink() {
    DetachNode();
}

bool ZTLink::BroadcastForward(int kind, intptr_t data, intptr_t extra) {
    if (Handle(kind, data, extra)) {
        return true;
    }
    if (child_ != nullptr && child_->BroadcastForward(kind, data, extra)) {
        return true;
    }
    return next_ != nullptr && next_->BroadcastForward(kind, data, extra);
}

bool ZTLink::BroadcastReverse(int kind, intptr_t data, intptr_t extra) {
    if (next_ != nullptr && next_->BroadcastReverse(kind, data, extra)) {
        return true;
    }
    if (child_ != nullptr && child_->BroadcastReverse(kind, data, extra)) {
        return true;
    }
    return Handle(kind, data, extra);
}

bool ZTLink::SendBack(int kind, intptr_t data, intptr_t extra) {
    if (Handle(kind, data, extra)) {
        return true;
    }
    return back_ != nullptr && back_->SendBack(kind, data, extra);
}

void ZTLink::InsertAfter(ZTLink* node) {
    if (IsAncestorOf(node)) {
        return;
    }
    Unlink();
    if (node == nullptr || node == this) {
        return;
    }
    back_ = node;
    parent_ = node->parent_;
    next_ = node->next_;
    if (next_ != nullptr) {
        next_->back_ = this;
    }
    node->next_ = this;
}

void ZTLink::AttachAsFirstChild(ZTLink* parent) {
    if (IsAncestorOf(parent)) {
        return;
    }
    Unlink();
    if (parent == nullptr || parent == this) {
        return;
    }
    back_ = parent;
    parent_ = parent;
    next_ = parent->child_;
    if (next_ != nullptr) {
        next_->back_ = this;
    }
    parent->child_ = this;
}

ZTLink* ZTLink::Detach() {
    return DetachNode();
}

bool ZTLink::Handle(int, intptr_t, intptr_t) {
    return false;
}

// Takes self out of its sibling chain, keeping its children. A node without a back link heads a
// detached chain (or is a root); its followers then head the chain.
void ZTLink::Unlink() {
    if (back_ != nullptr) {
        if (back_->next_ == this) {
            back_->next_ = next_;
        } else {
            back_->child_ = next_;
        }
    }
    if (next_ != nullptr) {
        next_->back_ = back_;
    }
    back_ = nullptr;
    next_ = nullptr;
    parent_ = nullptr;
}

// Moving self under or beside its own descendant would make a cycle.
bool ZTLink::IsAncestorOf(const ZTLink* node) const {
    for (const ZTLink* at = node != nullptr ? node->GetParent() : nullptr; at != nullptr;
         at = at->GetParent()) {
        if (at == this) {
            return true;
        }
    }
    return false;
}

ZTLink* ZTLink::DetachNode() {
    Unlink();
    ZTLink* first = child_;
    if (first != nullptr) {
        first->back_ = nullptr;
    }
    for (ZTLink* at = first; at != nullptr; at = at->next_) {
        at->parent_ = nullptr;  // the chain heads itself now
    }
    child_ = nullptr;
    return first;
}

bool ZEventHandler::Handle(int kind, intptr_t data, intptr_t extra) {
    return HandleEvent(kind, data, extra);
}

bool ZEventHandler::HandleEvent(int, intptr_t, intptr_t) {
    return false;
}

bool ZDataLink::ExchangeData(intptr_t, intptr_t, intptr_t, intptr_t) {
    return false;
}
