#include "qt/ui/QtKeychainStore.hpp"

#include <qt6keychain/keychain.h>
#include <QEventLoop>

#include "penvora/PenvoraSdkCertManager.hpp"

namespace penvora::qt::ui {
namespace {

// Runs a QtKeychain job and waits for it.
void runJob(QKeychain::Job& job) {
  job.setAutoDelete(false);
  job.setInsecureFallback(false);  // never fall back to a plain-text file
  QEventLoop loop;
  QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
  job.start();
  loop.exec();
}

}  // namespace

bool QtKeychainStore::add(const std::string& service, const std::string& account,
                          const std::vector<std::uint8_t>& data) {
  QKeychain::WritePasswordJob job(QString::fromStdString(service));
  job.setKey(QString::fromStdString(account));
  job.setBinaryData(QByteArray(reinterpret_cast<const char*>(data.data()), static_cast<qsizetype>(data.size())));
  runJob(job);
  lastError_ = job.error() == QKeychain::NoError ? std::string() : job.errorString().toStdString();
  return job.error() == QKeychain::NoError;
}

std::optional<std::vector<std::uint8_t>> QtKeychainStore::find(const std::string& service, const std::string& account) {
  QKeychain::ReadPasswordJob job(QString::fromStdString(service));
  job.setKey(QString::fromStdString(account));
  runJob(job);
  if (job.error() != QKeychain::NoError) {
    lastError_ = job.errorString().toStdString();
    return std::nullopt;
  }
  lastError_.clear();
  const QByteArray data = job.binaryData();
  return std::vector<std::uint8_t>(data.begin(), data.end());
}

void QtKeychainStore::remove(const std::string& service, const std::string& account) {
  QKeychain::DeletePasswordJob job(QString::fromStdString(service));
  job.setKey(QString::fromStdString(account));
  runJob(job);
}

void QtKeychainStore::installIfNeeded() {
  if (!PenvoraSdkCertManager::store()) PenvoraSdkCertManager::setStore(std::make_shared<QtKeychainStore>());
}

}  // namespace penvora::qt::ui
