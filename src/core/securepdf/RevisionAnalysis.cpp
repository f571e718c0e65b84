#include "core/securepdf/RevisionAnalysis.hpp"

#include <qpdf/Buffer.hh>
#include <qpdf/QPDFXRefEntry.hh>

#include <algorithm>
#include <climits>
#include <functional>
#include <optional>
#include <set>
#include <string_view>

#include "core/securepdf/Certification.hpp"
#include "core/securepdf/ExpansionLimit.hpp"
#include "core/securepdf/FieldLocks.hpp"
#include "core/securepdf/IncrementalUpdate.hpp"
#include "core/securepdf/ObjectReferences.hpp"
#include "core/securepdf/ObjectStreamText.hpp"
#include "core/securepdf/PageTree.hpp"
#include "core/securepdf/SignatureFieldList.hpp"
#include "core/securepdf/SyntaxScanner.hpp"
#include "core/securepdf/UpdateAsRebuilt.hpp"
#include "core/securepdf/WrittenReferences.hpp"

namespace penvora::core::securepdf {
namespace {

// What an object of the earlier revision is, found by how it is reached.
struct Role {
  enum Kind {
    Catalog,
    PageTree,
    Page,
    Content,
    Resources,
    Document,  // anything else the catalog or the trailer leads to
    Info,
    AnnotsArray,
    Annotation,
    Appearance,
    AnnotationPart,
    Form,
    FormPart,
    FieldsArray,
    Field,
    FieldPart,
    SignatureValue,
    Dss,
    Unknown
  } kind = Unknown;
  int page = -1;  // 0-based, where it belongs to a page
  bool fieldWidget = false;
  bool signedField = false;  // a widget whose field holds a signature already
  std::string field = {};    // the form field it belongs to, fully qualified
};

using Roles = std::map<QPDFObjGen, Role>;

std::string pageName(int page) { return "page " + std::to_string(page + 1); }

// Walks to every indirect object reachable from where it is asked to, each
// once over all its walks, without a recursion a long chain could overflow.
// It stops at the `boundary` objects (pages, page-tree nodes, annotations,
// fields): their own walks claim their parts, and the back-links into them
// (a page's /Parent, an annotation's /P, a field's /Parent) lead nowhere new.
class Walk {
 public:
  explicit Walk(const std::set<QPDFObjGen>& boundary) : boundary_(boundary) {}

  void reach(QPDFObjectHandle from, const std::function<void(QPDFObjGen)>& visit) {
    std::vector<QPDFObjectHandle> todo{from};
    while (!todo.empty()) {
      QPDFObjectHandle h = todo.back();
      todo.pop_back();
      if (h.isIndirect()) {
        const QPDFObjGen og = h.getObjGen();
        if (boundary_.count(og) || !seen_.insert(og).second) continue;
        visit(og);
      }
      if (h.isStream()) h = h.getDict();
      if (h.isArray()) {
        for (int i = 0; i < h.getArrayNItems(); ++i) todo.push_back(h.getArrayItem(i));
      } else if (h.isDictionary()) {
        for (const auto& k : h.getKeys()) todo.push_back(h.getKey(k));
      }
    }
  }

  // What `h`'s entries lead to, but those under `skipped`.
  void reachKeys(QPDFObjectHandle h, std::initializer_list<const char*> skipped,
                 const std::function<void(QPDFObjGen)>& visit) {
    if (!h.isDictionary()) return;
    for (const auto& k : h.getKeys())
      if (std::none_of(skipped.begin(), skipped.end(), [&](const char* s) { return k == s; }))
        reach(h.getKey(k), visit);
  }

 private:
  const std::set<QPDFObjGen>& boundary_;
  std::set<QPDFObjGen> seen_;
};

void assign(Roles& roles, QPDFObjGen og, Role r) { roles.emplace(og, r); }

bool isFieldWidget(QPDFObjectHandle annot) {
  return annot.getKey("/Subtype").isNameAndEquals("/Widget") && (annot.hasKey("/FT") || annot.hasKey("/Parent"));
}

// The widget's field (itself, or its parent) has a signature as its value.
bool isSignedWidget(QPDFObjectHandle annot) {
  return annot.getKey("/V").isDictionary() || annot.getKey("/Parent").getKey("/V").isDictionary();
}

// Roles in priority order, the strictest first: the first that claims an
// object keeps it, so an object shown on a page stays the page's when an
// annotation's appearance or the validation data lists it too. Every
// object is walked once, however many pages or annotations share it.
Roles rolesOf(QPDF& pdf) {
  Roles roles;
  const auto fieldNames = fieldNamesByObject(pdf);
  auto fieldOf = [&](QPDFObjGen og) {
    const auto found = fieldNames.find(og);
    return found == fieldNames.end() ? std::string() : found->second;
  };
  auto claim = [&](Role r) { return [&roles, r](QPDFObjGen og) { assign(roles, og, r); }; };
  QPDFObjectHandle root = pdf.getRoot();
  assign(roles, root.getObjGen(), {Role::Catalog});
  // What the walks below do not go into: the page tree, the annotations
  // and the form, whose parts their own walks claim.
  std::set<QPDFObjGen> boundary;
  for (const auto& [og, name] : fieldNames) boundary.insert(og);
  QPDFObjectHandle form = root.getKey("/AcroForm"), fields = form.getKey("/Fields");
  for (QPDFObjectHandle h : {form, fields})
    if (h.isIndirect()) boundary.insert(h.getObjGen());
  const auto pages = allPages(pdf);  // not qpdf's walk: a hostile tree recurses past the stack
  for (std::size_t i = 0; i < pages.size(); ++i) {
    assign(roles, pages[i].getObjGen(), {Role::Page, static_cast<int>(i)});
    boundary.insert(pages[i].getObjGen());
  }
  std::vector<QPDFObjectHandle> nodes;
  std::function<void(QPDFObjectHandle, int)> tree = [&](QPDFObjectHandle node, int depth) {
    if (depth > 64 || !node.isDictionary() || roles.count(node.getObjGen())) return;
    if (node.isIndirect()) assign(roles, node.getObjGen(), {Role::PageTree}), boundary.insert(node.getObjGen());
    nodes.push_back(node);
    QPDFObjectHandle kids = node.getKey("/Kids");
    if (kids.isIndirect()) assign(roles, kids.getObjGen(), {Role::PageTree});
    for (int i = 0; kids.isArray() && i < kids.getArrayNItems(); ++i) tree(kids.getArrayItem(i), depth + 1);
  };
  tree(root.getKey("/Pages"), 0);
  // The annotations, known before any walk so that none goes into them.
  struct Listed {
    QPDFObjectHandle annot;
    int page;
    bool widget, signedWidget;
  };
  std::vector<Listed> annotations;
  std::vector<std::pair<QPDFObjGen, int>> annotArrays;
  for (std::size_t i = 0; i < pages.size(); ++i) {
    QPDFObjectHandle annots = QPDFObjectHandle(pages[i]).getKey("/Annots");
    if (annots.isIndirect())
      annotArrays.emplace_back(annots.getObjGen(), static_cast<int>(i)), boundary.insert(annots.getObjGen());
    for (int k = 0; annots.isArray() && k < annots.getArrayNItems(); ++k) {
      QPDFObjectHandle a = annots.getArrayItem(k);
      if (!a.isDictionary()) continue;
      const bool widget = isFieldWidget(a);
      annotations.push_back({a, static_cast<int>(i), widget, widget && isSignedWidget(a)});
      if (a.isIndirect()) boundary.insert(a.getObjGen());
    }
  }
  Walk walk(boundary);
  // Each page's content, then all else it has or inherits but its
  // annotations.
  std::set<std::pair<QPDFObjGen, std::string>> inherited;  // a node's entry walked already
  for (std::size_t i = 0; i < pages.size(); ++i) {
    QPDFObjectHandle page = pages[i];
    const int n = static_cast<int>(i);
    walk.reach(page.getKey("/Contents"), claim({Role::Content, n}));
    walk.reachKeys(page, {"/Contents", "/Annots", "/Parent"}, claim({Role::Resources, n}));
    for (const char* key : {"/Resources", "/MediaBox", "/CropBox", "/Rotate"}) {
      if (page.hasKey(key)) continue;
      QPDFObjectHandle node = page.getKey("/Parent");
      for (int depth = 0; depth < 64 && node.isDictionary(); ++depth, node = node.getKey("/Parent")) {
        if (!node.hasKey(key)) continue;
        if (!node.isIndirect() || inherited.insert({node.getObjGen(), key}).second)
          walk.reach(node.getKey(key), claim({Role::Resources, n}));
        break;
      }
    }
  }
  // Whatever else the document holds, from outlines to scripts.
  walk.reachKeys(root, {"/Pages", "/AcroForm", "/DSS"}, claim({Role::Document}));
  for (const auto& node : nodes) walk.reachKeys(node, {"/Kids", "/Parent"}, claim({Role::Document}));
  QPDFObjectHandle trailer = pdf.getTrailer();
  walk.reach(trailer.getKey("/Info"), claim({Role::Info}));
  walk.reachKeys(trailer, {"/Root", "/Info", "/Prev"}, claim({Role::Document}));
  // Annotations, strictest first: signed fields' widgets, then other
  // annotations (whose appearance may not change), then widgets of fields
  // still to be filled or signed.
  for (const auto& [og, page] : annotArrays) assign(roles, og, {Role::AnnotsArray, page});
  for (int rank = 0; rank < 3; ++rank) {
    for (Listed& a : annotations) {
      if ((a.signedWidget ? 0 : a.widget ? 2 : 1) != rank) continue;
      Role r{Role::Annotation, a.page, a.widget, a.signedWidget,
             a.annot.isIndirect() ? fieldOf(a.annot.getObjGen()) : ""};
      if (a.annot.isIndirect()) assign(roles, a.annot.getObjGen(), r);
      r.kind = Role::Appearance;
      walk.reach(a.annot.getKey("/AP"), claim(r));
      r.kind = Role::AnnotationPart;
      walk.reachKeys(a.annot, {"/AP", "/P", "/Parent", "/V"}, claim(r));
    }
  }
  // The form, its fields and their values, a signature's dictionary among
  // them.
  if (form.isIndirect()) assign(roles, form.getObjGen(), {Role::Form});
  if (fields.isIndirect()) assign(roles, fields.getObjGen(), {Role::FieldsArray});
  std::function<void(QPDFObjectHandle, int)> field = [&](QPDFObjectHandle f, int depth) {
    if (depth > 32 || !f.isDictionary()) return;
    const std::string name = f.isIndirect() ? fieldOf(f.getObjGen()) : std::string();
    if (f.isIndirect()) assign(roles, f.getObjGen(), {Role::Field, -1, false, false, name});
    QPDFObjectHandle value = f.getKey("/V");
    walk.reach(value, claim({value.isDictionary() ? Role::SignatureValue : Role::FieldPart, -1, false, false, name}));
    walk.reachKeys(f, {"/Kids", "/Parent", "/P", "/V"}, claim({Role::FieldPart, -1, false, false, name}));
    QPDFObjectHandle kids = f.getKey("/Kids");
    for (int i = 0; kids.isArray() && i < kids.getArrayNItems(); ++i) field(kids.getArrayItem(i), depth + 1);
  };
  for (int i = 0; fields.isArray() && i < fields.getArrayNItems(); ++i) field(fields.getArrayItem(i), 0);
  walk.reachKeys(form, {"/Fields"}, claim({Role::FormPart}));
  // Last, so that it claims only what nothing else does.
  walk.reach(root.getKey("/DSS"), claim({Role::Dss}));
  return roles;
}

// The object's own text (nested references stay references) and, for a
// stream, its undecoded data.
std::string contentOf(QPDFObjectHandle h) {
  if (h.isStream()) {
    std::string data;
    try {
      auto buf = h.getRawStreamData();
      data.assign(reinterpret_cast<const char*>(buf->getBuffer()), buf->getSize());
    } catch (const std::exception&) {
      data = "\x01unreadable";
    }
    return h.getDict().unparse() + "\nstream\n" + data;
  }
  return h.unparseResolved();
}

// A field's entry, own or inherited from its parents.
QPDFObjectHandle inherited(QPDFObjectHandle f, const char* key) {
  for (int depth = 0; depth < 32 && f.isDictionary(); ++depth, f = f.getKey("/Parent"))
    if (f.hasKey(key)) return f.getKey(key);
  return QPDFObjectHandle::newNull();
}

// A widget with no area, or hidden: it shows nothing on its page.
bool showsNothing(QPDFObjectHandle widget) {
  QPDFObjectHandle flags = widget.getKey("/F");
  if (flags.isInteger() && (flags.getIntValue() & 2)) return true;
  if (!widget.getKey("/Rect").isRectangle()) return false;
  const auto r = widget.getKey("/Rect").getArrayAsRectangle();
  return r.llx == r.urx || r.lly == r.ury;
}

// A document time-stamp: a signature field whose value is one and whose
// widgets show nothing. Anything else could put something on a page under
// the name of validation data.
bool isDocumentTimestamp(QPDFObjectHandle field) {
  QPDFObjectHandle value = inherited(field, "/V");
  if (!inherited(field, "/FT").isNameAndEquals("/Sig") || !value.isDictionary() ||
      !value.getKey("/Type").isNameAndEquals("/DocTimeStamp"))
    return false;
  if (field.hasKey("/Rect") || field.getKey("/Subtype").isNameAndEquals("/Widget")) return showsNothing(field);
  QPDFObjectHandle kids = field.getKey("/Kids");
  if (!kids.isArray()) return true;
  if (kids.getArrayNItems() > 64) return false;
  for (int i = 0; i < kids.getArrayNItems(); ++i)
    if (!showsNothing(kids.getArrayItem(i))) return false;
  return true;
}

// An entry added to a page's /Annots (`annotation`), or to /Fields or a
// field's /Kids: only a widget makes an annotation a field.
Change addedEntry(QPDFObjectHandle h, bool annotation) {
  if (!h.isDictionary()) return Change::Other;
  if (annotation && !h.getKey("/Subtype").isNameAndEquals("/Widget")) return Change::Annotations;
  if (h.hasKey("/FT") || h.hasKey("/Parent") || h.hasKey("/T"))
    return isDocumentTimestamp(h) ? Change::ValidationData : Change::FormFilling;
  return Change::Annotations;
}

// When `after` keeps every entry of `before`: the most an added entry
// does; none otherwise.
std::optional<Change> gained(QPDFObjectHandle before, QPDFObjectHandle after, bool annotations) {
  if (!after.isArray())
    return before.isArray() && before.getArrayNItems() > 0 ? std::nullopt : std::optional(Change::None);
  std::multiset<std::string> old;
  for (int i = 0; before.isArray() && i < before.getArrayNItems(); ++i) old.insert(before.getArrayItem(i).unparse());
  Change most = Change::None;
  for (int i = 0; i < after.getArrayNItems(); ++i) {
    auto it = old.find(after.getArrayItem(i).unparse());
    if (it != old.end())
      old.erase(it);
    else
      most = std::max(most, addedEntry(after.getArrayItem(i), annotations));
  }
  if (!old.empty()) return std::nullopt;
  return most;
}

struct Finding {
  Change change = Change::None;
  std::string detail;
  void note(Change c, const std::string& what) {
    if (c > change) change = c, detail = what;
  }
};

// Keys whose values differ between two dictionaries (either may be absent).
std::vector<std::string> changedKeys(QPDFObjectHandle a, QPDFObjectHandle b) {
  std::set<std::string> keys;
  if (a.isDictionary())
    for (const auto& k : a.getKeys()) keys.insert(k);
  if (b.isDictionary())
    for (const auto& k : b.getKeys()) keys.insert(k);
  std::vector<std::string> out;
  for (const auto& k : keys)
    if (a.getKey(k).unparse() != b.getKey(k).unparse()) out.push_back(k);
  return out;
}

void compareForm(QPDFObjectHandle before, QPDFObjectHandle after, Finding& f) {
  for (const auto& k : changedKeys(before, after)) {
    if (k == "/Fields") {
      auto c = gained(before.getKey("/Fields"), after.getKey("/Fields"), false);
      f.note(c ? *c : Change::Other, c ? "adds form fields" : "removes form fields");
    } else if (k == "/SigFlags") {
      f.note(Change::ValidationData, "sets the signature flags");
    } else if (k == "/DR" || k == "/DA" || k == "/NeedAppearances") {
      f.note(Change::FormFilling, "changes the form's " + k);
    } else {
      f.note(Change::Other, "changes the form's " + k);
    }
  }
}

void compareCatalog(QPDFObjectHandle before, QPDFObjectHandle after, Finding& f) {
  for (const auto& k : changedKeys(before, after)) {
    if (k == "/DSS" || k == "/Extensions" || k == "/Version")
      f.note(Change::ValidationData, "adds validation data");
    else if (k == "/AcroForm")
      compareForm(before.getKey(k), after.getKey(k), f);
    else if (k == "/Pages")
      f.note(Change::Other, "replaces the page tree");
    else
      f.note(Change::Other, "changes the catalog's " + k);
  }
}

void comparePage(int page, QPDFObjectHandle before, QPDFObjectHandle after, Finding& f) {
  for (const auto& k : changedKeys(before, after)) {
    if (k == "/Annots") {
      auto c = gained(before.getKey(k), after.getKey(k), true);
      f.note(c ? *c : Change::Other,
             c ? "adds annotations to " + pageName(page) : "removes annotations from " + pageName(page));
    } else if (k == "/Contents") {
      f.note(Change::Other, "changes " + pageName(page) + "'s content");
    } else if (k == "/Resources") {
      f.note(Change::Other, "changes " + pageName(page) + "'s resources");
    } else {
      f.note(Change::Other, "changes " + pageName(page) + "'s " + k);
    }
  }
}

void classify(QPDFObjGen og, const Role& role, QPDFObjectHandle before, QPDFObjectHandle after, Finding& f) {
  const std::string page = pageName(role.page);
  switch (role.kind) {
    case Role::Catalog:
      return compareCatalog(before, after, f);
    case Role::PageTree:
      return f.note(Change::Other, "adds, removes or moves pages");
    case Role::Page:
      return comparePage(role.page, before, after, f);
    case Role::Content:
      return f.note(Change::Other, "changes " + page + "'s content");
    case Role::Resources:
      return f.note(Change::Other, "changes " + page + "'s resources");
    case Role::AnnotsArray: {
      auto c = gained(before, after, true);
      return f.note(c ? *c : Change::Other, c ? "adds annotations to " + page : "removes annotations from " + page);
    }
    case Role::Annotation:
      for (const auto& k : changedKeys(before, after)) {
        if (role.fieldWidget && k == "/V" && before.getKey("/V").isDictionary())
          f.note(Change::Other, "replaces the value of a signed field on " + page);
        else if (role.signedField && (k == "/AP" || k == "/AS"))
          f.note(Change::Other, "changes the appearance of a signed field on " + page);
        else if (role.fieldWidget && (k == "/V" || k == "/AP" || k == "/AS"))
          f.note(Change::FormFilling, "fills or signs a form field on " + page);
        else if (role.fieldWidget || k == "/AP")
          f.note(Change::Other, "changes the appearance of an annotation on " + page);
        else
          f.note(Change::Annotations, "changes an annotation on " + page);
      }
      return;
    case Role::Appearance:
      if (role.signedField) return f.note(Change::Other, "changes the appearance of a signed field on " + page);
      return role.fieldWidget ? f.note(Change::FormFilling, "changes a form field's appearance on " + page)
                              : f.note(Change::Other, "changes the appearance of an annotation on " + page);
    case Role::Form:
      return compareForm(before, after, f);
    case Role::FieldsArray: {
      auto c = gained(before, after, false);
      return f.note(c ? *c : Change::Other, c ? "adds form fields" : "removes form fields");
    }
    case Role::Field:
      for (const auto& k : changedKeys(before, after)) {
        if (k == "/V" && before.getKey("/V").isDictionary()) {
          f.note(Change::Other, "replaces the value of a signed field");
        } else if (k == "/V") {
          f.note(Change::FormFilling, "fills or signs a form field");
        } else if (k == "/Kids") {
          auto c = gained(before.getKey(k), after.getKey(k), false);
          f.note(c ? *c : Change::Other, c ? "adds form fields" : "removes form fields");
        } else {
          f.note(Change::Other, "changes a form field's " + k);
        }
      }
      return;
    case Role::Document:
      return f.note(Change::Other, "changes object " + std::to_string(og.getObj()) + " of the document");
    case Role::Info:
      return f.note(Change::Other, "changes the document information");
    case Role::AnnotationPart:
      return f.note(Change::Other, role.signedField ? "changes a signed field on " + page
                                                    : "changes part of an annotation on " + page);
    case Role::FormPart:
      return f.note(Change::Other, "changes part of the form");
    case Role::FieldPart:
      return f.note(Change::Other, "changes part of a form field");
    case Role::SignatureValue:
      return f.note(Change::Other, "changes a signature dictionary");
    case Role::Dss:
      return f.note(Change::ValidationData, "updates validation data");
    case Role::Unknown:
      break;
  }
  f.note(Change::Other, "changes object " + std::to_string(og.getObj()));
}

// The most a DocMDP level (or a lock's /P) lets later updates do.
Change allowedBy(int permission) {
  return permission == 1 ? Change::ValidationData : permission == 2 ? Change::FormFilling : Change::Annotations;
}

bool sameEntry(const QPDFXRefEntry& a, const QPDFXRefEntry& b) {
  if (a.getType() != b.getType()) return false;
  if (a.getType() == 1) return a.getOffset() == b.getOffset();
  if (a.getType() == 2)
    return a.getObjStreamNumber() == b.getObjStreamNumber() && a.getObjStreamIndex() == b.getObjStreamIndex();
  return true;
}

// Every string and stream is decrypted with a key made from /Encrypt and,
// in an encrypted file, the first /ID string: changing either makes the
// same bytes say something else.
void compareTrailers(QPDFObjectHandle before, QPDFObjectHandle after, Finding& f) {
  auto firstId = [](QPDFObjectHandle trailer) {
    QPDFObjectHandle id = trailer.getKey("/ID");
    return id.isArray() && id.getArrayNItems() > 0 ? id.getArrayItem(0).unparse() : std::string();
  };
  if (before.getKey("/Encrypt").unparse() != after.getKey("/Encrypt").unparse())
    f.note(Change::Other, "changes the encryption");
  else if (after.hasKey("/Encrypt") && firstId(before) != firstId(after))
    f.note(Change::Other, "changes the identifier the encryption key is made from");
  // Readers show its title; taking it away shows nothing new.
  if (after.hasKey("/Info") && before.getKey("/Info").unparse() != after.getKey("/Info").unparse())
    f.note(Change::Other, "changes the document information");
}

// The object streams an update writes, found as a reader resolving /Type
// finds them: each object one holds must be the one the table gives as
// that stream's at that index, as a reader that rebuilds the table loads
// every object stream it finds and its objects replace the plain ones.
// The update lies between `from` and `to`, counted from the header; the
// tokens of its object streams are checked as the update's own are, and
// the numbers they refer to added to `references`.
void checkObjectStreamCopies(QPDF& after, const std::map<QPDFObjGen, QPDFXRefEntry>& table, std::uint64_t from,
                             std::uint64_t to, std::uint64_t fileSize, std::set<int>& references, Finding& f) {
  const ExpansionLimit limit;
  ExpansionBudget together(fileSize, limit);
  for (const auto& [og, entry] : table) {
    if (entry.getType() != 1 || entry.getOffset() < 0 || static_cast<std::uint64_t>(entry.getOffset()) < from ||
        static_cast<std::uint64_t>(entry.getOffset()) >= to)
      continue;
    QPDFObjectHandle holder = after.getObject(og);
    if (!holder.isStream() || !holder.getDict().getKey("/Type").isNameAndEquals("/ObjStm")) continue;
    const std::string what = "object stream " + std::to_string(og.getObj());
    QPDFObjectHandle dict = holder.getDict(), n = dict.getKey("/N"), first = dict.getKey("/First");
    if (!n.isInteger() || !first.isInteger() || n.getIntValue() < 0 || first.getIntValue() < 0) {
      f.note(Change::Other, "writes an " + what + " whose /N or /First is not a count");
      continue;
    }
    // Not measured when the model was read unless an entry uses it.
    refuseIfExpanding(holder, holder.getRawStreamData()->getSize(), what, limit, together);
    std::shared_ptr<Buffer> data;
    try {
      data = holder.getStreamData(qpdf_dl_generalized);
    } catch (const std::exception&) {
      continue;  // nor can a reader decode it
    }
    const std::string_view content(reinterpret_cast<const char*>(data->getBuffer()), data->getSize());
    const UpdateAsRebuilt tokens = readObjectStreamAsRebuilt(content);
    if (tokens.misread > 0 || tokens.verticalTabs > 0)
      f.note(Change::Other, "writes tokens that qpdf and other readers read apart");
    if (tokens.repeatedKeys > 0) f.note(Change::Other, "gives a key twice in one dictionary");
    references.insert(tokens.references.begin(), tokens.references.end());
    const auto pairs = objectStreamHeader(content, static_cast<std::uint64_t>(first.getIntValue()),
                                          static_cast<std::uint64_t>(n.getIntValue()));
    for (std::size_t i = 0; i < pairs.size(); ++i) {
      if (pairs[i].number > INT_MAX) continue;
      const auto held = table.find(QPDFObjGen(static_cast<int>(pairs[i].number), 0));
      if (held == table.end() || held->second.getType() != 2 || held->second.getObjStreamNumber() != og.getObj() ||
          held->second.getObjStreamIndex() != static_cast<int>(i))
        f.note(Change::Other,
               "carries object " + std::to_string(pairs[i].number) + ", which no cross-reference section lists");
    }
  }
}

// An object listed where its "n g obj" is not makes qpdf rebuild its table
// and read one object, and other readers another; a number twice in an
// object stream's header is the last copy to qpdf, the listed one to
// others. Each entry the update lists that `oldTable` did not have is
// checked so, from the update's own sections as written (qpdf's table may
// be a rebuilt one) or, when those cannot be read here, from qpdf's.
void checkListings(std::string_view bytes, std::uint64_t header, std::uint64_t from, std::uint64_t to,
                   const std::map<QPDFObjGen, QPDFXRefEntry>& oldTable,
                   const std::map<QPDFObjGen, QPDFXRefEntry>& newTable, QPDF& after, Finding& f) {
  if (header >= from) return;
  const std::string_view file = bytes.substr(static_cast<std::size_t>(header), static_cast<std::size_t>(to - header));
  std::vector<std::pair<int, XrefEntry>> listed;
  auto add = [&](int object, const XrefEntry& e) {
    const auto old = oldTable.find(QPDFObjGen(object, e.kind == XrefEntry::Kind::inFile ? e.generation : 0));
    const bool same =
        old != oldTable.end() &&
        (e.kind == XrefEntry::Kind::inFile
             ? old->second.getType() == 1 && old->second.getOffset() == static_cast<qpdf_offset_t>(e.offset)
             : old->second.getType() == 2 && old->second.getObjStreamNumber() == e.stream &&
                   old->second.getObjStreamIndex() == e.index);
    if (!same) listed.emplace_back(object, e);
  };
  const auto tail = readXrefTail(bytes.substr(0, static_cast<std::size_t>(to)));
  const auto sections =
      tail && tail->headerOffset == header ? CrossReferenceSections::read(file, tail->startxref) : std::nullopt;
  // Sections that cannot be read as written (an /XRefStm that leads
  // nowhere, say) make readers rebuild the table, each its own way, where
  // the signed revision's could be read.
  if (!sections) {
    const auto signedTail = readXrefTail(bytes.substr(0, static_cast<std::size_t>(from)));
    if (signedTail && signedTail->headerOffset == header &&
        CrossReferenceSections::read(file.substr(0, static_cast<std::size_t>(from - header)), signedTail->startxref))
      f.note(Change::Other, "has a cross-reference section that cannot be read as written");
  }
  if (!sections || !sections->visitListedFrom(from - header, [&](int object, const std::optional<XrefEntry>& e) {
        if (e && e->kind != XrefEntry::Kind::free) add(object, *e);
      })) {
    listed.clear();
    for (const auto& [og, entry] : newTable) {
      XrefEntry e;
      if (entry.getType() == 1) {
        e.kind = XrefEntry::Kind::inFile;
        e.offset = static_cast<std::uint64_t>(entry.getOffset());
        e.generation = og.getGen();
      } else if (entry.getType() == 2) {
        e.kind = XrefEntry::Kind::inStream;
        e.stream = entry.getObjStreamNumber();
        e.index = entry.getObjStreamIndex();
      } else {
        continue;
      }
      add(og.getObj(), e);
    }
  }
  std::map<int, std::vector<std::uint64_t>> headers;  // each object stream's numbers, in order
  auto numbersIn = [&](int stream) -> const std::vector<std::uint64_t>& {
    auto found = headers.find(stream);
    if (found != headers.end()) return found->second;
    std::vector<std::uint64_t>& numbers = headers[stream];
    // Measured against the expansion limit when the revision was read.
    QPDFObjectHandle s = after.getObjectByID(stream, 0);
    if (!s.isStream() || !s.getDict().getKey("/N").isInteger() || !s.getDict().getKey("/First").isInteger())
      return numbers;
    std::string data;
    try {
      auto buffer = s.getStreamData(qpdf_dl_generalized);
      data.assign(reinterpret_cast<const char*>(buffer->getBuffer()), buffer->getSize());
    } catch (const std::exception&) {
      return numbers;
    }
    const long long n = s.getDict().getKey("/N").getIntValue(), first = s.getDict().getKey("/First").getIntValue();
    if (n < 0 || first < 0) return numbers;
    for (const auto& pair : objectStreamHeader(data, static_cast<std::uint64_t>(first), static_cast<std::uint64_t>(n)))
      numbers.push_back(pair.number);
    return numbers;
  };
  for (const auto& [object, e] : listed) {
    const std::string what = "lists object " + std::to_string(object);
    if (e.kind == XrefEntry::Kind::inFile) {
      // Offset 0 reads as nothing to every reader: a deletion, judged as one.
      if (e.offset != 0 && !afterObjectHeader(file, e.offset, object, e.generation))
        f.note(Change::Other, what + " where it is not");
      continue;
    }
    const auto& numbers = numbersIn(e.stream);
    const std::string stream = " object stream " + std::to_string(e.stream);
    if (static_cast<std::size_t>(e.index) >= numbers.size() ||
        numbers[static_cast<std::size_t>(e.index)] != static_cast<std::uint64_t>(object))
      f.note(Change::Other, what + " where" + stream + " does not hold it");
    else if (std::count(numbers.begin(), numbers.end(), static_cast<std::uint64_t>(object)) > 1)
      f.note(Change::Other, what + " twice in" + stream);
  }
}

}  // namespace

const char* changeName(Change c) {
  switch (c) {
    case Change::None:
      return "none";
    case Change::ValidationData:
      return "validation data";
    case Change::FormFilling:
      return "form filling or signing";
    case Change::Annotations:
      return "annotations";
    case Change::Other:
      break;
  }
  return "other";
}

RevisionAnalysis::RevisionAnalysis(std::shared_ptr<const std::string> bytes, std::string password)
    : bytes_(std::move(bytes)), password_(std::move(password)) {}

RevisionAnalysis::~RevisionAnalysis() = default;

std::optional<std::uint64_t> RevisionAnalysis::startxrefBefore(const std::string& bytes, std::size_t eof) {
  std::size_t at = eof;
  while (at > 0 && isPdfSpace(bytes[at - 1])) --at;
  const std::size_t digitsEnd = at;
  while (at > 0 && bytes[at - 1] >= '0' && bytes[at - 1] <= '9') --at;
  if (at == digitsEnd || digitsEnd - at > 18) return std::nullopt;
  const std::uint64_t offset = std::stoull(bytes.substr(at, digitsEnd - at));
  while (at > 0 && isPdfSpace(bytes[at - 1])) --at;
  if (at < 9 || bytes.compare(at - 9, 9, "startxref") != 0) return std::nullopt;
  return offset;
}

std::vector<std::uint64_t> RevisionAnalysis::revisionEnds(const std::string& bytes) {
  std::vector<std::uint64_t> ends;
  for (auto at = bytes.find("%%EOF"); at != std::string::npos; at = bytes.find("%%EOF", at + 5)) {
    // Only a %%EOF after "startxref N" closes a revision; one inside a
    // stream or a comment does not.
    if (!startxrefBefore(bytes, at)) continue;
    std::size_t end = at + 5;
    if (end < bytes.size() && bytes[end] == '\r') ++end;
    if (end < bytes.size() && bytes[end] == '\n') ++end;
    ends.push_back(end);
  }
  if (ends.empty() || ends.back() != bytes.size()) ends.push_back(bytes.size());
  return ends;
}

void RevisionAnalysis::adopt(std::uint64_t end, std::shared_ptr<QPDF> pdf) {
  models_[end] = Model{std::move(pdf), ++uses_};
}

QPDF* RevisionAnalysis::model(std::uint64_t end, std::string& error) {
  auto it = models_.find(end);
  if (it != models_.end()) {
    it->second.lastUse = ++uses_;
    return it->second.pdf.get();
  }
  auto pdf = std::make_unique<QPDF>();
  try {
    pdf->setSuppressWarnings(true);
    checkCrossReferenceExpansion(std::string_view(*bytes_).substr(0, static_cast<std::size_t>(end)));
    pdf->processMemoryFile("revision", bytes_->data(), static_cast<std::size_t>(end), password_.c_str());
    rebuilt_.emplace(end, pdf->anyWarnings());  // all it has read so far is the table
    checkObjectStreamExpansion(*pdf, std::string_view(*bytes_).substr(0, static_cast<std::size_t>(end)));
  } catch (const std::exception& e) {
    error = e.what();
    return nullptr;
  }
  // The one used longest ago goes; the caller holds at most one other.
  constexpr std::size_t kKeptModels = 2;
  if (models_.size() >= kKeptModels)
    models_.erase(std::min_element(models_.begin(), models_.end(),
                                   [](const auto& a, const auto& b) { return a.second.lastUse < b.second.lastUse; }));
  return models_.emplace(end, Model{std::move(pdf), ++uses_}).first->second.pdf.get();
}

bool RevisionAnalysis::rebuildsTable(std::uint64_t end) {
  if (const auto known = rebuilt_.find(end); known != rebuilt_.end()) return known->second;
  // A revision read elsewhere (the document's last): its table alone again.
  QPDF pdf;
  pdf.setSuppressWarnings(true);
  bool rebuilt = true;
  try {
    checkCrossReferenceExpansion(std::string_view(*bytes_).substr(0, static_cast<std::size_t>(end)));
    pdf.processMemoryFile("revision", bytes_->data(), static_cast<std::size_t>(end), password_.c_str());
    rebuilt = pdf.anyWarnings();
  } catch (const std::exception&) {
  }
  return rebuilt_.emplace(end, rebuilt).first->second;
}

UpdateChange RevisionAnalysis::compare(std::uint64_t from, std::uint64_t to) {
  auto cached = compared_.find({from, to});
  if (cached != compared_.end()) return cached->second;
  UpdateChange result;
  result.end = to;
  Finding f;
  std::string error;
  // Offsets in the sections count from the "%PDF-" header.
  const std::uint64_t header = findHeaderOffset(std::string_view(*bytes_).substr(0, kHeaderSearchBytes));
  QPDF* before = model(from, error);
  QPDF* after = before ? model(to, error) : nullptr;
  if (!after) {
    f.note(Change::Other, "cannot be read (" + error + ")");
  } else {
    try {
      const auto oldTable = before->getXRefTable();
      const auto newTable = after->getXRefTable();
      // Worked out once an object has changed: it takes a walk of the
      // whole revision, which an update that changes nothing must not cost.
      std::optional<Roles> roles;
      std::set<std::string> fields;
      auto consider = [&](QPDFObjGen og) {
        QPDFObjectHandle was = before->getObject(og), now = after->getObject(og);
        if (contentOf(was) == contentOf(now)) return;
        if (!roles) roles = rolesOf(*before);
        auto role = roles->find(og);
        classify(og, role == roles->end() ? Role{} : role->second, was, now, f);
        if (role != roles->end() && !role->second.field.empty()) fields.insert(role->second.field);
      };
      std::map<int, int> inUse;  // object number -> generation, in the signed revision
      for (const auto& [o, e] : oldTable)
        if (e.getType() != 0) inUse.emplace(o.getObj(), o.getGen());
      bool definesNew = false;
      for (const auto& [og, entry] : newTable) {
        auto old = oldTable.find(og);
        if (old != oldTable.end()) {
          if (!sameEntry(old->second, entry)) consider(og);
          continue;
        }
        if (entry.getType() == 0) continue;
        // A number the signed revision uses, under another generation, is
        // read differently by different readers.
        const auto used = inUse.find(og.getObj());
        if (used != inUse.end() && used->second != og.getGen())
          f.note(Change::Other, "redefines object " + std::to_string(og.getObj()) + " under another generation");
        definesNew = true;
      }
      // A new number the signed revision already refers to (a reference
      // to nothing, read as null then) changes what it shows now.
      if (definesNew) {
        int lowest = INT_MAX;
        for (const auto& [og, entry] : newTable)
          if (entry.getType() != 0 && !oldTable.count(og)) lowest = std::min(lowest, og.getObj());
        // As written: qpdf's parse hides a key whose value refers to
        // nothing (read as null), and of a key given twice keeps the last
        // value. A file qpdf had to repair is read its way too, as its
        // objects may not be where the text says.
        std::set<int> written;
        const auto tail = readXrefTail(std::string_view(*bytes_).substr(0, static_cast<std::size_t>(from)));
        const bool asWritten = header < from && tail && tail->headerOffset == header;
        if (asWritten) {
          auto found = writtenReferences(std::string_view(*bytes_).substr(static_cast<std::size_t>(header),
                                                                          static_cast<std::size_t>(from - header)),
                                         *before, oldTable, tail->startxref, lowest);
          if (found)
            written = std::move(*found);
          else
            f.note(Change::Other, "adds objects to a revision whose objects run into one another");
        }
        std::set<QPDFObjGen> referenced;
        if (!asWritten || before->anyWarnings()) {
          referencesIn(before->getTrailer(), referenced);
          for (const auto& [o, e] : oldTable)
            if (e.getType() != 0) referencesIn(before->getObject(o), referenced);
        }
        for (const auto& [og, entry] : newTable)
          if (entry.getType() != 0 && !oldTable.count(og) && (referenced.count(og) || written.count(og.getObj())))
            f.note(Change::Other, "defines object " + std::to_string(og.getObj()) +
                                      ", which the signed revision refers to but did not have");
      }
      // Objects the update frees or drops.
      for (const auto& [og, entry] : oldTable)
        if (!newTable.count(og)) consider(og);
      if (after->getTrailer().getKey("/Root").getObjGen() != before->getTrailer().getKey("/Root").getObjGen())
        f.note(Change::Other, "replaces the catalog");
      compareTrailers(before->getTrailer(), after->getTrailer(), f);
      checkListings(*bytes_, header, from, to, oldTable, newTable, *after, f);
      // What the update writes beyond its sections: a reader that rebuilds
      // the table (a section not quite to the standard is enough for some)
      // shows it.
      if (header < from) {
        std::set<std::uint64_t> listed;
        for (const auto& [og, entry] : newTable)
          if (entry.getType() == 1) listed.insert(static_cast<std::uint64_t>(entry.getOffset()));
        const std::string_view file =
            std::string_view(*bytes_).substr(static_cast<std::size_t>(header), static_cast<std::size_t>(to - header));
        const UpdateAsRebuilt rebuilt = readUpdateAsRebuilt(file, from - header, to - header, listed,
                                                            [&](int n, int g) -> std::optional<long long> {
                                                              QPDFObjectHandle length = after->getObjectByID(n, g);
                                                              if (!length.isInteger()) return std::nullopt;
                                                              return length.getIntValue();
                                                            });
        for (int n : rebuilt.unlisted)
          f.note(Change::Other, "carries object " + std::to_string(n) + ", which no cross-reference section lists");
        std::set<int> references = rebuilt.references;
        checkObjectStreamCopies(*after, newTable, from - header, to - header, bytes_->size(), references, f);
        if (rebuilt.strayTrailers > 0) f.note(Change::Other, "holds a trailer that no startxref leads to");
        if (rebuilt.strayText > 0)
          f.note(Change::Other, "holds text outside its objects and its cross-reference section");
        if (rebuilt.oddSections > 0)
          f.note(Change::Other, "writes a cross-reference section that not every reader reads as written");
        if (rebuilt.hidden > 0)
          f.note(Change::Other, "hides an object or a trailer that a reader rebuilding the table takes");
        if (rebuilt.repeatedKeys > 0) f.note(Change::Other, "gives a key twice in one dictionary");
        if (rebuilt.misread > 0) f.note(Change::Other, "writes tokens that qpdf and other readers read apart");
        // A reference to nothing: qpdf reads it as no key at all, and one
        // reader rebuilds the table on it.
        for (const int n : references) {
          const auto defined = newTable.lower_bound(QPDFObjGen(n, 0));
          if (defined == newTable.end() || defined->first.getObj() != n || defined->second.getType() == 0)
            f.note(Change::Other, "refers to object " + std::to_string(n) + ", which the document does not have");
        }
        if (rebuilt.verticalTabs > 0)
          f.note(Change::Other, "writes a vertical tab between tokens, which qpdf and other readers read apart");
        for (const auto& [og, entry] : newTable)
          if (entry.getType() == 1 && static_cast<std::uint64_t>(entry.getOffset()) >= from - header &&
              static_cast<std::uint64_t>(entry.getOffset()) < to - header &&
              !rebuilt.objectsAt.count(static_cast<std::uint64_t>(entry.getOffset())))
            f.note(Change::Other, "lists object " + std::to_string(og.getObj()) + " where it is not");
      }
      // Tables that qpdf rebuilds, each reader its own way, where it read
      // the signed revision's as written.
      if (rebuildsTable(to) && !rebuildsTable(from)) {
        f.note(Change::Other, "cannot be read without rebuilding the cross-reference table");
      }
      result.fields.assign(fields.begin(), fields.end());
      // Working out the roles read every object of the earlier revision,
      // which it keeps, some hundreds of MB for a long document; it is read
      // again (its table only, until asked for an object) if needed again.
      if (roles) models_.erase(from);
    } catch (const std::exception& e) {
      f.note(Change::Other, std::string("cannot be compared (") + e.what() + ")");
    }
  }
  result.change = f.change;
  result.detail = f.detail;
  compared_.emplace(std::make_pair(from, to), result);
  return result;
}

bool RevisionAnalysis::hasDictionary(std::uint64_t revisionEnd, QPDFObjGen object) {
  std::string error;
  QPDF* revision = model(revisionEnd, error);
  try {
    return revision && revision->getObject(object).isDictionary();
  } catch (const std::exception&) {
    return false;
  }
}

void RevisionAnalysis::visitSignedFields(std::uint64_t revisionEnd,
                                         const std::function<void(const SignatureFieldEntry&)>& visit) {
  std::string error;
  QPDF* revision = model(revisionEnd, error);
  if (!revision) return;
  try {
    for (const auto& f : listSignatureFields(*revision))
      if (f.isSigned) visit(f);
  } catch (const std::exception&) {
    // A form that cannot be read holds no signature to find.
  }
}

RevisionReport RevisionAnalysis::after(std::uint64_t revisionEnd) {
  RevisionReport report;
  std::string error;
  std::vector<FieldLock> locks;
  if (QPDF* signedRevision = model(revisionEnd, error)) {
    try {
      report.certification = certificationPermission(*signedRevision);
      locks = fieldLocks(*signedRevision);
    } catch (const std::exception&) {
      report.certification = 1;
    }
  }
  Change allowed = report.certification ? allowedBy(*report.certification) : Change::Annotations;
  for (const FieldLock& lock : locks)
    if (lock.permission) allowed = std::min(allowed, allowedBy(*lock.permission));
  std::uint64_t from = revisionEnd;
  for (std::uint64_t end : revisionEnds(*bytes_)) {
    // Only white space past the revision: not an update.
    if (end <= revisionEnd ||
        bytes_->find_first_not_of(std::string("\r\n \t\f\0", 6), static_cast<std::size_t>(from)) >=
            static_cast<std::size_t>(end))
      continue;
    // Objects appended without a cross-reference section of their own (no
    // "startxref N %%EOF", or one pointing back into earlier revisions):
    // qpdf keeps to the old table, but a reader repairing the file shows them.
    // Known without reading the revision, which costs a parse of the file
    // up to there: a file of many such markers is not read once per marker.
    const std::string_view tail = std::string_view(*bytes_).substr(0, static_cast<std::size_t>(end));
    const auto eof = tail.rfind("%%EOF");
    const auto startxref = eof == std::string_view::npos || eof < from ? std::nullopt : startxrefBefore(*bytes_, eof);
    UpdateChange u;
    if (!startxref || *startxref < from)
      u = {end, Change::Other, "appends bytes that no cross-reference section lists"};
    else if (report.updates.size() >= kMaxComparedUpdates)
      u = {end, Change::Other, "is one of more updates than are compared"};
    else
      u = compare(from, end);
    if (u.change > allowed && !report.disallowed) {
      report.disallowed = true;
      report.problem = "a later update " + u.detail;
    }
    for (const std::string& field : u.fields)
      for (const FieldLock& lock : locks)
        if (!report.disallowed && lock.covers(field)) {
          report.disallowed = true;
          report.problem =
              "a later update changes the field '" + field + "', locked by the signature in '" + lock.signedField + "'";
        }
    report.updates.push_back(std::move(u));
    from = end;
  }
  return report;
}

}  // namespace penvora::core::securepdf
