// cow_CountedHld: counted holder; copies share one referent, and the last holder to go deletes it.
#pragma once

/// \brief Shares ownership of a T allocated with new. Holders made by copying share one count and one referent;
/// Set on any of them installs the referent for all. When the last holder goes, the referent is deleted.
/// Not thread-safe: the count is a plain int, as each holder family belongs to one thread at a time.
template <class T>
class cow_CountedHld {
 public:
  /// \brief A holder with a count of 1 and no referent.
  cow_CountedHld() : m_shared(new Shared{1, nullptr}) {}
  /// \brief Takes ownership of referent (which may be null).
  explicit cow_CountedHld(T* referent) : m_shared(new Shared{1, referent}) {}
  cow_CountedHld(const cow_CountedHld& rhs) noexcept : m_shared(rhs.m_shared) { ++m_shared->count; }
  cow_CountedHld& operator=(const cow_CountedHld& rhs) noexcept {
    ++rhs.m_shared->count;  // first: self-assignment keeps the referent alive
    Release();
    m_shared = rhs.m_shared;
    return *this;
  }
  ~cow_CountedHld() { Release(); }

  /// \brief Installs referent for every holder of this family, deleting the previous referent if any.
  void Set(T* referent) {
    if (referent == m_shared->referent) return;
    T* old = m_shared->referent;
    m_shared->referent = referent;
    delete old;
  }
  T* Get() const noexcept { return m_shared->referent; }
  T* operator->() const noexcept { return m_shared->referent; }
  T& operator*() const noexcept { return *m_shared->referent; }
  bool IsNull() const noexcept { return m_shared->referent == nullptr; }
  /// \brief Number of holders sharing the referent.
  int RefCount() const noexcept { return m_shared->count; }

 private:
  struct Shared {
    int count;
    T* referent;
  };
  void Release() noexcept {
    if (--m_shared->count == 0) {
      delete m_shared->referent;
      delete m_shared;
    }
  }
  Shared* m_shared;  // never null
};
