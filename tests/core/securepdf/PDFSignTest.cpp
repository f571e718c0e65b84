#include <gtest/gtest.h>

#include <qpdf/QPDF.hh>
#include <set>

#include "core/securepdf/PDFForm.hpp"
#include "core/securepdf/SecurePdfError.hpp"
#include "support/PdfTestSupport.hpp"

using namespace penvora::core::securepdf;
using testsupport::readText, testsupport::run, testsupport::TempDir, testsupport::writeText;

namespace {

struct Variant {
  const char* name;
  const char* qpdfArgs;  // nullptr: the plain file as written
  const char* password;
};

class SignVariantTest : public ::testing::TestWithParam<Variant> {};

// Every variant: the original bytes stay as they were, and three
// independent validators accept the appended signature.
TEST_P(SignVariantTest, AppendsASignatureValidatorsAccept) {
  const Variant v = GetParam();
  TempDir dir;
  const auto plain = dir / "plain.pdf";
  writeText(plain, pdftest::documentPdf({{}, {90}, {}}, true));
  auto in = plain;
  if (v.qpdfArgs) {
    in = dir / "in.pdf";
    ASSERT_EQ(run(std::string("qpdf --allow-weak-crypto ") + v.qpdfArgs + " '" + plain.string() + "' '" + in.string() +
                  "' 2>&1")
                  .exitCode,
              0);
  }
  auto s = pdftest::signer(in, dir / "out.pdf");
  s.password = v.password;
  s.signatureWidgetPages = "1";  // the rotated page
  s.sign();

  const std::string original = readText(in), signedFile = readText(dir / "out.pdf");
  ASSERT_GT(signedFile.size(), original.size());
  EXPECT_EQ(signedFile.compare(0, original.size(), original), 0) << "original bytes changed";
  EXPECT_TRUE(pdftest::qpdfCheckClean(dir / "out.pdf", v.password));
  EXPECT_EQ(pdftest::pdfsigValidations(dir / "out.pdf", v.password), std::vector<std::string>{"Signature is Valid."});
  auto sigs = pdftest::signatures(signedFile);
  ASSERT_EQ(sigs.size(), 1u);
  EXPECT_EQ(sigs[0].range[0], 0);
  EXPECT_EQ(sigs[0].range[2] + sigs[0].range[3], static_cast<long long>(signedFile.size()));
  EXPECT_TRUE(pdftest::opensslVerifies(sigs[0], dir.path()));

  // The new objects read back right through the document's encryption.
  const std::string text = pdftest::qdf(dir / "out.pdf", v.password);
  EXPECT_NE(text.find("/Name (Ana Tester)"), std::string::npos);
  EXPECT_NE(text.find("/T (Signature1)"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, SignVariantTest,
    ::testing::Values(Variant{"plain", nullptr, ""}, Variant{"objectStreams", "--object-streams=generate", ""},
                      Variant{"xrefStreamOnly", "--object-streams=generate --compress-streams=y", ""},
                      Variant{"linearized", "--linearize", ""},
                      Variant{"linearizedObjectStreams", "--linearize --object-streams=generate", ""},
                      Variant{"rc4_40", "--encrypt u o 40 --", "u"},
                      Variant{"rc4_128", "--encrypt u o 128 --use-aes=n --", "u"},
                      Variant{"aes128", "--encrypt u o 128 --use-aes=y --", "u"},
                      Variant{"aes256", "--encrypt u o 256 --", "u"},
                      Variant{"aes256OwnerPassword", "--encrypt u o 256 --", "o"}),
    [](const auto& info) { return std::string(info.param.name); });

// Large documents are copied while they are hashed: one held in memory,
// and one read from disk (past the in-memory limit), each signed intact.
TEST(LargeDocumentTest, CopiedBesideTheDigestAndStillValid) {
  for (const int megabytes : {5, 34}) {
    TempDir dir;
    writeText(dir / "small.pdf", pdftest::documentPdf({{}}, true));
    const auto in = dir / "in.pdf", out = dir / "out.pdf";
    ASSERT_EQ(run("head -c " + std::to_string(megabytes) + "M /dev/urandom > '" + (dir / "noise.bin").string() +
                  "' && qpdf '" + (dir / "small.pdf").string() + "' --add-attachment '" + (dir / "noise.bin").string() +
                  "' -- '" + in.string() + "'")
                  .exitCode,
              0);
    auto s = pdftest::signer(in, out);
    s.sign();
    const std::string original = readText(in), signedFile = readText(out);
    ASSERT_GT(original.size(), static_cast<std::size_t>(megabytes) << 20);
    EXPECT_EQ(signedFile.compare(0, original.size(), original), 0) << megabytes << " MB: original bytes changed";
    EXPECT_EQ(pdftest::pdfsigValidations(out), std::vector<std::string>{"Signature is Valid."}) << megabytes << " MB";
  }
}

class PDFSignTest : public ::testing::Test {
 protected:
  // A signer of `pdf`, written as in.pdf, to out.pdf.
  PDFSign signerOf(const std::string& pdf) {
    writeText(dir / "in.pdf", pdf);
    return pdftest::signer(dir / "in.pdf", dir / "out.pdf");
  }
  TempDir dir;
};

TEST_F(PDFSignTest, SigningASignedFileKeepsTheFirstSignatureValid) {
  writeText(dir / "in.pdf", pdftest::plainPdf(2));
  auto first = pdftest::signer(dir / "in.pdf", dir / "one.pdf");
  first.sign();
  auto second = pdftest::signer(dir / "one.pdf", dir / "two.pdf");
  second.signatureWidgetPages = "1";
  second.sign();

  EXPECT_EQ(pdftest::pdfsigValidations(dir / "two.pdf"), std::vector<std::string>(2, "Signature is Valid."));
  const std::string two = readText(dir / "two.pdf");
  auto sigs = pdftest::signatures(two);
  ASSERT_EQ(sigs.size(), 2u);
  EXPECT_LT(sigs[0].range[2] + sigs[0].range[3], static_cast<long long>(two.size()));
  for (const auto& s : sigs) EXPECT_TRUE(pdftest::opensslVerifies(s, dir.path()));
  const std::string text = pdftest::qdf(dir / "two.pdf");
  EXPECT_NE(text.find("/T (Signature2)"), std::string::npos) << "second field needs its own name";
}

TEST_F(PDFSignTest, SignatureDictionaryAndCmsCarryWhatWasAsked) {
  auto s = signerOf(pdftest::plainPdf());
  s.signatureReason = "Contrato de prueba";
  s.config(R"(BuildProperties={"App":{"Name":"PenvoraSDK","REx":"1.2.3","R":66051,"OS":["Linux"]}})");
  s.config("FilterName=PenvoraFilter");
  // Two attributes: an OCTET STRING and a UTF8String value.
  s.config("CustomSignedAttributes=1.3.6.1.4.1.62411.1.1=0403AABBCC\r\n1.3.6.1.4.1.62411.1.2=0C026869");
  s.sign();

  const std::string text = pdftest::qdf(dir / "out.pdf");
  for (const char* expected :
       {"/Filter /Adobe.PPKLite", "/SubFilter /ETSI.CAdES.detached", "/M (D:", "/Reason (Contrato de prueba)",
        "/Name /PenvoraSDK", "/REx (1.2.3)", "/R 66051", "/OS [", "/Linux", "/Name /PenvoraFilter"})
    EXPECT_NE(text.find(expected), std::string::npos) << expected;

  auto sigs = pdftest::signatures(readText(dir / "out.pdf"));
  ASSERT_EQ(sigs.size(), 1u);
  const std::string cms = pdftest::cmsPrint(sigs[0], dir.path());
  for (const char* part : {"contentType", "messageDigest", "id-smime-aa-signingCertificateV2", "1.3.6.1.4.1.62411.1.1",
                           "1.3.6.1.4.1.62411.1.2", "sha512", "Penvora Default Test Signer"})
    EXPECT_NE(cms.find(part), std::string::npos) << part;
  EXPECT_EQ(cms.find("signingTime"), std::string::npos);
  EXPECT_TRUE(pdftest::opensslVerifies(sigs[0], dir.path()));
}

TEST_F(PDFSignTest, ExtraSpaceReservesAtLeastThatRoomAndLargeAttributesGrowIt) {
  auto s = signerOf(pdftest::plainPdf());
  s.config("ExtraSpace=30000");
  s.sign();
  auto sigs = pdftest::signatures(readText(dir / "out.pdf"));
  ASSERT_EQ(sigs.size(), 1u);
  EXPECT_GE((sigs[0].range[2] - sigs[0].range[1] - 2) / 2, 30000);
  EXPECT_TRUE(pdftest::opensslVerifies(sigs[0], dir.path()));

  auto large = pdftest::signer(dir / "in.pdf", dir / "large.pdf");
  std::string value = "048300C350";  // OCTET STRING of 50,000 bytes: no truncation
  value.append(100000, 'A');
  large.config("CustomSignedAttributes=1.3.6.1.4.1.62411.1.1=" + value);
  large.sign();
  EXPECT_EQ(pdftest::pdfsigValidations(dir / "large.pdf"), std::vector<std::string>{"Signature is Valid."});
}

TEST_F(PDFSignTest, EveryPageShowsTheSignatureOneWidgetAndStampsSharingItsPicture) {
  // The three pages share one /Annots array: each must still get only its
  // own annotation.
  const std::string page = "<< /Type /Page /Parent 2 0 R /Annots 6 0 R >>";
  auto s = signerOf(pdftest::buildPdf({"<< /Type /Catalog /Pages 2 0 R >>",
                                       "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 /MediaBox [0 0 612 792] >>",
                                       page, page, page, "[]"}));
  s.signatureWidgetPages = "*";
  s.signatureWidgetOffsetX = "10.5";
  s.signatureWidgetOffsetY = "20";
  s.sign();
  EXPECT_EQ(pdftest::occurrences(pdftest::qdf(dir / "out.pdf"), "/Rect [ 10.5 20 210.5 80 ]"), 3u);
  // One signed field for every validator, not one unsigned field per page.
  EXPECT_EQ(pdftest::pdfsigValidations(dir / "out.pdf"), std::vector<std::string>{"Signature is Valid."});
  EXPECT_TRUE(pdftest::qpdfCheckClean(dir / "out.pdf"));
  QPDF out;
  out.processFile((dir / "out.pdf").c_str());
  std::vector<std::string> kinds;
  std::set<QPDFObjGen> pictures;
  for (QPDFObjectHandle p : out.getAllPages()) {
    ASSERT_EQ(p.getKey("/Annots").getArrayNItems(), 1);
    QPDFObjectHandle annot = p.getKey("/Annots").getArrayItem(0);
    EXPECT_EQ(annot.getKey("/P").getObjGen(), p.getObjGen());
    kinds.push_back(annot.getKey("/Subtype").getName());
    pictures.insert(annot.getKey("/AP").getKey("/N").getObjGen());
  }
  EXPECT_EQ(kinds, (std::vector<std::string>{"/Widget", "/Stamp", "/Stamp"}));
  EXPECT_EQ(pictures.size(), 1u);
}

TEST_F(PDFSignTest, ExistingFieldsAreFoundAndSignedInFormOrder) {
  writeText(dir / "in.pdf", pdftest::documentPdf({{}, {}}, true));
  PDFForm form;
  form.inputFile = (dir / "in.pdf").string();
  form.open();
  for (auto [name, index] : {std::pair{"Sig1", 0}, {"group.Sig2", 1}, {"Sig2", 1}, {"Nope", -1}})
    EXPECT_EQ(form.findField(name), index) << name;
  form.close();

  auto s = pdftest::signer(dir / "in.pdf", dir / "out.pdf");
  s.signatureFields = 1;
  s.sign();
  auto report = run("pdfsig '" + (dir / "out.pdf").string() + "' 2>/dev/null").output;
  EXPECT_NE(report.find("Signature Field Name: group.Sig2"), std::string::npos) << report;
  EXPECT_NE(report.find("Signature is Valid."), std::string::npos);
  const std::string text = pdftest::qdf(dir / "out.pdf");
  EXPECT_EQ(text.find("/T (Signature1)"), std::string::npos) << "no new field when signing in place";
  EXPECT_NE(text.find("/Rect [ 50 400 250 460 ]"), std::string::npos);

  // The signed field is no longer offered; signing field 1 again is field 1
  // of the same list, now signed.
  auto again = pdftest::signer(dir / "out.pdf", dir / "again.pdf");
  again.signatureFields = 1;
  EXPECT_THROW(again.sign(), SecurePdfError);
  EXPECT_FALSE(std::filesystem::exists(dir / "again.pdf"));
  again.signatureFields = 0;
  again.sign();
  EXPECT_EQ(pdftest::pdfsigValidations(dir / "again.pdf"), std::vector<std::string>(2, "Signature is Valid."));
}

TEST_F(PDFSignTest, AppearanceDrawsImageMaskAndCustomText) {
  auto s = signerOf(pdftest::plainPdf());
  s.signatureWidgetOffsetX = s.signatureWidgetHeight = "100";
  s.signatureWidgetOffsetY = s.signatureWidgetWidth = "300";
  const int w = 60, h = 20;
  std::string mask;
  for (int y = 0; y < h; ++y)
    for (int b = 0; b < (w + 7) / 8; ++b) mask += std::abs(y - h / 2) < 3 ? '\0' : '\xFF';
  using penvora::core::util::hexEncode;
  for (const auto& [key, value] : std::vector<std::pair<std::string, std::string>>{
           {"BackgroundData", hexEncode(pdftest::inkJpeg(w, h, 0, h / 2 - 2, w, h / 2 + 3))},
           {"BackgroundImageWidth", std::to_string(w)},
           {"BackgroundImageHeight", std::to_string(h)},
           {"BackgroundMask", hexEncode(mask)},
           {"HideDefaultText", "true"},
           {"CustomTextCount", "1"},
           {"CustomText[0]", "Firmado por José Ñúñez"},
           {"CustomTextX[0]", "4"},
           {"CustomTextY[0]", "8"},
           {"CustomTextFontSizeY[0]", "12"}})
    s.setWidgetProperty(key, value);
  s.sign();

  const std::string text = pdftest::qdf(dir / "out.pdf");
  for (const char* part : {"/Filter /DCTDecode", "/ImageMask true",
                           "Jos\xE9 \xD1\xFA\xF1"
                           "ez" /* Latin-1 */})
    EXPECT_NE(text.find(part), std::string::npos) << part;
  EXPECT_EQ(text.find("Digitally signed by"), std::string::npos);
  EXPECT_EQ(pdftest::pdfsigValidations(dir / "out.pdf"), std::vector<std::string>{"Signature is Valid."});

  // Rendered, the picture fills the 300 x 100 box (top at 392 from the
  // page's top): the ink rows in its middle, masked white stays white. The
  // area leaves out the text at the box's left.
  const auto ink = pdftest::inkOnShownPage(dir / "out.pdf", {240, 392, 160, 100}, dir.path());
  ASSERT_TRUE(ink);
  EXPECT_NEAR(ink->y, 432, 3);
  EXPECT_NEAR(ink->height, 25, 3);
  EXPECT_NEAR(ink->x + ink->width, 400, 3);
}

TEST_F(PDFSignTest, PagePropertiesAndSettingsAreValidated) {
  writeText(dir / "in.pdf", pdftest::documentPdf({{}, {90, "[0 0 300 500]"}}));
  PDFSign s;
  s.inputFile = (dir / "in.pdf").string();
  s.open();
  EXPECT_EQ(s.getPageProperty(0, "Width") + " " + s.getPageProperty(0, "Height"), "612 792");
  EXPECT_EQ(s.getPageProperty(1, "Width") + " " + s.getPageProperty(1, "Height"), "300 500");
  EXPECT_THROW(s.getPageProperty(2, "Width"), SecurePdfError);
  EXPECT_THROW(s.getPageProperty(-1, "Width"), SecurePdfError);
  s.close();
  EXPECT_THROW(s.getPageProperty(0, "Width"), SecurePdfError);
  // The crop box a page inherits is the one shown.
  writeText(
      dir / "inherited.pdf",
      pdftest::buildPdf({"<< /Type /Catalog /Pages 2 0 R >>",
                         "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 612 792] /CropBox [0 0 200 100] >>",
                         "<< /Type /Page /Parent 2 0 R >>"}));
  PDFSign inherited;
  inherited.inputFile = (dir / "inherited.pdf").string();
  inherited.open();
  EXPECT_EQ(inherited.getPageProperty(0, "Width") + " " + inherited.getPageProperty(0, "Height"), "200 100");
  // Settings are checked as they are made; reset forgets them.
  EXPECT_THROW(s.setWidgetProperty("NoSuchThing", "1"), SecurePdfError);
  EXPECT_THROW(s.setWidgetProperty("CustomText[x]", "1"), SecurePdfError);
  EXPECT_NO_THROW(s.setWidgetProperty("CustomTextFontSizeX[12]", "9"));
  EXPECT_THROW(s.config("NoEquals"), SecurePdfError);
  EXPECT_THROW(s.config("Unknown=1"), SecurePdfError);
  EXPECT_THROW(s.config("BuildProperties=[1"), SecurePdfError);
  EXPECT_THROW(s.config("CustomSignedAttributes=1.2.3=ABC"), SecurePdfError);
  EXPECT_THROW(s.config("CompressDSS=maybe"), SecurePdfError);
  EXPECT_NO_THROW(s.config("CompressDSS=true"));
  s.setWidgetProperty("Invisible", "true");
  s.reset();
  EXPECT_EQ(s.widgetProperty("Invisible"), "");
}

// The original bytes are hashed from the opening on, for the algorithm the
// settings named then: one changed before signing is hashed anew.
TEST_F(PDFSignTest, AHashAlgorithmChangedAfterOpeningStillSignsValidly) {
  auto s = signerOf(pdftest::plainPdf(2));
  s.open();
  s.signatureHashAlgorithm = "SHA256";
  s.sign();
  EXPECT_EQ(pdftest::pdfsigValidations(dir / "out.pdf"), std::vector<std::string>{"Signature is Valid."});
  EXPECT_NE(pdftest::cmsPrint(pdftest::signatures(readText(dir / "out.pdf"))[0], dir.path()).find("sha256"),
            std::string::npos);
}

}  // namespace
