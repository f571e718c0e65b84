#pragma once
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <qpdf/QPDF.hh>

#include "core/securepdf/CrossReferenceSections.hpp"
#include "core/securepdf/IncrementalUpdate.hpp"
#include "core/securepdf/ObjectTextReader.hpp"
#include "core/securepdf/OriginalDigest.hpp"
#include "core/securepdf/PageTreeRegrouping.hpp"

namespace penvora::core::securepdf {

// A document opened for an incremental update: the qpdf model, and the
// bytes the update follows (the file itself, or a one-time rewrite when
// the file needed repair). The input is opened once, and the model, the
// copy and every later read use that one opening, so a file removed or
// replaced meanwhile cannot mix two versions into one signed output.
struct DocumentSource {
  std::string path;
  // Exactly one of the two holds the bytes: in memory (small or repaired
  // files) or the open file. Declared before `pdf`, which reads from them
  // and so must go first.
  std::shared_ptr<const std::string> bytes;
  std::shared_ptr<std::FILE> file;
  // The section of `regrouped`, which qpdf reads after `bytes`.
  std::shared_ptr<const std::string> parsedSection;
  std::unique_ptr<QPDF> pdf;
  // Set when `pdf` sees the page tree regrouped; an update must then be
  // told (IncrementalUpdate takes it).
  std::optional<RegroupedPageTree> regrouped;
  // The original bytes' digest, running since they were opened, when the
  // opening was for a signature.
  std::unique_ptr<OriginalDigest> digest;
  bool repaired = false;
  // Numbers an update's new objects keep clear of.
  TakenNumbers taken;
  // The original's cross-reference sections, when read here (in memory).
  std::shared_ptr<const CrossReferenceSections> sections;
  // Where qpdf seeks, logged when the regrouped section lists only what
  // signing reads; and where the file's header starts in `bytes`.
  std::shared_ptr<std::vector<std::uint64_t>> seeks;
  std::uint64_t headerOffset = 0;
  XrefTail tail;
  std::uint64_t originalSize = 0;

  // `n` bytes at `offset` of what the update follows; throws SecurePdfError
  // when they cannot be read in full.
  void read(std::uint64_t offset, char* out, std::size_t n) const;
  // The open input's descriptor; -1 when the bytes are in memory.
  int fd() const { return file ? fileno(file.get()) : -1; }
  // Starts `digest` for `md` unless it runs for it already.
  void startDigest(const EVP_MD* md);
  // Whether what qpdf has read so far is what it would have read with the
  // file's whole table: always, unless the regrouped section lists only
  // some objects and qpdf read one that refers to another the file has.
  // When not, the document must be opened again with the whole table.
  bool readsAsWhole() const;

 private:
  // Reads the objects qpdf read; made for `readerFor_`, the sections then.
  mutable std::shared_ptr<ObjectTextReader> reader_;
  mutable std::shared_ptr<const CrossReferenceSections> readerFor_;
};

// Opens with the password. Throws SecurePdfError with a message for a
// missing, empty, non-PDF or damaged file and for a wrong password. With
// `digestFor`, the original bytes' digest starts before the parse.
// With `listing`, a long document may be read through a section that
// lists only what signing these pages (or a field) reads (see
// ReadingSubset): the caller then asks readsAsWhole() after its work.
DocumentSource openForUpdate(const std::string& path, const std::string& password, const EVP_MD* digestFor = nullptr,
                             const std::optional<SubsetRequest>& listing = std::nullopt);

// `src` parsed again from the same bytes with the file's whole table,
// when it was read through a section listing only some objects.
void readWithWholeTable(DocumentSource& src, const std::string& password, const EVP_MD* digestFor = nullptr);
// Just the qpdf model (page probing, form reading).
std::unique_ptr<QPDF> openForReading(const std::string& path, const std::string& password);

// The whole file from one opening, for a reader that needs its bytes and
// its model alike (the verifier); the same refusals as above.
std::shared_ptr<const std::string> readWholeFile(const std::string& path);
// The model of those bytes, parsed where they are: it keeps them alive.
std::shared_ptr<QPDF> openForReading(std::shared_ptr<const std::string> bytes, const std::string& password);

}  // namespace penvora::core::securepdf
