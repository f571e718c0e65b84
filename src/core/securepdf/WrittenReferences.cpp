#include "core/securepdf/WrittenReferences.hpp"

#include <qpdf/Buffer.hh>
#include <qpdf/BufferInputSource.hh>
#include <qpdf/QPDFTokenizer.hh>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/securepdf/SyntaxScanner.hpp"

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

// The whole revision read front to back, as a reader that rebuilds the
// cross-reference table does: every object written, listed or not, each
// stream's data passed over (by its /Length when that lands on
// "endstream", else to the first "endstream"). The references come into
// `out`; the objects whose dictionary says /Type /ObjStm into
// `objectStreams`.
void scanAsRebuilt(std::string_view file, QPDF& revision, int from, std::set<int>& out,
                   std::set<std::pair<int, int>>& objectStreams) {
  if (file.empty()) return;
  Buffer buffer(reinterpret_cast<unsigned char*>(const_cast<char*>(file.data())), file.size());  // not copied
  const auto input = std::make_shared<BufferInputSource>("revision", &buffer);
  QPDFTokenizer tokenizer;
  tokenizer.allowEOF();
  std::pair<int, int> object{0, 0};  // the object being read
  long long length = -1;             // its /Length, when known
  std::string last[3];               // the last three tokens' text, newest first
  auto integer = [](const std::string& t) { return !t.empty() && t.find_first_not_of("+-0123456789") == t.npos; };
  for (;;) {
    const QPDFTokenizer::Token token = tokenizer.readToken(input, "revision", true);
    const auto type = token.getType();
    if (type == QPDFTokenizer::tt_eof) return;
    const std::string& text = token.getValue();
    if (type == QPDFTokenizer::tt_integer && last[0] == "/Length") length = std::strtoll(text.c_str(), nullptr, 10);
    if (type == QPDFTokenizer::tt_word && integer(last[0]) && integer(last[1])) {
      if (text == "R") {
        if (const std::int32_t n = wrapped(last[1]); n >= from) out.insert(n);
        if (last[2] == "/Length") {  // the length by reference, as the table has it
          length = -1;
          try {
            QPDFObjectHandle value =
                revision.getObjectByID(static_cast<int>(std::strtol(last[1].c_str(), nullptr, 10)),
                                       static_cast<int>(std::strtol(last[0].c_str(), nullptr, 10)));
            if (value.isInteger()) length = value.getIntValue();
          } catch (const std::exception&) {
            // Found by searching instead.
          }
        }
      } else if (text == "obj") {
        object = {wrapped(last[1]), wrapped(last[0])};
        length = -1;
      }
    }
    if (type == QPDFTokenizer::tt_word && text == "stream") {
      const std::size_t end = streamEnd(file, static_cast<std::size_t>(input->tell()), length);
      if (end == std::string_view::npos) return;
      input->seek(static_cast<qpdf_offset_t>(end + 9), SEEK_SET);
      length = -1;
    }
    if (type == QPDFTokenizer::tt_name && text == "/ObjStm" && last[0] == "/Type") objectStreams.insert(object);
    last[2] = std::move(last[1]);
    last[1] = std::move(last[0]);
    last[0] = type == QPDFTokenizer::tt_integer || type == QPDFTokenizer::tt_name || type == QPDFTokenizer::tt_word
                  ? text
                  : std::string();
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
  // As a reader that rebuilds the table reads it: objects no section lists
  // too, and every object stream, used by the table or not.
  std::set<std::pair<int, int>> objectStreams;
  scanAsRebuilt(file, revision, from, out, objectStreams);
  for (int stream : streams) objectStreams.emplace(stream, 0);
  for (const auto& [stream, generation] : objectStreams) {
    try {
      QPDFObjectHandle holder = revision.getObjectByID(stream, generation);
      if (!holder.isStream()) continue;
      const auto data = holder.getStreamData(qpdf_dl_generalized);
      scan(std::string_view(reinterpret_cast<const char*>(data->getBuffer()), data->getSize()), from, false, out);
    } catch (const std::exception&) {
      // An object stream qpdf cannot decode holds no object it reads.
    }
  }
  if (startxref < file.size()) scan(file.substr(static_cast<std::size_t>(startxref)), from, true, out);
  return out;
}

}  // namespace penvora::core::securepdf
