// The largest single allocation through operator new while a probe is armed: a refused file
// must not make the reader allocate anything of its declared size.
#pragma once
#include <cstddef>

namespace codec_test {

class AllocationProbe {
 public:
  AllocationProbe();
  ~AllocationProbe();
  size_t Largest() const;
};

}  // namespace codec_test
