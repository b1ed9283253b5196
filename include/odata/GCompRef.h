// A smart pointer holding one reference to a reference-counted interface.
#pragma once
#include <utility>

template <class T>
class GCompRef {
 public:
  GCompRef() = default;
  GCompRef(T* p) : m_ptr(p) {
    if (m_ptr) m_ptr->AddRef();
  }
  GCompRef(const GCompRef& o) : GCompRef(o.m_ptr) {}
  GCompRef(GCompRef&& o) noexcept : m_ptr(std::exchange(o.m_ptr, nullptr)) {}
  ~GCompRef() { Release(); }

  GCompRef& operator=(T* p) {
    if (p) p->AddRef();
    T* old = std::exchange(m_ptr, p);
    if (old) old->Release();
    return *this;
  }
  GCompRef& operator=(const GCompRef& o) { return *this = o.m_ptr; }
  GCompRef& operator=(GCompRef&& o) noexcept {
    if (this != &o) {
      Release();
      m_ptr = std::exchange(o.m_ptr, nullptr);
    }
    return *this;
  }

  void Release() {
    if (T* old = std::exchange(m_ptr, nullptr)) old->Release();
  }
  bool IsValid() const { return m_ptr != nullptr; }
  T* operator->() const { return m_ptr; }
  T& operator*() const { return *m_ptr; }
  T* get() const { return m_ptr; }
  operator T*() const { return m_ptr; }

  T* m_ptr = nullptr;
};
