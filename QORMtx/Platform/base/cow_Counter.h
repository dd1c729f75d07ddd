// cow_Counter: a reference count shared by the holders of one allocation, with that allocation's start.
#pragma once

/// \brief Shared count of the holders of one allocation. The allocation's own start is kept here because holders
/// may see only a window inside it.
class cow_Counter {
 public:
  explicit cow_Counter(void* allocation = nullptr) : m_allocation(allocation) {}
  cow_Counter(const cow_Counter&) = delete;
  cow_Counter& operator=(const cow_Counter&) = delete;

  void Increment() { ++m_count; }
  /// \brief One holder fewer; true when it was the last.
  bool Decrement() { return --m_count == 0; }
  int Count() const { return m_count; }
  void* Allocation() const { return m_allocation; }

 private:
  int m_count = 1;
  void* m_allocation;
};
