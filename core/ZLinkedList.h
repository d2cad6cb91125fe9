// The intrusive singly linked list that every framework list is built on. The link lives in the
// element, so an element belongs to at most one list at a time; the list owns its elements.
#pragma once

#include <cstdint>

class ZListElement {
  public:
    ZListElement() = default;
    ZListElement(const ZListElement&) = delete;
    ZListElement& operator=(const ZListElement&) = delete;
    // Does not unlink: the owner removes the element first.
    virtual ~ZListElement() = default;

    ZListElement* next = nullptr;
};

class ZLinkedList {
  public:
    ZLinkedList() = default;
    ZLinkedList(const ZLinkedList&) = delete;
    ZLinkedList& operator=(const ZLinkedList&) = delete;
    virtual ~ZLinkedList();

    ZListElement* GetHead() const { return head_; }
    // Links e behind the last element.
    void Append(ZListElement* e);
    // Links the chain that starts at first in front of the element now at index; an index at or past
    // the end appends, a negative index prepends.
    void InsertAt(ZListElement* first, int32_t index);
    // Unlinks e if it is in the list, then deletes it or leaves it alone with next cleared.
    void Remove(ZListElement* e, bool destroy);
    // Walks to index; atOut gets where the walk stopped and prevOut the element before it. Returns the
    // element only when index was reached exactly.
    ZListElement* GetAt(int32_t index, ZListElement** atOut, ZListElement** prevOut) const;
    int32_t GetCount() const;
    void DeleteAll();

  private:
    ZListElement* head_ = nullptr;
};
