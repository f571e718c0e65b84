#include "core/securepdf/RepairedObjectStreams.hpp"

#include <qpdf/Buffer.hh>
#include <qpdf/QPDFTokenizer.hh>
#include <qpdf/QUtil.hh>

#include <climits>
#include <map>
#include <set>
#include <string>
#include <utility>

#include "core/securepdf/JoinedInputSource.hpp"
#include "core/securepdf/ObjectStreamText.hpp"
#include "core/securepdf/PredictorRows.hpp"
#include "core/securepdf/SecurePdfError.hpp"
#include "core/securepdf/SyntaxScanner.hpp"

namespace penvora::core::securepdf {
namespace {

// Where a rebuild of the table would place each of `numbers` as
// generation 0, the one qpdf reads object streams as: the last "n 0 obj"
// whose number is the first token on its line, read line by line with
// qpdf's own tokenizer as its rebuild reads them (so with signs, leading
// zeros and any of its white space), by where the object's value starts.
std::map<int, std::size_t> lastDefinitions(std::string_view file, const std::set<int>& numbers) {
  std::map<int, std::size_t> found;
  const auto input = std::make_shared<JoinedInputSource>("rebuilt table", file, std::string_view());
  QPDFTokenizer tokenizer;
  constexpr std::size_t kMaxToken = 100;  // as qpdf's rebuild
  const auto eof = static_cast<qpdf_offset_t>(file.size());
  for (qpdf_offset_t line = 0; line < eof;) {
    input->seek(line, SEEK_SET);
    input->findAndSkipNextEOL();
    const qpdf_offset_t next = input->tell();
    input->seek(line, SEEK_SET);
    try {
      const auto first = tokenizer.readToken(input, "rebuilt table", true, kMaxToken);
      const auto start = input->tell() - static_cast<qpdf_offset_t>(first.getValue().size());
      if (start < next && first.getType() == QPDFTokenizer::tt_integer) {
        const auto second = tokenizer.readToken(input, "rebuilt table", true, kMaxToken);
        if (second.getType() == QPDFTokenizer::tt_integer &&
            tokenizer.readToken(input, "rebuilt table", true, kMaxToken).isWord("obj")) {
          const long long number = QUtil::string_to_ll(first.getValue().c_str());
          const long long generation = QUtil::string_to_ll(second.getValue().c_str());
          if (generation == 0 && number > 0 && number <= INT_MAX && numbers.count(static_cast<int>(number)))
            found[static_cast<int>(number)] = static_cast<std::size_t>(input->tell());
        }
      }
    } catch (const std::exception&) {
      // A number too long to read: qpdf's rebuild takes nothing there either.
    }
    if (next <= line) break;
    line = next;
  }
  return found;
}

// The first "endstream" or "endobj" keyword in `file` from `from`, or its end.
std::size_t firstEnd(std::string_view file, std::size_t from) {
  std::size_t end = file.size();
  for (const std::string_view word : {"endstream", "endobj"}) {
    std::size_t found = file.find(word, from);
    while (found != std::string_view::npos && found + word.size() < file.size() &&
           isPdfRegular(file[found + word.size()]))
      found = file.find(word, found + 1);
    if (found != std::string_view::npos) end = std::min(end, found);
  }
  return end;
}

// The stream whose value starts at `value`, measured as qpdf would read it
// after the rebuild. qpdf takes a direct /Length when "endstream" follows
// it, and otherwise stops at the first "endstream" or "endobj"; a /Length
// by reference may be anything. What is decoded runs to the furthest of
// these (to the file's end for a reference), and what it may inflate to is
// set by the nearest, so neither reading can pass unmeasured.
void measureDefinition(QPDF& pdf, std::string_view file, std::size_t value, const std::string& what,
                       ExpansionLimit limit, ExpansionBudget& together) {
  QPDF scratch;
  scratch.setSuppressWarnings(true);
  scratch.emptyPDF();
  auto source = std::make_shared<JoinedInputSource>(what, file, std::string_view());
  source->seek(static_cast<qpdf_offset_t>(value), SEEK_SET);
  QPDFTokenizer tokenizer;
  bool empty = false;
  QPDFObjectHandle dict;
  try {
    dict = QPDFObjectHandle::parse(source, what, tokenizer, empty, nullptr, &scratch);
  } catch (const std::exception&) {
    return;  // not an object qpdf reads: nothing inflates
  }
  if (!dict.isDictionary() || !tokenizer.readToken(source, what, true, 100).isWord("stream")) return;
  // Where qpdf starts the data: past spaces after the keyword (it warns),
  // then past one end of line.
  auto data = static_cast<std::size_t>(source->tell());
  while (data < file.size() && (file[data] == ' ' || file[data] == '\t' || file[data] == '\f' || file[data] == '\v'))
    ++data;
  if (file.compare(data, 2, "\r\n") == 0)
    data += 2;
  else if (data < file.size() && (file[data] == '\n' || file[data] == '\r'))
    ++data;

  QPDFObjectHandle filter = dict.getKey("/Filter"), parms = dict.getKey("/DecodeParms");
  if (filter.isIndirect() || parms.isIndirect())
    throw SecurePdfError("The document's " + what +
                         ", as a repair of its damaged cross-reference table would read it, names its filters by "
                         "reference; it is refused as damaged");
  if (filter.isNull() || data > file.size()) return;
  const std::size_t nearest = firstEnd(file, data);
  std::size_t shortest = nearest, furthest = nearest;
  if (QPDFObjectHandle length = dict.getKey("/Length"); length.isIndirect()) {
    furthest = file.size();
  } else if (length.isInteger() && length.getIntValue() >= 0) {
    const auto declared = static_cast<std::size_t>(
        std::min<std::uint64_t>(file.size(), data + static_cast<std::uint64_t>(length.getIntValue())));
    shortest = std::min(shortest, declared);
    furthest = std::max(furthest, declared);
  }
  const std::uint64_t allowance = shortest - std::min(shortest, data), compressed = furthest - data;
  if (flateOnly(filter) && limit.deflatedCannotExceed(compressed, allowance)) return;
  if (pdf.isEncrypted())
    throw SecurePdfError("The document's " + what +
                         ", as a repair of its damaged cross-reference table would read it, is encrypted and too "
                         "large to be measured; it is refused as damaged");
  refuseHugePredictorRows(dict, what);
  QPDFObjectHandle copy = QPDFObjectHandle::newStream(&scratch);
  auto bytes = std::make_shared<Buffer>(reinterpret_cast<unsigned char*>(const_cast<char*>(file.data() + data)),
                                        static_cast<std::size_t>(compressed));
  copy.replaceStreamData(bytes, filter, parms);
  refuseIfExpanding(copy, allowance, what, limit, together);
}

}  // namespace

void checkObjectStreamsAsRepaired(QPDF& pdf, std::string_view file, const std::vector<int>& streams,
                                  const XrefLookup& listed, ExpansionLimit limit, ExpansionBudget& together) {
  if (streams.empty()) return;
  for (const auto& [number, value] : lastDefinitions(file, {streams.begin(), streams.end()})) {
    const auto entry = listed(number);
    if (entry && entry->kind == XrefEntry::Kind::inFile && afterObjectHeader(file, entry->offset, number, 0) == value)
      continue;  // measured already
    measureDefinition(pdf, file, value, "object stream " + std::to_string(number), limit, together);
  }
}

}  // namespace penvora::core::securepdf
