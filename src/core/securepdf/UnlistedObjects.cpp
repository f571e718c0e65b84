#include "core/securepdf/UnlistedObjects.hpp"

#include <qpdf/Buffer.hh>
#include <qpdf/BufferInputSource.hh>
#include <qpdf/QPDFTokenizer.hh>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>

#include "core/securepdf/SyntaxScanner.hpp"

namespace penvora::core::securepdf {

std::vector<int> unlistedObjects(std::string_view file, std::uint64_t from, std::uint64_t to,
                                 const std::set<std::uint64_t>& listed) {
  std::vector<int> out;
  if (from >= to || to > file.size()) return out;
  const std::string_view update = file.substr(static_cast<std::size_t>(from), static_cast<std::size_t>(to - from));
  Buffer buffer(reinterpret_cast<unsigned char*>(const_cast<char*>(update.data())), update.size());  // not copied
  const auto input = std::make_shared<BufferInputSource>("update", &buffer);
  QPDFTokenizer tokenizer;
  tokenizer.allowEOF();
  std::vector<std::pair<long long, std::uint64_t>> headers;  // number, offset in the file
  std::set<std::uint64_t> crossReferenceStreams;
  // The last two integer tokens (-1 for anything else) and where the first began.
  long long number = -1, generation = -1;
  qpdf_offset_t numberAt = 0, generationAt = 0;
  bool afterStartxref = false;
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
      afterLengthKey = false;
      if (afterStartxref && v >= 0) crossReferenceStreams.insert(static_cast<std::uint64_t>(v));
      afterStartxref = false;
      number = generation;
      numberAt = generationAt;
      generation = v >= 0 ? v : -1;
      generationAt = input->getLastOffset();
      continue;
    }
    afterStartxref = false;
    afterLengthKey = type == QPDFTokenizer::tt_name && token.getValue() == "/Length";
    if (type == QPDFTokenizer::tt_dict_open || type == QPDFTokenizer::tt_array_open) ++depth;
    if (type == QPDFTokenizer::tt_dict_close || type == QPDFTokenizer::tt_array_close) depth = std::max(depth - 1, 0);
    if (type == QPDFTokenizer::tt_word) {
      const std::string& word = token.getValue();
      if (word == "R") {
        length = -1;  // a /Length by reference is not followed here
      } else if (word == "obj" && number >= 0 && generation >= 0) {
        headers.emplace_back(number, from + static_cast<std::uint64_t>(numberAt));
        depth = 0;
        length = -1;
      } else if (word == "endobj") {
        depth = 0;
      } else if (word == "startxref") {
        afterStartxref = true;
      } else if (word == "stream" && depth == 0) {
        const std::size_t end = streamEnd(update, static_cast<std::size_t>(input->tell()), length);
        if (end == std::string_view::npos) break;
        input->seek(static_cast<qpdf_offset_t>(end + 9), SEEK_SET);
        length = -1;
      }
    }
    number = generation = -1;
  }
  for (const auto& [n, at] : headers)
    if (!listed.count(at) && !crossReferenceStreams.count(at)) out.push_back(static_cast<int>(n));
  return out;
}

}  // namespace penvora::core::securepdf
