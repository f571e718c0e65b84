#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "core/securepdf/Certificate.hpp"
#include "core/securepdf/SignatureConfigurable.hpp"
#include "core/securepdf/SigningTypes.hpp"

class QPDF;

namespace penvora::core::securepdf {

// Signs a PDF with a PAdES signature appended as an incremental update.
// Settings are public fields; operations throw SecurePdfError.
struct SigningPlan;

struct DocumentSource;

class PDFSign final : public SignatureConfigurable {
 public:
  PDFSign();
  ~PDFSign() override;
  PDFSign(PDFSign&&) noexcept;
  PDFSign& operator=(PDFSign&&) noexcept;

  bool overwrite = false;
  std::string inputFile, outputFile, password;
  std::shared_ptr<Certificate> signingCert;
  std::string signatureHashAlgorithm = "SHA256";
  std::string signatureAuthorName, signatureReason;
  // Widget rectangle in PDF points, as decimal text.
  std::string signatureWidgetWidth = "0", signatureWidgetHeight = "0";
  std::string signatureWidgetOffsetX = "0", signatureWidgetOffsetY = "0";
  // "*" for every page, else a 0-based page index.
  std::string signatureWidgetPages = "0";
  // When set, the existing signature field of that index is signed.
  std::optional<std::int32_t> signatureFields;
  PDFSignSignatureProfiles signatureProfile = PDFSignSignatureProfiles::pfBaselineB;
  PDFSignValidationPolicies validationPolicy = PDFSignValidationPolicies::vpNone;
  std::string timestampServer;

  // Appearance settings by name ("BackgroundData", "CustomText[0]", ...).
  void setWidgetProperty(const std::string& name, const std::string& value);
  std::string widgetProperty(const std::string& name) const;
  // "Name=value" settings: BuildProperties, FilterName, ExtraSpace,
  // CustomSignedAttributes, CompressDSS.
  std::string config(const std::string& setting) override;

  // Page probing on inputFile. A sign() that follows on the same input
  // and password writes from this opening instead of parsing again.
  void open();
  std::string getPageProperty(std::int32_t pageIndex, const std::string& property);
  // Pages of the opened document, from the page tree's counts.
  std::int64_t pageCount();
  // Whether the open document has a page at `index` (from 0); cheaper than
  // pageCount() for a page near the start of a long flat page tree.
  bool hasPage(std::int32_t index);
  // As PDFForm::findField, on the opened document.
  std::int32_t findField(const std::string& name);
  bool isOpen() const { return opened_ != nullptr; }
  void close();

  // Writes the signed document to outputFile. The parsed document is
  // freed by the next open(), close() or reset(), or with the signer, not
  // before sign() returns: on a large page tree freeing it takes as long as
  // writing the signature.
  void sign();
  // Back to a fresh signer with empty settings.
  void reset();
  // Adds long-term validation data to the signed inputFile (next step of
  // the library); writes outputFile.
  void update();

 private:
  struct Settings;
  std::size_t signatureRoom(const SigningPlan& plan) const;
  // The opening open() kept, when it fits inputFile and password, or a new one.
  DocumentSource takeOpenedOrOpen(const EVP_MD* digestFor);
  // sign()'s work on one opening.
  void signFrom(DocumentSource& src, const SigningPlan& plan);
  // `answer` on the opened document; when it read past the objects a long
  // document's opening listed, again with the whole table.
  template <typename T>
  T fromOpened(const std::function<T(QPDF&)>& answer);
  std::unique_ptr<Settings> settings_;
  // What open() read, kept for sign() while inputFile and password stay
  // those it was opened with.
  std::unique_ptr<DocumentSource> opened_;
  std::string openedPath_, openedPassword_;
  // What the last sign() parsed and updated, never read again.
  std::unique_ptr<DocumentSource> spent_;
};

}  // namespace penvora::core::securepdf
