// The preview that opens near the cursor when the mouse rests on a layer row's name: the
// layer's 128 x 128 thumbnail, its row number and its size, in a small popup without a
// caption. The layer list drives it: ShowLayer when the mouse comes onto a name, Hide when it
// leaves, FilterMessage for every key or button message of the list. A 200 ms timer shows
// the preview on its third tick and takes it away at tick 33. No Qt in here.
#pragma once
#include <array>
#include <cstdint>

#include "odata/GCompRef.h"
#include "odata/OLayer.h"
#include "platform/gui/Window.h"

class CLayerThumbPopup : public gui::GWindow {
 public:
  static constexpr int kSide = 128;                 // the thumbnail's side
  static constexpr int kWidth = 136, kHeight = 148;  // the popup's size
  static constexpr UINT_PTR kTimer = 1;
  static constexpr int kIdle = 100;  // the tick counter with nothing to show

  CLayerThumbPopup();
  ~CLayerThumbPopup() override;

  // Makes the hidden popup owned by the list and starts its timer. FALSE when it cannot be
  // made.
  BOOL Create(gui::GWindow* list, gui::HFONT font);
  // The preview shows only while this window, or the window that holds the list (a floating
  // bar), is the active one (null: always).
  void SetFrameWindow(HWND frame) { m_hFrame = frame; }

  // Asks for the preview of a layer: nothing when it is the one pending or shown; else the
  // shown one goes and the delay starts over. row is the row number shown (1 at the top).
  void ShowLayer(OLayer* layer, int row, COLORREF background);
  // Forgets the preview and the pending layer and hides the window; what hiding answers.
  BOOL Hide();
  // A key, a mouse button or the wheel over the list hides the preview at once.
  void FilterMessage(UINT msg);

  BOOL HasPending() const { return m_cpPending.IsValid(); }
  BOOL HasPreview() const { return m_bPreview; }
  int GetTicks() const { return m_nTicks; }
  int GetRowNumber() const { return m_nRow; }
  const uint32_t* GetPreview() const { return m_bPreview ? m_pixels.data() : nullptr; }

  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  void OnTimer();
  // The pending layer's thumbnail is copied and shown at the cursor.
  void ShowPending();
  void Paint();
  BOOL FrameActive() const;

  HWND m_hFrame = nullptr;
  gui::HFONT m_hFont = nullptr;
  GCompRef<OLayer> m_cpPending;
  // The layer shown, for identity only: it may be gone while its copy shows.
  const OLayer* m_pShown = nullptr;
  // A copy, so that a layer deleted while its preview shows leaves nothing to read.
  std::array<uint32_t, kSide * kSide> m_pixels{};
  bool m_bPreview = false;
  RECT m_rcLayer{0, 0, 0, 0};
  int m_nRow = 0;
  COLORREF m_crBackground = 0xFFFFFF;
  int m_nTicks = kIdle;
};
