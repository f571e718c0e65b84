#pragma once
#include <set>
#include <string_view>
#include <vector>

#include <qpdf/QPDF.hh>

namespace penvora::core::securepdf {

// Every object an object refers to, its own number aside; nested direct
// values are searched without recursion, so no nesting is too deep.
void referencesIn(QPDFObjectHandle object, std::set<QPDFObjGen>& into);

// Adds each object number of at least `from` that `text` writes as a
// reference ("n g R", in every spelling qpdf's tokenizer takes: a sign,
// leading zeros, comments between the three). Read from the bytes rather
// than parsed: a parse of every object costs more than signing a long
// document, and a number that only looks like a reference (in a string,
// in stream data) merely goes unused.
void referencesWritten(std::string_view text, int from, std::set<int>& into);
// The same over each of `streams`, object streams as qpdf decodes them
// (decrypted); one qpdf cannot decode holds no object it can read.
void referencesWrittenInObjectStreams(QPDF& pdf, const std::vector<int>& streams, int from, std::set<int>& into);

}  // namespace penvora::core::securepdf
