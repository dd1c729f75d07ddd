// cow_String: shared immutable representation, detached on change.
#include "cow_String.h"

#include <cstring>

struct cow_String::Rep {
  int count;
  std::string text;
};

cow_String::cow_String(const char* text) {
  if (text && *text) m_rep = new Rep{1, text};
}

cow_String::cow_String(const std::string& text) {
  if (!text.empty()) m_rep = new Rep{1, text};
}

cow_String::cow_String(const cow_String& rhs) noexcept : m_rep(rhs.m_rep) {
  if (m_rep) ++m_rep->count;
}

cow_String::cow_String(cow_String&& rhs) noexcept : m_rep(rhs.m_rep) { rhs.m_rep = nullptr; }

cow_String& cow_String::operator=(const cow_String& rhs) noexcept {
  Rep* rep = rhs.m_rep;  // read before Release, which clears m_rep (and rhs may be *this)
  if (rep) ++rep->count;
  Release();
  m_rep = rep;
  return *this;
}

cow_String& cow_String::operator=(cow_String&& rhs) noexcept {
  if (this != &rhs) {
    Release();
    m_rep = rhs.m_rep;
    rhs.m_rep = nullptr;
  }
  return *this;
}

cow_String::~cow_String() { Release(); }

void cow_String::Release() noexcept {
  if (m_rep && --m_rep->count == 0) delete m_rep;
  m_rep = nullptr;
}

const char* cow_String::c_str() const noexcept { return m_rep ? m_rep->text.c_str() : ""; }
size_t cow_String::size() const noexcept { return m_rep ? m_rep->text.size() : 0; }
int cow_String::RefCount() const noexcept { return m_rep ? m_rep->count : 0; }

cow_String& cow_String::operator+=(const cow_String& rhs) {
  if (rhs.empty()) return *this;
  *this = cow_String(str() + rhs.str());
  return *this;
}

cow_String operator+(const cow_String& a, const cow_String& b) {
  cow_String r(a);
  r += b;
  return r;
}

bool operator==(const cow_String& a, const cow_String& b) noexcept {
  return a.m_rep == b.m_rep || (a.size() == b.size() && std::memcmp(a.c_str(), b.c_str(), a.size()) == 0);
}

bool operator<(const cow_String& a, const cow_String& b) noexcept { return std::strcmp(a.c_str(), b.c_str()) < 0; }
