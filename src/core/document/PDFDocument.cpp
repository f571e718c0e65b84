#include "core/document/PDFDocument.hpp"

#include <qpdf/InputSource.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFAcroFormDocumentHelper.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "core/document/DeclaredObjectCount.hpp"
#include "core/document/MergedPdfWriter.hpp"
#include "core/securepdf/ExpansionLimit.hpp"
#include "core/securepdf/PageTree.hpp"
#include "core/util/BoundedFile.hpp"

namespace penvora::core::document {
namespace {

Rect toRect(const QPDFObjectHandle::Rectangle& r) {
  return Rect{std::min(r.llx, r.urx), std::min(r.lly, r.ury), std::abs(r.urx - r.llx), std::abs(r.ury - r.lly)};
}

// A box of a number too long for a double (read as infinite) is no box:
// the crop box falls back to the media box, that one to a letter page.
bool finite(const Rect& r) {
  return std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.width) && std::isfinite(r.height);
}

// Files up to this size may be parsed from memory: qpdf reads a file
// object by object, and the seeks of a buffered file cost more than the
// reading. But a large file of few objects (a page of big pictures) is
// parsed from disk: reading all of it first costs more than qpdf's few
// reads (35 ms before a 50 MB picture page could be shown).
constexpr std::uintmax_t kInMemoryLimit = 64u << 20;
constexpr std::uintmax_t kAlwaysInMemory = 4u << 20;
constexpr std::uintmax_t kSparseBytesPerObject = 64u << 10;
constexpr std::size_t kMaxRepeatedPages = 256;  // no real tree lists a page twice

// Opened once for its size, its object count and its bytes, so a file
// replaced meanwhile cannot mix two.
std::shared_ptr<const std::string> readDenseFile(const std::string& path) {
  try {
    const util::RegularFile file(path, "The document");
    const std::uint64_t size = file.size();
    if (size > kInMemoryLimit) return nullptr;
    if (size > kAlwaysInMemory) {
      const auto objects = declaredObjectCount(file.fd(), size);
      if (objects && size / std::max<std::uint64_t>(*objects, 1) > kSparseBytesPerObject) return nullptr;
    }
    auto bytes = std::make_shared<std::string>(static_cast<std::size_t>(size), '\0');
    if (!util::readFullyAt(file.fd(), 0, bytes->data(), bytes->size())) return nullptr;
    return bytes;
  } catch (const util::FileReadError&) {
    return nullptr;  // qpdf then says what is wrong with it
  }
}

// A file qpdf reads where it lies, its cross-reference streams measured
// first; one that cannot be opened is left to qpdf to report. Never
// opened again by name once measured: it could be another file by then.
void processOnDisk(QPDF& pdf, const std::string& path, const std::string& password) {
  std::optional<util::RegularFile> opened;
  try {
    opened.emplace(path, "The document");
  } catch (const util::FileReadError&) {
    pdf.processFile(path.c_str(), password.c_str());
    return securepdf::checkObjectStreamExpansion(pdf);
  }
  const auto source = securepdf::measuredFileInput(*opened, path);
  if (!source) throw std::runtime_error("The document cannot be read: " + path + ": " + std::strerror(errno));
  pdf.processInputSource(source, password.c_str());
  securepdf::checkObjectStreamExpansion(pdf, *source);
}

std::unique_ptr<QPDF> load(const std::string& path, const std::string& password,
                           std::shared_ptr<const std::string>& bytes, const std::function<void()>& measured = {}) {
  auto pdf = std::make_unique<QPDF>();
  pdf->setSuppressWarnings(true);
  if (!bytes) bytes = readDenseFile(path);
  // qpdf inflates cross-reference streams whole while it opens a file.
  if (bytes) {
    securepdf::checkCrossReferenceExpansion(*bytes);
    pdf->processMemoryFile(path.c_str(), bytes->data(), bytes->size(), password.c_str());
  } else {
    processOnDisk(*pdf, path, password);
  }
  if (bytes) securepdf::checkObjectStreamExpansion(*pdf, *bytes);  // on disk: checked as it was opened
  if (measured) measured();
  // qpdf's page walk, which the document's structure and its form rely on,
  // recurses once per level and copies a page for each time it is listed
  // again: a hostile tree would exhaust the stack or the memory.
  const auto shape = securepdf::pageTreeShape(*pdf);
  if (shape.deeperThanRead || shape.repeats > kMaxRepeatedPages)
    throw std::runtime_error("The page tree is nested too deeply or lists its pages too often to be read");
  // qpdf makes an empty page of a kid it cannot read (missing, not a
  // dictionary, unparsable): shown or merged, it would be a blank page that
  // is not the document's. (A catalog naming a node below the root is
  // repaired by qpdf climbing to the root: its count is then the root's.)
  const bool namesTheRoot = !pdf->getRoot().getKey("/Pages").hasKey("/Parent");
  if (pdf->getAllPages().size() != shape.listings && namesTheRoot)
    throw std::runtime_error("The page tree lists pages that cannot be read");
  return pdf;
}

int normalisedRotation(QPDFPageObjectHelper& page) {
  QPDFObjectHandle r = page.getAttribute("/Rotate", false);
  long long v = r.isInteger() ? r.getIntValue() : 0;
  v %= 360;
  if (v < 0) v += 360;
  return static_cast<int>(v / 90 * 90);
}

}  // namespace

PDFDocument::PDFDocument() = default;
PDFDocument::~PDFDocument() = default;
PDFDocument::PDFDocument(PDFDocument&&) noexcept = default;
PDFDocument& PDFDocument::operator=(PDFDocument&&) noexcept = default;

std::optional<PDFDocument> PDFDocument::open(const std::string& path, std::string* problem,
                                             const std::function<void()>& measured) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
  PDFDocument doc;
  doc.path_ = path;
  try {
    doc.pdf_ = load(path, "", doc.bytes_, measured);
    doc.pdf_->getRoot();
    (void)doc.pdf_->getAllPages();
  } catch (const QPDFExc& e) {
    if (e.getErrorCode() != qpdf_e_password) {
      if (problem) *problem = e.getMessageDetail();
      return std::nullopt;
    }
    doc.pdf_.reset();
    doc.locked_ = true;
  } catch (const std::exception& e) {
    if (problem) *problem = e.what();
    return std::nullopt;
  }
  return doc;
}

bool PDFDocument::restrictsNothing() const {
  return pdf_ && (!pdf_->isEncrypted() || pdf_->ownerPasswordMatched() ||
                  (pdf_->allowModifyAll() && pdf_->allowExtractAll() && pdf_->allowPrintHighRes() &&
                   pdf_->allowAccessibility()));
}

bool PDFDocument::unlockWithPassword(const std::string& password) {
  if (!locked_) return true;
  try {
    pdf_ = load(path_, password, bytes_);
    (void)pdf_->getAllPages();
  } catch (const std::exception&) {
    pdf_.reset();
    return false;
  }
  locked_ = false;
  password_ = password;
  boxes_.reset();
  textRuns_.reset();
  return true;
}

std::size_t PDFDocument::pageCount() const {
  if (locked_ || !pdf_) return 0;
  try {
    return pdf_->getAllPages().size();
  } catch (const std::exception&) {
    return 0;
  }
}

PageTextRuns PDFDocument::pageTextRuns(std::size_t index) const {
  if (locked_ || !pdf_) return std::nullopt;
  if (!textRuns_) textRuns_ = std::make_unique<PageTextRunReader>(*pdf_);
  return textRuns_->runsOf(index);
}

std::optional<PDFPage> PDFDocument::pageAtIndex(std::size_t index) const {
  if (index >= pageCount()) return std::nullopt;
  try {
    QPDFAcroFormDocumentHelper form(*pdf_);
    return pageAt(index, form);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::optional<PDFPage> PDFDocument::pageBoxesAtIndex(std::size_t index) const {
  if (locked_ || !pdf_) return std::nullopt;
  try {
    const auto& pages = pdf_->getAllPages();
    if (index >= pages.size()) return std::nullopt;
    QPDFPageObjectHelper page(pages[index]);
    PDFPage out;
    out.index = index;
    out.rotation = normalisedRotation(page);
    out.mediaBox = toRect(page.getMediaBox(false).getArrayAsRectangle());
    if (!finite(out.mediaBox)) out.mediaBox = Rect{0, 0, 612, 792};
    out.cropBox = toRect(page.getCropBox(false, false).getArrayAsRectangle());
    if (!finite(out.cropBox)) out.cropBox = out.mediaBox;
    return out;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

const std::vector<std::optional<PDFPage>>& PDFDocument::allPageBoxes() const {
  if (!boxes_) {
    std::vector<std::optional<PDFPage>> boxes(pageCount());
    for (std::size_t i = 0; i < boxes.size(); ++i) boxes[i] = pageBoxesAtIndex(i);
    boxes_ = std::move(boxes);
  }
  return *boxes_;
}

std::optional<PDFPage> PDFDocument::pageAt(std::size_t index, QPDFAcroFormDocumentHelper& form) const {
  try {
    auto boxes = pageBoxesAtIndex(index);
    if (!boxes) return std::nullopt;
    PDFPage out = std::move(*boxes);
    QPDFPageObjectHelper page(pdf_->getAllPages().at(index));
    QPDFObjectHandle annots = page.getObjectHandle().getKey("/Annots");
    if (annots.isArray()) {
      for (int i = 0; i < annots.getArrayNItems(); ++i) {
        QPDFObjectHandle a = annots.getArrayItem(i);
        if (!a.isDictionary()) continue;
        PDFAnnotation an;
        an.pageIndex = index;
        QPDFObjectHandle subtype = a.getKey("/Subtype");
        an.subtype = subtype.isName() ? subtype.getName().substr(1) : std::string();
        QPDFObjectHandle rect = a.getKey("/Rect");
        if (rect.isRectangle()) an.bounds = toRect(rect.getArrayAsRectangle());
        if (an.subtype == "Widget") {
          QPDFFormFieldObjectHelper field = form.getFieldForAnnotation(QPDFAnnotationObjectHelper(a));
          const std::string ft = field.getFieldType();
          an.widgetFieldType = ft.empty() ? std::string() : ft.substr(1);
          const std::string name = field.getFullyQualifiedName();
          if (!name.empty()) an.fieldName = name;
        }
        out.annotations.push_back(std::move(an));
      }
    }
    return out;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::vector<PDFAnnotation> PDFDocument::annotations() const {
  std::vector<PDFAnnotation> all;
  const std::size_t pages = pageCount();
  if (pages == 0) return all;
  try {
    QPDFAcroFormDocumentHelper form(*pdf_);
    for (std::size_t i = 0; i < pages; ++i)
      if (auto page = pageAt(i, form))
        for (auto& a : page->annotations) all.push_back(std::move(a));
  } catch (const std::exception&) {
  }
  return all;
}

void PDFDocument::appendPagesTo(MergedPdfWriter& writer) const {
  if (locked_ || !pdf_) return;
  std::error_code unknown;
  const auto onDisk = bytes_ ? 0 : std::filesystem::file_size(path_, unknown);
  writer.appendPages(*pdf_, bytes_ ? bytes_->size() : unknown ? std::uint64_t{1} << 62 : onDisk);  // unknown: unbounded
}

}  // namespace penvora::core::document
