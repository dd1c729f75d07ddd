// Progress of a long stage on standard error: nothing for the first second, then a bar with rate and estimate
// when the size is known, or the elapsed time when it is not. Silent when asked to be or when standard error is
// not a terminal, so that scripts and logs see only the results and the messages.
#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace qormtx {

class Progress {
 public:
  /// quiet: --quiet was given. unit: what the counts are ("B" for bytes, "" for plain counts).
  Progress(std::string label, bool quiet, const char* unit = "B");
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;
  /// done of total (total < 0: unknown), callable from any thread.
  void Update(long long done, long long total);

 private:
  void Run();
  void Draw(bool final);

  std::string m_label;
  const char* m_unit;
  bool m_enabled;
  bool m_drawn = false;
  std::atomic<long long> m_done{0}, m_total{-1};
  std::chrono::steady_clock::time_point m_start;
  std::mutex m_mutex;
  std::condition_variable m_wake;
  bool m_stop = false;
  std::thread m_thread;
};

}  // namespace qormtx
