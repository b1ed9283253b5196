#include "Settings.h"

#include <QSettings>
#include <algorithm>
#include <memory>
#include <mutex>

#include "Internal.h"

namespace gui {

namespace {

std::mutex g_mutex;
std::unique_ptr<QSettings> g_settings;
QString g_path;

// Called with g_mutex held.
QSettings& Store() {
  if (!g_settings) {
    if (g_path.isEmpty()) g_settings = std::make_unique<QSettings>(QStringLiteral("kelv_net"), QStringLiteral("Tavrik"));
    else g_settings = std::make_unique<QSettings>(g_path, QSettings::IniFormat);
  }
  return *g_settings;
}

QString Key(const char16_t* section, const char16_t* key) {
  return detail::ToQString(section) + QLatin1Char('/') + detail::ToQString(key);
}

}  // namespace

void Settings::UseFile(const std::u16string& path) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_settings) g_settings->sync();
  g_settings.reset();
  g_path = detail::ToQString(path);
}

int Settings::ReadInt(const char16_t* section, const char16_t* key, int def, int min, int max) {
  if (max < min) std::swap(min, max);
  int64_t value = def;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    QVariant v = Store().value(Key(section, key));
    if (v.isValid()) {
      bool ok = false;
      qlonglong n = v.toLongLong(&ok);
      if (ok) value = n;
    }
  }
  return int(std::clamp<int64_t>(value, min, max));
}

BOOL Settings::WriteInt(const char16_t* section, const char16_t* key, int value) {
  std::lock_guard<std::mutex> lock(g_mutex);
  Store().setValue(Key(section, key), value);
  return Store().status() == QSettings::NoError;
}

std::u16string Settings::ReadString(const char16_t* section, const char16_t* key, const char16_t* def) {
  std::lock_guard<std::mutex> lock(g_mutex);
  QVariant v = Store().value(Key(section, key));
  if (!v.isValid()) return def ? std::u16string(def) : std::u16string();
  return detail::FromQString(v.toString());
}

BOOL Settings::WriteString(const char16_t* section, const char16_t* key, const char16_t* value) {
  std::lock_guard<std::mutex> lock(g_mutex);
  Store().setValue(Key(section, key), detail::ToQString(value));
  return Store().status() == QSettings::NoError;
}

BOOL Settings::ReadBinary(const char16_t* section, const char16_t* key, std::vector<uint8_t>* out) {
  if (!out) return FALSE;
  out->clear();
  std::lock_guard<std::mutex> lock(g_mutex);
  QVariant v = Store().value(Key(section, key));
  if (!v.isValid()) return FALSE;
  QByteArray bytes = v.toByteArray();
  out->assign(reinterpret_cast<const uint8_t*>(bytes.constData()),
              reinterpret_cast<const uint8_t*>(bytes.constData()) + bytes.size());
  return TRUE;
}

BOOL Settings::WriteBinary(const char16_t* section, const char16_t* key, const void* data, size_t size) {
  if (!data && size) return FALSE;
  std::lock_guard<std::mutex> lock(g_mutex);
  Store().setValue(Key(section, key), QByteArray(static_cast<const char*>(data), qsizetype(size)));
  return Store().status() == QSettings::NoError;
}

BOOL Settings::Contains(const char16_t* section, const char16_t* key) {
  std::lock_guard<std::mutex> lock(g_mutex);
  return Store().contains(Key(section, key));
}

void Settings::Remove(const char16_t* section, const char16_t* key) {
  std::lock_guard<std::mutex> lock(g_mutex);
  Store().remove(Key(section, key));
}

BOOL Settings::Flush() {
  std::lock_guard<std::mutex> lock(g_mutex);
  Store().sync();
  return Store().status() == QSettings::NoError;
}

}  // namespace gui
