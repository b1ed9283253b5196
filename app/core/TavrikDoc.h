// The document, without a window: one paint space with its layer list and colour bar, new
// documents of the configured size, and the document file read and written through the
// container as worker jobs (behind the progress display the job runner shows).
#pragma once
#include <memory>
#include <string>

#include "core/ColorBar.h"
#include "core/JobRunner.h"
#include "core/PaintSpace.h"
#include "core/PaintSpaceHost.h"
#include "panels/MyListLayer.h"

class CTavrikDoc {
 public:
  // Kinds of NewDocument.
  enum Kind : int { myNEW_EMPTY = 0, myNEW_MASK = 1, myNEW_COLOR = 2 };

  // Creates the paint space of the configured size with its layer list and its tools, and
  // makes first (when null: the paint tool, else the first tool made) the current tool. The system object, the display device,
  // the host, the runner and the setting outlive the document. Throws when the space cannot
  // be initialised.
  CTavrikDoc(GSystem* system, OShowDevice* device, IPaintSpaceHost* host, CJobRunner* runner,
             NewSpaceSize* setting, COperation* first = nullptr);
  ~CTavrikDoc();
  CTavrikDoc(const CTavrikDoc&) = delete;
  CTavrikDoc& operator=(const CTavrikDoc&) = delete;

  static const char16_t* GetClassName() { return u"CTavrikDoc"; }

  // An empty document of the configured size: no layer, one mask layer "单色图层" or one
  // colour layer "彩色图层"; the history is cleared. FALSE when memory does not allow the layer
  // (the document is then empty).
  BOOL NewDocument(int kind);
  // Reads a document file. On failure the open document stays as it was.
  BOOL LoadFile(const std::u16string& path);
  // Writes the document; a failed save leaves the file at path as it was.
  BOOL SaveFile(const std::u16string& path);
  BOOL IsModified() { return m_pSpace->IsModified(); }
  const std::u16string& GetPathName() const { return m_strPath; }
  // Why the last LoadFile or SaveFile failed (one line; empty when unknown).
  const std::u16string& GetLastReason() const { return m_strReason; }

  CPaintSpace* GetPaintSpace() const { return m_pSpace.get(); }
  CMyListLayer* GetListLayer() const { return m_pList.get(); }
  CColorBar* GetColorBar() { return &m_colorBar; }

 private:
  // Takes every row out of the list (the caller receives them) and remembers the selection.
  std::vector<GCompRef<OLayer>> TakeRows(int* selected);
  void PutRows(std::vector<GCompRef<OLayer>>& rows, int selected);
  void ClearHistory();
  void ShowNewState();

  OShowDevice* m_pDevice;
  CJobRunner* m_pRunner;
  NewSpaceSize* m_pSetting;
  std::u16string m_strPath;
  std::u16string m_strReason;
  // Destroyed in reverse: the space detaches from the list before the list goes.
  CColorBar m_colorBar;
  std::unique_ptr<CMyListLayer> m_pList;
  std::unique_ptr<CPaintSpace> m_pSpace;
};
