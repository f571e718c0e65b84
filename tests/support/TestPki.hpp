#pragma once
// A PKI made at test time with the openssl tools: a root CA, a signer whose
// certificate names an OCSP responder and a CRL address on loopback, a TSA
// (status by CRL only) and an OCSP responder certificate. The CRL is served
// by a LocalHttpServer, OCSP by a real `openssl ocsp` process.
#include <openssl/pem.h>
#include <openssl/ts.h>
#include <signal.h>
#include <sys/wait.h>

#include <ctime>
#include <memory>

#include "core/securepdf/Certificate.hpp"
#include "support/LocalHttpServer.hpp"
#include "support/TestSupport.hpp"

namespace pdftest {

class TestPki {
 public:
  TestPki()
      : crlServer_([this](const std::string&) {
          // The CA's certificate, where the TSA's certificate says its issuer is.
          if (crlServer_.lastHeaders().rfind("GET /ca.cer", 0) == 0)
            return testsupport::HttpReply{200, "application/pkix-cert",
                                          testsupport::readText(dir_ / (serveImpostor ? "impostor.pem" : "ca.pem"))};
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
              crlUrl + "\nauthorityInfoAccess=caIssuers;URI:" + crlServer_.url("/ca.cer") + "\n");
    write("ocsp.ext", "basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=OCSPSigning\n");
    sh("openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 30 "
       "-subj '/CN=Penvora LTV Test Root/O=Penvora Test' "
       "-addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign");
    // The CA's name and key identifier on another key: an issuer only by
    // appearance.
    sh("openssl req -x509 -newkey rsa:2048 -nodes -keyout impostor.key -out impostor.pem -days 30 "
       "-subj '/CN=Penvora LTV Test Root/O=Penvora Test' -addext basicConstraints=critical,CA:TRUE "
       "-addext subjectKeyIdentifier=$(openssl x509 -in ca.pem -noout -ext subjectKeyIdentifier | tail -1 | tr -d ' "
       "')");
    issue("signer", "/CN=LTV Test Signer/O=Penvora Test", "1001");
    issue("tsa", "/CN=LTV Test TSA/O=Penvora Test", "1002");
    // The same kind of certificate, valid only in January 2020.
    write("old.cnf",
          "[ca]\ndefault_ca=d\n[d]\ndatabase=old.txt\nnew_certs_dir=.\nserial=old.serial\n"
          "default_md=sha256\npolicy=p\n[p]\ncommonName=supplied\n");
    write("old.txt", "");
    write("old.serial", "2001\n");
    sh("openssl req -newkey rsa:2048 -nodes -keyout tsa-2020.key -out tsa-2020.csr -subj '/CN=Old TSA' && "
       "openssl ca -config old.cnf -cert ca.pem -keyfile ca.key -extfile tsa.ext -in tsa-2020.csr -out tsa-2020.pem "
       "-startdate 20200101000000Z -enddate 20200201000000Z -batch -notext");
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
  bool serveImpostor = false;  // the certificate published as the CA's is an impostor's

  // The signer revoked on 2025-01-01, in the CA's database (so the OCSP
  // responder says so once restarted) and in a new CRL.
  void revokeSigner() {
    const std::string valid = "V\t491231235959Z\t\t1001";
    index_.replace(index_.find(valid), valid.size(), "R\t491231235959Z\t250101000000Z\t1001");
    write("index.txt", index_);
    sh("openssl ca -gencrl -config ca.cnf -out ca.crl -batch");
  }

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

// A time-stamp authority answering through `openssl ts -reply`, with ways
// to misbehave.
class TestTsa {
 public:
  // pastClock, futureClock: a good token dated an hour off this clock.
  enum class Mode {
    good,
    httpError,
    garbage,
    wrongImprint,
    refuse,
    stall,
    expiredCertificate,
    huge,
    pastClock,
    futureClock
  };

  explicit TestTsa(const TestPki& pki)
      : pki_(pki), server_([this](const std::string& request) { return answer(request); }) {
    testsupport::writeText(dir_ / "serial", "01\n");
  }

  std::string url() const { return server_.url("/tsa"); }
  std::string lastHeaders() const { return server_.lastHeaders(); }
  Mode mode = Mode::good;
  bool sendChain = true;  // false: the TSA's certificate alone in its tokens

 private:
  testsupport::HttpReply answer(std::string request) {
    switch (mode) {
      case Mode::httpError:
        return {500, "text/plain", "broken"};
      case Mode::garbage:
        return {200, "application/timestamp-reply", "this is not DER"};
      case Mode::stall:
        return {200, "application/timestamp-reply", "", 5};
      case Mode::huge:
        return {200, "application/timestamp-reply", std::string(17u << 20, '\x30')};
      case Mode::pastClock:
        return {200, "application/timestamp-reply", offClock(request, -3600)};
      case Mode::futureClock:
        return {200, "application/timestamp-reply", offClock(request, 3600)};
      default:
        break;
    }
    // The SHA-512 imprint is the request's only 64-byte OCTET STRING: stamp zeros instead.
    if (const auto at = request.find("\x04\x40"); mode == Mode::wrongImprint && at != std::string::npos)
      request.replace(at + 2, 64, std::string(64, '\0'));
    const std::string signer = mode == Mode::expiredCertificate ? "tsa-2020" : "tsa";
    std::filesystem::remove(dir_ / "r.tsr");  // no answer left from the last request
    testsupport::writeText(dir_ / "q.tsq", request);
    testsupport::writeText(dir_ / "ts.cnf", "[ t ]\nserial = " + (dir_ / "serial").string() +
                                                "\nsigner_cert = " + pki_.file(signer + ".pem").string() +
                                                (sendChain ? "\ncerts = " + pki_.file("ca.pem").string() : "") +
                                                "\nsigner_key = " + pki_.file(signer + ".key").string() +
                                                "\nsigner_digest = sha256\ness_cert_id_alg = sha256\n"
                                                "default_policy = 1.3.6.1.4.1.62411.9.1\ndigests = " +
                                                (mode == Mode::refuse ? "sha256" : "sha512") + "\n");  // refuse: badAlg
    testsupport::run("cd '" + dir_.path().string() +
                     "' && openssl ts -reply -config ts.cnf -section t -queryfile q.tsq -out r.tsr 2>/dev/null");
    return {200, "application/timestamp-reply", testsupport::readText(dir_ / "r.tsr")};
  }

  // `openssl ts` stamps with this machine's clock; OpenSSL's responder API
  // takes a clock of the caller's.
  std::string offClock(const std::string& request, long offset) const {
    auto load = [](const std::filesystem::path& p, auto read) {
      std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(p.c_str(), "r"), std::fclose);
      return f ? read(f.get(), nullptr, nullptr, nullptr) : nullptr;
    };
    std::unique_ptr<X509, void (*)(X509*)> cert(load(pki_.file("tsa.pem"), PEM_read_X509), X509_free);
    std::unique_ptr<EVP_PKEY, void (*)(EVP_PKEY*)> key(load(pki_.file("tsa.key"), PEM_read_PrivateKey), EVP_PKEY_free);
    std::unique_ptr<TS_RESP_CTX, void (*)(TS_RESP_CTX*)> ctx(TS_RESP_CTX_new(), TS_RESP_CTX_free);
    std::unique_ptr<ASN1_OBJECT, void (*)(ASN1_OBJECT*)> policy(OBJ_txt2obj("1.3.6.1.4.1.62411.9.1", 1),
                                                                ASN1_OBJECT_free);
    if (!cert || !key || !ctx || !policy) return {};
    TS_RESP_CTX_set_signer_cert(ctx.get(), cert.get());
    TS_RESP_CTX_set_signer_key(ctx.get(), key.get());
    TS_RESP_CTX_set_signer_digest(ctx.get(), EVP_sha256());
    TS_RESP_CTX_set_ess_cert_id_digest(ctx.get(), EVP_sha256());
    TS_RESP_CTX_set_def_policy(ctx.get(), policy.get());
    TS_RESP_CTX_add_md(ctx.get(), EVP_sha512());
    TS_RESP_CTX_set_time_cb(
        ctx.get(),
        [](TS_RESP_CTX*, void* data, long* sec, long* usec) {
          *sec = static_cast<long>(std::time(nullptr)) + *static_cast<long*>(data);
          *usec = 0;
          return 1;
        },
        &offset);
    std::unique_ptr<BIO, int (*)(BIO*)> in(BIO_new_mem_buf(request.data(), static_cast<int>(request.size())), BIO_free);
    std::unique_ptr<TS_RESP, void (*)(TS_RESP*)> resp(TS_RESP_create_response(ctx.get(), in.get()), TS_RESP_free);
    unsigned char* der = nullptr;
    const int n = resp ? i2d_TS_RESP(resp.get(), &der) : -1;
    std::string out = n > 0 ? std::string(reinterpret_cast<char*>(der), static_cast<std::size_t>(n)) : std::string();
    OPENSSL_free(der);
    return out;
  }

  const TestPki& pki_;
  testsupport::TempDir dir_;
  testsupport::LocalHttpServer server_;
};

// A self-signed identity (signer.p12, password "pw"; c.pem) for `subject`
// ("/CN=..."), valid from `start` to `end` (YYYYMMDDHHMMSSZ).
inline std::shared_ptr<penvora::core::securepdf::Certificate> selfSigned(
    const testsupport::TempDir& dir, const std::string& subject, const std::string& start, const std::string& end,
    const std::string& keyUsage = "digitalSignature") {
  const auto r = testsupport::run(
      "cd '" + dir.path().string() + "' && exec 2>&1 && echo 'keyUsage=critical," + keyUsage +
      "' > ext.cnf && printf '[ca]\\ndefault_ca=d\\n[d]\\ndatabase=index.txt\\nnew_certs_dir=.\\nserial=serial\\n"
      "default_md=sha256\\npolicy=p\\n[p]\\ncommonName=supplied\\n' > ca.cnf && : > index.txt && "
      "echo 01 > serial && openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj '" +
      subject +
      "' -keyout k.pem -out r.csr && openssl ca -config ca.cnf -selfsign -preserveDN -keyfile k.pem "
      "-extfile ext.cnf -in r.csr -out c.pem -startdate " +
      start + " -enddate " + end +
      " -batch -notext && openssl pkcs12 -export -inkey k.pem -in c.pem -passout pass:pw -out "
      "signer.p12");
  EXPECT_EQ(r.exitCode, 0) << r.output;
  return std::make_shared<penvora::core::securepdf::Certificate>(penvora::core::securepdf::CertStoreTypes::cstPFXFile,
                                                                 (dir / "signer.p12").string(), "pw", "*");
}

}  // namespace pdftest
