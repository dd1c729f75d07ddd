#include "qormtx_progress.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace qormtx {

namespace {

constexpr auto kQuietPeriod = std::chrono::seconds(1);
constexpr auto kRedraw = std::chrono::milliseconds(200);

// 1234567 B -> "1.2 MB": the bar's counts and rates stay short.
std::string Human(double v, const char* unit) {
  static const char* prefixes[] = {"", "k", "M", "G", "T"};
  int p = 0;
  while (v >= 1000.0 && p < 4) {
    v /= 1000.0;
    ++p;
  }
  char buf[32];
  std::snprintf(buf, sizeof buf, p == 0 ? "%.0f %s%s" : "%.1f %s%s", v, prefixes[p], unit);
  return buf;
}

std::string Duration(double seconds) {
  char buf[32];
  const long s = static_cast<long>(seconds + 0.5);
  if (s >= 3600)
    std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  else
    std::snprintf(buf, sizeof buf, "%ld:%02ld", s / 60, s % 60);
  return buf;
}

}  // namespace

Progress::Progress(std::string label, bool quiet, const char* unit)
    : m_label(std::move(label)), m_unit(unit), m_enabled(!quiet && isatty(STDERR_FILENO) == 1),
      m_start(std::chrono::steady_clock::now()) {
  if (m_enabled) m_thread = std::thread(&Progress::Run, this);
}

Progress::~Progress() {
  if (!m_enabled) return;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stop = true;
  }
  m_wake.notify_all();
  m_thread.join();
  if (m_drawn) Draw(true);
}

void Progress::Update(long long done, long long total) {
  m_done = done;
  m_total = total;
}

void Progress::Run() {
  std::unique_lock<std::mutex> lock(m_mutex);
  if (m_wake.wait_for(lock, kQuietPeriod, [this] { return m_stop; })) return;
  while (!m_stop) {
    Draw(false);
    m_wake.wait_for(lock, kRedraw, [this] { return m_stop; });
  }
}

void Progress::Draw(bool final) {
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
  const long long done = m_done, total = m_total;
  std::string line = m_label;
  if (total > 0) {
    const double fraction = final ? 1.0 : std::min(1.0, static_cast<double>(done) / static_cast<double>(total));
    constexpr int kWidth = 30;
    const int filled = static_cast<int>(fraction * kWidth);
    line += " [" + std::string(static_cast<size_t>(filled), '#') + std::string(static_cast<size_t>(kWidth - filled), '.') + "] ";
    char pct[16];
    std::snprintf(pct, sizeof pct, "%3.0f%%", 100.0 * fraction);
    line += pct;
    const double rate = elapsed > 0.0 ? static_cast<double>(done) / elapsed : 0.0;
    line += " " + Human(rate, m_unit) + "/s";
    if (!final && rate > 0.0) line += " eta " + Duration(static_cast<double>(total - done) / rate);
  } else if (done > 0) {
    line += " " + Human(static_cast<double>(done), m_unit);
  }
  line += " " + Duration(elapsed);
  std::fprintf(stderr, "\r%s\033[K%s", line.c_str(), final ? "\n" : "");
  std::fflush(stderr);
  m_drawn = true;
}

}  // namespace qormtx
