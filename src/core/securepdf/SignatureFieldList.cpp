#include "core/securepdf/SignatureFieldList.hpp"

#include <map>
#include <set>

#include "core/securepdf/PageTree.hpp"

namespace penvora::core::securepdf {
namespace {

constexpr int kMaxDepth = 64;

struct Walker {
  std::set<QPDFObjGen> seen;
  std::vector<SignatureFieldEntry> sig;
  std::vector<std::string> names;
  std::map<QPDFObjGen, std::string> byObject;

  void walk(QPDFObjectHandle node, const std::string& parentName, const std::string& inheritedFT, int depth) {
    if (depth > kMaxDepth || !node.isDictionary()) return;
    if (node.isIndirect() && !seen.insert(node.getObjGen()).second) return;
    std::string name = parentName;
    if (node.getKey("/T").isString()) {
      const std::string t = node.getKey("/T").getUTF8Value();
      name = parentName.empty() ? t : parentName + "." + t;
    }
    if (node.isIndirect()) byObject.emplace(node.getObjGen(), name);
    std::string ft = node.getKey("/FT").isName() ? node.getKey("/FT").getName() : inheritedFT;
    QPDFObjectHandle kids = node.getKey("/Kids");
    bool hasFieldKids = false;
    if (kids.isArray()) {
      for (int i = 0; i < kids.getArrayNItems(); ++i) {
        QPDFObjectHandle k = kids.getArrayItem(i);
        if (k.isDictionary() && k.hasKey("/T")) hasFieldKids = true;
      }
    }
    if (hasFieldKids) {
      for (int i = 0; i < kids.getArrayNItems(); ++i) walk(kids.getArrayItem(i), name, ft, depth + 1);
      return;
    }
    names.push_back(name);
    // The terminal field's widgets carry its name too.
    for (int i = 0; kids.isArray() && i < kids.getArrayNItems(); ++i)
      if (kids.getArrayItem(i).isIndirect()) byObject.emplace(kids.getArrayItem(i).getObjGen(), name);
    if (ft == "/Sig") {
      QPDFObjectHandle v = node.getKey("/V");
      sig.push_back({node, name, v.isDictionary()});
    }
  }
};

Walker walkAll(QPDF& pdf) {
  Walker w;
  QPDFObjectHandle acro = pdf.getRoot().getKey("/AcroForm");
  if (!acro.isDictionary()) return w;
  QPDFObjectHandle fields = acro.getKey("/Fields");
  if (!fields.isArray()) return w;
  for (int i = 0; i < fields.getArrayNItems(); ++i) w.walk(fields.getArrayItem(i), "", "", 0);
  return w;
}

}  // namespace

std::vector<SignatureFieldEntry> listSignatureFields(QPDF& pdf) { return walkAll(pdf).sig; }

std::vector<std::string> listFieldNames(QPDF& pdf) { return walkAll(pdf).names; }

std::map<QPDFObjGen, std::string> fieldNamesByObject(QPDF& pdf) { return walkAll(pdf).byObject; }

std::vector<SignatureFieldEntry> signedWidgetsOutsideTheForm(QPDF& pdf) {
  const Walker form = walkAll(pdf);
  std::vector<SignatureFieldEntry> out;
  std::set<QPDFObjGen> reported;
  for (QPDFObjectHandle page : allPages(pdf)) {
    QPDFObjectHandle annots = page.getKey("/Annots");
    for (int i = 0; annots.isArray() && i < annots.getArrayNItems(); ++i) {
      QPDFObjectHandle widget = annots.getArrayItem(i);
      if (!widget.isDictionary() || !widget.getKey("/Subtype").isNameAndEquals("/Widget")) continue;
      // Up the /Parent chain: the first /FT and /V found, every /T.
      std::string name, ft;
      QPDFObjectHandle terminal;
      bool inForm = false;
      std::set<QPDFObjGen> climbed;
      QPDFObjectHandle node = widget;
      for (int depth = 0; depth <= kMaxDepth && node.isDictionary(); ++depth) {
        if (node.isIndirect() && (form.seen.count(node.getObjGen()) || form.byObject.count(node.getObjGen()))) {
          inForm = true;
          break;
        }
        if (node.isIndirect() && !climbed.insert(node.getObjGen()).second) break;
        if (node.getKey("/T").isString())
          name = name.empty() ? node.getKey("/T").getUTF8Value() : node.getKey("/T").getUTF8Value() + "." + name;
        if (ft.empty() && node.getKey("/FT").isName()) ft = node.getKey("/FT").getName();
        if (!terminal.isInitialized() && node.getKey("/V").isDictionary()) terminal = node;
        node = node.getKey("/Parent");
      }
      if (inForm || ft != "/Sig" || !terminal.isInitialized()) continue;
      if (terminal.isIndirect() && !reported.insert(terminal.getObjGen()).second) continue;
      out.push_back({terminal, name, true});
    }
  }
  return out;
}

std::int32_t signatureFieldIndex(QPDF& pdf, const std::string& name) {
  const auto fields = listSignatureFields(pdf);
  auto lastPart = [](const std::string& full) {
    auto dot = full.rfind('.');
    return dot == std::string::npos ? full : full.substr(dot + 1);
  };
  // An exact full name wins over a matching last part.
  for (std::size_t i = 0; i < fields.size(); ++i)
    if (fields[i].fullName == name) return static_cast<std::int32_t>(i);
  for (std::size_t i = 0; i < fields.size(); ++i)
    if (lastPart(fields[i].fullName) == name) return static_cast<std::int32_t>(i);
  return -1;
}

}  // namespace penvora::core::securepdf
