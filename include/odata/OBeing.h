// The root of every reference-counted object of the system.
#pragma once
#include <cstdint>

// Classes whose type information crosses library boundaries (errors are thrown from
// plug-ins and caught in the program) keep default visibility.
#define ODATA_EXPORT __attribute__((visibility("default")))

struct ODATA_EXPORT OBeing {
  virtual int32_t AddRef() = 0;
  virtual int32_t Release() = 0;
  virtual ~OBeing() = default;
};
