#include "platform/qt/ini_settings_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cstdlib>
#include <string_view>

#include "lumenstage/automation_errors.h"
#include "platform/qt/ini_text.h"

namespace artnet {
namespace {

QString QPath(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

struct IniFile {
  bool readable = true;  // false when the file exists but cannot be read
  ini::IniText text;     // no lines when there is no file
};

IniFile ReadIniFile(const std::string& path) {
  IniFile ini;
  QFile file(QPath(path));
  if (!file.open(QIODevice::ReadOnly)) {
    ini.readable = !file.exists();
    return ini;
  }
  const QByteArray bytes = file.readAll();
  ini.text = ini::ParseIniText(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
  return ini;
}

}  // namespace

std::string IniSettingsStore::FilePath() {
  std::string base;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') {
    base = xdg;  // a relative value is invalid and ignored
  } else {
    const char* home = std::getenv("HOME");
    base = (home != nullptr && home[0] != '\0') ? std::string(home) : QDir::homePath().toStdString();
    base += "/.config";
  }
  return base + "/lumenstage/plugins.ini";
}

std::string IniSettingsStore::GetSetting(const std::string& appName, const std::string& section, const std::string& key,
                                         const std::string& defaultValue) {
  const auto value = ini::FindSetting(ReadIniFile(FilePath()).text, appName, section, key);
  if (value) return *value;
  return defaultValue;
}

int IniSettingsStore::SaveSetting(const std::string& appName, const std::string& section, const std::string& key,
                                  const std::string& value) {
  // Without an application title there is nothing to file the value under.
  if (appName.empty()) return 0;
  const std::string path = FilePath();
  IniFile ini = ReadIniFile(path);
  // Writing over a file that could not be read would lose everything else in it.
  if (!ini.readable) return lumenstage::kErrPathFileAccess.number;
  ini::StoreSetting(ini.text, appName, section, key, value);
  const std::string text = ini::RenderIniText(ini.text);
  const QString qpath = QPath(path);
  if (!QDir().mkpath(QFileInfo(qpath).absolutePath())) return lumenstage::kErrPathFileAccess.number;
  QSaveFile file(qpath);
  if (!file.open(QIODevice::WriteOnly)) return lumenstage::kErrPathFileAccess.number;
  // commit() alone does not notice a short write on a full disk and would put
  // the truncated file in place; flush() does.
  if (file.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size()) || !file.flush()) {
    file.cancelWriting();
  }
  // The old file stays intact if anything failed.
  return file.commit() ? 0 : lumenstage::kErrPathFileAccess.number;
}

}  // namespace artnet
