#pragma once
#include <qpdf/QPDFObjectHandle.hh>

#include <cstdint>
#include <string>

namespace penvora::core::securepdf {

// qpdf sets aside two rows of a stream's predictor (/DecodeParms'
// /Columns x /Colors x /BitsPerComponent) before it decodes a byte, so a
// few bytes of a hostile dictionary ask for gigabytes. Real rows are small:
// a cross-reference row is a few bytes, an image row a few megabytes at most.
constexpr std::uint64_t kMaxPredictorRowBytes = 16u << 20;

// The bytes of the largest predictor row qpdf would set aside to decode
// `stream` (a stream, or a stream's dictionary); 0 when its filters use no
// predictor.
std::uint64_t predictorRowBytes(QPDFObjectHandle stream);

// Whether qpdf may decode `stream` without setting aside more than
// kMaxPredictorRowBytes per row.
inline bool predictorRowsFit(QPDFObjectHandle stream) { return predictorRowBytes(stream) <= kMaxPredictorRowBytes; }

// For a stream qpdf must decode before anything else can be read: throws
// SecurePdfError naming it ("cross-reference stream") when its rows do not fit.
void refuseHugePredictorRows(QPDFObjectHandle stream, const std::string& what);

}  // namespace penvora::core::securepdf
