#include "core/securepdf/PDFSign.hpp"

#include <openssl/evp.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <exception>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <set>

#include "core/securepdf/AtomicOutputFile.hpp"
#include "core/securepdf/BoundedStringPipeline.hpp"
#include "core/securepdf/Certification.hpp"
#include "core/securepdf/CmsSignature.hpp"
#include "core/securepdf/DocumentSource.hpp"
#include "core/securepdf/FetchBudget.hpp"
#include "core/securepdf/FieldLocks.hpp"
#include "core/securepdf/Flate.hpp"
#include "core/securepdf/IncrementalUpdate.hpp"
#include "core/securepdf/ObjectEncryptor.hpp"
#include "core/securepdf/PageTree.hpp"
#include "core/securepdf/SecurePdfError.hpp"
#include "core/securepdf/SignatureFieldList.hpp"
#include "core/securepdf/SignatureFieldPlacement.hpp"
#include "core/securepdf/SigningPlan.hpp"
#include "core/securepdf/TimestampClient.hpp"
#include "core/securepdf/ValidationData.hpp"
#include "core/securepdf/ValidationDataBudget.hpp"
#include "core/securepdf/WidgetAppearance.hpp"
#include "core/util/Hex.hpp"
#include "core/util/OpenSsl.hpp"

namespace penvora::core::securepdf {

struct PDFSign::Settings {
  std::map<std::string, std::string> widget;
  std::string buildProperties;
  std::string filterName;
  std::size_t extraSpace = 0;
  std::vector<CustomAttribute> customAttributes;
  bool compressDss = false;
};

namespace {

const std::set<std::string> kPlainWidgetProperties = {"HideDefaultText",      "BackgroundStyle",
                                                      "BackgroundImageType",  "IgnoreExistingAppearance",
                                                      "BackgroundImageWidth", "BackgroundImageHeight",
                                                      "BackgroundMask",       "BackgroundData",
                                                      "CustomTextCount",      "Invisible"};
const std::set<std::string> kIndexedWidgetProperties = {"CustomText", "CustomTextX", "CustomTextY",
                                                        "CustomTextFontSizeX", "CustomTextFontSizeY"};

bool isKnownWidgetProperty(const std::string& name) {
  if (kPlainWidgetProperties.count(name)) return true;
  auto open = name.find('[');
  if (open == std::string::npos || name.back() != ']' || open + 2 > name.size() - 1) return false;
  const std::string index = name.substr(open + 1, name.size() - open - 2);
  if (index.empty() || index.find_first_not_of("0123456789") != std::string::npos || index.size() > 6) return false;
  return kIndexedWidgetProperties.count(name.substr(0, open)) > 0;
}

QPDFObjectHandle textString(const std::string& utf8) { return QPDFObjectHandle::newUnicodeString(utf8); }

QPDFObjectHandle nameOf(const std::string& text) { return QPDFObjectHandle::newName("/" + text); }

// /Prop_Build from the BuildProperties JSON and the filter name.
QPDFObjectHandle propBuild(const std::string& json, const std::string& filterName) {
  QPDFObjectHandle pb = QPDFObjectHandle::newDictionary();
  if (!json.empty()) {
    auto j = nlohmann::json::parse(json, nullptr, false);
    if (j.is_object() && j.contains("App") && j["App"].is_object()) {
      const auto& app = j["App"];
      QPDFObjectHandle a = QPDFObjectHandle::newDictionary();
      if (app.contains("Name") && app["Name"].is_string())
        a.replaceKey("/Name", nameOf(app["Name"].get<std::string>()));
      if (app.contains("REx") && app["REx"].is_string())
        a.replaceKey("/REx", textString(app["REx"].get<std::string>()));
      if (app.contains("R") && app["R"].is_number_integer())
        a.replaceKey("/R", QPDFObjectHandle::newInteger(app["R"].get<long long>()));
      if (app.contains("OS") && app["OS"].is_array()) {
        QPDFObjectHandle os = QPDFObjectHandle::newArray();
        for (const auto& o : app["OS"])
          if (o.is_string()) os.appendItem(nameOf(o.get<std::string>()));
        a.replaceKey("/OS", os);
      }
      pb.replaceKey("/App", a);
    }
  }
  if (!filterName.empty()) {
    QPDFObjectHandle f = QPDFObjectHandle::newDictionary();
    f.replaceKey("/Name", nameOf(filterName));
    pb.replaceKey("/Filter", f);
  }
  return pb;
}

// The original bytes into the output: a file on disk is copied by the
// kernel. Their digest runs on its own thread (OriginalDigest) meanwhile,
// so signing a large document costs about what hashing it does.
void copyOriginal(const DocumentSource& src, AtomicOutputFile& out) {
  if (src.bytes) {
    out.write(src.bytes->data(), src.bytes->size());
    out.startWriteback();
  } else {
    out.copyFrom(src.fd(), src.originalSize);
  }
}

// An update without a signature: the original, then the update.
void writeUpdate(const DocumentSource& src, IncrementalUpdate& update, const std::string& outputFile, bool overwrite) {
  AtomicOutputFile out(outputFile, overwrite);
  copyOriginal(src, out);
  out.write(update.build().bytes);
  out.commit();
}

void writeWithSignature(const DocumentSource& src, IncrementalUpdate& update, QPDFObjGen sig, const EVP_MD* md,
                        std::size_t room, const std::string& outputFile, bool overwrite,
                        const std::function<util::Bytes(const util::Bytes& digest)>& contents) {
  AtomicOutputFile out(outputFile, overwrite);
  // Usually begun when the document was opened; else begun now, beside
  // the copy.
  std::unique_ptr<OriginalDigest> started;
  OriginalDigest* digest = src.digest && src.digest->isFor(md) ? src.digest.get() : nullptr;
  if (!digest) {
    started = std::make_unique<OriginalDigest>(md, src.bytes, src.file, src.originalSize);
    digest = started.get();
  }
  copyOriginal(src, out);
  util::Owned<EVP_MD_CTX, EVP_MD_CTX_free> base = digest->take();
  for (int attempt = 0; attempt < 3; ++attempt) {
    update.setSignaturePlaceholder(sig, room);
    auto result = update.build();
    const std::uint64_t total = src.originalSize + result.bytes.size();
    const std::string br = byteRangeText(result.contentsAt, result.contentsLength, total);
    result.bytes.replace(result.byteRangeAt - src.originalSize, br.size(), br);

    util::Owned<EVP_MD_CTX, EVP_MD_CTX_free> ctx(EVP_MD_CTX_new());
    const std::size_t cStart = result.contentsAt - src.originalSize;
    const std::size_t cEnd = cStart + result.contentsLength;
    util::Bytes digest(EVP_MAX_MD_SIZE);
    unsigned dlen = 0;
    if (!ctx || EVP_MD_CTX_copy_ex(ctx.get(), base.get()) != 1 ||
        EVP_DigestUpdate(ctx.get(), result.bytes.data(), cStart) != 1 ||
        EVP_DigestUpdate(ctx.get(), result.bytes.data() + cEnd, result.bytes.size() - cEnd) != 1 ||
        EVP_DigestFinal_ex(ctx.get(), digest.data(), &dlen) != 1)
      throw SecurePdfError("Cannot compute the document digest");
    digest.resize(dlen);

    const util::Bytes cms = contents(digest);
    if (cms.size() > room) {
      room = cms.size() + 1024;
      continue;
    }
    const std::string hex = util::hexEncode(cms);
    std::copy(hex.begin(), hex.end(), result.bytes.begin() + static_cast<long>(cStart + 1));
    out.write(result.bytes);
    out.commit();
    return;
  }
  throw SecurePdfError("The signature does not fit its reserved room");
}

}  // namespace

PDFSign::PDFSign() : settings_(std::make_unique<Settings>()) {}
PDFSign::~PDFSign() = default;
PDFSign::PDFSign(PDFSign&&) noexcept = default;
PDFSign& PDFSign::operator=(PDFSign&&) noexcept = default;

void PDFSign::setWidgetProperty(const std::string& name, const std::string& value) {
  if (!isKnownWidgetProperty(name)) throw SecurePdfError("Unknown widget property: " + name);
  settings_->widget[name] = value;
}

std::string PDFSign::widgetProperty(const std::string& name) const {
  auto it = settings_->widget.find(name);
  return it == settings_->widget.end() ? std::string() : it->second;
}

std::string PDFSign::config(const std::string& setting) {
  auto eq = setting.find('=');
  if (eq == std::string::npos) throw SecurePdfError("Configuration setting without '=': " + setting.substr(0, 40));
  const std::string name = setting.substr(0, eq), value = setting.substr(eq + 1);
  if (name == "BuildProperties") {
    auto j = nlohmann::json::parse(value, nullptr, false);
    if (j.is_discarded() || !j.is_object()) throw SecurePdfError("BuildProperties is not a JSON object");
    settings_->buildProperties = value;
  } else if (name == "FilterName") {
    settings_->filterName = value;
  } else if (name == "ExtraSpace") {
    settings_->extraSpace = static_cast<std::size_t>(settingNumber(value, "ExtraSpace"));
  } else if (name == "CustomSignedAttributes") {
    settings_->customAttributes = parseCustomAttributes(value);
  } else if (name == "CompressDSS") {
    if (value != "true" && value != "false") throw SecurePdfError("CompressDSS must be true or false");
    settings_->compressDss = value == "true";
  } else {
    throw SecurePdfError("Unknown configuration setting: " + name);
  }
  return {};
}

namespace {

// The digest the signature will want, when the settings say already.
const EVP_MD* digestAskedFor(const std::string& algorithm) {
  try {
    return digestNamed(algorithm);
  } catch (const SecurePdfError&) {
    return nullptr;
  }
}

// The pages signing will read, as far as the settings say already: the
// one asked for, or none beyond what every opening reads when a field is
// signed; nothing (the whole table) when every page is.
std::optional<SubsetRequest> pagesToList(const std::string& pages) {
  if (pages == "*") return std::nullopt;
  SubsetRequest wanted;
  char* end = nullptr;
  const unsigned long long v = std::strtoull(pages.c_str(), &end, 10);
  if (!pages.empty() && end && *end == '\0' && pages[0] >= '0' && pages[0] <= '9')
    wanted.pages.push_back(static_cast<std::size_t>(v));
  return wanted;
}

}  // namespace

void PDFSign::open() {
  opened_.reset();
  spent_.reset();
  opened_ = std::make_unique<DocumentSource>(
      openForUpdate(inputFile, password, digestAskedFor(signatureHashAlgorithm), pagesToList(signatureWidgetPages)));
  openedPath_ = inputFile;
  openedPassword_ = password;
}

template <typename T>
T PDFSign::fromOpened(const std::function<T(QPDF&)>& answer) {
  if (!opened_) throw SecurePdfError("The document is not open");
  try {
    T r = answer(*opened_->pdf);
    if (opened_->readsAsWhole()) return r;
  } catch (const std::exception&) {
    if (opened_->readsAsWhole()) throw;
  }
  readWithWholeTable(*opened_, password, digestAskedFor(signatureHashAlgorithm));
  return answer(*opened_->pdf);
}

std::string PDFSign::getPageProperty(std::int32_t index, const std::string& property) {
  return fromOpened<std::string>([&](QPDF& pdf) {
    const auto found = index < 0 ? std::nullopt : pageAt(pdf, static_cast<std::size_t>(index));
    if (!found) throw SecurePdfError("No page with index " + std::to_string(index));
    QPDFObjectHandle page = *found;
    // Both boxes as the page has them or inherits them; the crop box, the
    // one a reader shows, first.
    QPDFPageObjectHelper boxes(page);
    QPDFObjectHandle box = boxes.getCropBox();
    if (!box.isRectangle()) box = boxes.getMediaBox();
    if (!box.isRectangle()) throw SecurePdfError("Page " + std::to_string(index) + " has no page box");
    const auto r = box.getArrayAsRectangle();
    auto text = [](double v) {
      char buf[32];
      std::snprintf(buf, sizeof buf, "%g", v);
      return std::string(buf);
    };
    if (property == "Height") return text(std::fabs(r.ury - r.lly));
    if (property == "Width") return text(std::fabs(r.urx - r.llx));
    if (property == "Rotate") return std::to_string(pageRotation(page));
    throw SecurePdfError("Unknown page property: " + property);
  });
}

bool PDFSign::hasPage(std::int32_t index) {
  return fromOpened<bool>(
      [&](QPDF& pdf) { return index >= 0 && pageAt(pdf, static_cast<std::size_t>(index)).has_value(); });
}

std::int64_t PDFSign::pageCount() {
  return fromOpened<std::int64_t>([](QPDF& pdf) { return static_cast<std::int64_t>(securepdf::pageCount(pdf)); });
}

std::int32_t PDFSign::findField(const std::string& name) {
  return fromOpened<std::int32_t>([&](QPDF& pdf) { return signatureFieldIndex(pdf, name); });
}

void PDFSign::close() {
  opened_.reset();
  spent_.reset();
}

void PDFSign::reset() { *this = PDFSign(); }

namespace {

// The signature dictionary, its /Contents and /ByteRange still empty.
QPDFObjectHandle signatureDictionary(IncrementalUpdate& update, const SigningPlan& plan, const std::string& author,
                                     const std::string& reason, QPDFObjectHandle build) {
  QPDFObjectHandle sig = update.addNew(QPDFObjectHandle::newDictionary());
  sig.replaceKey("/Type", QPDFObjectHandle::newName("/Sig"));
  sig.replaceKey("/Filter", QPDFObjectHandle::newName("/Adobe.PPKLite"));
  sig.replaceKey("/SubFilter", QPDFObjectHandle::newName("/ETSI.CAdES.detached"));
  sig.replaceKey("/ByteRange", QPDFObjectHandle::newArray());
  sig.replaceKey("/Contents", QPDFObjectHandle::newString(""));
  sig.replaceKey("/M", QPDFObjectHandle::newString(pdfDate(plan.signingTime)));
  if (!author.empty()) sig.replaceKey("/Name", textString(author));
  if (!reason.empty()) sig.replaceKey("/Reason", textString(reason));
  if (!build.getKeys().empty()) sig.replaceKey("/Prop_Build", build);
  return sig;
}

// "1.4" as 104; 0 when unreadable.
int versionNumber(const std::string& v) {
  int major = 0, minor = 0;
  return std::sscanf(v.c_str(), "%d.%d", &major, &minor) == 2 ? major * 100 + minor : 0;
}

// The catalog says the file uses ETSI's extension for the DSS (a direct
// dictionary, as extensions must be), and that its version is at least
// the 1.7 that extension builds on.
void declareDssExtension(QPDF& pdf) {
  QPDFObjectHandle root = pdf.getRoot();
  QPDFObjectHandle old = root.getKey("/Extensions");
  QPDFObjectHandle extensions = old.isDictionary() ? old.shallowCopy() : QPDFObjectHandle::newDictionary();
  if (!extensions.getKey("/ESIC").isDictionary())
    extensions.replaceKey("/ESIC", QPDFObjectHandle::parse("<< /BaseVersion /1.7 /ExtensionLevel 1 >>"));
  root.replaceKey("/Extensions", extensions);
  QPDFObjectHandle declared = root.getKey("/Version");
  const int version =
      std::max(versionNumber(pdf.getPDFVersion()), declared.isName() ? versionNumber(declared.getName().substr(1)) : 0);
  if (version < 107) root.replaceKey("/Version", QPDFObjectHandle::newName("/1.7"));
}

}  // namespace

// In stages: the text settings become a typed plan, the signature goes
// into an existing field or a new one, then the file is written with the
// CMS over its byte ranges.
void PDFSign::sign() {
  const SigningPlan plan = planSigning(*this, std::time(nullptr));
  DocumentSource src = takeOpenedOrOpen(plan.digest);
  try {
    signFrom(src, plan);
  } catch (const std::exception&) {
    // Read past what a long document's opening listed: the model may
    // differ from the file's, so the work is done again with its whole
    // table. Nothing was written yet.
    if (!src.regrouped || !src.regrouped->subset || src.readsAsWhole()) throw;
    readWithWholeTable(src, password, plan.digest);
    signFrom(src, plan);
  }
  spent_ = std::make_unique<DocumentSource>(std::move(src));
}

void PDFSign::signFrom(DocumentSource& src, const SigningPlan& plan) {
  QPDF& pdf = *src.pdf;
  // What earlier signatures allow, read once.
  const std::optional<int> certification = certificationPermission(pdf);
  std::vector<FieldLock> locks = fieldLocks(pdf);
  // A certification that allows no changes forbids a further signature too.
  if (certification == 1)
    throw SecurePdfError(
        "The document is certified with DocMDP permission 1 (no changes allowed), so no signature can be added");
  // The author's permissions hold unless the owner's password opened it.
  if (pdf.isEncrypted() && !pdf.ownerPasswordMatched()) {
    if (plan.target.existingField && !pdf.allowModifyForm() && !pdf.allowModifyAnnotation())
      throw SecurePdfError(
          "The document's permissions do not allow filling in its fields, so none can be signed (its owner's password "
          "would allow it)");
    // Creating a form field takes both the annotations and the "other
    // changes" permission.
    if (!plan.target.existingField && !(pdf.allowModifyAnnotation() && pdf.allowModifyOther()))
      throw SecurePdfError(
          "The document's permissions do not allow adding form fields, so no signature field can be added (its "
          "owner's password would allow it)");
  }
  for (const FieldLock& lock : locks)
    if (lock.permission == 1)
      throw SecurePdfError("The signature in field '" + lock.signedField +
                           "' allows no further changes, so no signature can be added");
  ObjectEncryptor encryptor(pdf);
  IncrementalUpdate update(pdf, encryptor, src.tail, src.originalSize, src.regrouped ? &*src.regrouped : nullptr,
                           src.taken);

  QPDFObjectHandle sig = signatureDictionary(update, plan, signatureAuthorName, signatureReason,
                                             propBuild(settings_->buildProperties, settings_->filterName));
  SignatureFieldPlacement(pdf, update, plan, certification, std::move(locks)).place(sig);
  if (src.regrouped && src.regrouped->subset) {
    (void)update.build();  // reads what writing will
    if (!src.readsAsWhole()) throw SecurePdfError("internal: the document was read past the objects listed");
  }

  writeWithSignature(
      src, update, sig.getObjGen(), plan.digest, signatureRoom(plan), outputFile, overwrite,
      [&](const util::Bytes& digest) {
        std::function<util::Bytes(const util::Bytes&)> stamp;
        if (plan.timestamp)
          stamp = [&](const util::Bytes& sigValue) { return requestTimestampToken(timestampServer, sigValue); };
        return buildCmsSignature(*signingCert, signatureHashAlgorithm, digest, settings_->customAttributes, stamp);
      });
}

DocumentSource PDFSign::takeOpenedOrOpen(const EVP_MD* digestFor) {
  std::unique_ptr<DocumentSource> opened = std::move(opened_);
  if (opened && openedPath_ == inputFile && openedPassword_ == password) {
    opened->startDigest(digestFor);
    return std::move(*opened);
  }
  opened.reset();
  return openForUpdate(inputFile, password, digestFor, pagesToList(signatureWidgetPages));
}

// Room for the CMS: measured on a trial signature, plus a time-stamp's
// worth when one is asked for; the writer retries with more if it is short.
std::size_t PDFSign::signatureRoom(const SigningPlan& plan) const {
  const std::size_t trial =
      cmsSignatureSize(*signingCert, signatureHashAlgorithm, static_cast<std::size_t>(EVP_MD_get_size(plan.digest)),
                       settings_->customAttributes);
  return std::max(trial + 512 + (plan.timestamp ? 8192 : 0), settings_->extraSpace + 4096);
}

namespace {

// A signature's /Contents bytes (padding included), read from the file at
// the place its /ByteRange leaves out.
util::Bytes signatureContents(const DocumentSource& src, QPDFObjectHandle sig) {
  QPDFObjectHandle br = sig.getKey("/ByteRange");
  if (!br.isArray() || br.getArrayNItems() != 4) throw SecurePdfError("A signature of the document has no byte range");
  long long v[4];
  for (int i = 0; i < 4; ++i) {
    QPDFObjectHandle n = br.getArrayItem(i);
    if (!n.isInteger()) throw SecurePdfError("A signature of the document has a broken byte range");
    v[i] = n.getIntValue();
  }
  const long long start = v[1] + 1, end = v[2] - 1;  // inside < >
  if (v[0] != 0 || start <= 0 || end <= start || static_cast<std::uint64_t>(v[2]) > src.originalSize ||
      end - start > (64ll << 20))
    throw SecurePdfError("A signature of the document has a broken byte range");
  std::string hex(static_cast<std::size_t>(end - start), '\0');
  src.read(static_cast<std::uint64_t>(start), hex.data(), hex.size());
  return util::toBytes(hexToBytes(hex, "A signature's /Contents"));
}

QPDFObjectHandle dssStream(IncrementalUpdate& update, const util::Bytes& der, bool compress) {
  const std::string data(der.begin(), der.end());
  if (!compress) return update.addNewStream(QPDFObjectHandle::newDictionary(), data);
  return update.addNewStream(QPDFObjectHandle::parse("<< /Filter /FlateDecode >>"), flateEncode(data, 9));
}

}  // namespace

void PDFSign::update() {
  if (validationPolicy != PDFSignValidationPolicies::vpFullNoTrust)
    throw SecurePdfError("Adding validation data needs the validation policy vpFullNoTrust");
  if (outputFile.empty()) throw SecurePdfError("No output file given");

  DocumentSource src = openForUpdate(inputFile, password);
  QPDF& pdf = *src.pdf;
  std::vector<util::Bytes> contents;
  for (auto& f : listSignatureFields(pdf))
    if (f.isSigned) contents.push_back(signatureContents(src, f.field.getKey("/V")));
  if (contents.empty()) throw SecurePdfError("The document has no signature to add validation data to");
  // One deadline for the whole step, the document time-stamp included.
  FetchBudget step;
  const ValidationData data = gatherValidationData(contents);

  ObjectEncryptor encryptor(pdf);
  IncrementalUpdate update(pdf, encryptor, src.tail, src.originalSize, src.regrouped ? &*src.regrouped : nullptr,
                           src.taken);
  const bool compress = settings_->compressDss;
  QPDFObjectHandle root = pdf.getRoot();
  QPDFObjectHandle old = root.getKey("/DSS");
  // An item an earlier update put in the /DSS is referred to again, not
  // written twice.
  ValidationDataBudget decoding;
  auto streams = [&](const char* key, const std::vector<util::Bytes>& items) {
    std::map<util::Bytes, QPDFObjectHandle> earlier;
    QPDFObjectHandle list = old.isDictionary() ? old.getKey(key) : QPDFObjectHandle::newNull();
    for (int i = 0; list.isArray() && i < list.getArrayNItems(); ++i) {
      QPDFObjectHandle s = list.getArrayItem(i);
      if (!s.isIndirect()) continue;
      // An unreadable item, or one that would inflate past the bound, stays
      // where it is, and ours is added.
      if (const auto data = decoding.decode(s)) earlier.emplace(util::Bytes(data->begin(), data->end()), s);
    }
    std::vector<QPDFObjectHandle> out;
    for (const auto& der : items) {
      const auto found = earlier.find(der);
      out.push_back(found != earlier.end() ? found->second : dssStream(update, der, compress));
    }
    return out;
  };
  const auto certs = streams("/Certs", data.certs), ocsps = streams("/OCSPs", data.ocsps),
             crls = streams("/CRLs", data.crls);

  // The /DSS keeps what an earlier update put there and adds ours.
  QPDFObjectHandle dss = update.addNew(QPDFObjectHandle::newDictionary());
  auto merged = [&](const char* key, const std::vector<QPDFObjectHandle>& added) {
    QPDFObjectHandle array = QPDFObjectHandle::newArray();
    std::set<QPDFObjGen> listed;
    if (old.isDictionary() && old.getKey(key).isArray())
      for (int i = 0; i < old.getKey(key).getArrayNItems(); ++i) {
        array.appendItem(old.getKey(key).getArrayItem(i));
        if (old.getKey(key).getArrayItem(i).isIndirect()) listed.insert(old.getKey(key).getArrayItem(i).getObjGen());
      }
    for (const auto& h : added)
      if (listed.insert(h.getObjGen()).second) array.appendItem(h);
    if (array.getArrayNItems() > 0) dss.replaceKey(key, array);
  };
  merged("/Certs", certs);
  merged("/OCSPs", ocsps);
  merged("/CRLs", crls);
  QPDFObjectHandle vri = QPDFObjectHandle::newDictionary();
  if (old.isDictionary() && old.getKey("/VRI").isDictionary())
    for (const auto& k : old.getKey("/VRI").getKeys()) vri.replaceKey(k, old.getKey("/VRI").getKey(k));
  for (const auto& sigData : data.signatures) {
    QPDFObjectHandle entry = QPDFObjectHandle::newDictionary();
    auto refs = [](const std::vector<QPDFObjectHandle>& all, const std::vector<std::size_t>& which) {
      QPDFObjectHandle a = QPDFObjectHandle::newArray();
      for (auto i : which) a.appendItem(all[i]);
      return a;
    };
    if (!sigData.certs.empty()) entry.replaceKey("/Cert", refs(certs, sigData.certs));
    if (!sigData.ocsps.empty()) entry.replaceKey("/OCSP", refs(ocsps, sigData.ocsps));
    if (!sigData.crls.empty()) entry.replaceKey("/CRL", refs(crls, sigData.crls));
    vri.replaceKey("/" + sigData.key, entry);
  }
  dss.replaceKey("/VRI", vri);
  root.replaceKey("/DSS", dss);
  declareDssExtension(pdf);
  update.add(root);

  // Without a time-stamp server the validation data comes alone.
  if (timestampServer.empty()) {
    writeUpdate(src, update, outputFile, overwrite);
    return;
  }

  // The document time-stamp over everything, the validation data included.
  QPDFObjectHandle sig = update.addNew(QPDFObjectHandle::newDictionary());
  sig.replaceKey("/Type", QPDFObjectHandle::newName("/DocTimeStamp"));
  sig.replaceKey("/Filter", QPDFObjectHandle::newName("/Adobe.PPKLite"));
  sig.replaceKey("/SubFilter", QPDFObjectHandle::newName("/ETSI.RFC3161"));
  sig.replaceKey("/ByteRange", QPDFObjectHandle::newArray());
  sig.replaceKey("/Contents", QPDFObjectHandle::newString(""));

  addDocumentTimestampField(pdf, update, sig);

  writeWithSignature(
      src, update, sig.getObjGen(), EVP_sha512(), 8192 + settings_->extraSpace, outputFile, overwrite,
      [&](const util::Bytes& digest) { return requestTimestampTokenForDigest(timestampServer, digest); });
}

}  // namespace penvora::core::securepdf
