#pragma once

namespace penvora::qt::document {

// Makes the viewer a document for assistive technology: its text is the
// current page's, read through Qt's text interface (by character, word or
// line, as a screen reader walks it). Installed once, by the first viewer.
void installAccessibleDocumentView();

}  // namespace penvora::qt::document
