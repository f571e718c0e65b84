#pragma once
#include <string>

#include <qpdf/QPDF.hh>

namespace penvora::core::securepdf {

// Encrypts the strings and streams of objects we add to an encrypted
// document with that document's key, as its security handler requires
// (RC4 or AES-128 with per-object keys, AES-256 with the file key).
class ObjectEncryptor {
 public:
  explicit ObjectEncryptor(QPDF& pdf);

  bool active() const { return encrypted_; }
  std::string encryptString(const std::string& data, QPDFObjGen og) const;
  std::string encryptStream(const std::string& data, QPDFObjGen og) const;

 private:
  std::string encrypt(const std::string& data, QPDFObjGen og, QPDF::encryption_method_e method) const;

  bool encrypted_ = false;
  int V_ = 0, R_ = 0;
  QPDF::encryption_method_e streamMethod_ = QPDF::e_none, stringMethod_ = QPDF::e_none;
  std::string key_;
};

}  // namespace penvora::core::securepdf
