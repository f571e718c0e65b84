#include "qt/capture/LocationManager.hpp"

#include <QGeoPositionInfoSource>
#include <cmath>

#include "penvora/Log.hpp"

namespace penvora::qt::capture {

LocationManager::LocationManager(QObject* parent)
    : LocationManager(std::unique_ptr<QGeoPositionInfoSource>(QGeoPositionInfoSource::createDefaultSource(nullptr)),
                      parent) {}

LocationManager::LocationManager(std::unique_ptr<QGeoPositionInfoSource> source, QObject* parent)
    : QObject(parent), source_(std::move(source)) {
  attach();
}

LocationManager::~LocationManager() { stopUpdatingLocation(); }

void LocationManager::attach() {
  if (!source_) return;
  source_->setPreferredPositioningMethods(QGeoPositionInfoSource::AllPositioningMethods);  // best accuracy
  connect(source_.get(), &QGeoPositionInfoSource::positionUpdated, this, [this](const QGeoPositionInfo& info) {
    // The first fix stays until the next start, whatever a source sends after the stop.
    if (updating_) didUpdateLocations({info});
  });
  connect(source_.get(), &QGeoPositionInfoSource::errorOccurred, this, [this](QGeoPositionInfoSource::Error e) {
    if (e == QGeoPositionInfoSource::AccessError) didChangeAuthorization(core::capture::LocationAuthorization::denied);
  });
}

std::optional<core::capture::LocationFix> LocationManager::lastFix() const {
  if (!lastLocation_) return std::nullopt;
  const QGeoCoordinate c = lastLocation_->coordinate();
  core::capture::LocationFix fix;
  fix.longitude = c.longitude();
  fix.latitude = c.latitude();
  fix.altitude = std::isnan(c.altitude()) ? 0.0 : c.altitude();
  // A negative accuracy marks an unknown one, as position services do.
  fix.horizontalAccuracy = lastLocation_->hasAttribute(QGeoPositionInfo::HorizontalAccuracy)
                               ? lastLocation_->attribute(QGeoPositionInfo::HorizontalAccuracy)
                               : -1.0;
  return fix;
}

QString LocationManager::statusString() const {
  return QString::fromStdString(core::capture::statusString(locationStatus_ ? &*locationStatus_ : nullptr));
}

void LocationManager::requestWhenInUseAuthorization() {
  didChangeAuthorization(source_ ? core::capture::LocationAuthorization::authorizedWhenInUse
                                 : core::capture::LocationAuthorization::denied);
}

void LocationManager::startUpdatingLocation() {
  if (!source_ || updating_) return;
  updating_ = true;
  source_->startUpdates();
}

void LocationManager::stopUpdatingLocation() {
  if (!source_ || !updating_) return;
  updating_ = false;
  source_->stopUpdates();
}

void LocationManager::didChangeAuthorization(core::capture::LocationAuthorization status) {
  locationStatus_ = status;
  log("locationManager(_:didChangeAuthorization:) " + statusString().toStdString());
  emit locationStatusChanged();
}

void LocationManager::didUpdateLocations(const QList<QGeoPositionInfo>& locations) {
  if (locations.isEmpty()) return;
  lastLocation_ = locations.last();
  stopUpdatingLocation();
  log("locationManager(_:didUpdateLocations:) " + describe(*lastLocation_).toStdString());
  emit lastLocationChanged();
}

QString LocationManager::describe(const QGeoPositionInfo& location) {
  const QGeoCoordinate c = location.coordinate();
  const auto signedDegrees = [](double v) {
    return (v >= 0 ? QStringLiteral("+") : QString()) + QString::number(v, 'f', 8);
  };
  QString text = QStringLiteral("<%1,%2>").arg(signedDegrees(c.latitude()), signedDegrees(c.longitude()));
  if (location.hasAttribute(QGeoPositionInfo::HorizontalAccuracy))
    text += QStringLiteral(" +/- %1m").arg(location.attribute(QGeoPositionInfo::HorizontalAccuracy), 0, 'f', 2);
  if (!std::isnan(c.altitude())) text += QStringLiteral(" (altitude %1m)").arg(c.altitude(), 0, 'f', 2);
  text += QStringLiteral(" @ ") + location.timestamp().toUTC().toString(Qt::ISODate);
  return text;
}

}  // namespace penvora::qt::capture
