#pragma once
#include <openssl/x509.h>

#include <string>
#include <vector>

#include "core/util/OpenSsl.hpp"

namespace penvora::core::verifier {

// The certificates a verification trusts: files and folders the caller
// names (PEM, possibly several certificates, or DER) and, on request, the
// system's store.
class TrustStore {
 public:
  // Adds every certificate of a file, or of each file in a folder. Throws
  // std::runtime_error naming the path when nothing there is a certificate.
  void add(const std::string& path);
  void addSystem() { system_ = true; }
  bool empty() const { return !system_ && anchors_.empty(); }

  // A fresh store holding the anchors, for one chain building.
  util::Owned<X509_STORE, X509_STORE_free> store() const;
  // Whether `cert` is one of the named anchors (compared whole).
  bool isAnchor(X509* cert) const;

 private:
  std::vector<util::Owned<X509, X509_free>> anchors_;
  bool system_ = false;
};

}  // namespace penvora::core::verifier
