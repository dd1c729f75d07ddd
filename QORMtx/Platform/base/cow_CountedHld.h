// cow_CountedHld: counted holder; copies share one referent, and the last holder to go deletes it.
#pragma once
#include <memory>

/// \brief Shares ownership of a T allocated with new. Holders made by copying share one count and one referent;
/// Set on any of them installs the referent for all. When the last holder goes, the referent is deleted.
/// T must be complete where holders are constructed and where Set is called.
template <class T>
class cow_CountedHld {
 public:
  /// \brief A holder with a count of 1 and no referent.
  cow_CountedHld() : m_shared(std::make_shared<Shared>()) {}
  /// \brief Takes ownership of referent (which may be null).
  explicit cow_CountedHld(T* referent) : m_shared(std::make_shared<Shared>()) { m_shared->referent = referent; }
  // Declared so that no move is generated: a moved-from holder must still hold a count.
  cow_CountedHld(const cow_CountedHld&) = default;
  cow_CountedHld& operator=(const cow_CountedHld&) = default;

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
  int RefCount() const noexcept { return static_cast<int>(m_shared.use_count()); }

 private:
  struct Shared {
    Shared() = default;
    Shared(const Shared&) = delete;
    Shared& operator=(const Shared&) = delete;
    ~Shared() { delete referent; }
    T* referent = nullptr;
  };
  std::shared_ptr<Shared> m_shared;  // never null
};
