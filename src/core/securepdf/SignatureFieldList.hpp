#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

namespace penvora::core::securepdf {

// One terminal signature field of the document's form.
struct SignatureFieldEntry {
  QPDFObjectHandle field;  // the terminal field (may be its own widget)
  std::string fullName;    // dotted fully qualified name
  bool isSigned = false;   // /V already holds a signature
};

// The signature fields in form order: a depth-first walk of /AcroForm
// /Fields. Both the field index of signing and the name lookup count in
// this order. Loops and absurd depths are cut off.
std::vector<SignatureFieldEntry> listSignatureFields(QPDF& pdf);

// Signed signature widgets that pages show but the form does not reach:
// some tools add a signature to its page alone, and readers that look for
// signatures page by page show it. Each named as its /T and its parents'
// say, the terminal field (the widget, or its parent holding /V) as
// `field`. Loops and absurd depths are cut off.
std::vector<SignatureFieldEntry> signedWidgetsOutsideTheForm(QPDF& pdf);

// Index of the signature field named `name` (fully qualified, or failing
// that its last part) in form order; -1 when absent.
std::int32_t signatureFieldIndex(QPDF& pdf, const std::string& name);

// Every fully qualified field name (all types), for picking a new one.
std::vector<std::string> listFieldNames(QPDF& pdf);

// The fully qualified name of the field each indirect field and widget
// object belongs to.
std::map<QPDFObjGen, std::string> fieldNamesByObject(QPDF& pdf);

}  // namespace penvora::core::securepdf
