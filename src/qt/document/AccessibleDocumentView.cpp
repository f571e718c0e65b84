#include "qt/document/AccessibleDocumentView.hpp"

#include <QAccessibleWidget>
#include <algorithm>

#include "qt/document/NonSelectablePDFView.hpp"

namespace penvora::qt::document {
namespace {

// Read only: no selection (the text is not selectable on screen either),
// a caret a reader may move.
class AccessibleDocumentView : public QAccessibleWidget, public QAccessibleTextInterface {
 public:
  explicit AccessibleDocumentView(NonSelectablePDFView* view) : QAccessibleWidget(view, QAccessible::Document) {}

  void* interface_cast(QAccessible::InterfaceType t) override {
    return t == QAccessible::TextInterface ? static_cast<QAccessibleTextInterface*>(this)
                                           : QAccessibleWidget::interface_cast(t);
  }
  QAccessible::State state() const override {
    QAccessible::State s = QAccessibleWidget::state();
    s.readOnly = true;
    s.multiLine = true;
    return s;
  }

  void selection(int, int* start, int* end) const override { *start = *end = 0; }
  int selectionCount() const override { return 0; }
  void addSelection(int, int) override {}
  void removeSelection(int) override {}
  void setSelection(int, int, int) override {}
  int cursorPosition() const override { return std::min(cursor_, characterCount()); }
  void setCursorPosition(int position) override { cursor_ = std::clamp(position, 0, characterCount()); }
  QString text(int start, int end) const override { return pageText().mid(start, std::max(0, end - start)); }
  int characterCount() const override { return static_cast<int>(pageText().size()); }
  // Where a character is drawn is not known to the viewer: none.
  QRect characterRect(int) const override { return {}; }
  int offsetAtPoint(const QPoint&) const override { return -1; }
  void scrollToSubstring(int, int) override {}
  QString attributes(int offset, int* start, int* end) const override {
    *start = *end = offset;
    return {};
  }

 private:
  QString pageText() const { return static_cast<NonSelectablePDFView*>(widget())->currentPageText(); }
  int cursor_ = 0;
};

QAccessibleInterface* factory(const QString& className, QObject* object) {
  if (className == QLatin1String("penvora::qt::document::NonSelectablePDFView") && object && object->isWidgetType())
    return new AccessibleDocumentView(static_cast<NonSelectablePDFView*>(object));
  return nullptr;
}

}  // namespace

void installAccessibleDocumentView() {
  static const bool installed = (QAccessible::installFactory(factory), true);
  (void)installed;
}

}  // namespace penvora::qt::document
