// Work split into bands of rows, one thread each: the processors this process may use, and a
// run of one function per band that rethrows on the calling thread what a band threw.
#pragma once
#include <exception>
#include <thread>
#include <vector>

namespace talvene {

// The processors this thread may run on (at least 1).
int UsableProcessors();

// Calls fn(b) for b in [0, bands), band 0 on the calling thread and the others on their own,
// and returns when all have ended; then rethrows the first band's error, if any.
template <class Fn>
void RunBands(int bands, Fn&& fn) {
  if (bands <= 1) {
    fn(0);
    return;
  }
  std::vector<std::exception_ptr> errors(static_cast<size_t>(bands));
  std::vector<std::thread> threads;
  threads.reserve(static_cast<size_t>(bands - 1));
  auto guarded = [&](int b) {
    try {
      fn(b);
    } catch (...) {
      errors[static_cast<size_t>(b)] = std::current_exception();
    }
  };
  for (int b = 1; b < bands; ++b) threads.emplace_back(guarded, b);
  guarded(0);
  for (std::thread& t : threads) t.join();
  for (const std::exception_ptr& e : errors)
    if (e) std::rethrow_exception(e);
}

}  // namespace talvene
