#include "core/verifier/TrustStore.hpp"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <filesystem>
#include <stdexcept>

#include "core/util/BoundedFile.hpp"

namespace penvora::core::verifier {
namespace {

using util::Owned;

// Every certificate in PEM text, or the one DER certificate the bytes are.
std::vector<Owned<X509, X509_free>> certificatesIn(const std::string& bytes) {
  std::vector<Owned<X509, X509_free>> out;
  Owned<BIO, BIO_free> bio(BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())));
  while (bio) {
    Owned<X509, X509_free> x(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
    if (!x) break;
    out.push_back(std::move(x));
  }
  if (out.empty()) {
    if (auto x = util::certificateFromDer(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()))
      out.push_back(std::move(x));
  }
  ERR_clear_error();
  return out;
}

}  // namespace

void TrustStore::add(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  std::vector<fs::path> files;
  if (fs::is_directory(path, ec)) {
    for (const auto& e : fs::directory_iterator(path, ec))
      if (e.is_regular_file(ec)) files.push_back(e.path());
  } else {
    files.emplace_back(path);
  }
  std::size_t found = 0;
  for (const auto& f : files) {
    std::string bytes;
    try {
      bytes = util::readBoundedFile(f.string(), util::kKeyFileLimit, "The trust anchor");
    } catch (const util::FileReadError& e) {
      if (files.size() == 1) throw std::runtime_error(e.what());
      continue;  // a folder may hold other files too
    }
    for (auto& x : certificatesIn(bytes)) anchors_.push_back(std::move(x)), ++found;
  }
  if (found == 0) throw std::runtime_error("No certificate in the trust anchors at " + path);
}

Owned<X509_STORE, X509_STORE_free> TrustStore::store() const {
  Owned<X509_STORE, X509_STORE_free> s(X509_STORE_new());
  if (!s) throw std::runtime_error("Cannot build a certificate store");
  for (const auto& a : anchors_) X509_STORE_add_cert(s.get(), a.get());
  if (system_) X509_STORE_set_default_paths(s.get());
  ERR_clear_error();
  return s;
}

bool TrustStore::isAnchor(X509* cert) const {
  for (const auto& a : anchors_)
    if (X509_cmp(a.get(), cert) == 0) return true;
  return false;
}

}  // namespace penvora::core::verifier
