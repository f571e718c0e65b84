#include "core/securepdf/CrossReferenceSections.hpp"

#include <qpdf/Buffer.hh>
#include <qpdf/BufferInputSource.hh>
#include <qpdf/QPDFTokenizer.hh>

#include <algorithm>
#include <climits>
#include <functional>
#include <map>
#include <set>

#include "core/securepdf/BoundedStringPipeline.hpp"
#include "core/securepdf/ExpansionLimit.hpp"
#include "core/securepdf/IncrementalUpdate.hpp"
#include "core/securepdf/ObjectStreamText.hpp"
#include "core/securepdf/PredictorRows.hpp"
#include "core/securepdf/SecurePdfError.hpp"
#include "core/securepdf/SyntaxScanner.hpp"
#include "core/util/Zlib.hpp"

namespace penvora::core::securepdf {
namespace {

constexpr std::size_t kMaxSections = 4096;       // a chain longer than this is looped or hostile
constexpr std::size_t kMaxXrefBytes = 1u << 28;  // inflated rows of one cross-reference stream
constexpr std::size_t kTableEntryBytes = 20;
constexpr std::uint64_t kMaxRowsAlways = 1u << 20;  // cross-reference rows any file may list

std::optional<std::uint64_t> offsetKey(QPDFObjectHandle dict, const char* key) {
  QPDFObjectHandle v = dict.getKey(key);
  // A reference reads as null in the scratch document, as if absent, where
  // qpdf follows it to a section this reading would never see.
  if (v.isIndirect()) return std::nullopt;
  if (v.isNull()) return std::uint64_t{0};  // absent
  if (!v.isInteger() || v.getIntValue() <= 0) return std::nullopt;
  return static_cast<std::uint64_t>(v.getIntValue());
}

// PNG predictors, row by row, each decoded row moved down over the filter
// bytes before it (a row's output never overtakes its input); false when
// the rows are not whole.
bool unpredict(std::vector<unsigned char>& data, std::size_t columns) {
  const std::size_t stride = columns + 1;
  if (columns == 0 || data.size() % stride) return false;
  const std::size_t rows = data.size() / stride;
  unsigned char* out = data.data();
  for (std::size_t r = 0; r < rows; ++r) {
    const unsigned char filter = data[r * stride];
    const unsigned char* in = &data[r * stride + 1];
    unsigned char* row = out + r * columns;
    const unsigned char* prior = r ? row - columns : nullptr;
    for (std::size_t i = 0; i < columns; ++i) {
      const int left = i ? row[i - 1] : 0, up = prior ? prior[i] : 0, upLeft = i && prior ? prior[i - 1] : 0;
      int add = 0;
      switch (filter) {
        case 0:
          break;
        case 1:
          add = left;
          break;
        case 2:
          add = up;
          break;
        case 3:
          add = (left + up) / 2;
          break;
        case 4: {
          const int p = left + up - upLeft, pa = std::abs(p - left), pb = std::abs(p - up), pc = std::abs(p - upLeft);
          add = pa <= pb && pa <= pc ? left : pb <= pc ? up : upLeft;
          break;
        }
        default:
          return false;
      }
      row[i] = static_cast<unsigned char>(in[i] + add);
    }
  }
  data.resize(rows * columns);
  return true;
}

std::uint64_t field(const unsigned char* p, std::size_t n) {
  std::uint64_t v = 0;
  for (std::size_t i = 0; i < n; ++i) v = (v << 8) | p[i];
  return v;
}

}  // namespace

QPDFObjectHandle CrossReferenceSections::parseAt(std::string_view text, std::size_t at, std::size_t& end) const {
  // Non-owning: the bytes stay with the caller.
  auto* view = new Buffer(reinterpret_cast<unsigned char*>(const_cast<char*>(text.data())), text.size());
  auto source = std::make_shared<BufferInputSource>("cross-reference section", view, true);
  source->seek(static_cast<qpdf_offset_t>(at), SEEK_SET);
  QPDFTokenizer tokenizer;
  bool empty = false;
  QPDFObjectHandle o =
      QPDFObjectHandle::parse(source, "cross-reference section", tokenizer, empty, nullptr, scratch_.get());
  end = static_cast<std::size_t>(source->tell());
  return o;
}

namespace {

// One file's cross-reference streams measured together: qpdf inflates
// each whole, without a bound, before anything else is read, so their
// sum is held to the limit object streams are held to, and the bytes read
// to measure them to a few times the file (streams made to overlap would
// be measured again and again).
struct XrefStreamBudget {
  std::uint64_t fileLength, compressed = 0, inflated = 0, read = 0, readLimit, rows = 0;
  explicit XrefStreamBudget(std::uint64_t length) : fileLength(length), readLimit(3 * length + (64u << 20)) {}
  // `n` bytes of the file used for measuring.
  void charge(std::uint64_t n) {
    read += n;
    if (read > readLimit)
      throw SecurePdfError("The document's cross-reference streams overlap one another; it is refused as damaged");
  }
  // What the streams measured so far may inflate to together; streams
  // made to overlap count no more than the file holds.
  std::uint64_t allowed() const { return ExpansionLimit().allowedFor(std::min(compressed, fileLength)); }
};

// A direct copy for a document of its own; a reference reads as null, as
// it does in the cross-reference stream's own dictionary.
QPDFObjectHandle directCopy(QPDFObjectHandle o, int depth = 0) {
  if (o.isIndirect() || depth > 32) return QPDFObjectHandle::newNull();
  if (o.isArray()) {
    auto out = QPDFObjectHandle::newArray();
    for (auto& item : o.getArrayAsVector()) out.appendItem(directCopy(item, depth + 1));
    return out;
  }
  if (o.isDictionary()) {
    auto out = QPDFObjectHandle::newDictionary();
    for (const auto& key : o.getKeys()) out.replaceKey(key, directCopy(o.getKey(key), depth + 1));
    return out;
  }
  return QPDFObjectHandle::parse(o.unparse());
}

// What a forward search is shown: a stretch of the file read at once.
struct SearchWindow {
  std::string_view text;
  std::uint64_t at;  // where `text` starts in the file
  bool last;         // nothing of the searched range follows it
};

// Reads the file from `from` to `to` in windows from `firstRead` bytes
// growing to 1 MB (a search that ends early reads little), each one
// starting with the last `keep` bytes of the one before so that what
// straddles two reads is seen whole. `look` gives the offset where the
// search ends, or nothing to go on; nothing when it never ends or the file
// gives out early.
std::optional<std::uint64_t> searchForward(
    const CrossReferenceSections::FileReader& read, std::uint64_t from, std::uint64_t to, std::size_t keep,
    std::uint64_t firstRead, const std::function<std::optional<std::uint64_t>(const SearchWindow&)>& look) {
  constexpr std::uint64_t kLargestRead = 1u << 20;
  std::string carry;
  for (std::uint64_t at = from, n = firstRead; at < to; n = std::min(2 * n, kLargestRead)) {
    const std::string chunk = read(at, std::min(n, to - at));
    if (chunk.empty()) break;
    const std::string window = carry + chunk;
    if (const auto found = look({window, at - carry.size(), at + chunk.size() >= to})) return found;
    carry = window.substr(window.size() - std::min(window.size(), keep));
    at += chunk.size();
  }
  return std::nullopt;
}

// Gives qpdf a range of the file as a stream's raw data, a chunk at a time.
class FileRangeProvider : public QPDFObjectHandle::StreamDataProvider {
 public:
  FileRangeProvider(const CrossReferenceSections::FileReader& read, XrefStreamBudget& budget, std::uint64_t from,
                    std::uint64_t to)
      : read_(read), budget_(budget), from_(from), to_(to) {}
  void provideStreamData(QPDFObjGen const&, Pipeline* pipeline) override {
    constexpr std::uint64_t kChunk = 1u << 20;
    for (std::uint64_t at = from_; at < to_;) {
      const std::string chunk = read_(at, std::min(kChunk, to_ - at));
      if (chunk.empty()) break;
      budget_.charge(chunk.size());
      pipeline->write(reinterpret_cast<const unsigned char*>(chunk.data()), chunk.size());
      at += chunk.size();
    }
    pipeline->finish();
  }

 private:
  const CrossReferenceSections::FileReader& read_;
  XrefStreamBudget& budget_;
  std::uint64_t from_, to_;
};

// Measures the cross-reference stream whose dictionary is `dict` and whose
// data starts at `data` of the file `read` gives (`length` bytes), as qpdf
// decodes it, through all its filters, counting what comes out; refuses it
// when the file's streams so far would grow past the limit. Its data runs
// to "endstream" or to its /Length, whichever is further: qpdf takes the
// /Length when "endstream" follows it, and finds the end itself otherwise.
std::uint64_t measureXrefStream(QPDFObjectHandle dict, const CrossReferenceSections::FileReader& read,
                                std::uint64_t length, std::uint64_t data, XrefStreamBudget& budget) {
  for (const char* key : {"/Filter", "/DecodeParms"})
    if (dict.getKey(key).isIndirect())  // a reader may find what it names in the sections read so far
      throw SecurePdfError(
          "The document's cross-reference stream names its filters by reference, which it may "
          "not; it is refused as damaged");
  if (dict.getKey("/Filter").isNull()) return 0;  // nothing inflates
  refuseHugePredictorRows(dict, "cross-reference stream");
  std::uint64_t end =
      searchForward(read, data, length, 9, 4096, [](const SearchWindow& w) -> std::optional<std::uint64_t> {
        // The keyword, not the letters inside other data: readers looking
        // for the end match it as a whole token. One that ends the window
        // is decided with the next.
        auto found = w.text.find("endstream");
        while (found != std::string::npos && (found + 9 < w.text.size() ? isPdfRegular(w.text[found + 9]) : !w.last))
          found = w.text.find("endstream", found + 1);
        if (found == std::string::npos) return std::nullopt;
        return w.at + found;
      }).value_or(length);
  budget.charge(end - data);
  if (QPDFObjectHandle declared = dict.getKey("/Length"); declared.isInteger() && declared.getIntValue() >= 0)
    end = std::max(end, std::min(length, data + static_cast<std::uint64_t>(declared.getIntValue())));
  budget.compressed += end - data;
  const std::uint64_t allowed = budget.allowed();
  QPDF scratch;
  scratch.emptyPDF();
  QPDFObjectHandle copy = QPDFObjectHandle::newStream(&scratch);
  BoundedCountPipeline count(allowed - std::min(allowed, budget.inflated));
  try {
    copy.replaceStreamData(std::make_shared<FileRangeProvider>(read, budget, data, end),
                           directCopy(dict.getKey("/Filter")), directCopy(dict.getKey("/DecodeParms")));
    (void)copy.pipeStreamData(&count, 0, qpdf_dl_specialized, true);
  } catch (const SecurePdfError&) {
    throw;
  } catch (const std::exception&) {
    // Damaged, or a filter qpdf does not decode: its own reading decides.
  }
  if (count.exceeded()) refuseExpansion("cross-reference stream", allowed);
  budget.inflated += count.count();
  // qpdf keeps some 80 bytes for each row of its table: 66 MB of two-byte
  // rows, within the limit, would cost it gigabytes. No file lists more
  // objects than it has bytes.
  std::uint64_t width = 0;
  if (QPDFObjectHandle w = dict.getKey("/W"); w.isArray() && w.getArrayNItems() == 3)
    for (int i = 0; i < 3; ++i)
      if (QPDFObjectHandle field = w.getArrayItem(i); field.isInteger() && field.getIntValue() > 0)
        width += static_cast<std::uint64_t>(std::min<long long>(field.getIntValue(), 8));
  if (width > 0) budget.rows += count.count() / width;
  if (budget.rows > std::max<std::uint64_t>(kMaxRowsAlways, budget.fileLength))
    throw SecurePdfError("The document's cross-reference streams list " + std::to_string(budget.rows) +
                         " objects, more than a file of " + std::to_string(budget.fileLength) +
                         " bytes can hold; it is refused as damaged");
  return count.count();
}

}  // namespace

bool CrossReferenceSections::readStreamRows(QPDFObjectHandle dict, std::string_view raw, Section& into) {
  QPDFObjectHandle filter = dict.getKey("/Filter");
  if (filter.isArray() && filter.getArrayNItems() == 1) filter = filter.getArrayItem(0);
  std::vector<unsigned char>& data = into.rows;
  if (filter.isNull()) {
    data.assign(raw.begin(), raw.end());
  } else if (filter.isNameAndEquals("/FlateDecode")) {
    auto inflated = util::zlibInflate(raw, kMaxXrefBytes);
    if (!inflated) return false;
    data = std::move(*inflated);
  } else {
    return false;
  }
  QPDFObjectHandle w = dict.getKey("/W");
  if (!w.isArray() || w.getArrayNItems() != 3) return false;
  std::size_t rowBytes = 0;
  for (int i = 0; i < 3; ++i) {
    QPDFObjectHandle v = w.getArrayItem(i);
    if (!v.isInteger() || v.getIntValue() < 0 || v.getIntValue() > 8) return false;
    into.width[i] = static_cast<std::size_t>(v.getIntValue());
    rowBytes += into.width[i];
  }
  if (rowBytes == 0) return false;
  QPDFObjectHandle parms = dict.getKey("/DecodeParms");
  if (parms.isArray() && parms.getArrayNItems() == 1) parms = parms.getArrayItem(0);
  if (parms.isDictionary()) {
    QPDFObjectHandle predictor = parms.getKey("/Predictor");
    const long long p = predictor.isInteger() ? predictor.getIntValue() : 1;
    if (p >= 10) {
      QPDFObjectHandle columns = parms.getKey("/Columns");
      const long long c = columns.isInteger() ? columns.getIntValue() : 1;
      for (const char* key : {"/Colors", "/BitsPerComponent"}) {
        QPDFObjectHandle v = parms.getKey(key);
        if (!v.isNull() && !(v.isInteger() && v.getIntValue() == (key[1] == 'C' ? 1 : 8))) return false;
      }
      if (c != static_cast<long long>(rowBytes) || !unpredict(data, rowBytes)) return false;
    } else if (p != 1) {
      return false;
    }
  } else if (!parms.isNull()) {
    return false;
  }
  QPDFObjectHandle index = dict.getKey("/Index");
  std::vector<std::pair<long long, long long>> pairs;
  if (index.isNull()) {
    QPDFObjectHandle size = dict.getKey("/Size");
    if (!size.isInteger()) return false;
    pairs.emplace_back(0, size.getIntValue());
  } else {
    if (!index.isArray() || index.getArrayNItems() % 2) return false;
    for (int i = 0; i + 1 < index.getArrayNItems(); i += 2) {
      QPDFObjectHandle first = index.getArrayItem(i), count = index.getArrayItem(i + 1);
      if (!first.isInteger() || !count.isInteger()) return false;
      pairs.emplace_back(first.getIntValue(), count.getIntValue());
    }
  }
  std::size_t rows = 0;
  for (const auto& [first, count] : pairs) {
    // Each bounded first, so their sums cannot wrap.
    if (first < 0 || first > INT_MAX || count < 0 || static_cast<std::uint64_t>(count) > data.size() ||
        first + count - 1 > INT_MAX)
      return false;
    into.ranges.push_back({static_cast<int>(first), static_cast<int>(count), rows});
    rows += static_cast<std::size_t>(count);
  }
  if (rows > data.size() / rowBytes) return false;
  for (std::size_t r = 0; r < rows; ++r) {
    const unsigned char* row = data.data() + r * rowBytes;
    if ((into.width[0] ? field(row, into.width[0]) : 1) != 2) continue;
    const std::uint64_t stream = field(row + into.width[0], into.width[1]);
    if (stream == 0 || stream > 0x7fffffff) return false;
  }
  return true;
}

// Locates the subsections of a table whose entries start after "xref" at
// `at`. Leaves the section unindexed when they are not laid out as the
// format says; the trailer is read either way.
std::size_t CrossReferenceSections::indexTable(std::string_view file, std::size_t at, Section& into) {
  into.table = true;
  into.indexed = false;
  const SyntaxScanner scan(file);
  const std::size_t start = at;
  for (std::size_t n = 0; n < kMaxSections * 64; ++n) {
    at = scan.skipSpace(at);
    if (file.substr(at, 7) == "trailer") {
      into.indexed = true;
      return at;
    }
    const auto first = scan.integer(at);
    while (at < file.size() && (file[at] == ' ' || file[at] == '\t')) ++at;
    const auto count = scan.integer(at);
    while (at < file.size() && (file[at] == ' ' || file[at] == '\t')) ++at;
    const std::size_t eol = at;
    if (at < file.size() && file[at] == '\r') ++at;
    if (at < file.size() && file[at] == '\n') ++at;
    if (!first || !count || at == eol || *first > INT_MAX || *count > (file.size() - at) / kTableEntryBytes ||
        *first + *count > static_cast<std::uint64_t>(INT_MAX))
      break;
    into.ranges.push_back({static_cast<int>(*first), static_cast<int>(*count), at});
    at += static_cast<std::size_t>(*count) * kTableEntryBytes;
  }
  into.ranges.clear();
  // Entries not laid out as the format says: the first "trailer" that no
  // comment holds (text after a "%" on its line is one, as in
  // "%trailer << /Root 9 0 R >>" written to mislead a plain search).
  for (auto found = file.find("trailer", start); found != std::string_view::npos;
       found = file.find("trailer", found + 1)) {
    const auto lineStart = file.find_last_of("\r\n", found);
    const std::string_view line = file.substr(lineStart == std::string_view::npos ? 0 : lineStart + 1,
                                              found - (lineStart == std::string_view::npos ? 0 : lineStart + 1));
    if (line.find('%') == std::string_view::npos) return found;
  }
  return std::string_view::npos;
}

std::optional<CrossReferenceSections> CrossReferenceSections::read(std::string_view file, std::uint64_t startxref) {
  CrossReferenceSections x;
  x.file_ = file;
  x.scratch_ = std::make_shared<QPDF>();
  x.scratch_->setSuppressWarnings(true);
  x.scratch_->emptyPDF();
  std::vector<std::uint64_t> todo{startxref};
  std::set<std::uint64_t> seen;
  const SyntaxScanner scan(file);
  XrefStreamBudget budget(file.size());
  const FileReader viewRead = readerOver(file);
  try {
    while (!todo.empty()) {
      const std::uint64_t offset = todo.back();
      todo.pop_back();
      if (!seen.insert(offset).second) {
        x.strict_ = false;
        continue;
      }
      if (seen.size() > kMaxSections || offset >= file.size()) return std::nullopt;
      std::size_t at = scan.skipSpace(static_cast<std::size_t>(offset)), end = 0;
      if (at != offset) x.strict_ = false;
      Section section;
      QPDFObjectHandle dict;
      std::size_t dictAt = 0;
      if (file.substr(at, 4) == "xref") {
        x.strict_ = false;
        const auto trailer = indexTable(file, at + 4, section);
        if (trailer == std::string_view::npos) return std::nullopt;
        dictAt = scan.skipSpace(trailer + 7);
        dict = x.parseAt(file, dictAt, end);
        if (!dict.isDictionary()) return std::nullopt;
        // A hybrid file's stream is read right after its table, before /Prev.
        for (const char* key : {"/Prev", "/XRefStm"}) {
          const auto next = offsetKey(dict, key);
          if (!next) return std::nullopt;
          if (*next) todo.push_back(*next);
        }
      } else {
        // "n g obj", then the stream's dictionary, "stream" and its data.
        for (int part = 0; part < 2; ++part) {
          if (!scan.integer(at)) return std::nullopt;
          at = scan.skipSpace(at);
        }
        if (file.substr(at, 3) != "obj") return std::nullopt;
        dictAt = scan.skipSpace(at + 3);
        dict = x.parseAt(file, dictAt, end);
        if (!dict.isDictionary() || !dict.getKey("/Type").isNameAndEquals("/XRef")) return std::nullopt;
        at = scan.skipSpace(end);
        if (file.substr(at, 6) != "stream") return std::nullopt;
        at += 6;
        {
          std::size_t data = at;
          if (file.substr(data, 2) == "\r\n")
            data += 2;
          else if (data < file.size() && (file[data] == '\n' || file[data] == '\r'))
            ++data;
          measureXrefStream(dict, viewRead, file.size(), data, budget);
        }
        if (file.substr(at, 2) == "\r\n")
          at += 2;
        else if (at < file.size() && file[at] == '\n')
          ++at;
        else
          return std::nullopt;
        QPDFObjectHandle length = dict.getKey("/Length");
        if (!length.isInteger() || length.getIntValue() < 0 ||
            static_cast<std::uint64_t>(length.getIntValue()) > file.size() - at)
          return std::nullopt;
        if (!readStreamRows(dict, file.substr(at, static_cast<std::size_t>(length.getIntValue())), section))
          return std::nullopt;
        if (x.strict_) {
          const std::size_t after = scan.skipSpace(at + static_cast<std::size_t>(length.getIntValue()));
          x.strict_ =
              file.substr(after, 9) == "endstream" && dict.getKey("/Size").isInteger() && rowsAsQpdfReadsThem(section);
        }
        const auto prev = offsetKey(dict, "/Prev");
        if (!prev) return std::nullopt;
        if (*prev) todo.push_back(*prev);
      }
      if (x.sections_.empty()) x.trailerAt_ = dictAt;
      section.at = offset;
      x.sections_.push_back(std::move(section));
    }
  } catch (const SecurePdfError&) {
    throw;
  } catch (const std::exception&) {
    return std::nullopt;
  }
  return x;
}

// Rows that fill the decoded data exactly (qpdf warns about more), each
// of type 0, 1 or 2 (qpdf gives up the table on another).
bool CrossReferenceSections::rowsAsQpdfReadsThem(const Section& section) {
  const std::size_t rowBytes = section.width[0] + section.width[1] + section.width[2];
  std::size_t rows = 0;
  for (const Range& r : section.ranges) rows += static_cast<std::size_t>(r.count);
  if (rowBytes == 0 || rows * rowBytes != section.rows.size()) return false;
  if (section.width[0] == 0) return true;  // every row of type 1
  for (std::size_t r = 0; r < rows; ++r)
    if (field(section.rows.data() + r * rowBytes, section.width[0]) > 2) return false;
  return true;
}

CrossReferenceSections::FileReader CrossReferenceSections::readerOver(std::string_view bytes) {
  return [bytes](std::uint64_t at, std::uint64_t n) {
    return at >= bytes.size() ? std::string()
                              : std::string(bytes.substr(static_cast<std::size_t>(at), static_cast<std::size_t>(n)));
  };
}

void CrossReferenceSections::refuseStreamBombs(std::uint64_t size, const FileReader& readAt) {
  const auto tail = readXrefTail(size, readAt);
  const std::uint64_t base = tail && tail->headerOffset < size ? tail->headerOffset : 0, length = size - base;
  // `n` bytes at `at` in the file's own offsets, fewer at its end.
  const FileReader read = [&](std::uint64_t at, std::uint64_t n) {
    return at >= length ? std::string() : readAt(base + at, std::min(n, length - at));
  };
  XrefStreamBudget budget(length);
  CrossReferenceSections x;
  x.scratch_ = std::make_shared<QPDF>();
  x.scratch_->setSuppressWarnings(true);
  x.scratch_->emptyPDF();
  // The direct object at `at` (after spaces and comments), read through a
  // window widened until it holds the whole object; `end` is the file
  // offset after it.
  constexpr std::uint64_t kFirstWindow = 4096, kMaxObjectBytes = 16u << 20;
  auto objectAt = [&](std::uint64_t at, std::uint64_t& end) -> std::optional<QPDFObjectHandle> {
    for (std::uint64_t n = kFirstWindow; n <= kMaxObjectBytes; n *= 8) {
      const std::string window = read(at, n);
      const bool whole = window.size() < n;  // the file ends inside the window
      try {
        std::size_t stop = 0;
        QPDFObjectHandle o = x.parseAt(window, SyntaxScanner(window).skipSpace(0), stop);
        if (stop < window.size() || whole) {
          budget.charge(stop);
          end = at + stop;
          return o;
        }
      } catch (const std::exception&) {
        if (whole) return std::nullopt;
      }
    }
    return std::nullopt;
  };
  // A stream whose dictionary ends at `dictEnd`: where its data starts,
  // after "stream", any spaces and its end of line, as readers accept it.
  auto dataStart = [&](std::uint64_t dictEnd) -> std::optional<std::uint64_t> {
    const std::string after = read(dictEnd, 1024);
    std::size_t k = SyntaxScanner(after).skipSpace(0);
    if (after.compare(k, 6, "stream") != 0) return std::nullopt;
    k += 6;
    while (k < after.size() && (after[k] == ' ' || after[k] == '\t' || after[k] == '\f' || after[k] == '\v')) ++k;
    if (after.compare(k, 2, "\r\n") == 0)
      k += 2;
    else if (k < after.size() && (after[k] == '\n' || after[k] == '\r'))
      ++k;
    return dictEnd + k;
  };
  // What each stream measured inflated to, by where its object starts:
  // qpdf inflates a stream again for each section that names it.
  std::map<std::uint64_t, std::uint64_t> inflatedAt;
  // The cross-reference stream whose dictionary starts at `at`, if it is one.
  auto measureAt = [&](std::uint64_t at) -> std::optional<QPDFObjectHandle> {
    std::uint64_t end = 0;
    auto dict = objectAt(at, end);
    if (!dict || !dict->isDictionary() || !dict->getKey("/Type").isNameAndEquals("/XRef")) return std::nullopt;
    const auto data = dataStart(end);
    if (!data) return std::nullopt;
    inflatedAt[at] = measureXrefStream(*dict, read, length, *data, budget);
    return dict;
  };

  // The chain from the last startxref, as a reader follows it. Where it
  // cannot be followed as written, a reader repairing the file may still
  // find cross-reference streams: then every one in the file is measured.
  bool followed = tail && tail->headerOffset < size;
  std::vector<std::uint64_t> todo;
  if (followed) todo.push_back(tail->startxref);
  std::set<std::uint64_t> seen;
  try {
    while (followed && !todo.empty()) {
      const std::uint64_t offset = todo.back();
      todo.pop_back();
      if (!seen.insert(offset).second) {
        if (const auto again = inflatedAt.upper_bound(offset);
            again != inflatedAt.end() && again->first < offset + 1024) {
          budget.inflated += again->second;
          if (budget.inflated > budget.allowed())
            throw SecurePdfError(
                "The document names one cross-reference stream from many sections, which would "
                "inflate it again for each; it is refused as a decompression bomb");
        }
        continue;
      }
      if (seen.size() > kMaxSections || offset >= length) {
        followed = false;
        break;
      }
      const std::string head = read(offset, 1024);
      budget.charge(head.size());
      const SyntaxScanner headScan(head);
      std::size_t at = headScan.skipSpace(0);
      std::uint64_t end = 0;
      std::vector<const char*> nextKeys;
      std::optional<QPDFObjectHandle> dict;
      if (head.compare(at, 4, "xref") == 0) {
        // A table holds nothing that inflates: its trailer is looked for
        // as qpdf does, whatever its entries' widths.
        const auto trailerAt = searchForward(
            read, offset + at + 4, length, 8, 4096, [](const SearchWindow& w) -> std::optional<std::uint64_t> {
              // Only one that begins its line: a reader takes each entry to
              // its line's end and skips comments. One whose line starts
              // before the window is not taken; the walk then measures
              // every stream.
              for (auto found = w.text.find("trailer"); found != std::string::npos;
                   found = w.text.find("trailer", found + 1)) {
                const auto line = w.text.find_last_of("\r\n", found);
                if (line != std::string::npos && w.text.find_first_not_of(" \t", line + 1) == found)
                  return w.at + found;
              }
              return std::nullopt;
            });
        if (trailerAt) {
          budget.charge(*trailerAt - offset);
          dict = objectAt(*trailerAt + 7, end);
        }
        nextKeys = {"/Prev", "/XRefStm"};
      } else {
        // "n g obj", then the stream's dictionary, "stream" and its data.
        bool header = true;
        for (int part = 0; part < 2 && header; ++part) {
          header = headScan.integer(at).has_value();
          at = headScan.skipSpace(at);
        }
        if (header && head.compare(at, 3, "obj") == 0) dict = measureAt(offset + at + 3);
        nextKeys = {"/Prev"};
      }
      if (!dict || !dict->isDictionary()) {
        followed = false;
        break;
      }
      for (const char* key : nextKeys) {
        // A reference reads as null here, where a reader may resolve it.
        const auto next = dict->getKey(key).isIndirect() ? std::nullopt : offsetKey(*dict, key);
        if (!next) {
          followed = false;
          break;
        }
        if (*next) todo.push_back(*next);
      }
    }
  } catch (const SecurePdfError&) {
    throw;
  } catch (const std::exception&) {
    followed = false;
  }
  if (followed) return;
  try {
    // Every object of the file whose dictionary is a cross-reference
    // stream's, as qpdf's parser reads it (names written with # escapes
    // too): what a reader repairing the file could take for one.
    constexpr std::size_t kMaxCandidates = 4096;
    std::size_t candidates = 0;
    // Each window keeps room for an object's "obj" and what follows it up
    // to "<<": both are seen whole in this window or the next.
    constexpr std::size_t kObjToDictionary = 3 + 64;
    (void)searchForward(read, 0, length, kObjToDictionary, 1u << 20, [&](const SearchWindow& w) {
      for (auto hit = w.text.find("obj"); hit != std::string::npos; hit = w.text.find("obj", hit + 1)) {
        if (hit + kObjToDictionary > w.text.size() && !w.last) break;  // decided with the next window
        if (hit >= 3 && w.text.compare(hit - 3, 3, "end") == 0) continue;
        const std::size_t dict = SyntaxScanner(w.text).skipSpace(hit + 3);
        if (w.text.compare(dict, 2, "<<") != 0) continue;
        std::uint64_t end = 0;
        auto found = objectAt(w.at + dict, end);
        if (!found || !found->isDictionary()) continue;
        QPDFObjectHandle type = found->getKey("/Type");
        if (!type.isIndirect() && !type.isNameAndEquals("/XRef")) continue;
        if (++candidates > kMaxCandidates)
          throw SecurePdfError(
              "The document holds too many cross-reference streams to be checked; it is refused as damaged");
        if (const auto data = dataStart(end))
          inflatedAt[w.at + dict] = measureXrefStream(*found, read, length, *data, budget);
      }
      return std::optional<std::uint64_t>();
    });
  } catch (const SecurePdfError&) {
    throw;
  } catch (const std::exception&) {
    return;  // qpdf's own reading decides
  }
}

std::optional<XrefEntry> CrossReferenceSections::entryIn(const Section& s, const Range& r, int object) const {
  const std::size_t i = static_cast<std::size_t>(object - r.first);
  XrefEntry e;
  if (s.table) {
    const std::string_view line = file_.substr(r.start + i * kTableEntryBytes, kTableEntryBytes);
    const SyntaxScanner scan(line);
    std::size_t at = 0;
    const auto offset = scan.integer(at);
    if (!offset || at != 10 || line[at] != ' ') return std::nullopt;
    ++at;
    const auto generation = scan.integer(at);
    if (!generation || at != 16 || line[at] != ' ' || *generation > 65535) return std::nullopt;
    if (line[17] == 'f') return e;
    if (line[17] != 'n') return std::nullopt;
    e.kind = XrefEntry::Kind::inFile;
    e.offset = *offset;
    e.generation = static_cast<int>(*generation);
    return e;
  }
  const std::size_t rowBytes = s.width[0] + s.width[1] + s.width[2];
  const unsigned char* row = s.rows.data() + (r.start + i) * rowBytes;
  const std::uint64_t type = s.width[0] ? field(row, s.width[0]) : 1;
  const std::uint64_t two = field(row + s.width[0], s.width[1]);
  const std::uint64_t three = field(row + s.width[0] + s.width[1], s.width[2]);
  if (type == 0) return e;
  if (type == 1 && three <= 65535) {
    e.kind = XrefEntry::Kind::inFile;
    e.offset = two;
    e.generation = static_cast<int>(three);
    return e;
  }
  if (type == 2 && three <= static_cast<std::uint64_t>(INT_MAX)) {
    e.kind = XrefEntry::Kind::inStream;
    e.stream = static_cast<int>(two);  // bounded when the rows were read
    e.index = static_cast<int>(three);
    return e;
  }
  return std::nullopt;  // a type this reader does not know
}

std::optional<XrefEntry> CrossReferenceSections::find(int object) const {
  for (const Section& s : sections_) {
    if (!s.indexed) return std::nullopt;
    for (const Range& r : s.ranges)
      if (object >= r.first && object - r.first < r.count) return entryIn(s, r, object);
  }
  return std::nullopt;
}

std::optional<int> CrossReferenceSections::highestListed() const {
  int highest = 0;
  for (const Section& s : sections_) {
    if (!s.indexed) return std::nullopt;
    for (const Range& r : s.ranges)
      if (r.count > 0) highest = std::max(highest, r.first + r.count - 1);
  }
  return highest;
}

std::vector<int> CrossReferenceSections::objectStreams() const {
  std::vector<int> streams;
  for (const Section& s : sections_) {
    if (s.table) continue;
    const std::size_t rowBytes = s.width[0] + s.width[1] + s.width[2];
    std::size_t rows = 0;
    for (const Range& r : s.ranges) rows += static_cast<std::size_t>(r.count);
    for (std::size_t r = 0; r < rows; ++r) {
      const unsigned char* row = s.rows.data() + r * rowBytes;
      if ((s.width[0] ? field(row, s.width[0]) : 1) != 2) continue;
      const int stream = static_cast<int>(field(row + s.width[0], s.width[1]));
      if (streams.empty() || streams.back() != stream) streams.push_back(stream);
    }
  }
  std::sort(streams.begin(), streams.end());
  streams.erase(std::unique(streams.begin(), streams.end()), streams.end());
  return streams;
}

bool CrossReferenceSections::visitListedFrom(
    std::uint64_t from, const std::function<void(int object, const std::optional<XrefEntry>&)>& visit) const {
  std::set<int> listed;  // by a newer section already
  for (const Section& s : sections_) {
    if (s.at < from) continue;
    if (!s.indexed) return false;
    for (const Range& r : s.ranges)
      for (int object = r.first; object - r.first < r.count; ++object)
        if (listed.insert(object).second) visit(object, entryIn(s, r, object));
  }
  return true;
}

bool CrossReferenceSections::everyObjectWhereListed() const {
  if (!everyObjectWhereListed_) everyObjectWhereListed_ = checkEveryObjectWhereListed();
  return *everyObjectWhereListed_;
}

bool CrossReferenceSections::checkEveryObjectWhereListed() const {
  // Every section's, not only the newest listing of each object: which
  // entry a reader takes depends on generations, on a hybrid file's table
  // and stream and on free entries in ways not worth following here, and
  // a misplaced entry nobody reads costs only a closer look.
  for (const Section& s : sections_) {
    if (!s.indexed) return false;
    for (const Range& r : s.ranges)
      for (int object = r.first; object - r.first < r.count; ++object) {
        // An entry at offset 0 (some writers list deleted objects so) reads
        // as null without a rebuild.
        const auto e = entryIn(s, r, object);
        if (!e || (e->kind == XrefEntry::Kind::inFile && e->offset != 0 &&
                   !afterObjectHeader(file_, e->offset, object, e->generation)))
          return false;
      }
  }
  return true;
}

}  // namespace penvora::core::securepdf
