#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/securepdf/AtomicOutputFile.hpp"
#include "core/util/Sha512.hpp"

class QPDF;
class QPDFObjectHandle;

namespace penvora::core::document {

// Writes the pages of several documents, in order, as one new PDF. Each
// page and what it uses (resources, fonts, images, annotations) is written
// straight from its source's model with new object numbers; stream data
// goes through as stored (decrypted, never decoded). No merged model is
// built, which is most of the time a copy into one would take. The
// sources' catalogs (outlines, forms, names) are not carried over.
class MergedPdfWriter {
 public:
  // Writing to the output failed (a full disk, say), as opposed to
  // reading a source.
  class OutputError : public std::runtime_error {
   public:
    using std::runtime_error::runtime_error;
  };

  // Writes into `out`, which the caller commits after finish().
  explicit MergedPdfWriter(securepdf::AtomicOutputFile& out);
  ~MergedPdfWriter();

  // Appends every page of `source` (a file of `sourceBytes`); it must stay
  // open until the next call. Throws what qpdf throws for a damaged source,
  // and std::runtime_error for one whose streams, made to overlap, would
  // copy far more data than it holds.
  void appendPages(QPDF& source, std::uint64_t sourceBytes);
  std::size_t pageCount() const { return pageNumbers_.size(); }
  // The rest of the file: page tree, catalog, cross-reference table and
  // trailer, and the header's version.
  void finish();

 private:
  struct SourceObjects;
  void writeObject(SourceObjects& from, QPDFObjectHandle object, int number, bool isPage);
  // A reference to an indirect value (numbering it, queued to be written),
  // or the value itself.
  void writeValue(SourceObjects& from, QPDFObjectHandle value, std::string& out);
  // The value itself, whether direct or indirect.
  void writeContent(SourceObjects& from, QPDFObjectHandle value, std::string& out);
  // `page`: leaves out /Parent and the inherited attributes writeObject
  // writes itself.
  void writeDictionaryEntries(SourceObjects& from, QPDFObjectHandle dict, std::string& out, bool skipLength, bool page);
  int reserveNumber();
  void writePending(SourceObjects& from);

  std::uint64_t position() const;  // where the next byte goes in the file
  void emit(const void* data, std::size_t size);
  void flush(std::size_t above);  // body_ to the file, when it holds more than `above`

  securepdf::AtomicOutputFile& out_;
  util::Sha512Stream digest_;
  std::uint64_t written_ = 0;
  std::string body_;                    // written, not yet in the file
  std::vector<std::uint64_t> offsets_;  // by object number - 1; 0 until written
  std::vector<int> pageNumbers_;
  std::string version_ = "1.4";
  std::string optionalGroups_, hiddenGroups_;  // references into the merge, each followed by a space
};

}  // namespace penvora::core::document
