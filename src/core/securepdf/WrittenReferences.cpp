#include "core/securepdf/WrittenReferences.hpp"

#include <qpdf/Buffer.hh>
#include <qpdf/BufferInputSource.hh>
#include <qpdf/QPDFTokenizer.hh>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace penvora::core::securepdf {
namespace {

// An integer token as a reader that keeps object numbers in 32 bits takes
// it: digits past that wrap around, and so does a sign ("4294967395" and
// "-4294967197" are both 99 there).
std::int32_t wrapped(const std::string& token) {
  std::uint32_t v = 0;
  for (char c : token)
    if (c >= '0' && c <= '9') v = v * 10 + static_cast<std::uint32_t>(c - '0');
  if (!token.empty() && token.front() == '-') v = 0u - v;
  return static_cast<std::int32_t>(v);
}

// The references in `text` as qpdf's tokenizer reads it: two integers and
// the word R. With `oneObject`, the reading ends at the words that end an
// object's value or a cross-reference section, or at the next object's
// header. How many bytes were read comes back.
std::size_t scan(std::string_view text, int from, bool oneObject, std::set<int>& out) {
  if (text.empty()) return 0;
  Buffer buffer(reinterpret_cast<unsigned char*>(const_cast<char*>(text.data())), text.size());  // not copied
  const auto input = std::make_shared<BufferInputSource>("revision", &buffer);
  QPDFTokenizer tokenizer;
  tokenizer.allowEOF();
  // The last two tokens, when integers; how deep in dictionaries and
  // arrays the reading is (a word that ends an object counts only outside
  // them: inside, readers take it as a value and read on).
  std::optional<std::int32_t> number, generation;
  int depth = 0;
  bool header = false;
  for (;;) {
    const QPDFTokenizer::Token token = tokenizer.readToken(input, "revision", true);
    switch (token.getType()) {
      case QPDFTokenizer::tt_eof:
        return text.size();
      case QPDFTokenizer::tt_integer:
        number = generation;
        generation = wrapped(token.getValue());
        continue;
      case QPDFTokenizer::tt_dict_open:
      case QPDFTokenizer::tt_array_open:
        ++depth;
        break;
      case QPDFTokenizer::tt_dict_close:
      case QPDFTokenizer::tt_array_close:
        depth = std::max(depth - 1, 0);
        break;
      case QPDFTokenizer::tt_word: {
        const std::string& word = token.getValue();
        if (word == "R" && number && generation && *number >= from) out.insert(*number);
        if (oneObject && depth == 0 &&
            (word == "endobj" || word == "stream" || word == "startxref" || (word == "obj" && header)))
          return static_cast<std::size_t>(input->tell());
        header |= word == "obj" && depth == 0;
        break;
      }
      default:
        break;
    }
    number.reset();
    generation.reset();
  }
}

}  // namespace

std::optional<std::set<int>> writtenReferences(std::string_view file, QPDF& revision,
                                               const std::map<QPDFObjGen, QPDFXRefEntry>& table,
                                               std::uint64_t startxref, int from) {
  std::set<int> out;
  std::set<std::uint64_t> offsets;
  std::set<int> streams;
  for (const auto& [og, entry] : table) {
    if (entry.getType() == 1 && entry.getOffset() >= 0 && static_cast<std::uint64_t>(entry.getOffset()) < file.size())
      offsets.insert(static_cast<std::uint64_t>(entry.getOffset()));
    if (entry.getType() == 2) streams.insert(entry.getObjStreamNumber());
  }
  // Each object is read to its end, even past where the next one is
  // listed (a reader parses it whole); text that never ends, an unclosed
  // string, would have the file read once per object, so the reading
  // stops at four times the file.
  std::uint64_t budget = 4 * static_cast<std::uint64_t>(file.size()) + (1u << 20);
  for (const std::uint64_t at : offsets) {
    const std::size_t read = scan(file.substr(static_cast<std::size_t>(at)), from, true, out);
    if (read > budget) return std::nullopt;
    budget -= read;
  }
  for (int stream : streams) {
    try {
      const auto data = revision.getObjectByID(stream, 0).getStreamData(qpdf_dl_generalized);
      scan(std::string_view(reinterpret_cast<const char*>(data->getBuffer()), data->getSize()), from, false, out);
    } catch (const std::exception&) {
      // An object stream qpdf cannot decode holds no object it reads.
    }
  }
  if (startxref < file.size()) scan(file.substr(static_cast<std::size_t>(startxref)), from, true, out);
  return out;
}

}  // namespace penvora::core::securepdf
