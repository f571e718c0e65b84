#include <gtest/gtest.h>

#include "core/securepdf/WrittenReferences.hpp"
#include "penvora/SignatureVerifier.hpp"
#include "support/UpdateSupport.hpp"

using testsupport::TempDir, testsupport::writeText;

TEST(RevisionAnalysisTest, EachLaterUpdateIsClassifiedAndOnlyPermittedChangesKeepTheSignatureValid) {
  using pdftest::ref, pdftest::replaced;
  TempDir dir;
  const std::string signedFile = pdftest::signedPlain(dir, 2);
  const auto b = pdftest::updateBase(signedFile);
  const std::string payMallory = pdftest::stream("", "BT /Helvetica 24 Tf 72 700 Td (PAY MALLORY 1,000,000 EUR) Tj ET");
  const pdftest::Objects newContent = {
      {b.size, payMallory},
      {b.page1, replaced(b.page1Dict, "/Contents " + ref(b.content1), "/Contents " + ref(b.size))}};
  const pdftest::Objects rewritten = {{b.content1, payMallory}};
  const pdftest::Objects note = {{b.size, "<< /Type /Annot /Subtype /Text /Rect [10 10 30 30] /Contents (ok) >>"},
                                 {b.page1, replaced(b.page1Dict, "/Annots [ ", "/Annots [ " + ref(b.size) + " ")}};
  const pdftest::Objects script = {{b.root, replaced(b.catalog, "<< ", "<< /OpenAction << /S /JavaScript >> ")}};
  QPDF q;
  q.processMemoryFile("signed", signedFile.data(), signedFile.size());
  QPDFObjectHandle form = q.getRoot().getKey("/AcroForm");
  // An annotation added to page 1 and, when a widget, to the form.
  const auto added = [&](const std::string& annotation) {
    pdftest::Objects update = {{b.size, annotation},
                               {b.page1, replaced(b.page1Dict, "/Annots [ ", "/Annots [ " + ref(b.size) + " ")}};
    if (annotation.find("/Widget") != std::string::npos)
      update[form.getObjectID()] = replaced(form.unparseResolved(), "/Fields [ ", "/Fields [ " + ref(b.size) + " ");
    return update;
  };
  const std::string timestamp = " /V << /Type /DocTimeStamp >> /Rect [10 10 200 60] /P " + ref(b.page1) + " >>";
  // Encryption taken from another file, with its identifier.
  writeText(dir / "plain.pdf", pdftest::plainPdf(1));
  QPDF locked;
  locked.processFile(pdftest::encrypted(dir / "plain.pdf", "").c_str());
  const std::string encryption = "/Encrypt " + ref(b.size) + " /ID " + locked.getTrailer().getKey("/ID").unparse();
  const struct {
    const char* name;
    pdftest::Objects update;  // written after the signed revision
    const char* change;
    const char* modification;
    const char* detail;        // in the problem, when disallowed (else none)
    std::string trailer = {};  // added to the update's trailer
  } cases[] = {
      {"new content stream for page 1", newContent, "other", "disallowed", "changes page 1's content"},
      {"page 1's content object re-pointed", rewritten, "other", "disallowed", "changes page 1's content"},
      {"same content written again", {{b.page1, b.page1Dict}}, "none", "none", ""},
      {"a note added to page 1", note, "annotations", "allowed", ""},
      {"catalog opens with a script", script, "other", "disallowed", "changes the catalog's /OpenAction"},
      {"a note with a title", added("<< /Type /Annot /Subtype /Text /T (Bob) /Rect [10 10 30 30] >>"), "annotations",
       "allowed", ""},
      {"an empty signature field for the next signer",
       added("<< /FT /Sig /T (Next) /Type /Annot /Subtype /Widget /Rect [0 0 0 0] /P " + ref(b.page1) + " >>"),
       "form filling or signing", "allowed", ""},
      {"a stamp named and valued as a time-stamp", added("<< /Type /Annot /Subtype /Stamp /T (TS)" + timestamp),
       "annotations", "allowed", ""},
      {"a visible time-stamp widget", added("<< /FT /Sig /T (TS) /Type /Annot /Subtype /Widget" + timestamp),
       "form filling or signing", "allowed", ""},
      {"new document information",
       {{b.size, "<< /Title (Paid) >>"}},
       "other",
       "disallowed",
       "changes the document information",
       "/Info " + ref(b.size)},
      {"encryption added",
       {{b.size, locked.getTrailer().getKey("/Encrypt").unparseResolved()}},
       "other",
       "disallowed",
       "changes the encryption",
       encryption},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string file = pdftest::appendUpdate(signedFile, c.update);
    if (!c.trailer.empty()) file.insert(file.rfind(" /Prev "), " " + c.trailer);
    writeText(dir / "changed.pdf", file);
    const auto doc = penvora::verifySignatures((dir / "changed.pdf").string());
    ASSERT_FALSE(doc.signatures.empty());
    // The signed one, not an added field valued as a time-stamp.
    const auto& s = *std::find_if(doc.signatures.begin(), doc.signatures.end(),
                                  [](const penvora::VerifiedSignature& v) { return v.field != "TS"; });
    EXPECT_TRUE(s.intact) << s.problem;
    EXPECT_EQ(s.revisionEnd, signedFile.size());
    ASSERT_EQ(s.laterUpdates.size(), 1u);
    EXPECT_EQ(s.laterUpdates[0].change, c.change) << s.laterUpdates[0].detail;
    EXPECT_EQ(s.modification, c.modification);
    EXPECT_EQ(s.valid, std::string(c.modification) != "disallowed");
    EXPECT_EQ(s.problem, *c.detail ? std::string("a later update ") + c.detail : "");
  }

  // The tool says so and fails.
  writeText(dir / "changed.pdf", pdftest::appendUpdate(signedFile, cases[0].update));
  const auto r = testsupport::run(testsupport::tool("penvora-verify") + "'" + (dir / "changed.pdf").string() + "'");
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_NE(r.output.find("modification: disallowed"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("changes page 1's content"), std::string::npos) << r.output;

  // Bytes after the last %%EOF: not objects, but nothing lists them.
  writeText(dir / "changed.pdf", signedFile + "% trailing junk\n");
  EXPECT_EQ(penvora::verifySignatures((dir / "changed.pdf").string()).signatures.at(0).problem,
            "a later update appends bytes that no cross-reference section lists");

  // An encrypted signed file: another first /ID string makes a new key.
  const auto signedLocked = dir / "signed-locked.pdf";
  pdftest::signer(pdftest::encrypted(dir / "plain.pdf", "").string(), signedLocked.string()).sign();
  const std::string lockedFile = testsupport::readText(signedLocked);
  const auto l = pdftest::updateBase(lockedFile);
  QPDF lockedRead;
  lockedRead.processMemoryFile("locked", lockedFile.data(), lockedFile.size());
  const std::string keep = "/Encrypt " + lockedRead.getTrailer().getKey("/Encrypt").unparse() + " /ID [ ";
  for (const std::string& id : {lockedRead.getTrailer().getKey("/ID").getArrayItem(0).unparse(), std::string("<00>")}) {
    std::string file = pdftest::appendUpdate(lockedFile, {{l.size, "<< >>"}});
    file.insert(file.rfind(" /Prev "), " " + keep + id + " " + id + " ]");
    writeText(dir / "changed.pdf", file);
    SCOPED_TRACE(id);
    EXPECT_EQ(penvora::verifySignatures((dir / "changed.pdf").string()).signatures.at(0).problem,
              id == "<00>" ? "a later update changes the identifier the encryption key is made from" : "");
  }
}

TEST(RevisionAnalysisTest, ASecondSignatureInAnotherFieldIsAnAllowedChange) {
  TempDir dir;
  writeText(dir / "in.pdf", pdftest::documentPdf(std::vector<pdftest::PageSpec>(2), true));
  pdftest::signer(dir / "in.pdf", dir / "once.pdf").sign();
  auto second = pdftest::signer(dir / "once.pdf", dir / "twice.pdf");
  second.signatureWidgetPages = "1";
  second.sign();
  auto third = pdftest::signer(dir / "twice.pdf", dir / "thrice.pdf");
  third.signatureFields = 0;  // the empty field Sig1
  third.sign();
  const auto doc = penvora::verifySignatures((dir / "thrice.pdf").string());
  ASSERT_EQ(doc.signatures.size(), 3u);
  for (const auto& s : doc.signatures) {
    SCOPED_TRACE(s.field);
    EXPECT_TRUE(s.valid) << s.problem;
    EXPECT_NE(s.modification, "disallowed");
    for (const auto& u : s.laterUpdates) EXPECT_EQ(u.change, "form filling or signing") << u.detail;
  }
  const auto r = testsupport::run(testsupport::tool("penvora-verify") + testsupport::trustDefault() + "--json '" +
                                  (dir / "thrice.pdf").string() + "'");
  EXPECT_EQ(r.exitCode, 0) << r.output;
  const auto json = nlohmann::json::parse(r.output);
  std::size_t updates = 0;
  for (const auto& s : json["signatures"]) updates += s["revisions"].size();
  EXPECT_EQ(updates, 3u) << r.output;  // two after the first signature, one after the second

  // A peer's signature after ours (poppler's puts its field on its page
  // alone, outside the form) is reported and checked as well.
  const auto peer = pdftest::signWithPdfsig(dir, dir / "thrice.pdf", dir / "peer.pdf");
  ASSERT_EQ(peer.exitCode, 0) << peer.output;
  const auto withPeer = penvora::verifySignatures((dir / "peer.pdf").string());
  ASSERT_EQ(withPeer.signatures.size(), 4u);
  for (const auto& s : withPeer.signatures) {
    SCOPED_TRACE(s.field);
    EXPECT_TRUE(s.valid) << s.problem;
  }
  EXPECT_TRUE(withPeer.signatures.back().coversWholeFile);
}

// What the signed revision shows can be changed without touching an object
// it had: by defining one it refers to but lacked, by the same number under
// another generation, by a new picture for the signature itself, or by a new
// field showing the old signature (or a copy of its dictionary, re-dated).
TEST(RevisionAnalysisTest, ChangesThroughWhatTheSignedRevisionLackedOrItsSignatureAreCaught) {
  using pdftest::ref, pdftest::replaced;
  TempDir dir;
  const std::string payMallory = pdftest::stream("", "BT /Helvetica 24 Tf 72 700 Td (PAY MALLORY) Tj ET");
  // A page whose contents name an object the file does not have.
  writeText(
      dir / "dangling-in.pdf",
      pdftest::buildPdf(
          {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 612 792] >>",
           "<< /Type /Page /Parent 2 0 R /Contents [4 0 R 99 0 R] >>", pdftest::stream("", "0 0 1 rg 0 0 9 9 re f")}));
  pdftest::signer(dir / "dangling-in.pdf", dir / "dangling.pdf").sign();
  const std::string danglingSigned = testsupport::readText(dir / "dangling.pdf");
  // The same through page 2 (which signing leaves as written), in the
  // file's text or in an object stream, where qpdf does not see the
  // reference: a key given twice (qpdf reads the last value, a reader may
  // keep the first), or a key whose value refers to nothing (qpdf hides
  // it) spelt as readers still take it.
  const std::vector<std::string> twoPages{
      "<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R 5 0 R] /Count 2 /MediaBox [0 0 612 792] >>",
      "<< /Type /Page /Parent 2 0 R /Contents 4 0 R >>", pdftest::stream("", "0 0 1 rg 0 0 9 9 re f")};
  auto withPage2 = [&](const std::string& page2, bool packed) {
    auto objects = twoPages;
    objects.push_back(page2);
    pdftest::XrefStreamFile stream;
    stream.row(0, 0, 0xFFFF);
    for (int n = 1; n <= 4; ++n) stream.object(n, twoPages[n - 1]), stream.listed(n);
    stream.object(6, pdftest::stream("/Type /ObjStm /N 1 /First 4", "5 0 " + page2));
    stream.row(2, 6, 0);
    stream.listed(6);
    return packed ? stream.finish(7, "/Size 8 /Root 1 0 R") : pdftest::buildPdf(objects);
  };
  auto signedAndUpdated = [&](const std::string& name, const std::string& input) {
    writeText(dir / (name + "-in.pdf"), input);
    pdftest::signer(dir / (name + "-in.pdf"), dir / (name + ".pdf")).sign();
    return pdftest::appendUpdate(testsupport::readText(dir / (name + ".pdf")), {{99, payMallory}});
  };
  auto updatedThroughPage2 = [&](const std::string& name, const std::string& page2, bool packed) {
    return signedAndUpdated(name, withPage2(page2, packed));
  };
  // Object 6 listed where a string of page 2 reads as its header: page 2
  // is still read to its end.
  std::string inner = withPage2(
      "<< /Type /Page /Parent 2 0 R /Contents 4 0 R /Pad (6 0 obj << >> endobj) "
      "/Resources << /XObject << /Fm1 99 0 R >> >> >>",
      false);
  {
    char offset[16];
    std::snprintf(offset, sizeof offset, "%010zu", inner.find("6 0 obj << >> endobj)"));
    inner.insert(inner.find("trailer"), std::string(offset) + " 00000 n \n");
    inner.replace(inner.find("xref\n0 6"), 8, "xref\n0 7");
    inner.replace(inner.find("/Size 6"), 7, "/Size 7");
  }
  // Object 6 written but marked free: qpdf reads page 2's /XObject as
  // null, a reader that rebuilds the table reads object 6 and its /Fm1.
  std::string freed =
      withPage2("<< /Type /Page /Parent 2 0 R /Contents 4 0 R /Resources << /XObject 6 0 R >> >>", false);
  {
    freed.insert(freed.find("xref\n"), "6 0 obj\n<< /Fm1 99 0 R >>\nendobj\n");
    const auto xref = freed.find("xref\n");
    freed.replace(xref, 8, "xref\n0 7");
    freed.insert(freed.find("trailer"), "0000000000 00001 f \n");
    freed.replace(freed.find("/Size 6"), 7, "/Size 7");
    const auto sx = freed.rfind("startxref\n") + 10;
    freed = freed.substr(0, sx) + std::to_string(xref) + "\n%%EOF\n";
  }
  const std::string keyTwice = "<< /Type /Page /Parent 2 0 R /Contents 99 0 R /Contents 4 0 R >>";
  const std::string lacked = "a later update defines object 99, which the signed revision refers to but did not have";

  const std::string signedFile = pdftest::signedPlain(dir, 1);
  const auto b = pdftest::updateBase(signedFile);
  QPDF q;
  q.processMemoryFile("signed", signedFile.data(), signedFile.size());
  QPDFObjectHandle form = q.getRoot().getKey("/AcroForm"), field = form.getKey("/Fields").getArrayItem(0);
  const int picture = field.getKey("/AP").getKey("/N").getObjectID();
  // The first content object again, as generation 1.
  std::string shadowed = pdftest::appendUpdate(signedFile, {{b.content1, payMallory}});
  shadowed.replace(shadowed.rfind(std::to_string(b.content1) + " 0 obj"), std::to_string(b.content1).size() + 6,
                   std::to_string(b.content1) + " 1 obj");
  shadowed.replace(shadowed.rfind("00000 n"), 7, "00001 n");
  // A new field whose value is the old signature, or a copy of it.
  auto newField = [&](const std::string& value) {
    return pdftest::Objects{
        {b.size, "<< /FT /Sig /T (CFO) /Type /Annot /Subtype /Widget /Rect [0 0 0 0] /P " + ref(b.page1) + " /V " +
                     value + " >>"},
        {form.getObjectID(), replaced(form.unparseResolved(), "/Fields [ ", "/Fields [ " + ref(b.size) + " ")}};
  };
  std::string copy = field.getKey("/V").unparseResolved();
  // The form, or the field's value, taken away: the signature is still in
  // the file, and signing again must not hide it.
  const std::string formless =
      pdftest::appendUpdate(signedFile, {{b.root, replaced(b.catalog, "/AcroForm", "/NoForm")}});
  writeText(dir / "formless.pdf", formless);
  pdftest::signer(dir / "formless.pdf", dir / "resigned.pdf").sign();
  const std::string taken = "a later update takes this signature out of the document's form";
  // The same behind 70 decoy byte ranges, written before the signature,
  // that look like signatures of the unsigned original: each line's gap
  // runs over its own "<>", and all end where the original ends.
  const auto decoyed = [&] {
    auto build = [](const std::vector<long long>& at, long long end) {
      std::string decoys;
      char line[96];
      for (std::size_t i = 0; i < 70; ++i) {
        const long long open = i < at.size() ? at[i] : 0;
        std::snprintf(line, sizeof line, "%% <> /ByteRange [0 %010lld %010lld %010lld]\n", open, open + 2,
                      end - open - 2);
        decoys += line;
      }
      return pdftest::buildPdf({"<< /Type /Catalog /Pages 2 0 R >>",
                                "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 612 792] >>",
                                "<< /Type /Page /Parent 2 0 R /Contents 4 0 R >>", pdftest::stream("", decoys)});
    };
    std::string original = build({}, 0);
    std::vector<long long> at;
    for (auto p = original.find("% <>"); p != std::string::npos; p = original.find("% <>", p + 1))
      at.push_back(static_cast<long long>(p) + 2);
    original = build(at, static_cast<long long>(original.size()));
    writeText(dir / "decoyed-in.pdf", original);
    pdftest::signer(dir / "decoyed-in.pdf", dir / "decoyed.pdf").sign();
    const std::string signedDecoyed = testsupport::readText(dir / "decoyed.pdf");
    const auto d = pdftest::updateBase(signedDecoyed);
    return pdftest::appendUpdate(signedDecoyed, {{d.root, replaced(d.catalog, "/AcroForm", "/NoForm")}});
  }();
  // An update whose section lists a harmless new object, carrying a new
  // copy of page 1's content that no section lists: a reader that
  // rebuilds the table shows it.
  auto withUnlisted = [](std::string file, const std::string& object) {
    const auto xref = file.rfind("\nxref\n") + 1;
    file.insert(xref, object);
    const auto sx = file.rfind("startxref\n") + 10;
    return file.substr(0, sx) + std::to_string(xref + object.size()) + "\n%%EOF\n";
  };
  const std::string unlisted = withUnlisted(pdftest::appendUpdate(signedFile, {{b.size, "<< /Harmless true >>"}}),
                                            std::to_string(b.content1) + " 0 obj\n" + payMallory + "\nendobj\n");
  // A second trailer, after the section's own, naming a new catalog; and a
  // new object stream holding a copy of page 1 that no entry uses. A reader
  // that rebuilds the table takes the last trailer and every object
  // stream's objects.
  std::string strayTrailer = pdftest::appendUpdate(signedFile, {{b.size, b.catalog}});
  strayTrailer.insert(strayTrailer.rfind("startxref"),
                      "trailer\n<< /Size " + std::to_string(b.size + 1) + " /Root " + ref(b.size) + " >>\n");
  const std::string copyHeader = std::to_string(b.page1) + " 0 ";
  const std::string packedCopy = pdftest::appendUpdate(
      signedFile, {{b.size, pdftest::stream("/Type /ObjStm /N 1 /First " + std::to_string(copyHeader.size()),
                                            copyHeader + "<< /Type /Page /Contents " + ref(b.size + 1) + " >>")},
                   {b.size + 1, payMallory}});
  // What else a rebuilding reader takes: a bare dictionary naming a new
  // catalog, a copy of page 1 inside a string (one reader's lexer does not
  // take strings at the top level), a trailer behind a stream whose inner
  // /Length runs past it, an object stream whose /N is not a count, a
  // subsection header with an extra space, an /XRefStm that leads nowhere.
  auto beforeStartxref = [](std::string file, const std::string& text) {
    return file.insert(file.rfind("startxref"), text);
  };
  const std::string newRoot = "<< /Size " + std::to_string(b.size + 1) + " /Root " + ref(b.size) + " >>\n";
  const std::string bareDictionary = beforeStartxref(pdftest::appendUpdate(signedFile, {{b.size, b.catalog}}), newRoot);
  const std::string inString = withUnlisted(
      pdftest::appendUpdate(signedFile, {{b.size, payMallory}}),
      "(\n" + std::to_string(b.page1) + " 0 obj\n<< /Type /Page /Contents " + ref(b.size) + " >>\nendobj\n)\n");
  const std::string hidden = "q Q\nendstream\nendobj\ntrailer\n" + newRoot;
  const std::string innerLength = pdftest::appendUpdate(
      signedFile, {{b.size, b.catalog},
                   {b.size + 1, "<< /Length 3 /DecodeParms << /Length " + std::to_string(hidden.size()) +
                                    " >> >>\nstream\n" + hidden + "endstream"}});
  const std::string realCount = pdftest::appendUpdate(
      signedFile, {{b.size, pdftest::stream("/Type /ObjStm /N 1.0 /First " + std::to_string(copyHeader.size()),
                                            copyHeader + "<< /Type /Page >>")}});
  std::string spaced = pdftest::appendUpdate(signedFile, {{b.size, payMallory}});
  spaced.replace(spaced.rfind("\n" + std::to_string(b.size) + " 1"), std::to_string(b.size).size() + 3,
                 "\n" + std::to_string(b.size) + "  1");
  std::string leadsNowhere = pdftest::appendUpdate(signedFile, {{b.size, payMallory}});
  leadsNowhere.insert(leadsNowhere.rfind("/Prev"), "/XRefStm 5 ");
  // An /XRefStm that leads to a classic section (one reader takes it, qpdf
  // rebuilds), an entry of no known type, and an earlier startxref leading
  // to a second section.
  std::string toClassic = pdftest::appendUpdate(signedFile, {{b.size, payMallory}});
  toClassic.insert(toClassic.rfind("/Prev"), "/XRefStm " + std::to_string(toClassic.rfind("\nxref\n") + 1) + " ");
  std::string oddEntry = pdftest::appendUpdate(signedFile, {{b.size, payMallory}});
  oddEntry.replace(oddEntry.rfind("00000 n"), 7, "00000 x");
  std::string earlierStartxref = pdftest::appendUpdate(signedFile, {{b.size, b.catalog}});
  const auto fakeSection = earlierStartxref.rfind("startxref");
  earlierStartxref.insert(fakeSection,
                          "xref\n0 0\ntrailer\n" + newRoot + "startxref\n" + std::to_string(fakeSection) + "\n");
  // A vertical tab, white space to qpdf only, in an object's header; and a
  // key given twice in a long dictionary, where one reader keeps the first.
  std::string verticalTab = pdftest::appendUpdate(signedFile, {{b.size, payMallory}});
  verticalTab.replace(verticalTab.rfind("\n" + std::to_string(b.size) + " 0 obj"), std::to_string(b.size).size() + 3,
                      "\n" + std::to_string(b.size) + "\v0");
  std::string padded = "/Contents " + ref(b.size);
  for (int i = 0; i < 40; ++i) padded += " /K" + std::to_string(i) + " null";
  // Tokens readers read apart from qpdf: a stray "#" in a name, a
  // reference past 32 bits, "stream" followed by a space; a reference to
  // nothing (one reader rebuilds the table on it); and a page hidden past
  // the 255th byte of a comment line, read as a line of its own there.
  const std::string misread = "a later update writes tokens that qpdf and other readers read apart";
  const std::string longComment = withUnlisted(pdftest::appendUpdate(signedFile, {{b.size, payMallory}}),
                                               "%" + std::string(254, 'x') + std::to_string(b.page1) +
                                                   " 0 obj << /Type /Page /Contents " + ref(b.size) + " >> endobj\n");
  // Page 1 showing the signature once more through a widget of its own.
  std::string page1 = b.page1Dict;
  page1.replace(page1.find("/Annots [") + 9, 0, " " + ref(b.size) + " ");
  const std::string shownAgain = pdftest::appendUpdate(
      signedFile, {{b.size, "<< /Type /Annot /Subtype /Widget /FT /Sig /T (Approval) /Rect [0 0 9 9] /V " +
                                field.getKey("/V").unparse() + " >>"},
                   {b.page1, page1}});
  const struct {
    const char* name;
    std::string file;
    std::string problem;  // of the signature, or of the added field's
  } cases[] = {
      {"an object no section lists", unlisted,
       "a later update carries object " + std::to_string(b.content1) + ", which no cross-reference section lists"},
      {"a second trailer", strayTrailer, "a later update holds a trailer that no startxref leads to"},
      {"a copy in an object stream no entry uses", packedCopy,
       "a later update carries object " + std::to_string(b.page1) + ", which no cross-reference section lists"},
      {"a bare dictionary", bareDictionary,
       "a later update holds text outside its objects and its cross-reference section"},
      {"a copy in a string", inString, "a later update holds text outside its objects and its cross-reference section"},
      {"a dictionary after an object's own",
       pdftest::appendUpdate(signedFile, {{b.size, b.catalog}, {b.size + 1, "<< /Note (x) >>\n" + newRoot}}),
       "a later update holds text outside its objects and its cross-reference section"},
      {"a trailer behind an inner /Length", innerLength, "a later update holds a trailer that no startxref leads to"},
      {"an object stream counted by a real number", realCount,
       "a later update writes an object stream " + std::to_string(b.size) + " whose /N or /First is not a count"},
      {"a subsection header with an extra space", spaced,
       "a later update writes a cross-reference section that not every reader reads as written"},
      {"an /XRefStm that leads nowhere", leadsNowhere,
       "a later update has a cross-reference section that cannot be read as written"},
      {"an /XRefStm that leads to a classic section", toClassic,
       "a later update writes a cross-reference section that not every reader reads as written"},
      {"an entry of no known type", oddEntry,
       "a later update writes a cross-reference section that not every reader reads as written"},
      {"an earlier startxref", earlierStartxref, "a later update holds a trailer that no startxref leads to"},
      {"a stray # in a name", pdftest::appendUpdate(signedFile, {{b.size, "<< /A /X#7 >>"}}), misread},
      {"a reference past 32 bits", pdftest::appendUpdate(signedFile, {{b.size, "<< /Rotate 4294967386 0 R >>"}}),
       misread},
      {"a number a reader cuts in two",
       pdftest::appendUpdate(signedFile, {{b.size, "<< /X " + std::string(70000, '0') + "1 >>"}}), misread},
      {"stream followed by a space",
       pdftest::appendUpdate(signedFile, {{b.size, "<< /Length 4 >> stream q Q\nendstream"}}), misread},
      {"a reference to nothing", pdftest::appendUpdate(signedFile, {{b.size, "<< /Rotate 999 0 R >>"}}),
       "a later update refers to object 999, which the document does not have"},
      {"a page past the 255th byte of a comment line", longComment,
       "a later update hides an object or a trailer that a reader rebuilding the table takes"},
      {"a key given twice",
       pdftest::appendUpdate(signedFile, {{b.size, payMallory}, {b.page1, "<< " + padded + b.page1Dict.substr(2)}}),
       "a later update gives a key twice in one dictionary"},
      {"a vertical tab", verticalTab,
       "a later update writes a vertical tab between tokens, which qpdf and other readers read apart"},
      {"the signature shown again by a widget outside the form", shownAgain,
       "the signature is the value of another field too"},
      {"an object the signed revision lacked", pdftest::appendUpdate(danglingSigned, {{99, payMallory}}),
       "a later update defines object 99, which the signed revision refers to but did not have"},
      {"a key given twice", updatedThroughPage2("twice", keyTwice, false), lacked},
      {"a key given twice in an object stream", updatedThroughPage2("packed", keyTwice, true), lacked},
      {"a key referring to nothing after an object listed inside", signedAndUpdated("inner", inner), lacked},
      {"a reference in an object the table marks free", signedAndUpdated("freed", freed), lacked},
      {"a key referring to nothing after a value that ends objects elsewhere",
       updatedThroughPage2("keyword",
                           "<< /Type /Page /Parent 2 0 R /J0 endobj /Contents 4 0 R "
                           "/Resources << /XObject << /Fm1 99 0 R >> >> >>",
                           false),
       lacked},
      {"a key referring to nothing by a number a 32-bit reader wraps",
       updatedThroughPage2(
           "wrapped",
           "<< /Type /Page /Parent 2 0 R /Contents 4 0 R /Resources << /XObject << /Fm1 4294967395 0 R >> >> >>",
           false),
       lacked},
      {"a key referring to nothing, spelt oddly",
       updatedThroughPage2(
           "odd", "<< /Type /Page /Parent 2 0 R /Contents 4 0 R /Resources << /XObject << /Fm1 +0099 %c\n0 R >> >> >>",
           false),
       lacked},
      {"another generation", shadowed,
       "a later update redefines object " + std::to_string(b.content1) + " under another generation"},
      {"the signature's picture", pdftest::appendUpdate(signedFile, {{picture, payMallory}}),
       "a later update changes the appearance of a signed field on page 1"},
      {"a new field showing the signature",
       pdftest::appendUpdate(signedFile, newField(ref(field.getKey("/V").getObjectID()))),
       "the field was added after the signature it shows"},
      {"a new field showing a copy", pdftest::appendUpdate(signedFile, newField(copy)),
       "the gap in the byte range is not this signature's /Contents"},
      {"the form taken away", formless, taken},
      {"the value taken away",
       pdftest::appendUpdate(
           signedFile,
           {{field.getObjectID(), replaced(field.unparseResolved(), "/V " + field.getKey("/V").unparse(), "/V null")}}),
       taken},
      {"signed again after the form was taken away", testsupport::readText(dir / "resigned.pdf"), taken},
      {"the form taken away behind decoys", decoyed, taken},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    writeText(dir / "changed.pdf", c.file);
    const auto doc = penvora::verifySignatures((dir / "changed.pdf").string());
    ASSERT_FALSE(doc.signatures.empty());
    // The added field's, or the one that fails (a signature made after the
    // attack holds).
    auto found = std::find_if(doc.signatures.begin(), doc.signatures.end(),
                              [](const penvora::VerifiedSignature& v) { return v.field == "CFO"; });
    if (found == doc.signatures.end())
      found = std::find_if(doc.signatures.begin(), doc.signatures.end(),
                           [](const penvora::VerifiedSignature& v) { return !v.valid; });
    const auto& s = found != doc.signatures.end() ? *found : doc.signatures.front();
    EXPECT_NE(doc.indication, "TOTAL-PASSED");
    EXPECT_FALSE(s.valid);
    EXPECT_EQ(s.problem, c.problem);
  }
  // What only looks like a reference, in a string, is none.
  writeText(dir / "changed.pdf",
            updatedThroughPage2("string",
                                "<< /Type /Page /Parent 2 0 R /Contents 4 0 R /PieceInfo << /N (99 0 R) >> >>", false));
  const auto doc = penvora::verifySignatures((dir / "changed.pdf").string());
  ASSERT_EQ(doc.signatures.size(), 1u);
  EXPECT_TRUE(doc.signatures.front().valid) << doc.signatures.front().problem;
  // Nor do words that end streams and objects in a file a new stream
  // holds: its /Length passes over them. But an object at the start of a
  // line there (an uncompressed PDF attached) is one that a reader
  // rebuilding the table line by line takes.
  auto attached = [&](const std::string& data) {
    writeText(dir / "changed.pdf",
              pdftest::appendUpdate(signedFile, {{b.size, pdftest::stream("/Type /EmbeddedFile", data)}}));
    return penvora::verifySignatures((dir / "changed.pdf").string()).signatures.at(0);
  };
  const auto midLine = attached("%PDF-1.7 1 0 obj << >> endobj endstream 4 0 obj << >> endobj");
  EXPECT_TRUE(midLine.valid) << midLine.problem;
  EXPECT_EQ(attached("%PDF-1.7\n1 0 obj << >> endobj\n").problem,
            "a later update hides an object or a trailer that a reader rebuilding the table takes");
}

// Objects whose text runs into the next ones (an unclosed string) are read
// to their end once each only up to a bound: past it the revision is not
// read as written, instead of the file being read once per object.
TEST(RevisionAnalysisTest, TextThatRunsOnIsNotReadOncePerObject) {
  QPDF revision;
  revision.emptyPDF();
  auto refsIn = [&](const std::string& body) {
    std::string file;
    std::map<QPDFObjGen, QPDFXRefEntry> table;
    for (int n = 1; n <= 3000; ++n) {
      table[QPDFObjGen(n, 0)] = QPDFXRefEntry(1, static_cast<qpdf_offset_t>(file.size()), 0);
      file += std::to_string(n) + " 0 obj\n" + body + "\nendobj\n";
    }
    return penvora::core::securepdf::writtenReferences(file, revision, table, file.size(), 1);
  };
  const auto closed = refsIn("<< /A (x) /B 9001 %c\n0 R /C (9002 0 R) >>");
  ASSERT_TRUE(closed);
  EXPECT_EQ(*closed, std::set<int>{9001});
  EXPECT_FALSE(refsIn("<< /A (x /B 9001 0 R >>"));
}
