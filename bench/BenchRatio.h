// The one line every benchmark prints per comparison, so scripts/bench.sh can collect them:
//   RATIO <bench> | <case> | ours <ms> ms | <reference> <ms> ms | ref/ours <ratio> [| <note>]
// A ratio above 1 means we are faster than the reference. Google benchmark may run a case
// more than once while it settles its iteration count; the script keeps each case's last line.
#pragma once
#include <algorithm>
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
