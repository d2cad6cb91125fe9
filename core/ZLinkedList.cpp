#include "core/ZLinkedList.h"

ZLinkedList::~ZLinkedList() {
    DeleteAll();
}

void ZLinkedList::Append(ZListElement* e) {
    if (e == nullptr) {
        return;
    }
    e->next = nullptr;
    if (head_ == nullptr) {
        head_ = e;
        return;
    }
    ZListElement* last = head_;
    while (last->next != nullptr) {
        last = last->next;
    }
    last->next = e;
}

void ZLinkedList::InsertAt(ZListElement* first, int32_t index) {
    if (first == nullptr) {
        return;
    }
    ZListElement* at = nullptr;
    ZListElement* prev = nullptr;
    GetAt(index, &at, &prev);
    ZListElement* last = first;
    while (last->next != nullptr) {
        last = last->next;
    }
    if (prev != nullptr) {
        prev->next = first;
    } else {
        head_ = first;
    }
    last->next = at;
}

void ZLinkedList::Remove(ZListElement* e, bool destroy) {
    if (e == nullptr) {
        return;
    }
    ZListElement* prev = nullptr;
    ZListElement* at = head_;
    while (at != nullptr && at != e) {
        prev = at;
        at = at->next;
    }
    if (at == nullptr) {
        return;
    }
    if (prev != nullptr) {
        prev->next = e->next;
    } else {
        head_ = e->next;
    }
    if (destroy) {
        delete e;
    } else {
        e->next = nullptr;
    }
}

ZListElement* ZLinkedList::GetAt(int32_t index, ZListElement** atOut, ZListElement** prevOut) const {
    ZListElement* prev = nullptr;
    ZListElement* at = head_;
    int32_t count = 0;
    // A negative index stops at the head, which makes InsertAt prepend.
    while (index >= 0 && at != nullptr && count < index) {
        prev = at;
        at = at->next;
        ++count;
    }
    if (atOut != nullptr) {
        *atOut = at;
    }
    if (prevOut != nullptr) {
        *prevOut = prev;
    }
    return index >= 0 && count == index ? at : nullptr;
}

int32_t ZLinkedList::GetCount() const {
    int32_t count = 0;
    for (ZListElement* e = head_; e != nullptr; e = e->next) {
        ++count;
    }
    return count;
}

void ZLinkedList::DeleteAll() {
    ZListElement* e = head_;
    head_ = nullptr;
    while (e != nullptr) {
        ZListElement* next = e->next;
        delete e;
        e = next;
    }
}
