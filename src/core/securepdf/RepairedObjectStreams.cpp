#include "core/securepdf/RepairedObjectStreams.hpp"

#include <qpdf/Buffer.hh>
#include <qpdf/BufferInputSource.hh>
#include <qpdf/QPDFTokenizer.hh>

#include <climits>
#include <map>
#include <set>
#include <string>
#include <utility>

#include "core/securepdf/ObjectStreamText.hpp"
#include "core/securepdf/PredictorRows.hpp"
#include "core/securepdf/SecurePdfError.hpp"
#include "core/securepdf/SyntaxScanner.hpp"

namespace penvora::core::securepdf {
namespace {

// Where a rebuild of the table would place each (number, generation) of
// `numbers`: the last "n g obj" whose number is the first thing on its
// line, as qpdf reads lines (spaces before it, the rest possibly on later
// lines), by where the object's value starts.
std::map<std::pair<int, int>, std::size_t> lastDefinitions(std::string_view file, const std::set<int>& numbers) {
  std::map<std::pair<int, int>, std::size_t> found;
  const SyntaxScanner scan(file);
  for (std::size_t line = 0; line < file.size();) {
    std::size_t at = line;
    while (at < file.size() && (file[at] == ' ' || file[at] == '\t' || file[at] == '\f' || file[at] == '\0')) ++at;
    std::size_t p = at;
    const auto n = scan.integer(p);
    if (n && *n > 0 && *n <= INT_MAX && numbers.count(static_cast<int>(*n))) {
      p = scan.skipSpace(p);
      const auto g = scan.integer(p);
      if (g && *g < 65535)
        if (const auto value = afterObjectHeader(file, at, static_cast<int>(*n), static_cast<int>(*g)))
          found[{static_cast<int>(*n), static_cast<int>(*g)}] = *value;
    }
    const auto eol = file.find_first_of("\r\n", at);
    if (eol == std::string_view::npos) break;
    line = eol + 1;
  }
  return found;
}

// The stream whose value starts at `value`, measured as qpdf would read it
// after the rebuild: its data runs to the first "endstream" or to its
// direct /Length, whichever is further, and to the file's end when its
// /Length is a reference, which the document may resolve to anything.
void measureDefinition(QPDF& pdf, std::string_view file, std::size_t value, const std::string& what,
                       ExpansionLimit limit) {
  QPDF scratch;
  scratch.setSuppressWarnings(true);
  scratch.emptyPDF();
  // Non-owning: the bytes stay with the caller.
  auto* view = new Buffer(reinterpret_cast<unsigned char*>(const_cast<char*>(file.data())), file.size());
  auto source = std::make_shared<BufferInputSource>(what, view, true);
  source->seek(static_cast<qpdf_offset_t>(value), SEEK_SET);
  QPDFTokenizer tokenizer;
  bool empty = false;
  QPDFObjectHandle dict;
  try {
    dict = QPDFObjectHandle::parse(source, what, tokenizer, empty, nullptr, &scratch);
  } catch (const std::exception&) {
    return;  // not an object qpdf reads: nothing inflates
  }
  const SyntaxScanner scan(file);
  std::size_t data = scan.skipSpace(static_cast<std::size_t>(source->tell()));
  if (!dict.isDictionary() || file.compare(data, 6, "stream") != 0) return;
  data += 6;
  if (file.compare(data, 2, "\r\n") == 0)
    data += 2;
  else if (data < file.size() && (file[data] == '\n' || file[data] == '\r'))
    ++data;

  QPDFObjectHandle filter = dict.getKey("/Filter"), parms = dict.getKey("/DecodeParms");
  if (filter.isIndirect() || parms.isIndirect())
    throw SecurePdfError("The document's " + what +
                         ", as a repair of its damaged cross-reference table would read it, names its filters by "
                         "reference; it is refused as damaged");
  if (filter.isNull()) return;
  std::size_t end = file.size();
  if (QPDFObjectHandle length = dict.getKey("/Length"); !length.isIndirect()) {
    std::size_t found = file.find("endstream", data);
    while (found != std::string_view::npos && found + 9 < file.size() && isPdfRegular(file[found + 9]))
      found = file.find("endstream", found + 1);
    end = found == std::string_view::npos ? file.size() : found;
    if (length.isInteger() && length.getIntValue() >= 0)
      end = std::max<std::size_t>(end, static_cast<std::size_t>(std::min<std::uint64_t>(
                                           file.size(), data + static_cast<std::uint64_t>(length.getIntValue()))));
  }
  if (data > end) return;
  const std::uint64_t compressed = end - data;
  if (flateOnly(filter) && limit.deflatedCannotExceed(compressed)) return;
  if (pdf.isEncrypted())
    throw SecurePdfError("The document's " + what +
                         ", as a repair of its damaged cross-reference table would read it, is encrypted and too "
                         "large to be measured; it is refused as damaged");
  refuseHugePredictorRows(dict, what);
  QPDFObjectHandle copy = QPDFObjectHandle::newStream(&scratch);
  auto bytes = std::make_shared<Buffer>(reinterpret_cast<unsigned char*>(const_cast<char*>(file.data() + data)),
                                        static_cast<std::size_t>(compressed));
  copy.replaceStreamData(bytes, filter, parms);
  refuseIfExpanding(copy, compressed, what, limit);
}

}  // namespace

void checkObjectStreamsAsRepaired(QPDF& pdf, std::string_view file, const std::vector<int>& streams,
                                  const std::function<std::optional<std::uint64_t>(int)>& listedAt,
                                  ExpansionLimit limit) {
  if (streams.empty()) return;
  for (const auto& [object, value] : lastDefinitions(file, {streams.begin(), streams.end()})) {
    const auto& [number, generation] = object;
    const auto listed = listedAt(number);
    if (listed && afterObjectHeader(file, *listed, number, generation) == value) continue;  // measured already
    measureDefinition(pdf, file, value, "object stream " + std::to_string(number), limit);
  }
}

}  // namespace penvora::core::securepdf
