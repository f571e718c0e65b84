#include "core/securepdf/IncrementalUpdate.hpp"

#include <cstdio>
#include <fstream>
#include <vector>

#include "core/securepdf/Flate.hpp"
#include "core/securepdf/SecurePdfError.hpp"
#include "core/securepdf/SyntaxScanner.hpp"
#include "core/util/Hex.hpp"

namespace penvora::core::securepdf {
namespace {

std::string hexString(const std::string& bytes) { return '<' + util::hexEncode(bytes) + '>'; }

// Calls fn(first, count, begin, end) for each run of consecutive object
// numbers: the subsections of a cross-reference table or stream.
template <typename Fn>
void forEachRun(const std::map<int, std::uint64_t>& offsets, Fn fn) {
  for (auto it = offsets.begin(); it != offsets.end();) {
    auto end = it;
    int count = 0;
    while (end != offsets.end() && end->first == it->first + count) {
      ++end;
      ++count;
    }
    fn(it->first, count, it, end);
    it = end;
  }
}

std::string ref(QPDFObjGen og) { return std::to_string(og.getObj()) + " " + std::to_string(og.getGen()) + " R"; }

// qpdf looks for "startxref" only in the file's last bytes (the 1024 the
// format allows for %%EOF, and room for the keyword and its number).
constexpr std::size_t kStartxrefSearchBytes = 1054;

// The offset after the last "startxref" within those bytes that an integer
// token follows, as qpdf reads it: spaces and comments may come between,
// no %%EOF need follow, and a candidate whose number is no integer token
// ("543x", "543.0", one inside a comment at the end) is passed over for
// the one before it, which qpdf then uses.
std::optional<std::uint64_t> lastStartxref(const std::string& tail) {
  const SyntaxScanner scan(tail);
  const std::size_t from = tail.size() > kStartxrefSearchBytes ? tail.size() - kStartxrefSearchBytes : 0;
  for (auto pos = tail.rfind("startxref"); pos != std::string::npos && pos >= from;
       pos = pos ? tail.rfind("startxref", pos - 1) : std::string::npos) {
    std::size_t at = pos + 9;
    if (at < tail.size() && isPdfRegular(tail[at])) continue;
    at = scan.skipSpace(at);
    if (at < tail.size() && tail[at] == '+') ++at;
    if (const auto v = scan.integer(at)) return v;
  }
  return std::nullopt;
}

std::optional<XrefTail> parseTail(const std::string& tail, const std::string& atOffset) {
  const auto startxref = lastStartxref(tail);
  if (!startxref) return std::nullopt;
  XrefTail t;
  t.startxref = *startxref;
  std::size_t k = 0;
  while (k < atOffset.size() && std::isspace(static_cast<unsigned char>(atOffset[k]))) ++k;
  if (atOffset.compare(k, 4, "xref") == 0) {
    t.form = XrefForm::table;
  } else if (k < atOffset.size() && std::isdigit(static_cast<unsigned char>(atOffset[k]))) {
    t.form = XrefForm::stream;
  } else {
    return std::nullopt;
  }
  return t;
}

}  // namespace

std::optional<XrefTail> readXrefTail(const std::string& tail, std::uint64_t tailStart,
                                     const std::function<std::string(std::uint64_t offset)>& readAt) {
  const std::uint64_t fileSize = tailStart + tail.size();
  // Peek at the offset the tail names.
  const auto startxref = lastStartxref(tail);
  if (!startxref || *startxref >= fileSize) return std::nullopt;
  return parseTail(tail, readAt(*startxref));
}

std::optional<XrefTail> readXrefTail(std::uint64_t size, const FileReader& readAt, std::string* lastBytes) {
  const std::uint64_t base = findHeaderOffset(readAt(0, std::min<std::uint64_t>(size, kHeaderSearchBytes)));
  const std::uint64_t n = std::min<std::uint64_t>(size - base, 2048);
  std::string end = readAt(size - n, n);
  // In the file's own offsets, which count from its header.
  auto tail = readXrefTail(end, size - n - base, [&](std::uint64_t at) {
    return readAt(base + at, std::min<std::uint64_t>(32, size - base - at));
  });
  if (tail) tail->headerOffset = base;
  if (lastBytes) *lastBytes = std::move(end);
  return tail;
}

std::optional<XrefTail> readXrefTail(std::string_view bytes) {
  return readXrefTail(bytes.size(), [&](std::uint64_t offset, std::uint64_t n) {
    return std::string(bytes.substr(static_cast<std::size_t>(offset), static_cast<std::size_t>(n)));
  });
}

std::uint64_t findHeaderOffset(std::string_view start) {
  // As qpdf takes it: the first "%PDF-" within the first 1024 bytes that a
  // version follows (digits, a dot, a digit); offsets count from there.
  auto isDigit = [&](std::size_t i) { return i < start.size() && start[i] >= '0' && start[i] <= '9'; };
  for (auto at = start.find("%PDF-"); at != std::string_view::npos && at + 5 <= 1024;
       at = start.find("%PDF-", at + 1)) {
    std::size_t p = at + 5;
    if (!isDigit(p)) continue;
    while (isDigit(p)) ++p;
    if (p < start.size() && start[p] == '.' && isDigit(p + 1)) return at;
  }
  return 0;
}

std::string byteRangeText(std::uint64_t contentsAt, std::uint64_t contentsLength, std::uint64_t fileSize) {
  const std::uint64_t second = contentsAt + contentsLength;
  auto pad = [](std::uint64_t v) {
    std::string s = std::to_string(v);
    if (s.size() < IncrementalUpdate::kByteRangeWidth) s.append(IncrementalUpdate::kByteRangeWidth - s.size(), ' ');
    return s;
  };
  return "[0 " + pad(contentsAt) + " " + pad(second) + " " + pad(fileSize - second) + "]";
}

IncrementalUpdate::IncrementalUpdate(QPDF& pdf, const ObjectEncryptor& encryptor, XrefTail tail,
                                     std::uint64_t originalSize, const RegroupedPageTree* regrouped, TakenNumbers taken)
    : pdf_(pdf),
      encryptor_(encryptor),
      tail_(tail),
      originalSize_(originalSize),
      regrouped_(regrouped),
      taken_(std::move(taken)) {}

// The trailer's /Size, raised past every listed object: numbers at or past
// a /Size written too small may be taken, at any generation, and a new
// object there would hide one of the file's.
long long IncrementalUpdate::declaredSize() const {
  long long declared = 0;
  if (regrouped_) {
    declared = regrouped_->originalObjectCount;
  } else {
    QPDFObjectHandle size = pdf_.getTrailer().getKey("/Size");
    declared = size.isInteger() ? size.getIntValue() : 0;
  }
  return std::max<long long>(declared, taken_.listedPast);
}

void IncrementalUpdate::add(const QPDFObjectHandle& h) {
  if (!h.isIndirect()) throw SecurePdfError("internal: only indirect objects go into an update");
  if (regrouped_ && regrouped_->defines(h.getObjGen()))
    throw SecurePdfError("internal: the page tree as regrouped for reading cannot go into an update");
  objects_[h.getObjGen()] = h;
}

QPDFObjectHandle IncrementalUpdate::addNew(const QPDFObjectHandle& direct) {
  if (direct.isIndirect()) throw SecurePdfError("internal: a new object must be direct");
  if (nextNumber_ == 0) {
    // Numbering from 1 again would take free numbers the file's own
    // references may still name: past the format's limits, refuse.
    const long long size = declaredSize();
    if (size >= (1 << 30))
      throw SecurePdfError("The document numbers its objects past what an update can add to (/Size " +
                           std::to_string(size) + ")");
    nextNumber_ = size > 0 ? static_cast<int>(size) : 1;
  }
  // A file whose /Size is too small may still use the numbers past it.
  while (taken_.referenced.count(nextNumber_) || !pdf_.getObjectByID(nextNumber_, 0).isNull()) ++nextNumber_;
  const QPDFObjGen og(nextNumber_++, 0);
  pdf_.replaceObject(og, direct);
  QPDFObjectHandle h = pdf_.getObject(og);
  add(h);
  return h;
}

QPDFObjectHandle IncrementalUpdate::addNewStream(QPDFObjectHandle dict, std::string data) {
  QPDFObjectHandle h = addNew(dict.shallowCopy());
  newStreams_[h.getObjGen()] = std::move(data);
  return h;
}

void IncrementalUpdate::setSignaturePlaceholder(QPDFObjGen signature, std::size_t contentsBytes) {
  signature_ = signature;
  contentsBytes_ = contentsBytes;
}

void IncrementalUpdate::writeValue(std::string& out, QPDFObjectHandle h, QPDFObjGen owner, bool encrypt,
                                   bool top) const {
  if (h.isIndirect() && !top) {
    out += ref(h.getObjGen());
  } else if (h.isString()) {
    const std::string v = h.getStringValue();
    out += hexString(encrypt && encryptor_.active() ? encryptor_.encryptString(v, owner) : v);
  } else if (h.isArray()) {
    out += '[';
    const int n = h.getArrayNItems();
    for (int i = 0; i < n; ++i) {
      if (i) out += ' ';
      writeValue(out, h.getArrayItem(i), owner, encrypt);
    }
    out += ']';
  } else if (h.isDictionary()) {
    out += "<<";
    for (const auto& key : h.getKeys()) {
      out += QPDFObjectHandle::newName(key).unparse();
      out += ' ';
      if (owner == signature_ && signature_.isIndirect() && key == "/Contents") {
        pendingContents_ = out.size();
        out += '<';
        out.append(contentsBytes_ * 2, '0');
        out += '>';
      } else if (owner == signature_ && signature_.isIndirect() && key == "/ByteRange") {
        pendingByteRange_ = out.size();
        out += byteRangeText(0, 0, 0);
      } else {
        writeValue(out, h.getKey(key), owner, encrypt);
      }
      out += ' ';
    }
    out += ">>";
  } else if (h.isNull() || h.isBool() || h.isInteger() || h.isReal() || h.isName() || h.isOperator()) {
    out += h.unparseResolved();  // an object of its own: its value, not a reference to itself
  } else {
    out += "null";
  }
}

void IncrementalUpdate::writeObject(std::string& out, QPDFObjectHandle h, Result& result, std::uint64_t base) const {
  const QPDFObjGen og = h.getObjGen();
  out += std::to_string(og.getObj()) + " " + std::to_string(og.getGen()) + " obj\n";
  pendingContents_ = pendingByteRange_ = 0;
  const auto made = newStreams_.find(og);
  if (h.isStream() || made != newStreams_.end()) {
    std::string data;
    if (made != newStreams_.end()) {
      data = made->second;
    } else {
      auto raw = h.getRawStreamData();
      data.assign(reinterpret_cast<const char*>(raw->getBuffer()), raw->getSize());
    }
    if (encryptor_.active()) data = encryptor_.encryptStream(data, og);
    QPDFObjectHandle dict = (made != newStreams_.end() ? h : h.getDict()).shallowCopy();
    dict.removeKey("/Length");
    std::string d;
    writeValue(d, dict, og, true);
    d.insert(d.size() - 2, "/Length " + std::to_string(data.size()) + " ");
    out += d;
    out += "\nstream\n";
    out += data;
    out += "\nendstream";
  } else {
    const std::size_t start = out.size();
    writeValue(out, h, og, true, true);
    if (og == signature_) {
      if (!pendingContents_ || !pendingByteRange_)
        throw SecurePdfError("internal: signature dictionary without /Contents or /ByteRange");
      result.contentsAt = base + (pendingContents_ - start);
      result.byteRangeAt = base + (pendingByteRange_ - start);
      result.contentsLength = contentsBytes_ * 2 + 2;
    }
  }
  out += "\nendobj\n";
}

std::string IncrementalUpdate::trailerEntries() const {
  QPDFObjectHandle trailer = pdf_.getTrailer();
  std::string s;
  for (const char* key : {"/Root", "/Info", "/Encrypt"}) {
    if (!trailer.hasKey(key)) continue;
    QPDFObjectHandle v = trailer.getKey(key);
    if (v.isNull()) continue;
    s += std::string(key) + " ";
    writeValue(s, v, QPDFObjGen(), false);  // never re-encrypt these
    s += ' ';
  }
  if (trailer.hasKey("/ID") && trailer.getKey("/ID").isArray()) {
    s += "/ID ";
    writeValue(s, trailer.getKey("/ID"), QPDFObjGen(), false);
    s += ' ';
  }
  s += "/Prev " + std::to_string(tail_.startxref) + " ";
  return s;
}

IncrementalUpdate::Result IncrementalUpdate::build(bool compressXrefStream) {
  Result result;
  std::string& out = result.bytes;
  out += '\n';  // the original may not end with an end-of-line
  std::map<int, std::uint64_t> offsets;
  int maxObj = 0;
  for (const auto& [og, h] : objects_) {
    offsets[og.getObj()] = originalSize_ - tail_.headerOffset + out.size();
    maxObj = std::max(maxObj, og.getObj());
    const std::size_t header = std::to_string(og.getObj()).size() + std::to_string(og.getGen()).size() + 6;
    writeObject(out, h, result, originalSize_ + out.size() + header);
  }
  if (signature_.isIndirect() && !result.contentsAt) throw SecurePdfError("internal: signature object not written");

  long long size = declaredSize();
  // Looked up, not searched: a signature on every page of a long document
  // writes an entry for each page.
  auto genOf = [&](int obj) {
    const auto found = objects_.lower_bound(QPDFObjGen(obj, 0));
    return found != objects_.end() && found->first.getObj() == obj ? found->first.getGen() : 0;
  };

  if (tail_.form == XrefForm::table) {
    size = std::max<long long>(size, maxObj + 1);
    const std::uint64_t xrefAt = originalSize_ - tail_.headerOffset + out.size();
    out += "xref\n";
    forEachRun(offsets, [&](int first, int count, auto begin, auto end) {
      out += std::to_string(first) + " " + std::to_string(count) + "\n";
      for (auto e = begin; e != end; ++e) {
        char line[32];
        std::snprintf(line, sizeof line, "%010llu %05d n\r\n", static_cast<unsigned long long>(e->second),
                      genOf(e->first));
        out += line;
      }
    });
    out += "trailer\n<< /Size " + std::to_string(size) + " " + trailerEntries() + ">>\nstartxref\n" +
           std::to_string(xrefAt) + "\n%%EOF\n";
  } else {
    int xrefObj = std::max<int>(static_cast<int>(size), maxObj + 1);
    while (taken_.referenced.count(xrefObj) || !pdf_.getObjectByID(xrefObj, 0).isNull()) ++xrefObj;
    const std::uint64_t xrefAt = originalSize_ - tail_.headerOffset + out.size();
    offsets[xrefObj] = xrefAt;
    size = xrefObj + 1;
    const int w = xrefAt > 0xFFFFFFFFull ? 8 : 4;
    std::string entries;
    std::string index;
    forEachRun(offsets, [&](int first, int count, auto begin, auto end) {
      index += std::to_string(first) + " " + std::to_string(count) + " ";
      for (auto e = begin; e != end; ++e) {
        entries += '\x01';
        for (int b = w - 1; b >= 0; --b) entries += static_cast<char>((e->second >> (8 * b)) & 0xFF);
        const int gen = e->first == xrefObj ? 0 : genOf(e->first);
        entries += static_cast<char>((gen >> 8) & 0xFF);
        entries += static_cast<char>(gen & 0xFF);
      }
    });
    std::string data = entries;
    std::string filter;
    if (compressXrefStream) {
      data = flateEncode(entries);
      filter = "/Filter /FlateDecode ";
    }
    index.pop_back();
    out += std::to_string(xrefObj) + " 0 obj\n<< /Type /XRef /Size " + std::to_string(size) + " /Index [" + index +
           "] /W [1 " + std::to_string(w) + " 2] " + filter + trailerEntries() + "/Length " +
           std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream\nendobj\nstartxref\n" +
           std::to_string(xrefAt) + "\n%%EOF\n";
  }
  return result;
}

}  // namespace penvora::core::securepdf
