#include "Dialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLibraryInfo>
#include <QMainWindow>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTimer>
#include <QTranslator>
#include <QVBoxLayout>
#include <algorithm>
#include <mutex>

#include "core/Application.h"
#include "core/PaintSpace.h"
#include "frame/Icons.h"
#include "frame/LastFolder.h"
#include "frame/MainFrame.h"
#include "frame/Shell.h"
#include "odata/GError.h"
#include "odata/GText.h"
#include "panels/MyListLayer.h"
#include "platform/base/Memory.h"
#include "platform/base/Sync.h"
#include "platform/gui/ErrorHook.h"
#include "platform/gui/Settings.h"

namespace {

QString Q(const std::u16string& s) { return QString(reinterpret_cast<const QChar*>(s.data()), qsizetype(s.size())); }
QString Q(const char16_t* s) { return s ? Q(std::u16string(s)) : QString(); }
std::u16string U(const QString& s) { return std::u16string(reinterpret_cast<const char16_t*>(s.utf16()), size_t(s.size())); }

std::mutex g_answerMutex;
DialogAnswer g_dialogAnswer;
shell::PathAnswer g_pathAnswer;

QWidget* FrameWidget(CMainFrame* frame) { return frame ? frame->GetMainWindow() : nullptr; }

const char16_t* const kDocumentFilter = u"Tavrik 文档 (*.kelv);;所有文件 (*)";

}  // namespace

QDialogButtonBox* OkCancel(QDialog* dialog) {
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
  buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  return buttons;
}

void SetDialogAnswer(DialogAnswer answer) {
  std::lock_guard<std::mutex> lock(g_answerMutex);
  g_dialogAnswer = std::move(answer);
}

int RunModal(QDialog* dialog) {
  DialogAnswer answer;
  {
    std::lock_guard<std::mutex> lock(g_answerMutex);
    answer = g_dialogAnswer;
  }
  if (answer) {
    const int result = answer(dialog);
    if (result == QDialog::Accepted) dialog->accept();
    else dialog->reject();
    return dialog->result();
  }
  return dialog->exec();
}

// ---------------------------------------------------------------------------------------------

CNumberField::CNumberField(QWidget* parent, int min, int max, int value, bool slider) {
  m_pSpin = new QSpinBox(parent);
  m_pSpin->setRange(min, max);
  m_pSpin->setValue(value);
  m_pSpin->setMinimumWidth(72);
  if (!slider) return;
  m_pSlider = new QSlider(Qt::Horizontal, parent);
  m_pSlider->setRange(min, max);
  m_pSlider->setValue(value);
  m_pSlider->setMinimumWidth(160);
  QObject::connect(m_pSlider, &QSlider::valueChanged, m_pSpin, [spin = m_pSpin](int v) { spin->setValue(v); });
  QObject::connect(m_pSpin, &QSpinBox::valueChanged, m_pSlider, [s = m_pSlider](int v) { s->setValue(v); });
}

int CNumberField::Value() const { return m_pSpin->value(); }

void CNumberField::SetValue(int value) { m_pSpin->setValue(value); }

// ---------------------------------------------------------------------------------------------

CDlgNew::CDlgNew(QWidget* parent, int kind, int width, int height)
    : QDialog(parent),
      m_pKind(new QComboBox(this)),
      m_width(this, 1, int(LYR_MAX_WIDTH), width, false),
      m_height(this, 1, int(LYR_MAX_HEIGHT), height, false) {
  setWindowTitle(QStringLiteral("新建"));
  m_pKind->addItems({QStringLiteral("空白（无图层）"), QStringLiteral("单色图层"), QStringLiteral("彩色图层")});
  m_pKind->setCurrentIndex(std::clamp(kind, 0, 2));
  m_width.Spin()->setSuffix(QStringLiteral(" 像素"));
  m_height.Spin()->setSuffix(QStringLiteral(" 像素"));
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("图层:"), m_pKind);
  form->addRow(QStringLiteral("宽度:"), m_width.Spin());
  form->addRow(QStringLiteral("高度:"), m_height.Spin());
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(OkCancel(this));
}

int CDlgNew::GetKind() const { return m_pKind->currentIndex(); }

void CDlgNew::SetValues(int kind, int width, int height) {
  m_pKind->setCurrentIndex(std::clamp(kind, 0, 2));
  m_width.SetValue(width);
  m_height.SetValue(height);
}

// ---------------------------------------------------------------------------------------------

CDlgSize::CDlgSize(QWidget* parent, const char16_t* title, int width, int height, const char16_t* note)
    : QDialog(parent), m_width(this, 1, int(LYR_MAX_WIDTH), width, false), m_height(this, 1, int(LYR_MAX_HEIGHT), height, false) {
  setWindowTitle(QString::fromUtf16(title));
  m_width.Spin()->setSuffix(QStringLiteral(" 像素"));
  m_height.Spin()->setSuffix(QStringLiteral(" 像素"));
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("宽度:"), m_width.Spin());
  form->addRow(QStringLiteral("高度:"), m_height.Spin());
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  if (note) {
    auto* label = new QLabel(QString::fromUtf16(note), this);
    label->setEnabled(false);
    layout->addWidget(label);
  }
  layout->addWidget(OkCancel(this));
}

void CDlgSize::SetValues(int width, int height) {
  m_width.SetValue(width);
  m_height.SetValue(height);
}

// ---------------------------------------------------------------------------------------------

CDlgAddBrush::CDlgAddBrush(QWidget* parent, const std::u16string& name, const std::u16string& description)
    : QDialog(parent), m_pName(new QLineEdit(this)), m_pDescription(new QLineEdit(this)) {
  setWindowTitle(QStringLiteral("新建画笔"));
  // The presets file keeps at most 255 characters of each text.
  m_pName->setMaxLength(63);
  m_pDescription->setMaxLength(255);
  SetValues(name, description);
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("名称:"), m_pName);
  form->addRow(QStringLiteral("说明:"), m_pDescription);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(OkCancel(this));
}

void CDlgAddBrush::SetValues(const std::u16string& name, const std::u16string& description) {
  m_pName->setText(QString::fromUtf16(name.data(), qsizetype(name.size())));
  m_pDescription->setText(QString::fromUtf16(description.data(), qsizetype(description.size())));
}

std::u16string CDlgAddBrush::GetName() const {
  const QString t = m_pName->text();
  return std::u16string(reinterpret_cast<const char16_t*>(t.utf16()), size_t(t.size()));
}

std::u16string CDlgAddBrush::GetDescription() const {
  const QString t = m_pDescription->text();
  return std::u16string(reinterpret_cast<const char16_t*>(t.utf16()), size_t(t.size()));
}

// ---------------------------------------------------------------------------------------------

CDlgConfigure::CDlgConfigure(QWidget* parent, const ConfigureValues& v)
    : QDialog(parent),
      m_pressure(this, 0, 100, v.nTabletPressure, true),
      m_interval(this, 50, 2000, v.nMouseClickInterval, false),
      m_tolerance(this, 0, 20, v.nMouseTolerance, false),
      m_pStartup(new QComboBox(this)),
      m_pFlowerAlpha(new QCheckBox(QStringLiteral("环形菜单半透明"), this)) {
  setWindowTitle(QStringLiteral("配置"));
  m_pressure.Spin()->setSuffix(QStringLiteral(" %"));
  m_interval.Spin()->setSuffix(QStringLiteral(" 毫秒"));
  m_interval.Spin()->setSingleStep(50);
  m_tolerance.Spin()->setSuffix(QStringLiteral(" 像素"));
  m_pStartup->addItems({QStringLiteral("不创建图层"), QStringLiteral("单色图层"), QStringLiteral("彩色图层")});

  auto* pen = new QGroupBox(QStringLiteral("输入"), this);
  auto* penForm = new QFormLayout(pen);
  auto* pressureRow = new QHBoxLayout;
  pressureRow->addWidget(m_pressure.Slider());
  pressureRow->addWidget(m_pressure.Spin());
  penForm->addRow(QStringLiteral("压感力度:"), pressureRow);
  penForm->addRow(QStringLiteral("长按时间:"), m_interval.Spin());
  penForm->addRow(QStringLiteral("鼠标容差:"), m_tolerance.Spin());

  auto* start = new QGroupBox(QStringLiteral("启动"), this);
  auto* startForm = new QFormLayout(start);
  startForm->addRow(QStringLiteral("新文档:"), m_pStartup);
  startForm->addRow(m_pFlowerAlpha);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(pen);
  layout->addWidget(start);
  layout->addWidget(OkCancel(this));
  SetValues(v);
}

ConfigureValues CDlgConfigure::GetValues() const {
  return ConfigureValues{m_pressure.Value(), m_interval.Value(), m_tolerance.Value(), m_pStartup->currentIndex(),
                         m_pFlowerAlpha->isChecked() ? 1 : 0};
}

void CDlgConfigure::SetValues(const ConfigureValues& v) {
  m_pressure.SetValue(v.nTabletPressure);
  m_interval.SetValue(v.nMouseClickInterval);
  m_tolerance.SetValue(v.nMouseTolerance);
  m_pStartup->setCurrentIndex(std::clamp(v.nStartupCreateLayer, 0, 2));
  m_pFlowerAlpha->setChecked(v.nFlowerAlphaEnable != 0);
}

// ---------------------------------------------------------------------------------------------

namespace {

// The progress dialog proper: the caption, a bar and the cancel button.
class ProgressWindow final : public QDialog {
 public:
  ProgressWindow(QWidget* parent, const QString& caption, JobControl* control, OWorker* worker)
      : QDialog(parent), m_pControl(control), m_pWorker(worker) {
    setWindowTitle(QStringLiteral("请稍候..."));
    setWindowModality(Qt::ApplicationModal);
    m_pLabel = new QLabel(caption, this);
    m_pLabel->setMinimumWidth(280);
    m_pBar = new QProgressBar(this);
    m_pCancel = new QPushButton(QStringLiteral("取消"), this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pLabel);
    layout->addWidget(m_pBar);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(m_pCancel);
    layout->addLayout(row);
    connect(m_pCancel, &QPushButton::clicked, this, [this] { reject(); });
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this] { gui::GuardedCall([&] { Poll(); }); });
    timer->start(40);
    Poll();
  }
  bool Cancelled() const { return m_bCancelled; }

  // Cancelling asks the job to stop; the dialog stays until the worker is free again.
  void reject() override {
    if (m_pWorker->IsReady()) {
      QDialog::reject();
      return;
    }
    if (m_bCancelled) return;
    m_bCancelled = true;
    m_pControl->flags |= JOB_ABORT;
    m_pCancel->setEnabled(false);
    m_pLabel->setText(QStringLiteral("正在取消..."));
  }

 private:
  void Poll() {
    if (m_pWorker->IsReady()) {
      done(m_bCancelled ? QDialog::Rejected : QDialog::Accepted);
      return;
    }
    // A job without a total to report leaves the bar busy (an empty range).
    const int total = std::max(0, int(m_pControl->total.load()));
    m_pBar->setRange(0, total);
    if (total > 0) m_pBar->setValue(std::clamp(int(m_pControl->progress.load()), 0, total));
    if (!m_bCancelled && m_pControl->pObj)
      m_pLabel->setText(Q(static_cast<GText*>(m_pControl->pObj)->GetText()));
  }

  JobControl* m_pControl;
  OWorker* m_pWorker;
  QLabel* m_pLabel;
  QProgressBar* m_pBar;
  QPushButton* m_pCancel;
  bool m_bCancelled = false;
};

}  // namespace

int32_t CDlgProgress::Run(OWorker* worker, JobRecord* job, const char16_t* caption, int total, uint32_t* flags) {
  m_bCancelled = false;
  JobControl control;
  control.total = total > 0 ? total : 1;
  int32_t result = 0;
  if (worker->IsReady() && worker->Launch(job, &control)) {
    // A short job finishes before anyone would see the dialog.
    QElapsedTimer clock;
    clock.start();
    while (!worker->IsReady() && clock.elapsed() < m_nShowDelay) plat::Sleep(2);
    if (!worker->IsReady()) {
      ProgressWindow window(m_fnParent ? m_fnParent() : nullptr, Q(caption), &control, worker);
      window.exec();
      m_bCancelled = window.Cancelled();
    }
    worker->Wait(FALSE);
    result = job->result;
  }
  if (control.pObj) control.pObj->Release();
  // The worker reported the job's error; what the program keeps for pasting may be stale.
  if ((control.flags & JOB_FAILED) && g_pTavrikApp) g_pTavrikApp->ClearClipboard();
  if (flags) *flags = control.flags;
  return result;
}

// ---------------------------------------------------------------------------------------------

CDlgFilter::CDlgFilter(QWidget* parent, CPaintSpace* space, int index, OLayerFilter* filter,
                       const char16_t* caption, const char16_t* key)
    : QDialog(parent), m_pSpace(space), m_nIndex(index), m_cpFilter(filter), m_strCaption(caption), m_strKey(key) {
  try {
    m_cpLayer = space->m_pwndListLayer->GetLayer(index);
    GVERIFY(m_cpLayer, u"!poLayer");
    m_pProperty = static_cast<OProperty*>(filter->GetInterface(u"OProperty"));
    GVERIFY(m_pProperty && m_pProperty->GetCount() >= 2, u"!poProperty");
    m_cpArgs = GNewData(4096);
    m_job.pArgs = m_cpArgs;

    setWindowTitle(Q(caption));
    auto* form = new QFormLayout;
    for (int i = 0; i < 2; ++i) {
      const PropertyItem* item = m_pProperty->GetItem(UINT(i));
      m_apFields[i] = std::make_unique<CNumberField>(this, item->minimum, item->maximum, item->value, true);
      auto* row = new QHBoxLayout;
      row->addWidget(m_apFields[i]->Slider(), 1);
      row->addWidget(m_apFields[i]->Spin());
      auto* label = new QLabel(Q(item->label ? item->label : item->key) + QStringLiteral(":"), this);
      if (item->help) {
        label->setToolTip(Q(item->help));
        m_apFields[i]->Slider()->setToolTip(Q(item->help));
      }
      form->addRow(label, row);
    }
    m_pProgress = new QProgressBar(this);
    m_pProgress->setTextVisible(false);
    m_pProgress->setMaximumHeight(6);
    auto* buttons = OkCancel(this);
    m_pOk = buttons->button(QDialogButtonBox::Ok);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_pProgress);
    layout->addWidget(buttons);
    setMinimumWidth(360);

    LoadValues();
    for (auto& field : m_apFields)
      connect(field->Spin(), &QSpinBox::valueChanged, this, [this](int) { gui::GuardedCall([&] { Changed(); }); });
    m_pTimer = new QTimer(this);
    connect(m_pTimer, &QTimer::timeout, this, [this] {
      if (!gui::GuardedCall([&] { Poll(); })) Finish(false);
    });

    // The transaction: the backup is the picture every run starts from, and what Cancel
    // brings back.
    m_pSpace->FinishWork();
    m_pSpace->GetWorker()->Wait(FALSE);
    {
      GAutoLock lock(m_pSpace->GetDrawLock());
      m_cpLayer->PAT_PrepareActivate(PAT_F_BACKUP, nullptr);
      m_cpLayer->PAT_MarkClear();
      m_cpLayer->PAT_MarkSet(nullptr, nullptr);
    }
    m_bOpen = true;
    m_bPending = true;
    m_pTimer->start(15);
  }
  GCATCH(GetClassName(), u"::CDlgFilter()", ->AppendArg(GArgInt(index)))
}

CDlgFilter::~CDlgFilter() {
  // Closed without an answer (the frame went away): the layer goes back as it was.
  if (m_bOpen) gui::GuardedCall([&] { Finish(false); });
}

void CDlgFilter::LoadValues() {
  std::vector<uint8_t> saved;
  if (gui::Settings::ReadBinary(u"XFilter", m_strKey.c_str(), &saved) && saved.size() == 8) {
    for (int i = 0; i < 2; ++i) {
      const int32_t v = int32_t(uint32_t(saved[4 * i]) | uint32_t(saved[4 * i + 1]) << 8 |
                                uint32_t(saved[4 * i + 2]) << 16 | uint32_t(saved[4 * i + 3]) << 24);
      const PropertyItem* item = m_pProperty->SetValue(UINT(i), v);
      m_apFields[i]->SetValue(item->value);
    }
  }
}

void CDlgFilter::SaveValues() {
  uint8_t bytes[8];
  for (int i = 0; i < 2; ++i) {
    const uint32_t v = uint32_t(m_apFields[i]->Value());
    for (int b = 0; b < 4; ++b) bytes[4 * i + b] = uint8_t(v >> (8 * b));
  }
  gui::Settings::WriteBinary(u"XFilter", m_strKey.c_str(), bytes, sizeof bytes);
}

void CDlgFilter::SetValue(int item, int value) { m_apFields[item]->SetValue(value); }

bool CDlgFilter::IsIdle() const { return !m_bRunning && !m_bPending; }

bool CDlgFilter::WaitIdle(int timeoutMs) {
  QElapsedTimer clock;
  clock.start();
  while (!IsIdle() && clock.elapsed() < timeoutMs) {
    if (!gui::GuardedCall([&] { Poll(); })) {
      Finish(false);
      return false;
    }
    if (!IsIdle()) plat::Sleep(2);
  }
  return IsIdle();
}

void CDlgFilter::Changed() {
  m_bPending = true;
  m_bDone = false;
  // A run with old values is of no further use.
  if (m_bRunning) m_control.flags |= JOB_ABORT;
}

// Runs on the worker: the filter itself, under the drawing lock so that no pass composes the
// layer while its pixels change.
int32_t CDlgFilter::Job(JobRecord* job, JobControl* control) {
  GAutoLock lock(m_pSpace->GetDrawLock());
  return m_filterProc(m_filterObject, job, control);
}

void CDlgFilter::Launch() {
  OWorker* worker = m_pSpace->GetWorker();
  // The worker may be drawing; the next tick tries again.
  if (!worker->IsReady()) return;
  for (int i = 0; i < 2; ++i) m_pProperty->SetValue(UINT(i), m_apFields[i]->Value());
  m_cpFilter->Filter(m_cpLayer, 0, &m_job);
  m_filterObject = m_job.object;
  m_filterProc = m_job.proc;
  m_job.object = this;
  m_job.proc = JobThunk<CDlgFilter, &CDlgFilter::Job>;
  m_job.result = -1;
  m_control.flags = 0;
  m_control.progress = 0;
  m_control.total = m_cpLayer->GetHeight();
  m_bPending = false;
  if (!worker->Launch(&m_job, &m_control)) {
    m_bPending = true;
    return;
  }
  m_bRunning = true;
  ++m_nRuns;
  m_pProgress->setRange(0, std::max(1, int(m_control.total.load())));
  m_pProgress->setValue(0);
}

void CDlgFilter::Poll() {
  OWorker* worker = m_pSpace->GetWorker();
  if (m_bRunning) {
    m_pProgress->setValue(std::clamp(int(m_control.progress.load()), 0, m_pProgress->maximum()));
    if (!worker->IsReady()) return;
    worker->Wait(FALSE);
    m_bRunning = false;
    if (m_control.flags & JOB_FAILED) {
      // The worker has reported the error: give the layer back and close.
      Finish(false);
      return;
    }
    {
      GAutoLock lock(m_pSpace->GetDrawLock());
      m_cpLayer->PAT_MarkMipRefresh();
      m_cpLayer->AddChangeFlags(LYR_CHANGE_PIXELS);
    }
    if (m_job.result == 1 && !m_bPending) {
      m_bDone = true;
      m_pProgress->setValue(m_pProgress->maximum());
      m_pSpace->InvalidateComposite();
      m_pSpace->InvalidateView(FALSE);
    }
  }
  if (m_bPending) Launch();
  if (m_bClosing && IsIdle()) Finish(m_bDone);
}

void CDlgFilter::Finish(bool keep) {
  if (m_pTimer) m_pTimer->stop();
  const bool wasOpen = m_bOpen;
  m_bOpen = false;
  if (wasOpen) {
    OWorker* worker = m_pSpace->GetWorker();
    if (m_bRunning) m_control.flags |= JOB_ABORT;
    worker->Wait(FALSE);
    m_bRunning = m_bPending = false;
    GCompRef<OData> patch;
    {
      GAutoLock lock(m_pSpace->GetDrawLock());
      if (keep) {
        // The layer as it was: the undo data (count 0), the backup itself rather than a copy.
        patch = m_cpLayer->PAT_DeactivateToBackup();
      } else {
        m_cpLayer->PAT_Cancel();
        m_cpLayer->PAT_MarkMipRefresh();
        m_cpLayer->AddChangeFlags(LYR_CHANGE_PIXELS);
        m_cpLayer->PAT_Deactivate();
      }
      m_cpLayer->PAT_MarkClear();
    }
    if (keep) {
      m_pSpace->RecordLayerPatch(m_nIndex, m_cpLayer, patch, m_strCaption.c_str());
      SaveValues();
    }
    m_pSpace->m_pwndListLayer->RedrawItem(m_nIndex);
    m_pSpace->InvalidateComposite();
    m_pSpace->InvalidateView(FALSE);
  }
  if (keep) QDialog::accept();
  else QDialog::reject();
}

void CDlgFilter::accept() {
  if (!m_bOpen) {
    QDialog::accept();
    return;
  }
  // The last change may still be running: keep it once it has been applied.
  m_bClosing = true;
  for (auto& field : m_apFields) {
    field->Spin()->setEnabled(false);
    field->Slider()->setEnabled(false);
  }
  m_pOk->setEnabled(false);
  // Answered without being shown, nobody waits on the timer: finish the run here.
  if (!isVisible()) WaitIdle(60000);
  if (!gui::GuardedCall([&] { Poll(); })) Finish(false);
}

void CDlgFilter::reject() {
  if (!m_bOpen) {
    QDialog::reject();
    return;
  }
  if (!gui::GuardedCall([&] { Finish(false); })) QDialog::reject();
}

// ---------------------------------------------------------------------------------------------

namespace {

QString MegaBytes(uint64_t bytes) { return QString::number(uint32_t(bytes >> 20)) + QStringLiteral("MB"); }

}  // namespace

CDlgAbout::CDlgAbout(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("关于 Tavrik"));
  auto* icon = new QLabel(this);
  icon->setPixmap(ProgramIcon().pixmap(64, 64));
  auto* title = new QLabel(QStringLiteral("<b style='font-size:16pt'>Tavrik</b><br>分层光栅绘画程序"), this);
  plat::ProcessMemory process{};
  plat::MemoryStatus memory{};
  const bool haveProcess = plat::GetProcessMemory(&process);
  const bool haveMemory = plat::GetMemoryStatus(&memory);
  m_pProcess = new QLabel(MegaBytes(haveProcess ? process.workingSet : 0), this);
  m_pAvailable = new QLabel(MegaBytes(haveMemory ? memory.availablePhysical : 0), this);
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("程序占用内存:"), m_pProcess);
  form->addRow(QStringLiteral("可用物理内存:"), m_pAvailable);
  auto* head = new QHBoxLayout;
  head->addWidget(icon);
  head->addWidget(title, 1);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(head);
  layout->addLayout(form);
  layout->addWidget(buttons);
}

QString CDlgAbout::ProcessText() const { return m_pProcess->text(); }

QString CDlgAbout::AvailableText() const { return m_pAvailable->text(); }

// ---------------------------------------------------------------------------------------------

namespace shell {

BOOL HasDisplay() { return QGuiApplication::primaryScreen() != nullptr; }

void SetupInterface() {
  // The buttons of message boxes and the file and colour choosers.
  static QTranslator* translator = nullptr;
  if (!translator) {
    translator = new QTranslator(qApp);
    if (translator->load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
      QCoreApplication::installTranslator(translator);
  }
  // Chinese menus and dialogs need a font that has the characters; the first one of these
  // that the system knows.
  const QStringList families = QFontDatabase::families();
  for (const char* name : {"WenQuanYi Micro Hei", "Noto Sans CJK SC", "Source Han Sans SC", "WenQuanYi Zen Hei",
                           "Droid Sans Fallback"}) {
    const QString family = QString::fromUtf8(name);
    if (!families.contains(family)) continue;
    QFont font(family);
    font.setPixelSize(13);
    QApplication::setFont(font);
    return;
  }
}

void SetPathAnswer(PathAnswer answer) {
  std::lock_guard<std::mutex> lock(g_answerMutex);
  g_pathAnswer = std::move(answer);
}

std::u16string AskOpenPath(CMainFrame* frame) {
  {
    std::lock_guard<std::mutex> lock(g_answerMutex);
    if (g_pathAnswer) return g_pathAnswer(false, u"");
  }
  const std::u16string path = U(QFileDialog::getOpenFileName(FrameWidget(frame), QStringLiteral("打开"),
                                                              Q(lastfolder::StartPath(u"")), Q(kDocumentFilter)));
  lastfolder::Remember(path);
  return path;
}

std::u16string AskSavePath(CMainFrame* frame, const std::u16string& suggestion) {
  {
    std::lock_guard<std::mutex> lock(g_answerMutex);
    if (g_pathAnswer) return g_pathAnswer(true, suggestion);
  }
  QString path = QFileDialog::getSaveFileName(FrameWidget(frame), QStringLiteral("另存为"),
                                              Q(lastfolder::StartPath(suggestion.empty() ? u"无标题.kelv" : suggestion)),
                                              Q(kDocumentFilter));
  if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".kelv");
  lastfolder::Remember(U(path));
  return U(path);
}

BOOL AskNewDocument(CMainFrame* frame, int* kind, int* width, int* height) {
  CDlgNew dialog(FrameWidget(frame), *kind, *width, *height);
  if (RunModal(&dialog) != QDialog::Accepted) return FALSE;
  *kind = dialog.GetKind();
  *width = dialog.GetWidth();
  *height = dialog.GetHeight();
  return TRUE;
}

void ShowAbout(CMainFrame* frame) {
  CDlgAbout about(FrameWidget(frame));
  RunModal(&about);
}

std::u16string ProgramFileName() { return U(QFileInfo(QCoreApplication::applicationFilePath()).fileName()); }

std::u16string FindHelpViewer() {
  for (const char* name : {"xchm", "kchmviewer", "chmsee", "okular"}) {
    const QString path = QStandardPaths::findExecutable(QString::fromUtf8(name));
    if (!path.isEmpty()) return U(path);
  }
  return u"";
}

BOOL StartHelpViewer(const std::u16string& viewer, const std::u16string& path) {
  return QProcess::startDetached(Q(viewer), {Q(path)}) ? TRUE : FALSE;
}

}  // namespace shell
