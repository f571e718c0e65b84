#include <gtest/gtest.h>

#include <openssl/x509v3.h>
#include <qpdf/QPDFWriter.hh>

#include <cstring>

#include "core/util/Hex.hpp"
#include "core/util/OpenSsl.hpp"
#include "penvora/SignatureVerifier.hpp"
#include "support/UpdateSupport.hpp"

using testsupport::TempDir, testsupport::writeText;

namespace {

// The two-field document (Sig1 on page 1, group.Sig2 on page 2) with
// `value` as Sig1's `key` (/Lock by default).
std::string lockedForm(const std::string& value, const char* key = "/Lock") {
  const std::string text = pdftest::documentPdf(std::vector<pdftest::PageSpec>(2), true);
  QPDF q;
  q.processMemoryFile("form", text.data(), text.size());
  QPDFObjectHandle sig1 = q.getRoot().getKey("/AcroForm").getKey("/Fields").getArrayItem(0);
  sig1.replaceKey(key, QPDFObjectHandle::parse(value));
  QPDFWriter w(q);
  w.setOutputMemory();
  w.write();
  auto buffer = w.getBufferSharedPointer();
  return {reinterpret_cast<const char*>(buffer->getBuffer()), buffer->getSize()};
}

}  // namespace

TEST(FieldLockTest, ASignedFieldsLockDecidesWhichFieldsMayStillBeSigned) {
  TempDir dir;
  const struct {
    const char* lock;
    const char* refusal;  // signing group.Sig2 after Sig1; empty when allowed
    bool newFieldAllowed;
  } cases[] = {
      {"<< /Type /SigFieldLock /Action /Include /Fields [(group)] >>", "is locked by the signature in field 'Sig1'",
       true},
      {"<< /Type /SigFieldLock /Action /All >>", "is locked by the signature in field 'Sig1'", true},
      {"<< /Type /SigFieldLock /Action /Exclude /Fields [(group.Sig2)] >>", "", true},
      {"<< /Type /SigFieldLock /Action /Include /Fields [(groupie)] >>", "", true},
      {"<< /Type /SigFieldLock /Action /Include /Fields [] /P 1 >>", "allows no further changes", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lock);
    writeText(dir / "form.pdf", lockedForm(c.lock));
    std::filesystem::remove(dir / "once.pdf");
    auto first = pdftest::signer(dir / "form.pdf", dir / "once.pdf");
    first.signatureFields = 0;  // Sig1: the lock only counts once it is signed
    first.sign();
    // The signature carries the lock as a FieldMDP transform too.
    const std::string once = testsupport::readText(dir / "once.pdf");
    QPDF q;
    q.processMemoryFile("once", once.data(), once.size());
    QPDFObjectHandle ref = q.getRoot()
                               .getKey("/AcroForm")
                               .getKey("/Fields")
                               .getArrayItem(0)
                               .getKey("/V")
                               .getKey("/Reference")
                               .getArrayItem(0);
    EXPECT_TRUE(ref.getKey("/TransformMethod").isNameAndEquals("/FieldMDP"));
    EXPECT_EQ(ref.getKey("/TransformParams").getKey("/Action").unparse(),
              QPDFObjectHandle::parse(c.lock).getKey("/Action").unparse());
    EXPECT_EQ(ref.getKey("/Data").getObjGen(), q.getRoot().getObjGen());

    std::filesystem::remove(dir / "twice.pdf");
    auto second = pdftest::signer(dir / "once.pdf", dir / "twice.pdf");
    second.signatureFields = 1;
    if (*c.refusal) {
      pdftest::expectFailure(second, c.refusal, dir.path());
    } else {
      second.sign();
      EXPECT_EQ(pdftest::pdfsigValidations(dir / "twice.pdf"),
                (std::vector<std::string>{"Signature is Valid.", "Signature is Valid."}));
    }

    std::filesystem::remove(dir / "twice.pdf");
    auto elsewhere = pdftest::signer(dir / "once.pdf", dir / "twice.pdf");
    elsewhere.signatureWidgetPages = "1";
    if (c.newFieldAllowed)
      elsewhere.sign();
    else
      pdftest::expectFailure(elsewhere, "allows no further changes", dir.path());
  }
}

TEST(FieldLockTest, TheVerifierRejectsALaterUpdateThatFillsALockedField) {
  TempDir dir;
  const struct {
    const char* lock;
    const char* modification;
  } cases[] = {
      {"<< /Type /SigFieldLock /Action /Include /Fields [(group)] >>", "disallowed"},
      {"<< /Type /SigFieldLock /Action /Exclude /Fields [(group)] >>", "allowed"},
      {"<< /Type /SigFieldLock /Action /Exclude /Fields [(group)] /P 1 >>", "disallowed"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lock);
    writeText(dir / "form.pdf", lockedForm(c.lock));
    auto first = pdftest::signer(dir / "form.pdf", dir / "once.pdf");
    first.signatureFields = 0;
    first.overwrite = true;
    first.sign();
    // A careless tool fills group.Sig2 without asking: a value put into
    // the field's own object.
    const std::string once = testsupport::readText(dir / "once.pdf");
    QPDF q;
    q.processMemoryFile("once", once.data(), once.size());
    QPDFObjectHandle sig2 =
        q.getRoot().getKey("/AcroForm").getKey("/Fields").getArrayItem(1).getKey("/Kids").getArrayItem(0);
    const std::string filled = pdftest::replaced(sig2.unparseResolved(), "<< ", "<< /V << /Type /Sig >> ");
    writeText(dir / "changed.pdf", pdftest::appendUpdate(once, {{sig2.getObjectID(), filled}}));

    const auto doc = penvora::verifySignatures((dir / "changed.pdf").string());
    ASSERT_FALSE(doc.signatures.empty());
    const auto& s = doc.signatures[0];
    ASSERT_EQ(s.field, "Sig1");
    EXPECT_EQ(s.modification, c.modification) << s.problem;
    if (std::string(c.modification) == "disallowed" && std::string(c.lock).find("/P 1") == std::string::npos) {
      EXPECT_EQ(s.problem, "a later update changes the field 'group.Sig2', locked by the signature in 'Sig1'");
    }
  }
}

TEST(SeedValueTest, ARequiredConstraintTheSignatureDoesNotMeetRefusesTheField) {
  TempDir dir;
  const struct {
    const char* sv;
    const char* refusal;  // empty: signed
  } cases[] = {
      {"<< /Ff 2 /SubFilter [/adbe.pkcs7.detached] >>", "requires a sub-filter other than ETSI.CAdES.detached"},
      {"<< /Ff 0 /SubFilter [/adbe.pkcs7.detached] >>", ""},  // a wish, not a requirement
      {"<< /Ff 2 /SubFilter [/adbe.pkcs7.detached /ETSI.CAdES.detached] >>", ""},
      {"<< /Ff 64 /DigestMethod [/SHA256] >>", "requires a digest other than SHA512"},
      {"<< /Ff 64 /DigestMethod [/SHA256 /SHA512] >>", ""},
      {"<< /Ff 1 /Filter /Other.Handler >>", "requires the signature handler Other.Handler"},
      {"<< /Ff 8 /Reasons [(Approved) (Reviewed)] >>", "one of its listed reasons, not 'Seen'"},
      {"<< /Ff 8 /Reasons [(Seen)] >>", ""},
      {"<< /Ff 128 /LockDocument /true >>", "the document to be locked"},
      {"<< /Ff 128 /LockDocument /auto >>", ""},
      {"<< /TimeStamp << /URL (http://tsa.example) /Ff 1 >> >>", "requires a time-stamp"},
      {"<< /Cert << /Ff 1 /Subject [<00>] >> >>", "requires one of the certificates it lists"},
      {"<< /Cert << /Ff 0 /Subject [<00>] >> >>", ""},
      {"<< /Cert << /Ff 1 /Subject [<00> SIGNER] >> >>", ""},
      {"<< /Cert << /Ff 8 /SubjectDN [<< /CN (Someone Else) >>] >> >>", "requires a certificate subject it lists"},
      {"<< /Cert << /Ff 8 /SubjectDN [<< /O (Other) >> << /CN (Penvora Default Test Signer) /O (Penvora Test PKI) >>]"
       " >> >>",
       ""},
      {"<< /Cert << /Ff 32 /KeyUsage [(1X1)] >> >>", "key usage"},  // key encipherment too
      {"<< /Cert << /Ff 32 /KeyUsage [(1X1) (110)] >> >>", ""},
      {"<< /Cert << /Ff 2 /Issuer [<00>] >> >>", "from an issuer it lists"},
      {"<< /Cert << /Ff 2 /Issuer [ROOT] >> >>", ""},
      {"<< /Cert << /Ff 6 /Issuer [ROOT] /OID [(1.2.3.4)] >> >>", "a certificate policy"},
      {"<< /Cert << /Ff 64 /URL (https://ca.example/enrol) >> >>", "from a service"},
  };
  // The default identity's certificate and its root, as hex strings.
  const auto identity = pdftest::defaultCertificate();
  const auto hexOf = [](X509* c) {
    return "<" + penvora::core::util::hexEncode(*penvora::core::util::derOf(i2d_X509, c)) + ">";
  };
  X509* root = nullptr;
  for (const auto& c : identity->chain())
    if (X509_check_issued(c.get(), c.get()) == X509_V_OK) root = c.get();
  ASSERT_NE(root, nullptr);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sv);
    std::string sv = c.sv;
    for (const auto& [name, cert] : {std::pair{"SIGNER", identity->certificate()}, {"ROOT", root}})
      if (const auto at = sv.find(name); at != std::string::npos) sv.replace(at, std::strlen(name), hexOf(cert));
    writeText(dir / "form.pdf", lockedForm(sv, "/SV"));
    std::filesystem::remove(dir / "out.pdf");
    auto s = pdftest::signer(dir / "form.pdf", dir / "out.pdf");
    s.signatureFields = 0;
    s.signatureReason = "Seen";
    if (*c.refusal)
      pdftest::expectFailure(s, c.refusal, dir.path());
    else
      EXPECT_NO_THROW(s.sign());
  }

  // A certificate of another issuer, its PKCS#12 carrying the listed root
  // beside it, is still not from that root.
  TempDir other;
  const auto rootDer = *penvora::core::util::derOf(i2d_X509, root);
  writeText(other / "root.pem", std::string(rootDer.begin(), rootDer.end()));
  const auto made = testsupport::run(
      "cd '" + other.path().string() +
      "' && exec 2>&1 && openssl x509 -inform DER -in root.pem -out root.pem && openssl req -x509 -newkey ec "
      "-pkeyopt ec_paramgen_curve:P-256 -nodes -subj '/CN=Other CA' -keyout ca.key -out ca.pem -days 30 && openssl "
      "req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj '/CN=Penvora Default Test Signer' -keyout m.key "
      "-out m.csr && openssl x509 -req -in m.csr -CA ca.pem -CAkey ca.key -set_serial 7 -days 30 -out m.pem && "
      "openssl pkcs12 -export -inkey m.key -in m.pem -certfile root.pem -passout pass:pw -out m.p12");
  ASSERT_EQ(made.exitCode, 0) << made.output;
  std::string sv = "<< /Cert << /Ff 2 /Issuer [ROOT] >> >>";
  sv.replace(sv.find("ROOT"), 4, hexOf(root));
  writeText(dir / "form.pdf", lockedForm(sv, "/SV"));
  auto stuffed = pdftest::signer(dir / "form.pdf", dir / "out.pdf");
  stuffed.signingCert = std::make_shared<penvora::core::securepdf::Certificate>(
      penvora::core::securepdf::CertStoreTypes::cstPFXFile, (other / "m.p12").string(), "pw", "*");
  stuffed.signatureFields = 0;
  pdftest::expectFailure(stuffed, "from an issuer it lists", dir.path());
}
