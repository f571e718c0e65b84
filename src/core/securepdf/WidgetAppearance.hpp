#pragma once
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include "core/securepdf/IncrementalUpdate.hpp"

namespace penvora::core::securepdf {

// Everything the widget properties say about the signature's look.
struct WidgetLook {
  std::string backgroundJpeg;                  // DCT data ("BackgroundData")
  std::optional<int> imageWidth, imageHeight;  // "BackgroundImageWidth/Height"
  std::string mask;                            // 1-bit rows ("BackgroundMask"), 1 = leave transparent
  bool hideDefaultText = false;
  struct Line {
    std::string text;  // UTF-8
    double x = 1, y = 0, fontSizeX = 11, fontSizeY = 11;
  };
  std::vector<Line> lines;
  std::string defaultSigner, defaultDate;  // for the default text
};

// Pixel size and colour components of a baseline or progressive JPEG.
struct JpegInfo {
  int width = 0, height = 0, components = 0;
};
std::optional<JpegInfo> readJpegInfo(const std::string& jpeg);

// UTF-8 to the single-byte WinAnsi encoding of the standard fonts;
// characters it lacks become '?'.
std::string toWinAnsi(const std::string& utf8);

// Builds the appearance form XObject (and its image, mask and font) for a
// widget of the given size on a page with the given /Rotate, drawn upright
// for the reader; every object it makes is new in the update.
QPDFObjectHandle buildAppearance(IncrementalUpdate& update, const WidgetLook& look, double width, double height,
                                 int rotate);

}  // namespace penvora::core::securepdf
