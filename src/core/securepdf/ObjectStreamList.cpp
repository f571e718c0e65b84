#include "core/securepdf/ObjectStreamList.hpp"

#include <qpdf/Buffer.hh>
#include <qpdf/BufferInputSource.hh>
#include <qpdf/QPDFTokenizer.hh>
#include <qpdf/QPDFXRefEntry.hh>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <set>

#include "core/securepdf/IncrementalUpdate.hpp"
#include "core/util/Zlib.hpp"

namespace penvora::core::securepdf {
namespace {

constexpr std::size_t kMaxSections = 4096;       // a chain longer than this is looped or hostile
constexpr std::size_t kMaxXrefBytes = 1u << 28;  // inflated rows of one cross-reference stream

bool isSpace(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\0'; }

std::size_t skipSpace(std::string_view s, std::size_t at) {
  while (at < s.size() && isSpace(s[at])) ++at;
  return at;
}

std::optional<std::uint64_t> number(std::string_view s, std::size_t& at) {
  std::uint64_t v = 0;
  std::size_t digits = 0;
  while (at < s.size() && s[at] >= '0' && s[at] <= '9' && digits < 18) v = v * 10 + (s[at++] - '0'), ++digits;
  if (!digits) return std::nullopt;
  return v;
}

// One direct object parsed by qpdf at `at` of `file`; references are
// kept as references into `scratch`, never resolved. `end` is where it stops.
QPDFObjectHandle parseAt(QPDF& scratch, std::string_view file, std::size_t at, std::size_t& end) {
  // Non-owning: the bytes stay with the caller.
  auto* view = new Buffer(reinterpret_cast<unsigned char*>(const_cast<char*>(file.data())), file.size());
  auto source = std::make_shared<BufferInputSource>("cross-reference section", view, true);
  source->seek(static_cast<qpdf_offset_t>(at), SEEK_SET);
  QPDFTokenizer tokenizer;
  bool empty = false;
  QPDFObjectHandle o = QPDFObjectHandle::parse(source, "cross-reference section", tokenizer, empty, nullptr, &scratch);
  end = static_cast<std::size_t>(source->tell());
  return o;
}

std::optional<std::uint64_t> offsetKey(QPDFObjectHandle dict, const char* key) {
  QPDFObjectHandle v = dict.getKey(key);
  if (v.isNull()) return std::uint64_t{0};  // absent
  if (!v.isInteger() || v.getIntValue() <= 0) return std::nullopt;
  return static_cast<std::uint64_t>(v.getIntValue());
}

// PNG predictors, row by row in place; false when the rows are not whole.
bool unpredict(std::vector<unsigned char>& data, std::size_t columns) {
  const std::size_t stride = columns + 1;
  if (columns == 0 || data.size() % stride) return false;
  std::vector<unsigned char> out;
  out.reserve(data.size() / stride * columns);
  std::vector<unsigned char> prior(columns, 0);
  for (std::size_t r = 0; r * stride < data.size(); ++r) {
    const unsigned char filter = data[r * stride];
    unsigned char* row = &data[r * stride + 1];
    for (std::size_t i = 0; i < columns; ++i) {
      const int left = i ? row[i - 1] : 0, up = prior[i], upLeft = i ? prior[i - 1] : 0;
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
      row[i] = static_cast<unsigned char>(row[i] + add);
    }
    std::copy(row, row + columns, prior.begin());
    out.insert(out.end(), row, row + columns);
  }
  data.swap(out);
  return true;
}

// The rows of a cross-reference stream whose dictionary is `dict` and
// whose raw data is `raw`, adding each object stream they name to `into`.
bool readRows(QPDFObjectHandle dict, std::string_view raw, std::vector<int>& into) {
  QPDFObjectHandle filter = dict.getKey("/Filter");
  if (filter.isArray() && filter.getArrayNItems() == 1) filter = filter.getArrayItem(0);
  std::vector<unsigned char> data;
  if (filter.isNull()) {
    data.assign(raw.begin(), raw.end());
  } else if (filter.isNameAndEquals("/FlateDecode")) {
    auto inflated = util::zlibInflate(raw, kMaxXrefBytes);
    if (!inflated) return false;
    data.assign(inflated->begin(), inflated->end());
  } else {
    return false;
  }
  QPDFObjectHandle w = dict.getKey("/W");
  if (!w.isArray() || w.getArrayNItems() != 3) return false;
  std::size_t width[3], rowBytes = 0;
  for (int i = 0; i < 3; ++i) {
    QPDFObjectHandle v = w.getArrayItem(i);
    if (!v.isInteger() || v.getIntValue() < 0 || v.getIntValue() > 8) return false;
    width[i] = static_cast<std::size_t>(v.getIntValue());
    rowBytes += width[i];
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
  std::size_t rows = 0;
  QPDFObjectHandle index = dict.getKey("/Index");
  if (index.isNull()) {
    QPDFObjectHandle size = dict.getKey("/Size");
    if (!size.isInteger() || size.getIntValue() < 0) return false;
    rows = static_cast<std::size_t>(size.getIntValue());
  } else {
    if (!index.isArray() || index.getArrayNItems() % 2) return false;
    for (int i = 1; i < index.getArrayNItems(); i += 2) {
      QPDFObjectHandle count = index.getArrayItem(i);
      // Each count is bounded first, so their sum cannot wrap.
      if (!count.isInteger() || count.getIntValue() < 0 ||
          static_cast<std::uint64_t>(count.getIntValue()) > data.size())
        return false;
      rows += static_cast<std::size_t>(count.getIntValue());
    }
  }
  if (rows > data.size() / rowBytes) return false;
  auto field = [&](const unsigned char* p, std::size_t n) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < n; ++i) v = (v << 8) | p[i];
    return v;
  };
  for (std::size_t r = 0; r < rows; ++r) {
    const unsigned char* row = data.data() + r * rowBytes;
    const std::uint64_t type = width[0] ? field(row, width[0]) : 1;
    if (type != 2) continue;
    const std::uint64_t stream = field(row + width[0], width[1]);
    if (stream == 0 || stream > 0x7fffffff) return false;
    if (into.empty() || into.back() != static_cast<int>(stream)) into.push_back(static_cast<int>(stream));
  }
  return true;
}

}  // namespace

std::optional<std::vector<int>> objectStreamsFromXref(QPDF& pdf, std::string_view bytes) {
  // A file qpdf had to repair was read from something else than its
  // sections; only qpdf's table says what it holds.
  if (pdf.anyWarnings()) return std::nullopt;
  const auto tail = readXrefTail(bytes);
  if (!tail) return std::nullopt;
  const std::string_view file = bytes.substr(tail->headerOffset);
  QPDF scratch;
  scratch.emptyPDF();
  std::vector<int> streams;
  std::vector<std::uint64_t> todo{tail->startxref};
  std::set<std::uint64_t> seen;
  try {
    while (!todo.empty()) {
      const std::uint64_t offset = todo.back();
      todo.pop_back();
      if (!seen.insert(offset).second) continue;
      if (seen.size() > kMaxSections || offset >= file.size()) return std::nullopt;
      std::size_t at = skipSpace(file, static_cast<std::size_t>(offset)), end = 0;
      if (file.substr(at, 4) == "xref") {
        // A table names no object streams; its trailer may point at more.
        const auto trailer = file.find("trailer", at);
        if (trailer == std::string_view::npos) return std::nullopt;
        QPDFObjectHandle dict = parseAt(scratch, file, trailer + 7, end);
        if (!dict.isDictionary()) return std::nullopt;
        for (const char* key : {"/Prev", "/XRefStm"}) {
          const auto next = offsetKey(dict, key);
          if (!next) return std::nullopt;
          if (*next) todo.push_back(*next);
        }
        continue;
      }
      // "n g obj", then the stream's dictionary, "stream" and its data.
      for (int part = 0; part < 2; ++part) {
        if (!number(file, at)) return std::nullopt;
        at = skipSpace(file, at);
      }
      if (file.substr(at, 3) != "obj") return std::nullopt;
      QPDFObjectHandle dict = parseAt(scratch, file, at + 3, end);
      if (!dict.isDictionary() || !dict.getKey("/Type").isNameAndEquals("/XRef")) return std::nullopt;
      at = skipSpace(file, end);
      if (file.substr(at, 6) != "stream") return std::nullopt;
      at += 6;
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
      if (!readRows(dict, file.substr(at, static_cast<std::size_t>(length.getIntValue())), streams))
        return std::nullopt;
      const auto prev = offsetKey(dict, "/Prev");
      if (!prev) return std::nullopt;
      if (*prev) todo.push_back(*prev);
    }
  } catch (const std::exception&) {
    return std::nullopt;
  }
  std::sort(streams.begin(), streams.end());
  streams.erase(std::unique(streams.begin(), streams.end()), streams.end());
  return streams;
}

std::vector<int> objectStreamsFromTable(QPDF& pdf) {
  std::set<int> streams;
  for (const auto& [og, entry] : pdf.getXRefTable())
    if (entry.getType() == 2) streams.insert(entry.getObjStreamNumber());
  return {streams.begin(), streams.end()};
}

}  // namespace penvora::core::securepdf
