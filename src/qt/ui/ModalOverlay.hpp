#pragma once
#include <QObject>
#include <QPointer>
#include <QWidget>

class QAbstractButton;

namespace penvora::qt::ui {

// Makes a child widget a modal overlay of its host: it covers the host's
// whole rectangle and follows every resize (a window growing to full
// screen after it was shown, a tablet turning), it takes the keyboard focus
// when shown, Tab and Backtab cycle through its own controls only, and no
// key, mouse, wheel or touch event reaches anything else in the window
// while it is the topmost overlay shown there. When it goes, the focus
// returns to the overlay below it, or to where it was before.
//
// It lives as a child of the overlay, so it ends with it.
class ModalOverlay : public QObject {
 public:
  // Turns `overlay` (a window such as a dialog becomes a child widget) into
  // an overlay of `host`; returns the overlay's helper.
  static ModalOverlay* cover(QWidget* overlay, QWidget* host);

  // Takes an overlay off the screen at once, so input goes back behind it
  // now, and deletes it once the event being handled is done.
  static void dismiss(QWidget* overlay);

  // The overlay's keys: Return clicks the focused button, or else
  // `defaultButton` (when enabled); Escape clicks `cancelButton`. Either
  // may be null. A multi-line field and a label keep Return for themselves.
  static void setKeyButtons(QWidget* overlay, QAbstractButton* defaultButton, QAbstractButton* cancelButton);

  // The topmost overlay shown in `window`, or none.
  static QWidget* topmostIn(const QWidget* window);

  ~ModalOverlay() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  ModalOverlay(QWidget* overlay, QWidget* host);
  void fit();
  void opened();
  void closed();
  bool isTopmost() const;
  bool inside(const QObject* target) const;
  bool blocks(QObject* target, QEvent* event) const;
  void focusFirst();
  void moveFocus(bool forward);
  void focusChanged(QWidget* now);
  bool keyButtonPressed(QWidget* target, int key);

  QWidget* overlay_;  // the parent; outlives this helper
  QPointer<QWidget> host_;
  QPointer<QWidget> focusBefore_;
  bool open_ = false;
};

}  // namespace penvora::qt::ui
