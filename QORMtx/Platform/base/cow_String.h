// cow_String: reference-counted string; copies share the text until one of them changes it.
#pragma once
#include <cstddef>
#include <string>

class cow_String {
 public:
  constexpr cow_String() noexcept = default;  // constant-initialised: usable from load-time code
  cow_String(const char* text);               // NOLINT: implicit, as strings are passed around
  cow_String(const std::string& text);        // NOLINT
  cow_String(const cow_String& rhs) noexcept;
  cow_String(cow_String&& rhs) noexcept;
  cow_String& operator=(const cow_String& rhs) noexcept;
  cow_String& operator=(cow_String&& rhs) noexcept;
  ~cow_String();

  const char* c_str() const noexcept;
  size_t size() const noexcept;
  size_t length() const noexcept { return size(); }
  bool empty() const noexcept { return size() == 0; }
  char operator[](size_t i) const noexcept { return c_str()[i]; }
  std::string str() const { return std::string(c_str(), size()); }
  /// \brief How many strings share this text (0 for the empty string that holds none).
  int RefCount() const noexcept;

  cow_String& operator+=(const cow_String& rhs);
  friend cow_String operator+(const cow_String& a, const cow_String& b);
  friend bool operator==(const cow_String& a, const cow_String& b) noexcept;
  friend bool operator!=(const cow_String& a, const cow_String& b) noexcept { return !(a == b); }
  friend bool operator<(const cow_String& a, const cow_String& b) noexcept;

 private:
  struct Rep;
  void Release() noexcept;
  Rep* m_rep = nullptr;  // null: the empty string
};
