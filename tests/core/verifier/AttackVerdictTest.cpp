// The published attacks on PDF signatures, written from their descriptions
// (incremental saving, signature wrapping and universal signature forgery;
// shadow hide, replace and hide-and-replace; certificate substitution,
// expired and untrusted certificates), next to the changes a signed
// document may legitimately receive.
#include <gtest/gtest.h>

#include "penvora/SignatureVerifier.hpp"
#include "support/TestPki.hpp"
#include "support/UpdateSupport.hpp"

using pdftest::ref, pdftest::replaced;
using testsupport::TempDir, testsupport::readText, testsupport::run, testsupport::writeText;

namespace {

// `pdf` with a second body for object `n` after the real ones: unused, so
// a signature over the file covers it without showing it.
std::string withShadow(const std::string& pdf, int n, const std::string& body, std::size_t& at) {
  at = pdf.rfind("\nxref\n") + 1;
  const std::string object = std::to_string(n) + " 0 obj\n" + body + "\nendobj\n";
  const auto sx = pdf.rfind("startxref\n") + 10;
  return pdf.substr(0, at) + object + pdf.substr(at, sx - at) + std::to_string(at + object.size()) + "\n%%EOF\n";
}

// An update that is only a cross-reference section: object `n` now lives at `offset`.
std::string repointed(const std::string& file, int n, std::size_t offset) {
  const auto b = pdftest::updateBase(file);
  const std::string prev = std::to_string(std::stoll(file.substr(file.rfind("startxref") + 9)));
  char entry[48];
  std::snprintf(entry, sizeof entry, "xref\n%d 1\n%010zu 00000 n\r\n", n, offset);
  return file + entry + "trailer\n<< /Size " + std::to_string(b.size) + " /Root " + b.rootRef + " /Prev " + prev +
         " >>\nstartxref\n" + std::to_string(file.size()) + "\n%%EOF\n";
}

// `file` with an update whose cross-reference stream places object `n`
// at `index` of a new object stream holding `bodies`, whose header numbers
// each `n`: qpdf takes the last copy, others the listed one.
std::string twiceInObjectStream(const std::string& file, int n, const std::vector<std::string>& bodies, int index) {
  const auto b = pdftest::updateBase(file);
  std::string header, data;
  for (const auto& body : bodies)
    header += std::to_string(n) + " " + std::to_string(data.size()) + " ", data += body + " ";
  const int stream = b.size, xref = b.size + 1;
  std::string out = file + std::to_string(stream) + " 0 obj\n";
  const std::size_t streamAt = file.size();
  out +=
      pdftest::stream("/Type /ObjStm /N " + std::to_string(bodies.size()) + " /First " + std::to_string(header.size()),
                      header + data) +
      "\nendobj\n";
  const std::size_t xrefAt = out.size();
  auto row = [](int type, std::size_t a, int c) {
    return std::string{static_cast<char>(type),   static_cast<char>(a >> 24), static_cast<char>(a >> 16),
                       static_cast<char>(a >> 8), static_cast<char>(a),       static_cast<char>(c)};
  };
  const std::string rows = row(2, stream, index) + row(1, streamAt, 0) + row(1, xrefAt, 0);
  return out + std::to_string(xref) + " 0 obj\n" +
         pdftest::stream("/Type /XRef /Size " + std::to_string(xref + 1) + " /Index [" + std::to_string(n) + " 1 " +
                             std::to_string(stream) + " 2] /W [1 4 1] /Root " + b.rootRef + " /Prev " +
                             std::to_string(std::stoll(file.substr(file.rfind("startxref") + 9))),
                         rows) +
         "\nendobj\nstartxref\n" + std::to_string(xrefAt) + "\n%%EOF\n";
}

penvora::VerifiedDocument verify(const std::filesystem::path& pdf, std::vector<std::string> trust = {}) {
  penvora::VerifyOptions o;
  o.trustAnchors = std::move(trust);
  return penvora::verifySignatures(pdf.string(), o);
}

}  // namespace

TEST(AttackVerdictTest, EveryAttackIsCaughtAndEveryAllowedChangePasses) {
  TempDir dir, lookAlike, expired, encipherer;
  const std::string trust = testsupport::defaultIdentityPem();
  const std::string payMallory = pdftest::stream("", "BT /Helvetica 24 Tf 72 700 Td (PAY MALLORY 1,000,000 EUR) Tj ET");

  // Shadow documents: content prepared before signing, shown only after.
  std::size_t shadowAt = 0;
  writeText(dir / "shadow-in.pdf", withShadow(pdftest::plainPdf(2), 5, payMallory, shadowAt));
  pdftest::signer(dir / "shadow-in.pdf", dir / "shadow.pdf").sign();
  const std::string shadow = readText(dir / "shadow.pdf");
  const std::string signedFile = pdftest::signedPlain(dir, 2);
  const auto b = pdftest::updateBase(signedFile);
  const auto sig = pdftest::signatures(signedFile).at(0);
  const auto& r = sig.range;
  std::string zeroed = signedFile;
  std::fill(zeroed.begin() + r[1] + 1, zeroed.begin() + r[2] - 1, '0');
  std::string wrapped = pdftest::withRange(signedFile, 0, r[1], r[2] + 64, r[3]);
  wrapped.insert(r[2], "\n% moved: objects the attacker wants shown " + std::string(20, ' ') + "\n");

  // Certificate substitution: a self-signed look-alike of the genuine signer.
  const std::string genuineSubject =
      run("openssl x509 -in '" + trust + "' -noout -subject -nameopt compat | sed 's/^subject=//' | tr -d '\\n'")
          .output;
  const auto signWith = [&](const std::shared_ptr<penvora::core::securepdf::Certificate>& cert,
                            const std::string& out) {
    auto s = pdftest::signer(dir / "in.pdf", dir / out);
    s.signingCert = cert;
    s.sign();
  };
  signWith(pdftest::selfSigned(lookAlike, genuineSubject, "20250101000000Z", "20350101000000Z"), "forged.pdf");
  signWith(pdftest::selfSigned(expired, "/CN=Expired Signer", "20200101000000Z", "20200201000000Z"), "expired.pdf");
  signWith(
      pdftest::selfSigned(encipherer, "/CN=Encryption Key", "20250101000000Z", "20350101000000Z", "keyEncipherment"),
      "encipherer.pdf");

  // Allowed: a second signature in the other field; form filling in a
  // document certified with permission 2.
  writeText(dir / "fields.pdf", pdftest::documentPdf(std::vector<pdftest::PageSpec>(2), true));
  pdftest::signer(dir / "fields.pdf", dir / "once.pdf").sign();
  auto second = pdftest::signer(dir / "once.pdf", dir / "twice.pdf");
  second.signatureFields = 1;
  second.sign();
  const std::string plain = pdftest::plainPdf(1);
  const auto p = pdftest::updateBase(plain);
  const std::string field =
      "<< /FT /Tx /T (Amount) /Type /Annot /Subtype /Widget /Rect [300 600 500 630] /P " + ref(p.page1) + " >>";
  writeText(dir / "form.pdf",
            pdftest::appendUpdate(
                plain, {{p.size,
                         "<< /Type /Sig /Reference [<< /Type /SigRef /TransformMethod /DocMDP "
                         "/TransformParams << /P 2 /V /1.2 >> >>] >>"},
                        {p.size + 1, field},
                        {p.page1, replaced(p.page1Dict, "<< ", "<< /Annots [ " + ref(p.size + 1) + " ] ")},
                        {p.root, replaced(p.catalog, "<< ",
                                          "<< /Perms << /DocMDP " + ref(p.size) + " >> /AcroForm << /Fields [ " +
                                              ref(p.size + 1) + " ] >> ")}}));
  pdftest::signer(dir / "form.pdf", dir / "form-signed.pdf").sign();
  const std::string formSigned = readText(dir / "form-signed.pdf");
  const std::string filled = replaced(field, " >>", " /V (1,000 EUR) >>");
  const std::string note = "<< /Type /Annot /Subtype /Text /Rect [10 10 30 30] /Contents (ok) >>";
  const auto f = pdftest::updateBase(formSigned);

  // An object shown in the signed revision, listed as validation data by
  // one update and rewritten by the next: through a page's inherited
  // resources, an XObject named /P, the catalog's script, or a signed
  // field's picture given first to a widget added to fill.
  const auto listedThenRewritten = [&](const std::string& pageTree, const std::string& page, int rewritten,
                                       const std::string& now) {
    writeText(
        dir / "listed-in.pdf",
        pdftest::buildPdf({"<< /Type /Catalog /Pages 2 0 R /OpenAction 6 0 R >>",
                           "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 612 792] " + pageTree + ">>",
                           "<< /Type /Page /Parent 2 0 R /Contents 4 0 R " + page + ">>", pdftest::stream("", "/P Do"),
                           pdftest::stream("/Subtype /Form /BBox [0 0 9 9]", ""), "<< /S /JavaScript /JS (1) >>"}));
    std::filesystem::remove(dir / "listed.pdf");
    pdftest::signer(dir / "listed-in.pdf", dir / "listed.pdf").sign();
    const std::string signedListed = readText(dir / "listed.pdf");
    const auto l = pdftest::updateBase(signedListed);
    const std::string listed = pdftest::appendUpdate(
        signedListed, {{l.root, replaced(l.catalog, "<< ", "<< /DSS << /Certs [ " + ref(rewritten) + " ] >> ")}});
    return pdftest::appendUpdate(listed, {{rewritten, now}});
  };
  const std::string xobject = "/Resources << /XObject << /P 5 0 R >> >> ";
  QPDF q;
  q.processMemoryFile("signed", signedFile.data(), signedFile.size());
  QPDFObjectHandle acroForm = q.getRoot().getKey("/AcroForm");
  const int picture = acroForm.getKey("/Fields").getArrayItem(0).getKey("/AP").getKey("/N").getObjectID();
  const std::string sharing = pdftest::appendUpdate(
      signedFile,
      {{b.size, "<< /FT /Tx /T (Copy) /V (x) /Type /Annot /Subtype /Widget /Rect [0 0 99 99] /P " + ref(b.page1) +
                    " /AP << /N " + ref(picture) + " >> >>"},
       {b.page1, replaced(b.page1Dict, "/Annots [ ", "/Annots [ " + ref(b.size) + " ")},
       {acroForm.getObjectID(), replaced(acroForm.unparseResolved(), "/Fields [ ", "/Fields [ " + ref(b.size) + " ")}});
  std::string misplaced = pdftest::appendUpdate(signedFile, {{b.content1, payMallory}});
  misplaced.replace(misplaced.rfind(std::to_string(b.content1) + " 0 obj"), std::to_string(b.content1).size() + 6,
                    std::to_string(b.content1) + " 1 obj");

  const struct {
    const char* name;
    std::string file;
    const char* indication;
    const char* subIndication;
    bool trusted = true;
  } cases[] = {
      {"untouched", signedFile, "TOTAL-PASSED", ""},
      {"incremental saving: page 1 shows new content",
       pdftest::appendUpdate(
           signedFile, {{b.size, payMallory},
                        {b.page1, replaced(b.page1Dict, "/Contents " + ref(b.content1), "/Contents " + ref(b.size))}}),
       "TOTAL-FAILED", "FORMAT_FAILURE"},
      {"incremental saving: objects appended without a cross-reference section",
       signedFile + std::to_string(b.content1) + " 0 obj\n" + payMallory + "\nendobj\n", "TOTAL-FAILED",
       "FORMAT_FAILURE"},
      {"incremental saving: the same, closed by a bare %%EOF",
       signedFile + std::to_string(b.content1) + " 0 obj\n" + payMallory + "\nendobj\n%%EOF\n", "TOTAL-FAILED",
       "FORMAT_FAILURE"},
      {"signature wrapping: the gap widened over moved bytes", wrapped, "TOTAL-FAILED", "FORMAT_FAILURE"},
      {"universal forgery: no /ByteRange", replaced(signedFile, "/ByteRange", "/ByteRangX"), "TOTAL-FAILED",
       "FORMAT_FAILURE"},
      {"universal forgery: /ByteRange [0 0 0 0]", pdftest::withRange(signedFile, 0, 0, 0, 0), "TOTAL-FAILED",
       "FORMAT_FAILURE"},
      {"universal forgery: /Contents zeroed", zeroed, "TOTAL-FAILED", "FORMAT_FAILURE"},
      {"shadow hide: page 1 re-pointed to page 2's content",
       pdftest::appendUpdate(signedFile, {{b.page1, replaced(b.page1Dict, "/Contents " + ref(b.content1),
                                                             "/Contents " + ref(b.content1 + 2))}}),
       "TOTAL-FAILED", "FORMAT_FAILURE"},
      {"shadow replace: the font redefined",
       pdftest::appendUpdate(signedFile, {{3, "<< /Type /Font /Subtype /Type1 /BaseFont /ZapfDingbats >>"}}),
       "TOTAL-FAILED", "FORMAT_FAILURE"},
      {"shadow hide-and-replace: only the cross-reference re-points page 1's content", repointed(shadow, 5, shadowAt),
       "TOTAL-FAILED", "FORMAT_FAILURE"},
      {"certificate substitution: a look-alike self-signed signer", readText(dir / "forged.pdf"), "INDETERMINATE",
       "NO_CERTIFICATE_CHAIN_FOUND"},
      {"expired certificate, no time-stamp", readText(dir / "expired.pdf"), "INDETERMINATE", "OUT_OF_BOUNDS_NO_POE"},
      {"a key meant for encryption", readText(dir / "encipherer.pdf"), "INDETERMINATE", "CHAIN_CONSTRAINTS_FAILURE"},
      {"untrusted certificate", signedFile, "INDETERMINATE", "NO_CERTIFICATE_CHAIN_FOUND", false},
      {"allowed: a second signature in another field", readText(dir / "twice.pdf"), "TOTAL-PASSED", ""},
      {"allowed: the shadow document left alone", shadow, "TOTAL-PASSED", ""},
      {"allowed: form filling under permission 2", pdftest::appendUpdate(formSigned, {{p.size + 1, filled}}),
       "TOTAL-PASSED", ""},
      {"shadow via validation data: inherited resources", listedThenRewritten(xobject, "", 5, payMallory),
       "TOTAL-FAILED", "FORMAT_FAILURE"},
      {"shadow via validation data: an XObject named /P", listedThenRewritten("", xobject, 5, payMallory),
       "TOTAL-FAILED", "FORMAT_FAILURE"},
      {"shadow via validation data: the catalog's script",
       listedThenRewritten(xobject, "", 6, "<< /S /JavaScript /JS (app.alert(2)) >>"), "TOTAL-FAILED",
       "FORMAT_FAILURE"},
      {"a signed field's picture shared with a widget added before it, then rewritten",
       pdftest::appendUpdate(sharing, {{picture, payMallory}}), "TOTAL-FAILED", "FORMAT_FAILURE"},
      {"an update listing an object where its header says another generation", misplaced, "TOTAL-FAILED",
       "FORMAT_FAILURE"},
      {"an object stream holding page 1 twice, the listed copy re-pointed",
       twiceInObjectStream(
           signedFile, b.page1,
           {replaced(b.page1Dict, "/Contents " + ref(b.content1), "/Contents " + ref(b.content1 + 2)), b.page1Dict}, 0),
       "TOTAL-FAILED", "FORMAT_FAILURE"},
      {"annotation under permission 2",
       pdftest::appendUpdate(
           formSigned,
           {{f.size, note}, {f.page1, replaced(f.page1Dict, "/Annots [ ", "/Annots [ " + ref(f.size) + " ")}}),
       "TOTAL-FAILED", "FORMAT_FAILURE"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    writeText(dir / "case.pdf", c.file);
    // The expired and encryption-only signers are trusted too: each has one flaw.
    const auto doc = verify(dir / "case.pdf", c.trusted ? std::vector<std::string>{trust, (expired / "c.pem").string(),
                                                                                   (encipherer / "c.pem").string()}
                                                        : std::vector<std::string>{});
    ASSERT_FALSE(doc.signatures.empty());
    EXPECT_EQ(doc.indication, c.indication);
    const auto& s = doc.signatures.front();
    EXPECT_EQ(s.subIndication, c.subIndication) << s.verdictReason;
  }

  // The default signer names no revocation source: reported, and blocking
  // only on request.
  penvora::VerifyOptions o;
  o.trustAnchors = {testsupport::fixture("pki/test-root-ca.pem")};
  auto s = penvora::verifySignatures((dir / "signed.pdf").string(), o).signatures.at(0);
  EXPECT_EQ(s.indication, "TOTAL-PASSED") << s.verdictReason;
  ASSERT_EQ(s.revocation.size(), 1u);
  EXPECT_EQ(s.revocation[0].status, "no source");
  o.requireRevocation = true;
  s = penvora::verifySignatures((dir / "signed.pdf").string(), o).signatures.at(0);
  EXPECT_EQ(s.subIndication, "TRY_LATER") << s.verdictReason;
}

// Fields showing the signature of another: each is reported, none is
// checked again (each check hashes the whole file), and a form of hundreds
// of them is refused rather than checked for minutes.
TEST(AttackVerdictTest, FieldsShowingAnotherFieldsSignatureAreNotCheckedAgain) {
  TempDir dir;
  const std::string signedFile = pdftest::signedPlain(dir, 1);
  const auto b = pdftest::updateBase(signedFile);
  QPDF q;
  q.processMemoryFile("signed", signedFile.data(), signedFile.size());
  QPDFObjectHandle form = q.getRoot().getKey("/AcroForm");
  ASSERT_TRUE(form.isIndirect());
  const int shown = form.getKey("/Fields").getArrayItem(0).getKey("/V").getObjectID();
  const auto copies = [&](int n) {
    pdftest::Objects objects;
    std::string fields;
    for (int i = 0; i < n; ++i) {
      objects[b.size + i] = "<< /FT /Sig /T (Copy" + std::to_string(i) + ") /V " + ref(shown) + " >>";
      fields += ref(b.size + i) + " ";
    }
    objects[form.getObjectID()] = replaced(form.unparseResolved(), "/Fields [ ", "/Fields [ " + fields);
    return pdftest::appendUpdate(signedFile, objects);
  };
  writeText(dir / "three.pdf", copies(3));
  const auto doc = verify(dir / "three.pdf");
  ASSERT_EQ(doc.signatures.size(), 4u);
  int repeated = 0;
  for (const auto& s : doc.signatures) repeated += s.problem == "the signature is the value of another field too";
  EXPECT_EQ(repeated, 3);
  EXPECT_EQ(doc.indication, "TOTAL-FAILED");

  writeText(dir / "many.pdf", copies(300));
  try {
    (void)verify(dir / "many.pdf");
    ADD_FAILURE() << "a form of 301 signed fields was checked";
  } catch (const penvora::VerificationError& e) {
    EXPECT_NE(std::string(e.what()).find("more than 256 signed fields"), std::string::npos) << e.what();
  }
}
