// The layer list's questions answered from a script: each Ask takes the next queued answer
// (or a default that cancels), records what it was asked, and jobs run on the calling thread.
#pragma once
#include <deque>
#include <string>
#include <vector>

#include "core/JobRunner.h"
#include "odata/GError.h"
#include "panels/LayerAsk.h"

class ScriptedLayerAsk final : public ILayerAsk {
 public:
  struct NewLayer {
    int answer;  // 1 colour, 2 mask, 0 cancel, -1 the question fails with an error
    std::u16string name;
    int width, height;  // 0 keeps the preset
  };
  struct Rotate {
    int choice;
    int degrees;
  };
  struct Size {
    BOOL ok;
    int width, height;
  };

  int AskNewLayer(std::u16string* name, int* width, int* height) override {
    asked.push_back(u"new " + *name + u" " + Num(*width) + u"x" + Num(*height));
    if (newLayers.empty()) return 0;
    NewLayer n = newLayers.front();
    newLayers.pop_front();
    if (n.answer < 0) GTHROW(u"!scripted failure");
    if (!n.name.empty()) *name = n.name;
    if (n.width) *width = n.width;
    if (n.height) *height = n.height;
    return n.answer;
  }
  int AskMerge(int options) override {
    asked.push_back(u"merge " + Num(options));
    return Take(merges, 0);
  }
  int AskConvertMode() override {
    asked.push_back(u"convert");
    return Take(converts, -1);
  }
  int AskRotate(int* degrees) override {
    asked.push_back(u"rotate");
    if (rotates.empty()) return 0;
    Rotate r = rotates.front();
    rotates.pop_front();
    *degrees = r.degrees;
    return r.choice;
  }
  BOOL AskScale(int* width, int* height) override {
    asked.push_back(u"scale " + Num(*width) + u"x" + Num(*height));
    if (scales.empty()) return FALSE;
    Size s = scales.front();
    scales.pop_front();
    *width = s.width;
    *height = s.height;
    return s.ok;
  }
  BOOL AskImagePath(BOOL save, std::u16string* path) override {
    asked.push_back(save ? u"save image" : u"open image");
    if (paths.empty()) return FALSE;
    *path = paths.front();
    paths.pop_front();
    return TRUE;
  }
  int AskJpegQuality(int quality) override {
    asked.push_back(u"jpeg " + Num(quality));
    return Take(qualities, 0);
  }
  BOOL Confirm(const char16_t* caption, const char16_t* text) override {
    asked.push_back(std::u16string(u"confirm ") + caption + u" " + text);
    return Take(confirms, FALSE);
  }
  CJobRunner* GetJobRunner() override { return runner ? runner : &headless; }

  std::deque<NewLayer> newLayers;
  std::deque<int> merges, converts, qualities;
  std::deque<Rotate> rotates;
  std::deque<Size> scales;
  std::deque<std::u16string> paths;
  std::deque<BOOL> confirms;
  std::vector<std::u16string> asked;
  CJobRunner* runner = nullptr;  // another runner (one that cancels, say); null: headless

 private:
  template <class T>
  static T Take(std::deque<T>& q, T otherwise) {
    if (q.empty()) return otherwise;
    T v = q.front();
    q.pop_front();
    return v;
  }
  static std::u16string Num(int v) {
    std::string s = std::to_string(v);
    return std::u16string(s.begin(), s.end());
  }
  CHeadlessJobRunner headless;
};
