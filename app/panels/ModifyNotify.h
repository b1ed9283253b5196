// How the property list tells the owner of a property set (the layer list, the brush list,
// the filter dialog) about an edit of a value: one BeginModify, any number of Modifying while
// the value moves (a slider drag), one EndModify with the value as the set keeps it. No Qt
// in here.
#pragma once
#include "odata/OProperty.h"

struct XModifyNotify {
  virtual ~XModifyNotify() = default;
  // An edit of item index of set starts; item is the value as it was.
  virtual void BeginModify(const PropertyItem* item, UINT index, OProperty* set) = 0;
  // The value moved; the set holds it already.
  virtual void Modifying(const PropertyItem* item) = 0;
  // The edit ended; item is the set's own item. When cancelled the set was not written.
  virtual void EndModify(const PropertyItem* item, BOOL cancelled) = 0;
  // A press on the list: the owner may close an operation it keeps open between edits.
  virtual void FinishOperation() {}
  // A press ended: the owner may refresh the view.
  virtual void InvalidateView() {}
};
