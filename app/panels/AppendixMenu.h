// Command rows that the property list shows below a property set's items (the per-format
// operations of the current layer). The owner keeps the menu alive while a list shows it.
// No Qt in here.
#pragma once

struct OAppendixMenu {
  virtual ~OAppendixMenu() = default;
  // The text of a command row and its tooltip.
  virtual const char16_t* GetLabel(int index) = 0;
  virtual const char16_t* GetHelp(int index) = 0;
  // The user picked the command.
  virtual void OnHit(int index) = 0;
  virtual int GetCount() = 0;
};
