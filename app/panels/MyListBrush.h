// The brush list: the owner-drawn list of brush entries in the brush bar. Each entry joins one
// brush component to a name, a description, the component's items and five value sets (0 the
// working values, 1-4 the presets). The list finds the components, loads and saves the
// presets file, clones, deletes and finds brushes, stores and recalls presets, marks brushes
// for quick switching, hands the current brush to the paint tool and the current entry to its
// property page. Columns: preselection mark, name, the four preset marks.
#pragma once
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "frame/ResourceIds.h"
#include "odata/OProperty.h"
#include "panels/BrushEntry.h"
#include "panels/ModifyNotify.h"
#include "panels/MyListBox.h"
#include "platform/gui/Commands.h"

struct GSystem;
struct OBrush;
class CPaintSpace;
class CMyListProperty;

class CMyListBrush : public CMyListBox, public gui::CmdTarget {
 public:
  static constexpr int kMaxRows = 100;
  static constexpr int kMarkWidth = 12;
  enum Mode { myIDLE = 1, myDRAG = 2 };

  CMyListBrush();
  ~CMyListBrush() override;

  static const char16_t* GetClassName() { return u"CMyListBrush"; }

  // Set before LoadBrushes: where components come from; the space to notify (null: none); the
  // page bar the property page goes to; the property page's mouse settings.
  void SetSystem(GSystem* system) { m_pSystem = system; }
  // The space's tool hears of the current brush at once.
  void SetPaintSpace(CPaintSpace* space);
  void SetPageBar(gui::GWindow* bar) { m_pPageBar = bar; }
  void SetMouseSettings(int clickIntervalMs, int tolerance);
  // Where the presets file lives: programFolder/BRUSH/Config.cfb, else the user's folder
  // (unset: the running program's folder and the user's data folder).
  void SetPresetsFolders(std::u16string program, std::u16string user) {
    m_strProgramFolder = std::move(program);
    m_strUserFolder = std::move(user);
  }
  // Asks for a clone's name and description (filled with the current ones); FALSE: cancelled.
  using AskNameFn = std::function<BOOL(std::u16string* name, std::u16string* description)>;
  void SetAskName(AskNameFn ask) { m_askName = std::move(ask); }

  // What the paint tool asks of the list. Each answers 0 / null / -1 without a current row.
  // The current brush with its working values applied (no reference added).
  OBrush* GetCurBrush();
  // The next marked brush other than the current one becomes current (null: none).
  OBrush* SwitchBrush();
  void SelectBrush(int index);
  // Loads preset n (clamped to 1..4) into the working values.
  int RecallPreset(int n);
  // "RADIUS" in pixels (through the component's MapValue).
  float GetRadius();
  // Bit 0 of "OPERATEMODE".
  int GetOperateMode();
  // Where "RADIUS" lies in its range, 0..1.
  float GetRadiusRatio();
  // Sets "RADIUS" at the ratio of its range; returns the new radius in pixels.
  float SetRadiusRatio(float ratio);

  // Finds the components and loads the presets file; errors are logged, never thrown. Without
  // a file (the first start) the list gets the stock brushes rather than starting empty until
  // the user runs Find: a first start should paint at once.
  void LoadBrushes();
  // Tells the user, once, that the presets file was not read whole and where it was kept.
  void ShowLoadNotice();
  // Entries for components no row uses yet, at most 10 and never beyond kMaxRows rows (the
  // most the presets file holds); how many. *full: some were left out for want of room.
  int AddNewBrushes(BOOL* full = nullptr);
  // The presets file: the rows, records of missing components and the current row. Save
  // writes nothing without rows; a failed one is logged and says why in *error. Load answers TRUE when the file was read whole; one that
  // was not keeps the rows read and is moved aside (KeepPresetsAside).
  BOOL Save(const std::u16string& path, std::u16string* error = nullptr);
  BOOL Load(const std::u16string& path);
  // Saves to the presets file's place unless the list is empty or the file read at start-up
  // could not be moved aside; FALSE when it could not, which the user is told.
  BOOL SaveBrushes();
  void FinishWork() override;

  XBrushProperty* GetEntry(int row) const;
  CMyListProperty* GetPropertyPage() const { return m_pPropertyPage.get(); }
  // The column under a client x: 0 mark, 1 name, 2-5 presets 1-4; -1 none.
  int HitColumn(int x) const;
  // While no drag runs: the description over a name, what the marks mean over them.
  BOOL OnToolHitTest(POINT pt, std::u16string* text, RECT* area) override;

  // The commands: clone, delete (asked first), find new brushes (the result shown).
  void OnAddBrush();
  void OnDeleteBrush();
  void OnFindBrush();

  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

 protected:
  BOOL OnSelChanging(int newRow, int oldRow) override;
  int OnSelChanged() override;
  void DrawItem(gui::DRAWITEMSTRUCT* dis) override;

 private:
  class XModify final : public XModifyNotify {
   public:
    explicit XModify(CMyListBrush* list) : m_pList(list) {}
    void BeginModify(const PropertyItem*, UINT, OProperty*) override {}
    void Modifying(const PropertyItem*) override {}
    void EndModify(const PropertyItem* item, BOOL cancelled) override;

   private:
    CMyListBrush* m_pList;
  };

  void LayoutColumns(int width);
  XBrushProperty* CurEntry() const;
  PropertyItem* CurItem(const char16_t* key) const;
  BrushEngineRecord* Engine(const std::u16string& name, BOOL create);
  int InsertEntry(int index, XBrushProperty* entry);
  // Clears 0x100 on rows other than the current and the fixed ones; TRUE when a fixed row
  // is among them.
  BOOL ClearFloatingMarks();
  void ClearFixedMarks();
  // Releases every row's entry and empties the list.
  void ReleaseAll();
  void NotifySpace();
  void ShowPropertyPage();
  void OnLButtonDown(POINT pt);
  void OnLButtonUp(POINT pt);
  // What the release of a press does: a click on a mark, or the drop of a drag.
  void DropPress(POINT pt);
  // A press moved beyond 4 pixels drags: the drop place follows the pointer, marked by an
  // inverted rectangle; beyond the top or bottom the timer scrolls.
  void OnMouseMove(POINT pt);
  void UpdateDrop(POINT pt);
  void DrawDropMarker(BOOL show);
  void EndDrag();
  // The list's commands at the pointer (a right click).
  void OnContextMenu(POINT pt);
  void ReportError(const std::u16string& what);
  // The row under a client point; -1 outside the rows.
  int RowAt(POINT pt) const;

  GSystem* m_pSystem = nullptr;
  CPaintSpace* m_pSpace = nullptr;
  gui::GWindow* m_pPageBar = nullptr;
  std::map<std::u16string, std::unique_ptr<BrushEngineRecord>> m_engines;
  // Records of components that are missing in this run, written back as they were read, after
  // the rows (they have none): a plug-in missing for one run must not cost the user its brushes.
  std::vector<BrushPresetRecord> m_missing;
  // What the user is told about the presets file at start-up (empty: nothing); TRUE when the
  // file was not read whole and stayed in its place, so that no save may replace it.
  std::u16string m_strLoadNotice;
  BOOL m_bKeepPresetsFile = FALSE;
  std::unique_ptr<CMyListProperty> m_pPropertyPage;
  XModify m_xModify{this};
  AskNameFn m_askName;
  std::u16string m_strProgramFolder, m_strUserFolder;
  int m_nClickInterval = 500;
  int m_nTolerance = 2;
  int m_nMode = myIDLE;
  POINT m_ptPress{0, 0};
  BOOL m_bMoved = FALSE;
  BOOL m_bNamePressed = FALSE;  // the last press was on a name: a double click opens its page
  int m_nDropIndex = -1;
  int m_nDropColumn = -1;
  int m_nPressRow = -1;
  int m_nPressColumn = -1;
  int m_anWidth[6] = {};
  int m_anLeft[6] = {};
};
