#include "qt/document/PageTextFilter.hpp"

#include <QChar>
#include <QList>
#include <algorithm>
#include <unordered_set>

namespace penvora::qt::document {
namespace {

bool dropped(char32_t c) {
  switch (QChar::category(c)) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Other_NotAssigned:
      return true;
    default:
      break;
  }
  return QChar::isSpace(c) || c == u'-' || c == 0x00AD || c == 0x2010 || c == 0x2011;
}

char32_t sameQuote(char32_t c) {
  switch (c) {
    case 0x2018:
    case 0x2019:
    case 0x201A:
    case 0x201B:
    case 0x0060:
    case 0x00B4:
    case 0x2032:
      return u'\'';
    case 0x201C:
    case 0x201D:
    case 0x201E:
    case 0x201F:
    case 0x2033:
      return u'"';
    default:
      return c;
  }
}

void appendCoarse(char32_t c, std::u32string& out) {
  if (c < 0x80) {
    if (c > 0x20 && c != 0x7F && c != u'-') out.push_back(c == u'`' ? u'\'' : c);
    return;
  }
  // Most characters (CJK among them) have no decomposition: no string.
  if (QChar::decompositionTag(c) == QChar::NoDecomposition) {
    if (!dropped(c)) out.push_back(sameQuote(c));
    return;
  }
  const QString decomposed = QString::fromUcs4(&c, 1).normalized(QString::NormalizationForm_KD);
  for (const char32_t d : decomposed.toUcs4())
    if (!dropped(d)) out.push_back(sameQuote(d));
}

std::u32string folded(std::u32string s) {
  for (auto& c : s) c = QChar::toCaseFolded(c);
  return s;
}

bool endsWith(const std::u32string& s, std::u32string_view tail) {
  return s.size() >= tail.size() && std::u32string_view(s).substr(s.size() - tail.size()) == tail;
}

}  // namespace

std::u32string PageTextFilter::coarse(const std::u32string& run) {
  std::u32string out;
  out.reserve(run.size());
  for (const char32_t c : run) appendCoarse(c, out);
  return out;
}

PageTextFilter::PageTextFilter(const QString& text, Qt::CaseSensitivity cs) : foldCase_(cs == Qt::CaseInsensitive) {
  const auto units = text.toUcs4();
  text_ = coarse(std::u32string(units.begin(), units.end()));
  if (foldCase_) text_ = folded(text_);
}

bool PageTextFilter::mayHold(const std::vector<std::u32string>& coarseRuns) const {
  if (text_.empty()) return true;
  std::unordered_set<std::u32string> runs;
  for (const auto& run : coarseRuns)
    if (!run.empty()) runs.insert(foldCase_ ? folded(run) : run);
  const std::u32string_view text(text_);
  const std::size_t n = text.size();
  for (const auto& run : runs)
    if (run.find(text) != std::u32string::npos) return true;
  // Positions of the text a match can have reached: after a run's tail,
  // then after each whole run; it is complete with a run's head.
  std::vector<bool> reached(n, false);
  for (std::size_t i = 1; i < n; ++i)
    reached[i] =
        std::any_of(runs.begin(), runs.end(), [&](const auto& run) { return endsWith(run, text.substr(0, i)); });
  for (std::size_t i = 1; i < n; ++i) {
    if (!reached[i]) continue;
    const auto rest = text.substr(i);
    if (std::any_of(runs.begin(), runs.end(), [&](const auto& run) { return run.rfind(rest, 0) == 0; })) return true;
    for (std::size_t length = 1; i + length < n; ++length)
      if (!reached[i + length] && runs.count(std::u32string(text.substr(i, length)))) reached[i + length] = true;
  }
  return false;
}

}  // namespace penvora::qt::document
