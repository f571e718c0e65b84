#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

namespace penvora::core::securepdf {

// Where one object is, as the newest section listing it says.
struct XrefEntry {
  enum class Kind { free, inFile, inStream };
  Kind kind = Kind::free;
  std::uint64_t offset = 0;  // inFile: where "n g obj" starts, in the file's own offsets
  int generation = 0;        // inFile
  int stream = 0;            // inStream: the object stream's number
  int index = 0;             // inStream: the object's place in it
};

// Where an object is, by its number, from whichever table is at hand.
using XrefLookup = std::function<std::optional<XrefEntry>(int object)>;

// A file's cross-reference sections read from its bytes (following /Prev
// and /XRefStm from the last startxref), without building qpdf's whole
// table, which on a long document costs more than the rest of opening it:
// a section is decoded, and an object looked up in it, only as asked.
class CrossReferenceSections {
 public:
  // `file`: the bytes from the "%PDF-" header on. Nothing when a section
  // is not read here as written (the caller then relies on qpdf). Throws
  // SecurePdfError for a cross-reference stream that would inflate past
  // the expansion limit, which qpdf would inflate whole.
  static std::optional<CrossReferenceSections> read(std::string_view file, std::uint64_t startxref);

  // The same refusal for a file read where it lies (`size` bytes, `readAt`
  // giving `n` bytes at an offset): only the sections' dictionaries, the
  // table headers and the streams' data are read, never the whole file.
  // Stops quietly where a section is not read as written, as `read` does.
  using FileReader = std::function<std::string(std::uint64_t offset, std::uint64_t n)>;
  static void refuseStreamBombs(std::uint64_t size, const FileReader& readAt);
  // A reader over bytes in memory, which must outlive it; past their end it
  // gives nothing.
  static FileReader readerOver(std::string_view bytes);

  // Where the newest section's trailer dictionary (for a cross-reference
  // stream, its dictionary) starts in the file. It is for reading as text:
  // qpdf's getKey resolves a reference to see whether it is null, which in
  // a document of its own it would be.
  std::size_t trailerAt() const { return trailerAt_; }

  // Nothing when no section lists the object, or a table section on the
  // way could not be indexed (entries not 20 bytes each, as some writers
  // get wrong).
  std::optional<XrefEntry> find(int object) const;

  // The highest object number any section lists; nothing when a table
  // section could not be indexed.
  std::optional<int> highestListed() const;

  // Every object stream the stream sections name, in ascending order.
  std::vector<int> objectStreams() const;

  // Whether every object the sections place in the file begins with its
  // "n g obj" there; false when a section cannot be checked. A reader that
  // comes to a misplaced one rebuilds its table from the objects it finds.
  bool everyObjectWhereListed() const;  // worked out once

  // Whether every section is a cross-reference stream written exactly as
  // qpdf reads one without a warning: where the offsets leading to it
  // say, with /Size, rows filling its data exactly, entries of types 0 to
  // 2 only, "endstream" after its /Length, no table, no /XRefStm, no
  // section reached twice. Only then does the file's table, as read here,
  // stand for qpdf's without qpdf reading it.
  bool readAsQpdfReadsThem() const { return strict_; }

  // Each object listed by the sections that start at or after `from` (an
  // update's own), with its newest entry among them, or nothing for an
  // entry not understood here; false when one of them could not be indexed.
  bool visitListedFrom(std::uint64_t from,
                       const std::function<void(int object, const std::optional<XrefEntry>&)>& visit) const;

 private:
  struct Range {
    int first = 0;
    int count = 0;
    std::size_t start = 0;  // a stream's first row, or a table's first entry's offset
  };
  struct Section {
    std::uint64_t at = 0;  // where it starts in the file
    bool table = false;
    bool indexed = true;              // a table whose entries could be located
    std::vector<unsigned char> rows;  // a stream's decoded rows
    std::size_t width[3] = {0, 0, 0};
    std::vector<Range> ranges;
  };

  CrossReferenceSections() = default;
  bool strict_ = true;
  // One direct object parsed by qpdf at `at` of `text`, references kept
  // as references into a scratch document; `end` is where it stops.
  QPDFObjectHandle parseAt(std::string_view text, std::size_t at, std::size_t& end) const;
  static bool rowsAsQpdfReadsThem(const Section& section);
  bool checkEveryObjectWhereListed() const;
  static bool readStreamRows(QPDFObjectHandle dict, std::string_view raw, Section& into);
  // Where the table's "trailer" keyword is; npos when it is not found.
  static std::size_t indexTable(std::string_view file, std::size_t at, Section& into);
  std::optional<XrefEntry> entryIn(const Section& s, const Range& r, int object) const;

  std::string_view file_;
  std::shared_ptr<QPDF> scratch_;
  std::size_t trailerAt_ = 0;
  std::vector<Section> sections_;  // newest first, as a reader takes them
  mutable std::optional<bool> everyObjectWhereListed_;
};

}  // namespace penvora::core::securepdf
