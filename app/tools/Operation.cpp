#include "Operation.h"

int COperation::Release() {
  int n = --m_nRef;
  if (n == 0) delete this;
  return n;
}
