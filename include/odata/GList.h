// A singly linked list of reference-counted pointers with a cursor, and an ordered pointer set.
#pragma once
#include <cstdint>
#include <set>

#include "platform/base/Types.h"

template <class T>
class GList {
  struct Node {
    Node* next;
    T* item;
  };

 public:
  GList() = default;
  ~GList() { RemoveAll(); }
  GList(const GList&) = delete;
  GList& operator=(const GList&) = delete;

  // Inserts after the cursor, else before the head (the node becomes head and cursor).
  void Insert(T* item) {
    if (!item) return;
    item->AddRef();
    Node* n = new Node{nullptr, item};
    if (m_cursor) {
      n->next = m_cursor->next;
      m_cursor->next = n;
      if (m_tail == m_cursor) m_tail = n;
    } else {
      n->next = m_head;
      m_head = n;
      m_cursor = n;
      if (!m_tail) m_tail = n;
    }
    ++m_count;
  }
  // Newest-first lists put new items at the head; the cursor is left alone.
  void PushFront(T* item) {
    if (!item) return;
    item->AddRef();
    m_head = new Node{m_head, item};
    if (!m_tail) m_tail = m_head;
    ++m_count;
  }
  // Ordered lists append at the tail.
  void Append(T* item) {
    if (!item) return;
    item->AddRef();
    Node* n = new Node{nullptr, item};
    if (m_tail) m_tail->next = n;
    else m_head = n;
    m_tail = n;
    ++m_count;
  }
  // Unlinks the cursor node and releases its item; the cursor moves to the node before it.
  BOOL RemoveAt() {
    if (!m_cursor) return FALSE;
    Node* prev = Before(m_cursor);
    Unlink(prev, m_cursor);
    m_cursor->item->Release();
    delete m_cursor;
    m_cursor = prev;
    return TRUE;
  }
  // Takes the head item off the list; the caller receives the list's reference.
  T* DetachHead() {
    if (!m_head) return nullptr;
    Node* n = m_head;
    if (m_cursor == n) m_cursor = nullptr;
    Unlink(nullptr, n);
    T* item = n->item;
    delete n;
    return item;
  }
  // Releases every item past the first keep ones.
  void Truncate(uint32_t keep) {
    if (keep == 0) {
      RemoveAll();
      return;
    }
    Node* last = m_head;
    for (uint32_t i = 1; last && i < keep; ++i) last = last->next;
    if (!last) return;
    Node* n = last->next;
    last->next = nullptr;
    m_tail = last;
    while (n) {
      Node* next = n->next;
      if (m_cursor == n) m_cursor = nullptr;
      n->item->Release();
      delete n;
      --m_count;
      n = next;
    }
  }
  void RemoveAll() {
    Node* n = m_head;
    while (n) {
      Node* next = n->next;
      n->item->Release();
      delete n;
      n = next;
    }
    m_head = m_cursor = m_tail = nullptr;
    m_count = 0;
  }
  // Walking: Rewind puts the cursor before the head; MoveNext advances and returns the item.
  void Rewind() { m_cursor = nullptr; }
  T* MoveNext() {
    m_cursor = m_cursor ? m_cursor->next : m_head;
    return m_cursor ? m_cursor->item : nullptr;
  }
  T* GetAt() const { return m_cursor ? m_cursor->item : nullptr; }
  T* GetHead() const { return m_head ? m_head->item : nullptr; }
  T* GetTail() const { return m_tail ? m_tail->item : nullptr; }
  T* GetIndex(uint32_t i) const {
    Node* n = m_head;
    while (n && i--) n = n->next;
    return n ? n->item : nullptr;
  }
  // Removes the first node holding item; TRUE when found.
  BOOL Remove(T* item) {
    Node* prev = nullptr;
    for (Node* n = m_head; n; prev = n, n = n->next) {
      if (n->item != item) continue;
      if (m_cursor == n) m_cursor = prev;
      Unlink(prev, n);
      n->item->Release();
      delete n;
      return TRUE;
    }
    return FALSE;
  }
  uint32_t GetCount() const { return m_count; }

  template <class F>
  void ForEach(F&& f) const {
    for (Node* n = m_head; n; n = n->next) f(n->item);
  }

 private:
  Node* Before(Node* target) const {
    Node* prev = nullptr;
    for (Node* n = m_head; n && n != target; n = n->next) prev = n;
    return prev;
  }
  void Unlink(Node* prev, Node* n) {
    if (prev) prev->next = n->next;
    else m_head = n->next;
    if (m_tail == n) m_tail = prev;
    --m_count;
  }

  Node* m_head = nullptr;
  Node* m_cursor = nullptr;
  Node* m_tail = nullptr;
  uint32_t m_count = 0;
};

// An ordered set of pointers (calls each owner once after an undo run).
class GPtrTree {
 public:
  // Returns TRUE when the pointer was not yet in the set.
  BOOL Insert(void* p) { return m_set.insert(p).second ? TRUE : FALSE; }
  template <class F>
  void Walk(F&& f) const {
    for (void* p : m_set) f(p);
  }
  void Free() { m_set.clear(); }
  size_t GetCount() const { return m_set.size(); }

 private:
  std::set<void*> m_set;
};
