#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include "core/securepdf/ObjectEncryptor.hpp"
#include "core/securepdf/PageTreeRegrouping.hpp"

namespace penvora::core::securepdf {

// How the original file's last cross-reference section is written.
enum class XrefForm { table, stream };

// Where the original file's last cross-reference section starts and its
// form; nothing when the tail of the file cannot be read that way (the
// file then needs a rewrite before an update can follow it).
struct XrefTail {
  std::uint64_t startxref = 0;
  XrefForm form = XrefForm::table;
  // Where the file's own offsets count from: the "%PDF-" header, which
  // may follow other bytes (a mail gateway's lines, for instance).
  std::uint64_t headerOffset = 0;
};
// From the last bytes of a file (`tail`, starting at `tailStart`); `readAt`
// gives the 32 bytes at an offset, to check what the tail points at.
std::optional<XrefTail> readXrefTail(const std::string& tail, std::uint64_t tailStart,
                                     const std::function<std::string(std::uint64_t offset)>& readAt);
// The same from a whole file of `size` bytes, read through `readAt` (`n`
// bytes at `offset`, both within the file): its first kilobyte for the
// header, its last two and a probe. `lastBytes`, when given, receives
// those last bytes, for a caller that reads the trailer too.
using FileReader = std::function<std::string(std::uint64_t offset, std::uint64_t n)>;
std::optional<XrefTail> readXrefTail(std::uint64_t size, const FileReader& readAt, std::string* lastBytes = nullptr);
std::optional<XrefTail> readXrefTail(std::string_view bytes);

// The offset of the "%PDF-" header within the first bytes of a file, as
// qpdf looks for it (within the first 1024 bytes, a version after it);
// 0 when it is not there. `start`: the first kHeaderSearchBytes of the file.
inline constexpr std::size_t kHeaderSearchBytes = 1100;
std::uint64_t findHeaderOffset(std::string_view start);

// Numbers a new object must not take although no object of the file has
// them.
struct TakenNumbers {
  // Past every number the cross-reference sections list, for a /Size
  // written too small; 0 when they were not read.
  int listedPast = 0;
  // Numbers the file refers to without having them: filled for a signed
  // file, whose earlier revisions would otherwise show the new object.
  std::set<int> referenced;
};

// Serialises changed and new objects of a qpdf document as one incremental
// update after the original bytes, with a cross-reference section in the
// original's form. One signature dictionary may carry placeholders for
// /ByteRange and /Contents that are filled in after the bytes are known.
class IncrementalUpdate {
 public:
  // `regrouped`: set when `pdf` was read with that section after the
  // original; the update then numbers and sizes by the original's trailer
  // and refuses the objects the section defines. `taken`: numbers new
  // objects keep clear of besides those in use.
  IncrementalUpdate(QPDF& pdf, const ObjectEncryptor& encryptor, XrefTail tail, std::uint64_t originalSize,
                    const RegroupedPageTree* regrouped, TakenNumbers taken);

  void add(const QPDFObjectHandle& indirectObject);
  // New objects under the next free numbers, part of the update. Numbered
  // here because qpdf's makeIndirectObject parses every object of the file
  // to find a free number, which would make signing grow with the pages.
  QPDFObjectHandle addNew(const QPDFObjectHandle& direct);
  // A new stream: `dict` without /Length and `data` as stored (already
  // encoded as the dictionary's /Filter says).
  QPDFObjectHandle addNewStream(QPDFObjectHandle dict, std::string data);
  void setSignaturePlaceholder(QPDFObjGen signature, std::size_t contentsBytes);

  struct Result {
    std::string bytes;                 // the update, to append at originalSize
    std::uint64_t byteRangeAt = 0;     // file offset of the /ByteRange value
    std::uint64_t contentsAt = 0;      // file offset of the '<' of /Contents
    std::uint64_t contentsLength = 0;  // length of <...> including brackets
  };
  Result build(bool compressXrefStream = true);

  static constexpr std::size_t kByteRangeWidth = 10;

 private:
  void writeValue(std::string& out, QPDFObjectHandle h, QPDFObjGen owner, bool encrypt, bool top = false) const;
  void writeObject(std::string& out, QPDFObjectHandle h, Result& result, std::uint64_t base) const;
  std::string trailerEntries() const;
  long long declaredSize() const;

  QPDF& pdf_;
  const ObjectEncryptor& encryptor_;
  XrefTail tail_;
  std::uint64_t originalSize_;
  const RegroupedPageTree* regrouped_;
  TakenNumbers taken_;
  std::map<QPDFObjGen, QPDFObjectHandle> objects_;
  std::map<QPDFObjGen, std::string> newStreams_;  // data of streams made by addNewStream
  int nextNumber_ = 0;                            // 0 until the first new object
  QPDFObjGen signature_;
  std::size_t contentsBytes_ = 0;
  mutable std::uint64_t pendingByteRange_ = 0, pendingContents_ = 0;
};

// The /ByteRange text for the placeholder (fixed width).
std::string byteRangeText(std::uint64_t contentsAt, std::uint64_t contentsLength, std::uint64_t fileSize);

}  // namespace penvora::core::securepdf
