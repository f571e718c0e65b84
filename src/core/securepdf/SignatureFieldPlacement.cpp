#include "core/securepdf/SignatureFieldPlacement.hpp"

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <set>

#include "core/securepdf/FieldLocks.hpp"
#include "core/securepdf/PageTree.hpp"
#include "core/securepdf/SecurePdfError.hpp"
#include "core/securepdf/SeedValues.hpp"
#include "core/securepdf/SignatureFieldList.hpp"
#include "core/securepdf/WidgetAppearance.hpp"

namespace penvora::core::securepdf {
namespace {

// Puts a widget into its page's /Annots, marking what changed.
void addToPage(QPDFObjectHandle page, const QPDFObjectHandle& widget, IncrementalUpdate& update) {
  QPDFObjectHandle annots = page.getKey("/Annots");
  // A copy held by the page: an array of its own may be shared with other
  // pages, which would then show the widget too.
  QPDFObjectHandle mine = annots.isArray() ? annots.shallowCopy() : QPDFObjectHandle::newArray();
  mine.appendItem(widget);
  page.replaceKey("/Annots", mine);
  update.add(page);
}

// Adds a field to the form's /Fields (the form dictionary itself is
// already marked by the caller).
void addToForm(QPDFObjectHandle acro, const QPDFObjectHandle& field, IncrementalUpdate& update) {
  QPDFObjectHandle fields = acro.getKey("/Fields");
  if (fields.isArray()) {
    fields.appendItem(field);
    if (fields.isIndirect()) update.add(fields);
  } else {
    acro.replaceKey("/Fields", QPDFObjectHandle::newArray(std::vector<QPDFObjectHandle>{field}));
  }
}

// The form dictionary, made when missing, with signatures flagged.
QPDFObjectHandle signatureForm(QPDF& pdf, IncrementalUpdate& update) {
  QPDFObjectHandle root = pdf.getRoot();
  QPDFObjectHandle acro = root.getKey("/AcroForm");
  if (!acro.isDictionary()) {
    acro = update.addNew(QPDFObjectHandle::newDictionary());
    root.replaceKey("/AcroForm", acro);
    update.add(root);
  }
  update.add(acro.isIndirect() ? acro : root);
  acro.replaceKey("/SigFlags", QPDFObjectHandle::newInteger(3));
  return acro;
}

// prefix1, prefix2, ...: the first that no field of the document uses.
std::string freshFieldName(QPDF& pdf, const std::string& prefix) {
  std::set<std::string> taken;
  for (auto& n : listFieldNames(pdf)) taken.insert(n);
  std::string name;
  for (int i = 1; name.empty() || taken.count(name); ++i) name = prefix + std::to_string(i);
  return name;
}

// The page a widget sits on: its /P, else the page whose /Annots lists it.
// Every page's list is read once, when the first widget without /P asks.
class WidgetPages {
 public:
  explicit WidgetPages(QPDF& pdf) : pdf_(pdf) {}

  QPDFObjectHandle of(QPDFObjectHandle widget) {
    QPDFObjectHandle page = widget.getKey("/P");
    if (page.isDictionary()) return page;
    if (!listed_) {
      listed_.emplace();
      for (QPDFObjectHandle p : allPages(pdf_)) {
        QPDFObjectHandle annots = p.getKey("/Annots");
        for (int i = 0; annots.isArray() && i < annots.getArrayNItems(); ++i)
          (*listed_)[annots.getArrayItem(i).getObjGen()] = p;
      }
    }
    const auto found = listed_->find(widget.getObjGen());
    return found == listed_->end() ? page : found->second;
  }

 private:
  QPDF& pdf_;
  std::optional<std::map<QPDFObjGen, QPDFObjectHandle>> listed_;
};

// A FieldMDP signature reference carrying a field's lock; PDF 1.7 readers
// want /Data, the object the analysis starts from.
QPDFObjectHandle fieldMdpReference(QPDFObjectHandle lock, QPDFObjectHandle catalog) {
  QPDFObjectHandle params = QPDFObjectHandle::parse("<< /Type /TransformParams /V /1.2 >>");
  params.replaceKey("/Action",
                    lock.getKey("/Action").isName() ? lock.getKey("/Action") : QPDFObjectHandle::newName("/All"));
  for (const char* key : {"/Fields", "/P"})
    if (QPDFObjectHandle v = lock.getKey(key); !v.isNull())
      params.replaceKey(key, v.isIndirect() ? v : v.shallowCopy());
  QPDFObjectHandle ref = QPDFObjectHandle::parse("<< /Type /SigRef /TransformMethod /FieldMDP >>");
  ref.replaceKey("/TransformParams", params);
  ref.replaceKey("/Data", catalog);
  return QPDFObjectHandle::newArray(std::vector<QPDFObjectHandle>{ref});
}

}  // namespace

int pageRotation(QPDFObjectHandle page) {
  for (int depth = 0; depth < 32 && page.isDictionary(); ++depth) {
    QPDFObjectHandle r = page.getKey("/Rotate");
    if (r.isInteger()) return static_cast<int>(r.getIntValue());
    page = page.getKey("/Parent");
  }
  return 0;
}

void addDocumentTimestampField(QPDF& pdf, IncrementalUpdate& update, const QPDFObjectHandle& timestamp) {
  const auto first = pageAt(pdf, 0);
  if (!first) throw SecurePdfError("The document has no pages");
  QPDFObjectHandle page = *first;
  QPDFObjectHandle field =
      update.addNew(QPDFObjectHandle::parse("<< /FT /Sig /Type /Annot /Subtype /Widget /Rect [0 0 0 0] /F 132 >>"));
  field.replaceKey("/T", QPDFObjectHandle::newUnicodeString(freshFieldName(pdf, "DocTimeStamp")));
  field.replaceKey("/V", timestamp);
  field.replaceKey("/P", page);
  addToPage(page, field, update);
  addToForm(signatureForm(pdf, update), field, update);
}

SignatureFieldPlacement::SignatureFieldPlacement(QPDF& pdf, IncrementalUpdate& update, const SigningPlan& plan,
                                                 std::optional<int> certification, std::vector<FieldLock> locks)
    : pdf_(pdf), update_(update), plan_(plan), certification_(certification), locks_(std::move(locks)) {}

void SignatureFieldPlacement::place(const QPDFObjectHandle& signature) {
  QPDFObjectHandle form = signatureForm(pdf_, update_);
  if (plan_.target.existingField)
    intoExistingField(signature, *plan_.target.existingField);
  else
    intoNewField(signature, form);
}

QPDFObjectHandle SignatureFieldPlacement::appearance(double width, double height, int rotate) {
  const QPDFObjectHandle form =
      plan_.invisible
          ? update_.addNewStream(QPDFObjectHandle::parse("<< /Type /XObject /Subtype /Form /BBox [0 0 0 0] >>"),
                                 std::string())
          : buildAppearance(update_, plan_.look, width, height, rotate);
  QPDFObjectHandle ap = QPDFObjectHandle::newDictionary();
  ap.replaceKey("/N", form);
  return ap;
}

void SignatureFieldPlacement::intoExistingField(const QPDFObjectHandle& signature, std::int32_t index) {
  auto fields = listSignatureFields(pdf_);
  if (index < 0 || static_cast<std::size_t>(index) >= fields.size())
    throw SecurePdfError(fields.empty() ? "The document has no signature field to sign"
                                        : "The document has no signature field number " + std::to_string(index));
  auto& entry = fields[static_cast<std::size_t>(index)];
  if (entry.isSigned) throw SecurePdfError("The signature field '" + entry.fullName + "' is already signed");
  for (const FieldLock& lock : locks_)
    if (lock.covers(entry.fullName))
      throw SecurePdfError("The signature field '" + entry.fullName + "' is locked by the signature in field '" +
                           lock.signedField + "'");
  QPDFObjectHandle field = entry.field;
  checkSeedValues(field, entry.fullName, signature, plan_.digest, plan_.timestamp, plan_.identity);
  std::vector<QPDFObjectHandle> widgets;
  if (field.hasKey("/Rect") || field.getKey("/Subtype").isNameAndEquals("/Widget")) {
    widgets.push_back(field);
  } else if (field.getKey("/Kids").isArray()) {
    for (int i = 0; i < field.getKey("/Kids").getArrayNItems(); ++i)
      widgets.push_back(field.getKey("/Kids").getArrayItem(i));
  }
  // An update replaces whole objects: a field or widget written inside
  // another object (against the format) would keep its old value there.
  const bool inside = !field.isIndirect() || std::any_of(widgets.begin(), widgets.end(), [](QPDFObjectHandle w) {
    return w.isDictionary() && !w.isIndirect();
  });
  if (inside)
    throw SecurePdfError("The signature field '" + entry.fullName +
                         "' is written inside another object and cannot be signed in an update");
  // The lock the field asks for goes into its signature too, where
  // readers that check the FieldMDP transform look for it.
  if (field.getKey("/Lock").isDictionary())
    QPDFObjectHandle(signature).replaceKey("/Reference", fieldMdpReference(field.getKey("/Lock"), pdf_.getRoot()));
  field.replaceKey("/V", signature);
  update_.add(field);
  WidgetPages pages(pdf_);
  for (auto& widget : widgets) {
    if (!widget.isDictionary()) continue;
    QPDFObjectHandle rect = widget.getKey("/Rect");
    double width = 0, height = 0;
    if (rect.isRectangle()) {
      auto r = rect.getArrayAsRectangle();
      width = std::fabs(r.urx - r.llx);
      height = std::fabs(r.ury - r.lly);
    }
    if (plan_.replaceExistingAppearance || !widget.getKey("/AP").isDictionary())
      widget.replaceKey("/AP", appearance(width, height, pageRotation(pages.of(widget))));
    update_.add(widget);
  }
}

void SignatureFieldPlacement::intoNewField(const QPDFObjectHandle& signature, const QPDFObjectHandle& form) {
  const FieldTarget& t = plan_.target;
  std::vector<QPDFObjectHandle> targets;
  if (t.everyPage) {
    // A page listed twice shows its one picture in both places.
    std::set<QPDFObjGen> seen;
    for (const QPDFObjectHandle& p : allPages(pdf_))
      if (seen.insert(p.getObjGen()).second) targets.push_back(p);
    if (targets.empty()) throw SecurePdfError("The document has no pages");
  } else {
    const auto page = pageAt(pdf_, t.pageIndex);
    if (!page) throw SecurePdfError("No page with index " + t.pageText);
    targets.push_back(*page);
  }
  const auto rect = [&] {
    return QPDFObjectHandle::newArray(QPDFObjectHandle::Rectangle(t.x, t.y, t.x + t.width, t.y + t.height));
  };
  // One appearance per page turn, shared by every page turned that way.
  std::map<int, QPDFObjectHandle> appearances;
  const auto appearanceFor = [&](const QPDFObjectHandle& page) {
    const int rotate = pageRotation(page);
    auto found = appearances.find(rotate);
    if (found == appearances.end()) found = appearances.emplace(rotate, appearance(t.width, t.height, rotate)).first;
    return found->second.shallowCopy();
  };
  const auto showOn = [&](QPDFObjectHandle annotation, const char* subtype, int flags, QPDFObjectHandle page) {
    annotation.replaceKey("/Type", QPDFObjectHandle::newName("/Annot"));
    annotation.replaceKey("/Subtype", QPDFObjectHandle::newName(subtype));
    annotation.replaceKey("/Rect", rect());
    annotation.replaceKey("/F", QPDFObjectHandle::newInteger(flags));
    annotation.replaceKey("/P", page);
    annotation.replaceKey("/AP", appearanceFor(page));
    addToPage(page, annotation, update_);
  };

  const std::string name = freshFieldName(pdf_, "Signature");
  QPDFObjectHandle field = update_.addNew(QPDFObjectHandle::newDictionary());
  field.replaceKey("/FT", QPDFObjectHandle::newName("/Sig"));
  field.replaceKey("/T", QPDFObjectHandle::newUnicodeString(name));
  field.replaceKey("/V", signature);
  // The field is its own widget, on the first target page, and the other
  // pages show the same picture in a locked stamp: validators that take
  // each widget of a field for a field of its own would list more widgets
  // as unsigned signatures (poppler) or call them changed (MuPDF). Where an
  // earlier signature allows signing but no annotations (permission 2),
  // the picture stays on the first page: a signature every validator
  // accepts matters more than its repetition.
  showOn(field, "/Widget", plan_.invisible ? 2 + 128 : 4 + 128, targets.front());
  addToForm(form, field, update_);
  if (plan_.invisible || annotationsForbidden()) return;
  for (std::size_t i = 1; i < targets.size(); ++i) {
    QPDFObjectHandle stamp = update_.addNew(QPDFObjectHandle::newDictionary());
    // Printed, read-only, not to be deleted or edited.
    showOn(stamp, "/Stamp", 4 + 64 + 128 + 512, targets[i]);
    stamp.replaceKey("/Contents", QPDFObjectHandle::newUnicodeString(name));
  }
}

bool SignatureFieldPlacement::annotationsForbidden() const {
  if (certification_ == 2) return true;
  for (const FieldLock& lock : locks_)
    if (lock.permission == 2) return true;
  return false;
}

}  // namespace penvora::core::securepdf
