// The document's place in the command route: every command goes to the paint space first
// (which offers it to its current tool before its own handlers), then to the document's own
// commands: save, save as, the picture export, the space size and the three layer filters.
#pragma once
#include "platform/gui/Commands.h"

class CMainFrame;
class CPaintSpace;
class CTavrikDoc;

// One layer filter command: the component, the dialog's caption (also the undo label) and
// the settings key of its values.
struct FilterCommand {
  UINT id;
  const char16_t* component;
  const char16_t* caption;
  const char16_t* key;
  bool colourOnly;  // only for colour layers; else for layers of more than 7 x 7 pixels
};
extern const FilterCommand kFilterCommands[3];

class CDocCommands final : public gui::CmdTarget {
 public:
  explicit CDocCommands(CMainFrame* frame);
  static const char16_t* GetClassName() { return u"CTavrikDoc"; }

  BOOL OnCmdMsg(UINT id, int code, void* extra, gui::CmdHandlerInfo* info) override;

  // Whether the filter may run on the current layer now.
  BOOL CanFilter(const FilterCommand& command) const;

 private:
  BOOL OfferToSpace(UINT id, int code, void* extra, gui::CmdHandlerInfo* info);
  CPaintSpace* Space() const;
  void OnSpaceSize();
  void OnFilter(const FilterCommand& command);

  CMainFrame* m_pFrame;
};
