#pragma once
// A PKI made at test time with the openssl tools: a root CA, a signer whose
// certificate names an OCSP responder and a CRL address on loopback, a TSA
// (status by CRL only) and an OCSP responder certificate. The CRL is served
// by a LocalHttpServer, OCSP by a real `openssl ocsp` process.
#include <openssl/pem.h>
#include <openssl/ts.h>
#include <openssl/x509.h>
#include <signal.h>
#include <sys/wait.h>

#include <memory>

#include "support/LocalHttpServer.hpp"
#include "support/TestSupport.hpp"

namespace pdftest {

class TestPki {
 public:
  TestPki()
      : crlServer_([this](const std::string&) {
          if (!serveCrl) return testsupport::HttpReply{404, "text/plain", "gone"};
          return testsupport::HttpReply{200, "application/pkix-crl", testsupport::readText(dir_ / "ca.crl")};
        }) {
    const int probe = socket(AF_INET, SOCK_STREAM, 0);
    ocspPort_ = testsupport::bindLoopback(probe);
    close(probe);
    const std::string d = dir_.path().string();
    const std::string ocspUrl = "http://127.0.0.1:" + std::to_string(ocspPort_) + "/";
    const std::string crlUrl = crlServer_.url("/ca.crl");
    write("ca.cnf", "[ ca ]\ndefault_ca = d\n[ d ]\ndatabase = " + d + "/index.txt\ncrlnumber = " + d +
                        "/crlnumber\ndefault_md = sha256\ndefault_crl_days = 30\ncertificate = " + d +
                        "/ca.pem\nprivate_key = " + d + "/ca.key\n");
    write("crlnumber", "01\n");
    write("signer.ext",
          "basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature,nonRepudiation\n"
          "authorityInfoAccess=OCSP;URI:" +
              ocspUrl + "\ncrlDistributionPoints=URI:" + crlUrl + "\n");
    write("tsa.ext",
          "basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\n"
          "extendedKeyUsage=critical,timeStamping\ncrlDistributionPoints=URI:" +
              crlUrl + "\n");
    write("ocsp.ext", "basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=OCSPSigning\n");
    sh("openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 30 "
       "-subj '/CN=Penvora LTV Test Root/O=Penvora Test' "
       "-addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign");
    issue("signer", "/CN=LTV Test Signer/O=Penvora Test", "1001");
    issue("tsa", "/CN=LTV Test TSA/O=Penvora Test", "1002");
    issue("ocsp", "/CN=LTV Test OCSP Responder/O=Penvora Test", "1003");
    write("index.txt", index_);
    write("index.txt.attr", "unique_subject = no\n");
    sh("openssl ca -gencrl -config ca.cnf -out ca.crl -batch");
    sh("openssl pkcs12 -export -in signer.pem -inkey signer.key -certfile ca.pem -out signer.p12 -passout pass:pw");
  }

  ~TestPki() { stopOcsp(); }

  std::filesystem::path file(const std::string& name) const { return dir_ / name; }

  void startOcsp() {
    ocspPid_ = fork();
    if (ocspPid_ == 0) {
      const std::string d = dir_.path().string();
      freopen("/dev/null", "w", stdout);
      freopen((d + "/ocsp.log").c_str(), "w", stderr);
      execlp("openssl", "openssl", "ocsp", "-index", (d + "/index.txt").c_str(), "-port",
             std::to_string(ocspPort_).c_str(), "-rsigner", (d + "/ocsp.pem").c_str(), "-rkey",
             (d + "/ocsp.key").c_str(), "-CA", (d + "/ca.pem").c_str(), "-ignore_err", static_cast<char*>(nullptr));
      _exit(127);
    }
    // Ready once it says so. (A connect-and-close probe would hang it: the
    // responder then waits forever for that connection's request.)
    for (int i = 0; i < 100; ++i) {
      if (testsupport::readText(dir_ / "ocsp.log").find("waiting for OCSP client connections") != std::string::npos)
        return;
      usleep(50000);
    }
  }

  void stopOcsp() {
    if (ocspPid_ > 0) {
      kill(ocspPid_, SIGTERM);
      waitpid(ocspPid_, nullptr, 0);
      ocspPid_ = -1;
    }
  }

  bool serveCrl = true;

 private:
  void write(const std::string& name, const std::string& text) { testsupport::writeText(dir_ / name, text); }
  void sh(const std::string& cmd) {
    auto r = testsupport::run("cd '" + dir_.path().string() + "' && " + cmd + " 2>&1");
    if (r.exitCode != 0) throw std::runtime_error("test PKI: " + cmd + ": " + r.output);
  }
  void issue(const std::string& name, const std::string& subject, const std::string& serial) {
    sh("openssl req -newkey rsa:2048 -nodes -keyout " + name + ".key -out " + name + ".csr -subj '" + subject + "'");
    sh("openssl x509 -req -in " + name + ".csr -CA ca.pem -CAkey ca.key -set_serial 0x" + serial +
       " -days 30 -extfile " + name + ".ext -out " + name + ".pem");
    index_ += "V\t491231235959Z\t\t" + serial + "\tunknown\t" + subject + "\n";  // the CA's database: all valid
  }

  testsupport::TempDir dir_;
  std::string index_;
  testsupport::LocalHttpServer crlServer_;
  int ocspPort_ = 0;
  pid_t ocspPid_ = -1;
};

// A time-stamp authority on OpenSSL's response API, with ways to misbehave.
class TestTsa {
 public:
  enum class Mode { good, httpError, garbage, wrongImprint, refuse, stall };

  explicit TestTsa(const TestPki& pki) : server_([this](const std::string& request) { return answer(request); }) {
    const auto open = [&](const char* name) {
      return std::unique_ptr<FILE, int (*)(FILE*)>(fopen(pki.file(name).c_str(), "r"), fclose);
    };
    cert_ = PEM_read_X509(open("tsa.pem").get(), nullptr, nullptr, nullptr);
    key_ = PEM_read_PrivateKey(open("tsa.key").get(), nullptr, nullptr, nullptr);
    ca_ = PEM_read_X509(open("ca.pem").get(), nullptr, nullptr, nullptr);
  }
  ~TestTsa() {
    X509_free(cert_);
    X509_free(ca_);
    EVP_PKEY_free(key_);
  }

  std::string url() const { return server_.url("/tsa"); }
  std::string lastHeaders() const { return server_.lastHeaders(); }
  Mode mode = Mode::good;

 private:
  testsupport::HttpReply answer(std::string request) {
    switch (mode) {
      case Mode::httpError:
        return {500, "text/plain", "broken"};
      case Mode::garbage:
        return {200, "application/timestamp-reply", "this is not DER"};
      case Mode::stall:
        return {200, "application/timestamp-reply", "", 5};
      default:
        break;
    }
    // The SHA-512 imprint is the request's only 64-byte OCTET STRING: stamp zeros instead.
    if (const auto at = request.find("\x04\x40"); mode == Mode::wrongImprint && at != std::string::npos)
      request.replace(at + 2, 64, std::string(64, '\0'));
    TS_RESP_CTX* ctx = TS_RESP_CTX_new();
    TS_RESP_CTX_set_signer_cert(ctx, cert_);
    TS_RESP_CTX_set_signer_key(ctx, key_);
    STACK_OF(X509)* chain = sk_X509_new_null();
    sk_X509_push(chain, ca_);
    TS_RESP_CTX_set_certs(ctx, chain);
    sk_X509_free(chain);
    ASN1_OBJECT* policy = OBJ_txt2obj("1.3.6.1.4.1.62411.9.1", 1);
    TS_RESP_CTX_set_def_policy(ctx, policy);
    ASN1_OBJECT_free(policy);
    if (mode != Mode::refuse) TS_RESP_CTX_add_md(ctx, EVP_sha512());  // refuse: badAlg
    TS_RESP_CTX_set_signer_digest(ctx, EVP_sha256());
    TS_RESP_CTX_set_ess_cert_id_digest(ctx, EVP_sha256());
    BIO* in = BIO_new_mem_buf(request.data(), static_cast<int>(request.size()));
    TS_RESP* resp = TS_RESP_create_response(ctx, in);
    BIO_free(in);
    unsigned char* out = nullptr;
    const int n = resp ? i2d_TS_RESP(resp, &out) : 0;
    std::string body(reinterpret_cast<char*>(out), static_cast<std::size_t>(std::max(n, 0)));
    OPENSSL_free(out);
    TS_RESP_free(resp);
    TS_RESP_CTX_free(ctx);
    return {200, "application/timestamp-reply", body};
  }

  X509* cert_ = nullptr;
  X509* ca_ = nullptr;
  EVP_PKEY* key_ = nullptr;
  testsupport::LocalHttpServer server_;
};

}  // namespace pdftest
