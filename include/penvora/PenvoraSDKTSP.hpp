#pragma once
#include <optional>
#include <string>
#include <utility>

#include "penvora/Export.hpp"

namespace penvora {

// Public RFC 3161 time-stamp authority used when the host gives no address.
inline constexpr const char* kDefaultTspURL = "http://timestamp.digicert.com";

struct PENVORA_EXPORT PenvoraSDKTSP {
  bool tspActivate = false;
  std::string tspURL = kDefaultTspURL;
  std::optional<std::string> tspUser = std::string();
  std::optional<std::string> tspPassword = std::string();

  PenvoraSDKTSP() = default;
  // Full constructor: an absent tspActivate gives true (unlike the default
  // constructor); user and password are stored unchanged.
  PenvoraSDKTSP(std::optional<bool> tspActivate, std::optional<std::string> tspURL, std::optional<std::string> tspUser,
                std::optional<std::string> tspPassword)
      : tspActivate(tspActivate.value_or(true)),
        tspURL(std::move(tspURL).value_or(kDefaultTspURL)),
        tspUser(std::move(tspUser)),
        tspPassword(std::move(tspPassword)) {}

  bool operator==(const PenvoraSDKTSP&) const = default;
};

}  // namespace penvora
