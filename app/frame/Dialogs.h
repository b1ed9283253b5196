// The shell's modal dialogs: new document, space size, configure, progress, layer filter and
// About. Every one runs through RunModal, which tests answer without showing anything.
#pragma once
#include <QDialog>
#include <QLineEdit>
#include <functional>
#include <memory>
#include <string>

#include "core/JobRunner.h"
#include "odata/GCompRef.h"
#include "odata/OData.h"
#include "odata/OLayer.h"
#include "odata/OLayerFilter.h"
#include "odata/OProperty.h"
#include "odata/OWorker.h"

class CPaintSpace;
class QComboBox;
class QDialogButtonBox;
class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSlider;
class QSpinBox;
class QTimer;

// Runs a dialog modally; with an answer installed, the answer gets the dialog (set up and not
// shown), may fill it in, and says QDialog::Accepted or Rejected.
using DialogAnswer = std::function<int(QDialog*)>;
void SetDialogAnswer(DialogAnswer answer);
int RunModal(QDialog* dialog);
// The dialog's OK and Cancel buttons ("确定", "取消"), wired to accept and reject.
QDialogButtonBox* OkCancel(QDialog* dialog);

// A number field: a slider beside a spin box, both kept in step.
class CNumberField {
 public:
  CNumberField(QWidget* parent, int min, int max, int value, bool slider);
  int Value() const;
  void SetValue(int value);
  QSpinBox* Spin() const { return m_pSpin; }
  QSlider* Slider() const { return m_pSlider; }

 private:
  QSpinBox* m_pSpin;
  QSlider* m_pSlider = nullptr;
};

// "新建": the kind of the new document (0 no layer, 1 a mask layer, 2 a colour layer) and the
// size of its space (1..10000 each way).
class CDlgNew : public QDialog {
 public:
  CDlgNew(QWidget* parent, int kind, int width, int height);
  int GetKind() const;
  int GetWidth() const { return m_width.Value(); }
  int GetHeight() const { return m_height.Value(); }
  void SetValues(int kind, int width, int height);

 private:
  QComboBox* m_pKind;
  CNumberField m_width;
  CNumberField m_height;
};

// A width and a height in pixels, each 1..10000, with OK and Cancel; a note below when given.
class CDlgSize : public QDialog {
 public:
  CDlgSize(QWidget* parent, const char16_t* title, int width, int height, const char16_t* note = nullptr);
  int GetWidth() const { return m_width.Value(); }
  int GetHeight() const { return m_height.Value(); }
  void SetValues(int width, int height);

 private:
  CNumberField m_width;
  CNumberField m_height;
};

// "空间尺寸": the space's new width and height; the space is cut or widened about its centre.
class CDlgSpaceSize : public CDlgSize {
 public:
  CDlgSpaceSize(QWidget* parent, int width, int height)
      : CDlgSize(parent, u"空间尺寸", width, height, u"以空间中心为准，裁切或扩展四边。") {}
};

// The name and description of a cloned brush.
class CDlgAddBrush : public QDialog {
 public:
  CDlgAddBrush(QWidget* parent, const std::u16string& name, const std::u16string& description);
  std::u16string GetName() const;
  std::u16string GetDescription() const;
  void SetValues(const std::u16string& name, const std::u16string& description);

 private:
  QLineEdit* m_pName;
  QLineEdit* m_pDescription;
};

// "配置": the settings a user may change.
struct ConfigureValues {
  int nTabletPressure;
  int nMouseClickInterval;
  int nMouseTolerance;
  int nStartupCreateLayer;
  int nFlowerAlphaEnable;
};
class CDlgConfigure : public QDialog {
 public:
  CDlgConfigure(QWidget* parent, const ConfigureValues& values);
  ConfigureValues GetValues() const;
  void SetValues(const ConfigureValues& values);

 private:
  CNumberField m_pressure;
  CNumberField m_interval;
  CNumberField m_tolerance;
  QComboBox* m_pStartup;
  QCheckBox* m_pFlowerAlpha;
};

// "请稍候...": runs a worker job behind a modal progress dialog with a cancel button. A job
// that ends within a moment shows no dialog at all.
class CDlgProgress final : public CJobRunner {
 public:
  explicit CDlgProgress(std::function<QWidget*()> parent) : m_fnParent(std::move(parent)) {}
  int32_t Run(OWorker* worker, JobRecord* job, const char16_t* caption, int total, uint32_t* flags) override;
  // The user cancelled the last job.
  bool WasCancelled() const { return m_bCancelled; }
  // How long a job may run before the dialog shows (milliseconds).
  void SetShowDelay(int ms) { m_nShowDelay = ms; }

 private:
  std::function<QWidget*()> m_fnParent;
  bool m_bCancelled = false;
  int m_nShowDelay = 200;
};

// A layer filter with its two property items as sliders: the filter runs on the space's
// worker inside the layer's paint transaction (opened with a backup), again after every
// change; OK keeps the result as one undoable layer patch, Cancel (or closing) restores the
// layer. The settings section "XFilter" keeps the values under the filter's key.
class CDlgFilter : public QDialog {
 public:
  // The layer is the one at row index of the space's layer list; caption names the dialog
  // and the undo step. Throws when the transaction cannot be opened.
  CDlgFilter(QWidget* parent, CPaintSpace* space, int index, OLayerFilter* filter, const char16_t* caption,
             const char16_t* key);
  ~CDlgFilter() override;

  static const char16_t* GetClassName() { return u"CDlgFilter"; }

  int Value(int item) const { return m_apFields[item]->Value(); }
  void SetValue(int item, int value);
  // No run is going and none is waiting.
  bool IsIdle() const;
  // Runs the timer's work until the filter is idle or the time is up (tests and OK).
  bool WaitIdle(int timeoutMs);
  int GetRunCount() const { return m_nRuns; }

  void accept() override;
  void reject() override;

 private:
  int32_t Job(JobRecord* job, JobControl* control);
  void Poll();
  void Launch();
  void Changed();
  void Finish(bool keep);
  void LoadValues();
  void SaveValues();

  CPaintSpace* m_pSpace;
  int m_nIndex;
  GCompRef<OLayer> m_cpLayer;
  GCompRef<OLayerFilter> m_cpFilter;
  OProperty* m_pProperty = nullptr;
  std::u16string m_strCaption;
  std::u16string m_strKey;
  std::unique_ptr<CNumberField> m_apFields[2];
  QProgressBar* m_pProgress = nullptr;
  QPushButton* m_pOk = nullptr;
  QTimer* m_pTimer = nullptr;
  GCompRef<OData> m_cpArgs;
  JobRecord m_job{};
  JobProc m_filterProc = nullptr;
  void* m_filterObject = nullptr;
  JobControl m_control;
  bool m_bRunning = false;  // a run is on the worker
  bool m_bPending = false;  // the values changed since the last run began
  bool m_bDone = false;     // the layer shows the present values
  bool m_bClosing = false;  // OK was pressed: finish the run, then keep it
  bool m_bOpen = false;     // the transaction is open
  int m_nRuns = 0;
};

// "关于 Tavrik": the program, its plug-ins and its memory figures.
class CDlgAbout : public QDialog {
 public:
  explicit CDlgAbout(QWidget* parent);
  // The two memory lines as shown: the process and the available physical memory.
  QString ProcessText() const;
  QString AvailableText() const;

 private:
  QLabel* m_pProcess;
  QLabel* m_pAvailable;
};
