#include "core/securepdf/UpdateAsRebuilt.hpp"

#include <qpdf/Buffer.hh>
#include <qpdf/BufferInputSource.hh>
#include <qpdf/QPDFTokenizer.hh>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "core/securepdf/SyntaxScanner.hpp"

namespace penvora::core::securepdf {
namespace {

struct Header {
  int number = 0, generation = 0;
  std::uint64_t offset = 0;  // in the file
  bool objectStream = false, crossReferenceStream = false;
};

}  // namespace

UpdateAsRebuilt readUpdateAsRebuilt(std::string_view file, std::uint64_t from, std::uint64_t to,
                                    const std::set<std::uint64_t>& listed) {
  UpdateAsRebuilt out;
  if (from >= to || to > file.size()) return out;
  const std::string_view update = file.substr(static_cast<std::size_t>(from), static_cast<std::size_t>(to - from));
  Buffer buffer(reinterpret_cast<unsigned char*>(const_cast<char*>(update.data())), update.size());  // not copied
  const auto input = std::make_shared<BufferInputSource>("update", &buffer);
  QPDFTokenizer tokenizer;
  tokenizer.allowEOF();
  std::vector<Header> headers;
  std::set<std::uint64_t> pointedAt;  // by a "startxref" or an /XRefStm
  std::vector<std::uint64_t> sectionsAt;
  std::vector<std::optional<std::uint64_t>> trailersAfter;  // the "xref" each trailer follows
  // The last two integer tokens (-1 for anything else) and where the first began.
  long long number = -1, generation = -1;
  qpdf_offset_t numberAt = 0, generationAt = 0;
  bool pointer = false;  // the next integer is an offset
  bool inObject = false, afterTypeKey = false;
  std::optional<std::uint64_t> lastSection;  // an "xref" no trailer has followed yet
  int depth = 0;
  long long length = -1;  // the object's direct /Length, when it has one
  bool afterLengthKey = false;
  for (;;) {
    const QPDFTokenizer::Token token = tokenizer.readToken(input, "update", true);
    const auto type = token.getType();
    if (type == QPDFTokenizer::tt_eof) break;
    if (type == QPDFTokenizer::tt_integer) {
      const long long v = std::strtoll(token.getValue().c_str(), nullptr, 10);
      if (afterLengthKey) length = v;
      afterLengthKey = afterTypeKey = false;
      if (pointer && v >= 0) pointedAt.insert(static_cast<std::uint64_t>(v));
      pointer = false;
      number = generation;
      numberAt = generationAt;
      generation = v >= 0 ? v : -1;
      generationAt = input->getLastOffset();
      continue;
    }
    pointer = type == QPDFTokenizer::tt_name && token.getValue() == "/XRefStm";
    afterLengthKey = type == QPDFTokenizer::tt_name && token.getValue() == "/Length";
    if (type == QPDFTokenizer::tt_name && afterTypeKey && inObject && !headers.empty()) {
      headers.back().objectStream |= token.getValue() == "/ObjStm";
      headers.back().crossReferenceStream |= token.getValue() == "/XRef";
    }
    afterTypeKey = type == QPDFTokenizer::tt_name && token.getValue() == "/Type" && depth == 1;
    if (type == QPDFTokenizer::tt_dict_open || type == QPDFTokenizer::tt_array_open) ++depth;
    if (type == QPDFTokenizer::tt_dict_close || type == QPDFTokenizer::tt_array_close) depth = std::max(depth - 1, 0);
    if (type == QPDFTokenizer::tt_word) {
      const std::string& word = token.getValue();
      if (word == "R") {
        length = -1;  // a /Length by reference is not followed here
      } else if (word == "obj" && number >= 0 && generation >= 0) {
        headers.push_back(
            {static_cast<int>(number), static_cast<int>(generation), from + static_cast<std::uint64_t>(numberAt)});
        inObject = true;
        depth = 0;
        length = -1;
      } else if (word == "endobj") {
        inObject = false;
        depth = 0;
      } else if (word == "startxref") {
        pointer = true;
      } else if (word == "xref") {
        lastSection = from + static_cast<std::uint64_t>(input->getLastOffset());
      } else if (word == "trailer") {
        trailersAfter.push_back(std::exchange(lastSection, std::nullopt));
      } else if (word == "stream" && depth == 0) {
        const std::size_t end = streamEnd(update, static_cast<std::size_t>(input->tell()), length);
        if (end == std::string_view::npos) break;
        input->seek(static_cast<qpdf_offset_t>(end + 9), SEEK_SET);
        length = -1;
      }
    }
    number = generation = -1;
  }
  for (const auto& h : headers) {
    if (h.crossReferenceStream && pointedAt.count(h.offset)) continue;
    if (h.crossReferenceStream) ++out.strayTrailers;
    if (!listed.count(h.offset))
      out.unlisted.push_back(h.number);
    else if (h.objectStream)
      out.objectStreams.push_back({h.number, h.generation});
  }
  for (const auto& section : trailersAfter)
    if (!section || !pointedAt.count(*section)) ++out.strayTrailers;
  return out;
}

}  // namespace penvora::core::securepdf
