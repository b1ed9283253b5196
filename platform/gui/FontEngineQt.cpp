// The font engine on Qt: QFont through fontconfig (a missing family falls back to the
// desktop's sans-serif, a missing glyph to a face that has it, so CJK text finds the
// installed CJK face), widths from QFontMetrics, coverage drawn by QPainter into an 8-bit
// alpha image. One lock serialises the calls, which may come from any thread.
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QString>
#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "Font.h"

namespace gui {

namespace {

// The UI faces come in a regular and a bold cut: lighter weights draw the regular one.
constexpr int kBoldFrom = 600;

QString ToQString(std::u16string_view s) {
  return QString(reinterpret_cast<const QChar*>(s.data()), qsizetype(s.size()));
}

class QtFontEngine final : public FontEngine {
 public:
  void GetMetrics(const Font& font, TEXTMETRIC& tm) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    tm = Get(font).tm;
  }

  int MeasureWidth(const Font& font, std::u16string_view text) override {
    if (text.empty()) return 0;
    std::lock_guard<std::mutex> lock(m_mutex);
    return Get(font).metrics.horizontalAdvance(ToQString(text));
  }

  void Render(const Font& font, std::u16string_view text, CoverageMask& mask) override {
    mask = CoverageMask{};
    if (text.empty()) return;
    std::lock_guard<std::mutex> lock(m_mutex);
    const Face& face = Get(font);
    QString s = ToQString(text);
    int advance = face.metrics.horizontalAdvance(s);
    // Room for ink left of the start and right of the advance, and a pixel of antialiasing.
    QRect ink = face.metrics.boundingRect(s);
    int padLeft = std::max(0, -ink.left()) + 1;
    int padRight = std::max(0, ink.right() + 1 - advance) + 1;
    mask.left = -padLeft;
    mask.width = padLeft + advance + padRight;
    mask.height = face.tm.tmHeight;
    mask.advance = advance;
    QImage image(mask.width, mask.height, QImage::Format_Alpha8);
    if (image.isNull()) {  // too large to allocate: measured, not drawn
      mask.width = mask.height = 0;
      return;
    }
    image.fill(0);
    {
      QPainter painter(&image);
      painter.setFont(face.font);
      painter.setPen(QColor(0, 0, 0, 255));
      painter.drawText(QPoint(padLeft, face.tm.tmAscent), s);
    }
    mask.coverage.resize(size_t(mask.width) * size_t(mask.height));
    for (int y = 0; y < mask.height; ++y)
      std::memcpy(&mask.coverage[size_t(y) * size_t(mask.width)], image.constScanLine(y), size_t(mask.width));
  }

 private:
  struct Face {
    explicit Face(const QFont& f) : font(f), metrics(f) {}
    QFont font;
    QFontMetrics metrics;
    TEXTMETRIC tm{};
  };

  // The face of a font, made on first use: the largest pixel size whose ascent and descent
  // fit the cell height, the spare rows split above and below.
  const Face& Get(const Font& font) {
    bool bold = font.Weight() >= kBoldFrom;
    std::u16string key = std::u16string{char16_t(font.Height()), char16_t(bold)} + font.Face();
    auto it = m_faces.find(key);
    if (it != m_faces.end()) return *it->second;
    QFont q;
    q.setFamily(font.Face().empty() ? QStringLiteral("sans-serif") : ToQString(font.Face()));
    q.setStyleHint(QFont::SansSerif);
    q.setWeight(bold ? QFont::Bold : QFont::Normal);
    int height = font.Height(), px = height;
    for (; px > 1; --px) {
      q.setPixelSize(px);
      QFontMetrics m(q);
      if (m.ascent() + m.descent() <= height) break;
    }
    q.setPixelSize(px);
    auto face = std::make_unique<Face>(q);
    const QFontMetrics& m = face->metrics;
    int spare = std::max(0, height - m.ascent() - m.descent());
    TEXTMETRIC& tm = face->tm;
    tm.tmHeight = height;
    tm.tmAscent = m.ascent() + (spare + 1) / 2;
    tm.tmDescent = height - tm.tmAscent;
    tm.tmInternalLeading = std::max(0, height - px);
    tm.tmExternalLeading = std::max(0, m.leading());
    tm.tmAveCharWidth = m.averageCharWidth();
    tm.tmMaxCharWidth = m.maxWidth();
    return *m_faces.emplace(key, std::move(face)).first->second;
  }

  std::mutex m_mutex;
  std::map<std::u16string, std::unique_ptr<Face>> m_faces;
};

std::unique_ptr<QtFontEngine> g_qtEngine;

}  // namespace

namespace detail {

void InstallQtFontEngine() {
  if (!g_qtEngine) g_qtEngine = std::make_unique<QtFontEngine>();
  SetFontEngine(g_qtEngine.get());
}

void RemoveQtFontEngine() {
  if (GetFontEngine() == g_qtEngine.get()) SetFontEngine(nullptr);
  g_qtEngine.reset();
}

}  // namespace detail

}  // namespace gui
