// The one line every benchmark prints per comparison, so scripts/bench.sh can collect them:
//   RATIO <bench> | <case> | ours <ms> ms | <reference> <ms> ms | ref/ours <ratio> [| <note>]
// A ratio above 1 means we are faster than the reference. Google benchmark may run a case
// more than once while it settles its iteration count; the script keeps each case's last line.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

inline void PrintRatio(const char* bench, const std::string& caseName, double oursMs, const char* reference,
                       double refMs, const std::string& note = std::string()) {
  const double ratio = oursMs > 0 ? refMs / oursMs : 0.0;
  std::printf("RATIO %s | %s | ours %.4g ms | %s %.4g ms | ref/ours %.3f%s%s\n", bench, caseName.c_str(), oursMs,
              reference, refMs, ratio, note.empty() ? "" : " | ", note.c_str());
  std::fflush(stdout);
}

// The median of a set of timings (the set is reordered).
inline double MedianOf(std::vector<double>& v) {
  if (v.empty()) return 0.0;
  std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
  return v[v.size() / 2];
}

// One comparison's timings, ours and the reference's, one pair per iteration; its ratio line
// gives the medians and says over how many pairs.
class RatioTimes {
 public:
  void Add(double oursSec, double refSec) {
    m_ours.push_back(oursSec * 1e3);
    m_ref.push_back(refSec * 1e3);
  }
  size_t Count() const { return m_ours.size(); }
  double OursMs() const { return Median(m_ours); }
  double RefMs() const { return Median(m_ref); }
  // The ratio line; the note gains the number of pairs the medians are taken over.
  void Print(const char* bench, const std::string& caseName, const char* reference,
             const std::string& note = std::string()) const {
    const std::string count = "median of " + std::to_string(Count());
    PrintRatio(bench, caseName, OursMs(), reference, RefMs(), note.empty() ? count : note + "; " + count);
  }

 private:
  static double Median(std::vector<double> v) { return MedianOf(v); }
  std::vector<double> m_ours, m_ref;
};

// The result check of benchmarks that compare pixels with the reference's: the largest
// difference of one byte channel over n 32-bit pixels.
inline int LargestChannelDifference(const uint32_t* a, const uint32_t* b, size_t n) {
  int most = 0;
  for (size_t i = 0; i < n; ++i)
    for (int s = 0; s < 32; s += 8) {
      const int d = int((a[i] >> s) & 255) - int((b[i] >> s) & 255);
      most = std::max(most, d < 0 ? -d : d);
    }
  return most;
}
