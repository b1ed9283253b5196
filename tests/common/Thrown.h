// What a call threw: the error record's condition and its newest context piece.
#pragma once
#include <string>
#include <utility>

#include "odata/GError.h"

struct Thrown {
  bool thrown = false;
  std::u16string condition;
  std::u16string piece;
};

template <class F>
Thrown CatchError(F&& f) {
  Thrown t;
  try {
    std::forward<F>(f)();
  } catch (GErrRecord* e) {
    e->AddRef();
    t.thrown = true;
    t.condition = e->GetCondition();
    if (e->GetPieceCount()) t.piece = e->GetPiece(0)->GetText();
    e->Release();
  }
  return t;
}

// The condition of the error record f throws ("" when none).
template <class F>
std::u16string ThrownCondition(F&& f) {
  return CatchError(std::forward<F>(f)).condition;
}
