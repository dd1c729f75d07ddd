// Seeded random data for the array tests; the seed is printed so a failure can be replayed with
// QORMTX_TEST_SEED=<seed>.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

namespace arrays_test {

/// A generator seeded from the run's seed and a per-test salt, so tests do not depend on their order.
inline std::mt19937 Rng(std::uint32_t salt) {
  static const std::uint32_t seed = [] {
    const char* env = std::getenv("QORMTX_TEST_SEED");
    const std::uint32_t s = env ? static_cast<std::uint32_t>(std::strtoul(env, nullptr, 10)) : std::random_device{}();
    std::printf("arrays tests: QORMTX_TEST_SEED=%u\n", s);
    return s;
  }();
  ::testing::Test::RecordProperty("seed", static_cast<int>(seed));
  return std::mt19937(seed ^ (salt * 2654435761u));
}

inline std::vector<double> RandomDoubles(std::mt19937& rng, std::size_t n, double lo = -10.0, double hi = 10.0) {
  std::uniform_real_distribution<double> d(lo, hi);
  std::vector<double> v(n);
  for (double& x : v) x = d(rng);
  return v;
}

}  // namespace arrays_test
