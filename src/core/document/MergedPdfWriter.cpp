#include "core/document/MergedPdfWriter.hpp"

#include <qpdf/Buffer.hh>
#include <qpdf/Pipeline.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <stdexcept>

#include "core/util/Sha512.hpp"

namespace penvora::core::document {
namespace {

// Object 1 is the catalog and 2 the page tree, written last.
constexpr int kCatalog = 1;
constexpr int kPageTree = 2;
// What is written is held this long before it goes to the file.
constexpr std::size_t kFlushAbove = 1u << 20;
// Attributes a page inherits from its page tree nodes; written into the
// page itself, as the new tree above it has none.
constexpr const char* kInherited[] = {"/Resources", "/MediaBox", "/CropBox", "/Rotate"};
constexpr std::size_t kInheritedCount = std::size(kInherited);

// Whether a value may stand for attribute `k` of kInherited. A page's own
// value that may not (a number for /Resources, say) is passed over by
// viewers for the one it inherits, and so it is here.
bool usable(std::size_t k, QPDFObjectHandle value) {
  switch (k) {
    case 0:
      return value.isDictionary();
    case 1:
    case 2:
      return value.isRectangle();
    default:
      return value.isNumber();  // a real: readers differ, so it is kept as the source has it
  }
}

// A page's own inheritable attribute that gives way to the one above.
bool unusableInherited(const std::string& key, QPDFObjectHandle value) {
  const auto* at = std::find(std::begin(kInherited), std::end(kInherited), key);
  return at != std::end(kInherited) && !usable(static_cast<std::size_t>(at - std::begin(kInherited)), value);
}

// What each page inherits, and from which node: found walking down the
// tree that lists the pages, as viewers do, not up a page's own /Parent,
// which may be missing or point elsewhere.
struct Inheritance {
  QPDFObjectHandle node[kInheritedCount], value[kInheritedCount];
};

std::map<QPDFObjGen, Inheritance> inheritanceByPage(QPDF& source) {
  std::map<QPDFObjGen, Inheritance> out;
  std::set<QPDFObjGen> visited;
  std::vector<std::pair<QPDFObjectHandle, Inheritance>> stack{{source.getRoot().getKey("/Pages"), {}}};
  while (!stack.empty()) {
    auto [node, above] = std::move(stack.back());
    stack.pop_back();
    if (!node.hasKey("/Kids")) {
      out.emplace(node.getObjGen(), above);
      continue;
    }
    if (node.isIndirect() && !visited.insert(node.getObjGen()).second) continue;
    for (std::size_t k = 0; k < kInheritedCount; ++k)
      if (QPDFObjectHandle v = node.getKey(kInherited[k]); usable(k, v)) {
        above.node[k] = node;
        above.value[k] = v;
      }
    QPDFObjectHandle kids = node.getKey("/Kids");
    for (int i = kids.isArray() ? kids.getArrayNItems() : 0; i-- > 0;) stack.emplace_back(kids.getArrayItem(i), above);
  }
  return out;
}

void appendNumber(std::string& out, long long v) {
  char buf[24];
  const int n = std::snprintf(buf, sizeof buf, "%lld", v);
  out.append(buf, static_cast<std::size_t>(n));
}

bool plainName(const std::string& key) {
  if (key.size() < 2 || key[0] != '/') return false;
  for (std::size_t i = 1; i < key.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(key[i]);
    if (c <= 32 || c >= 127 || c == '#' || c == '/' || c == '(' || c == ')' || c == '<' || c == '>' || c == '[' ||
        c == ']' || c == '{' || c == '}' || c == '%')
      return false;
  }
  return true;
}

void appendName(std::string& out, const std::string& key) {
  if (plainName(key))
    out += key;
  else
    out += QPDFObjectHandle::newName(key).unparse();
}

}  // namespace

// One source's objects: the new number of each object met so far, and
// those numbered but not written yet.
struct MergedPdfWriter::SourceObjects {
  std::map<QPDFObjGen, int> numbers;
  std::deque<std::pair<QPDFObjectHandle, int>> pending;
  // A direct value pages inherit from a node, written once as an object.
  std::map<std::pair<QPDFObjGen, std::string>, int> inherited;
  std::map<QPDFObjGen, Inheritance> inheritance;
  // Stream data left to copy: the source's bytes, twice over (decrypted
  // data is no longer than stored), and some room.
  std::uint64_t streamBytesLeft = 0;
};

MergedPdfWriter::MergedPdfWriter(securepdf::AtomicOutputFile& out) : out_(out) {
  body_ = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
  offsets_.assign(2, 0);  // the catalog and the page tree
}

MergedPdfWriter::~MergedPdfWriter() = default;

std::uint64_t MergedPdfWriter::position() const { return written_ + body_.size(); }

void MergedPdfWriter::emit(const void* data, std::size_t size) {
  try {
    out_.write(data, size);
  } catch (const std::exception& e) {
    throw OutputError(e.what());
  }
  digest_.update(data, size);
  written_ += size;
}

void MergedPdfWriter::flush(std::size_t above) {
  if (body_.size() <= above) return;
  emit(body_.data(), body_.size());
  body_.clear();
}

namespace {

// A stream's data, as stored in its source (decrypted, not decoded),
// straight into the merged file, counted against what the source may hold.
class StreamCopy : public Pipeline {
 public:
  StreamCopy(std::function<void(const unsigned char*, std::size_t)> emit, std::uint64_t limit)
      : Pipeline("merged stream", nullptr), emit_(std::move(emit)), left_(limit) {}
  void write(unsigned char const* data, size_t len) override {
    if (len > left_) {
      overran = true;
      throw std::runtime_error("overrun");
    }
    left_ -= len;
    copied += len;
    try {
      emit_(data, len);
    } catch (const MergedPdfWriter::OutputError& e) {
      outputFailure = e.what();  // qpdf may turn it into a failed read
      throw;
    }
  }
  void finish() override {}
  std::uint64_t copied = 0;
  bool overran = false;
  std::string outputFailure;

 private:
  std::function<void(const unsigned char*, std::size_t)> emit_;
  std::uint64_t left_;
};

}  // namespace

int MergedPdfWriter::reserveNumber() {
  offsets_.push_back(0);
  return static_cast<int>(offsets_.size());
}

void MergedPdfWriter::appendPages(QPDF& source, std::uint64_t sourceBytes) {
  if (source.getPDFVersion() > version_) version_ = source.getPDFVersion();
  SourceObjects from;
  from.streamBytesLeft = 2 * sourceBytes + (1u << 20);
  const std::vector<QPDFObjectHandle>& pages = source.getAllPages();
  from.inheritance = inheritanceByPage(source);
  // Pages are numbered first, so that a reference to one from another
  // page's annotation finds its number.
  std::vector<std::pair<QPDFObjectHandle, int>> numbered;
  numbered.reserve(pages.size());
  for (const QPDFObjectHandle& page : pages) {
    const int number = reserveNumber();
    from.numbers.emplace(page.getObjGen(), number);
    numbered.emplace_back(page, number);
  }
  for (auto& [page, number] : numbered) {
    pageNumbers_.push_back(number);
    writeObject(from, page, number, true);
    writePending(from);
  }
  // Optional content: the source's groups, and those its default view
  // hides, so a layer hidden in the source stays hidden in the merge. The
  // merged view starts with every group on, so a source whose view starts
  // with every group off (/BaseState /OFF) lists as hidden all but the
  // groups it turns on.
  QPDFObjectHandle oc = source.getRoot().getKey("/OCProperties");
  QPDFObjectHandle groups = oc.getKey("/OCGs"), view = oc.getKey("/D");
  const bool allOff = view.getKey("/BaseState").isNameAndEquals("/OFF");
  std::set<QPDFObjGen> on;
  for (QPDFObjectHandle group :
       view.getKey("/ON").isArray() ? view.getKey("/ON").getArrayAsVector() : std::vector<QPDFObjectHandle>{})
    on.insert(group.getObjGen());
  const auto add = [&](QPDFObjectHandle group, std::string& list) {
    writeValue(from, group, list);
    list += ' ';
  };
  for (QPDFObjectHandle group : groups.isArray() ? groups.getArrayAsVector() : std::vector<QPDFObjectHandle>{})
    if (group.isIndirect()) {
      add(group, optionalGroups_);
      if (allOff && !on.count(group.getObjGen())) add(group, hiddenGroups_);
    }
  QPDFObjectHandle off = view.getKey("/OFF");
  for (int i = 0; !allOff && off.isArray() && i < off.getArrayNItems(); ++i)
    if (off.getArrayItem(i).isIndirect()) add(off.getArrayItem(i), hiddenGroups_);
  writePending(from);
}

void MergedPdfWriter::writePending(SourceObjects& from) {
  while (!from.pending.empty()) {
    auto [object, n] = from.pending.front();
    from.pending.pop_front();
    writeObject(from, object, n, false);
  }
}

void MergedPdfWriter::writeObject(SourceObjects& from, QPDFObjectHandle object, int number, bool isPage) {
  offsets_[static_cast<std::size_t>(number - 1)] = position();
  appendNumber(body_, number);
  body_ += " 0 obj\n";
  if (isPage) {
    body_ += "<<";
    writeDictionaryEntries(from, object, body_, false, true);
    const auto found = from.inheritance.find(object.getObjGen());
    for (std::size_t k = 0; k < kInheritedCount && found != from.inheritance.end(); ++k) {
      if (usable(k, object.getKey(kInherited[k]))) continue;
      QPDFObjectHandle node = found->second.node[k], inherited = found->second.value[k];
      if (!inherited.isInitialized()) continue;
      body_ += kInherited[k];
      body_ += ' ';
      // A direct dictionary or array there (resources, say) becomes one
      // object every page refers to, not a copy in each page.
      if (!inherited.isIndirect() && (inherited.isDictionary() || inherited.isArray()) && node.isIndirect()) {
        auto [at, fresh] = from.inherited.emplace(std::make_pair(node.getObjGen(), std::string(kInherited[k])), 0);
        if (fresh) {
          at->second = reserveNumber();
          from.pending.emplace_back(inherited, at->second);
        }
        appendNumber(body_, at->second);
        body_ += " 0 R";
      } else {
        writeValue(from, inherited, body_);
      }
    }
    body_ += "/Parent 2 0 R>>";
  } else if (object.isStream()) {
    // The data goes straight from the source to the file, so neither is
    // held twice in memory; its length, known once it has gone, follows
    // as an object of its own.
    const int lengthNumber = reserveNumber();
    body_ += "<<";
    writeDictionaryEntries(from, object.getDict(), body_, true, false);
    body_ += "/Length ";
    appendNumber(body_, lengthNumber);
    body_ += " 0 R>>\nstream\n";
    flush(0);
    StreamCopy copy([this](const unsigned char* data, std::size_t n) { emit(data, n); }, from.streamBytesLeft);
    bool copied = false, filtered = false;
    try {
      copied = object.pipeStreamData(&copy, &filtered, 0, qpdf_dl_none, true, false);
    } catch (const std::exception&) {
      copied = false;
    }
    // Streams whose data runs over one another's: a 430 kB file made a
    // 674 MB merge.
    if (!copy.outputFailure.empty()) throw OutputError(copy.outputFailure);
    if (copy.overran) throw std::runtime_error("its streams overlap one another; it is refused as damaged");
    if (!copied) throw std::runtime_error("a stream's data cannot be read");
    from.streamBytesLeft -= copy.copied;
    body_ += "\nendstream\nendobj\n";
    offsets_[static_cast<std::size_t>(lengthNumber - 1)] = position();
    appendNumber(body_, lengthNumber);
    body_ += " 0 obj\n";
    appendNumber(body_, static_cast<long long>(copy.copied));
    body_ += "\nendobj\n";
    return;
  } else {
    writeContent(from, object, body_);  // the object itself, not a reference to it
  }
  body_ += "\nendobj\n";
  flush(kFlushAbove);
}

void MergedPdfWriter::writeDictionaryEntries(SourceObjects& from, QPDFObjectHandle dict, std::string& out,
                                             bool skipLength, bool page) {
  // A signature field's value signed the source's bytes, not the merge's:
  // kept, every reader would show a broken signature. Its widget still
  // shows what was drawn.
  const bool signatureField = !page && dict.getKey("/FT").isNameAndEquals("/Sig");
  // One copy of the entries; ditems() would build a set of the keys and
  // look each one up again.
  for (auto& [key, value] : dict.getDictAsMap()) {
    if (skipLength && key == "/Length") continue;
    if (signatureField && key == "/V") continue;
    if (page && (key == "/Parent" || unusableInherited(key, value))) continue;  // written apart
    if (value.isNull()) continue;                                               // a null entry is the same as none
    appendName(out, key);
    out += ' ';
    writeValue(from, value, out);
  }
}

void MergedPdfWriter::writeValue(SourceObjects& from, QPDFObjectHandle value, std::string& out) {
  if (value.isIndirect()) {
    const QPDFObjGen og = value.getObjGen();
    auto [it, added] = from.numbers.emplace(og, 0);
    if (added) {
      it->second = reserveNumber();
      from.pending.emplace_back(value, it->second);
    }
    appendNumber(out, it->second);
    out += " 0 R";
    return;
  }
  writeContent(from, value, out);
}

void MergedPdfWriter::writeContent(SourceObjects& from, QPDFObjectHandle value, std::string& out) {
  switch (value.getTypeCode()) {
    case ::ot_array: {
      out += '[';
      const int n = value.getArrayNItems();
      for (int i = 0; i < n; ++i) {
        if (i) out += ' ';
        writeValue(from, value.getArrayItem(i), out);
      }
      out += ']';
      return;
    }
    case ::ot_dictionary:
      out += "<<";
      writeDictionaryEntries(from, value, out, false, false);
      out += ">>";
      return;
    case ::ot_integer:
      appendNumber(out, value.getIntValue());
      return;
    case ::ot_name:
      appendName(out, value.getName());
      return;
    case ::ot_stream:  // a stream is written as an object of its own, never in place
      throw std::runtime_error("A direct stream in a page's objects");
    case ::ot_null:
    case ::ot_reserved:
    case ::ot_uninitialized:
      out += "null";
      return;
    default:  // booleans, reals, strings: their own syntax, escapes kept
      out += value.unparseResolved();
  }
}

void MergedPdfWriter::finish() {
  auto writeAt = [&](int number, const std::string& text) {
    offsets_[static_cast<std::size_t>(number - 1)] = position();
    appendNumber(body_, number);
    body_ += " 0 obj\n" + text + "\nendobj\n";
  };
  std::string tree = "<</Type/Pages/Count ";
  appendNumber(tree, static_cast<long long>(pageNumbers_.size()));
  tree += "/Kids[";
  for (std::size_t i = 0; i < pageNumbers_.size(); ++i) {
    if (i) tree += ' ';
    appendNumber(tree, pageNumbers_[i]);
    tree += " 0 R";
  }
  tree += "]>>";
  writeAt(kPageTree, tree);
  std::string catalog = "<</Type/Catalog/Pages 2 0 R";
  if (!optionalGroups_.empty())
    catalog += "/OCProperties<</OCGs[" + optionalGroups_ + "]/D<</OFF[" + hiddenGroups_ + "]>>>>";
  writeAt(kCatalog, catalog + ">>");
  flush(0);

  // The file's identifier: a digest of what it holds, so the same merge
  // gives the same file.
  const std::string id = digest_.hex().substr(0, 32);
  const std::uint64_t xref = position();
  body_ += "xref\n0 ";
  appendNumber(body_, static_cast<long long>(offsets_.size() + 1));
  body_ += "\n0000000000 65535 f \n";
  for (std::uint64_t offset : offsets_) {
    char entry[24];
    std::snprintf(entry, sizeof entry, "%010llu 00000 n \n", static_cast<unsigned long long>(offset));
    body_ += entry;
    flush(kFlushAbove);
  }
  body_ += "trailer\n<</Size ";
  appendNumber(body_, static_cast<long long>(offsets_.size() + 1));
  body_ += "/Root 1 0 R/ID[<" + id + "><" + id + ">]>>\nstartxref\n";
  appendNumber(body_, static_cast<long long>(xref));
  body_ += "\n%%EOF\n";
  flush(0);
  // The header names the newest version among the sources, known only now.
  try {
    if (version_.size() == 3 && version_ != "1.4") out_.writeAt(5, version_);
  } catch (const std::exception& e) {
    throw OutputError(e.what());
  }
}

}  // namespace penvora::core::document
