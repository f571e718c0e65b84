#include "qt/ui/FontRegistration.hpp"

#include <QFile>
#include <QFontDatabase>
#include <optional>

#include "penvora/Log.hpp"

namespace penvora::qt::ui {
namespace {

// sfnt signatures of TrueType, OpenType and collections.
bool looksLikeFont(const QByteArray& data) {
  if (data.size() < 12) return false;
  const QByteArray tag = data.left(4);
  return tag == QByteArray("\x00\x01\x00\x00", 4) || tag == "OTTO" || tag == "true" || tag == "ttcf";
}

}  // namespace

std::optional<RegisterFontError> registerFontFile(const QString& folder, const QString& name) {
  const QString path = folder + QLatin1Char('/') + name + QStringLiteral(".ttf");
  if (!QFile::exists(path)) return RegisterFontError::fontPathNotFound;
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return RegisterFontError::invalidFontFile;
  const QByteArray data = f.readAll();
  if (data.isEmpty()) return RegisterFontError::invalidFontFile;
  if (!looksLikeFont(data)) return RegisterFontError::initFontError;
  if (QFontDatabase::addApplicationFontFromData(data) < 0) return RegisterFontError::registerFailed;
  return std::nullopt;
}

namespace {

void registerFamily(const QString& folder, const QString& family, std::initializer_list<const char*> files,
                    const char* logPrefix) {
  if (QFontDatabase::families().contains(family)) return;
  for (const char* file : files) {
    if (auto err = registerFontFile(folder, QString::fromLatin1(file))) {
      penvora::log(std::string(logPrefix) + describe(*err).toStdString());
      return;
    }
  }
}

}  // namespace

QString describe(RegisterFontError error) {
  switch (error) {
    case RegisterFontError::invalidFontFile:
      return QStringLiteral("invalidFontFile");
    case RegisterFontError::fontPathNotFound:
      return QStringLiteral("fontPathNotFound");
    case RegisterFontError::initFontError:
      return QStringLiteral("initFontError");
    case RegisterFontError::registerFailed:
      return QStringLiteral("registerFailed");
  }
  return {};
}

void registerFontsIfNeeded(const QString& fontFolder) {
  registerFamily(fontFolder, QStringLiteral("Asap"), {"asap_regular", "asap_italic", "asap_bold"},
                 "Error registering asap font: ");
  registerFamily(fontFolder, QStringLiteral("Exo 2"), {"exo2_regular", "exo2_medium", "exo2_bold"},
                 "Error registering exo2 font: ");
}

}  // namespace penvora::qt::ui
