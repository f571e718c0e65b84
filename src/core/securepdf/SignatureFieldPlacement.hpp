#pragma once
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <optional>
#include <vector>

#include "core/securepdf/FieldLocks.hpp"
#include "core/securepdf/IncrementalUpdate.hpp"
#include "core/securepdf/SigningPlan.hpp"

namespace penvora::core::securepdf {

// The page's /Rotate, inherited through /Parent; 0 when none.
int pageRotation(QPDFObjectHandle page);

// A hidden field on the first page holding a document time-stamp.
void addDocumentTimestampField(QPDF& pdf, IncrementalUpdate& update, const QPDFObjectHandle& timestamp);

// Puts a signature dictionary into the document's form, marking every
// object it changes or makes in the update: into an existing signature
// field (its widgets get the appearance), or into a new field that is its
// own widget, its picture repeated on every other target page in a stamp
// (not where annotations may no longer be added).
class SignatureFieldPlacement {
 public:
  // `certification` and `locks`: what earlier signatures allow (the
  // document's DocMDP level, none when not certified, and the field locks).
  SignatureFieldPlacement(QPDF& pdf, IncrementalUpdate& update, const SigningPlan& plan,
                          std::optional<int> certification, std::vector<FieldLock> locks);

  void place(const QPDFObjectHandle& signature);

 private:
  void intoExistingField(const QPDFObjectHandle& signature, std::int32_t index);
  void intoNewField(const QPDFObjectHandle& signature, const QPDFObjectHandle& form);
  // Whether an earlier signature allows signing but no added annotations.
  bool annotationsForbidden() const;
  // The /AP dictionary for a widget of that size on a page turned by rotate.
  QPDFObjectHandle appearance(double width, double height, int rotate);

  QPDF& pdf_;
  IncrementalUpdate& update_;
  const SigningPlan& plan_;
  std::optional<int> certification_;
  std::vector<FieldLock> locks_;
};

}  // namespace penvora::core::securepdf
