#pragma once
#include <QGeoPositionInfo>
#include <QList>
#include <QObject>
#include <memory>
#include <optional>

#include "core/capture/LocationFix.hpp"

class QGeoPositionInfoSource;

namespace penvora::qt::capture {

// The place of a signature: one fix per start of updates, taken from the
// system's position source. A machine without one reports no fix, so the
// record's location stays empty.
class LocationManager : public QObject {
  Q_OBJECT
 public:
  // `source`: the position source to use, owned from here on; none: the
  // system's default source, if there is one.
  explicit LocationManager(QObject* parent = nullptr);
  LocationManager(std::unique_ptr<QGeoPositionInfoSource> source, QObject* parent = nullptr);
  ~LocationManager() override;  // stops updates

  const std::optional<core::capture::LocationAuthorization>& locationStatus() const { return locationStatus_; }
  const std::optional<QGeoPositionInfo>& lastLocation() const { return lastLocation_; }
  // The last fix as the record takes it.
  std::optional<core::capture::LocationFix> lastFix() const;
  QString statusString() const;

  // The position services decide on access themselves, so asking reports
  // the state there is: in use when a source exists, denied when none.
  void requestWhenInUseAuthorization();
  bool locationServicesEnabled() const { return source_ != nullptr; }
  void startUpdatingLocation();
  void stopUpdatingLocation();

  // What the source reports; public so a host (or a test) can feed fixes.
  void didChangeAuthorization(core::capture::LocationAuthorization status);
  void didUpdateLocations(const QList<QGeoPositionInfo>& locations);

  // "<+lat,+lon> +/- acc m (altitude alt m) @ time", for the log.
  static QString describe(const QGeoPositionInfo& location);

 signals:
  void locationStatusChanged();
  void lastLocationChanged();

 private:
  void attach();

  std::unique_ptr<QGeoPositionInfoSource> source_;
  std::optional<core::capture::LocationAuthorization> locationStatus_;
  std::optional<QGeoPositionInfo> lastLocation_;
  bool updating_ = false;
};

}  // namespace penvora::qt::capture
