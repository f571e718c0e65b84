#pragma once
#include <QUrl>
#include <QWidget>
#include <functional>
#include <memory>

class QLabel;
class QPushButton;

namespace Ui {
class UseDefaultCertDialog;
}

namespace penvora::qt::ui {

// Warns that the requested signing identity is missing and the
// component's default one would sign; a link explains the difference.
class UseDefaultCertDialog : public QWidget {
  Q_OBJECT
 public:
  using Action = std::function<void()>;
  using OpenUrl = std::function<void(const QUrl&)>;

  // The page about qualified signatures the link opens.
  static QUrl defaultInformationUrl();

  // `openUrl`: how the link is opened; none: the system's browser.
  UseDefaultCertDialog(Action onClose, Action onAccept, QUrl url = defaultInformationUrl(), OpenUrl openUrl = {},
                       QWidget* parent = nullptr);
  ~UseDefaultCertDialog() override;

  QLabel* messageLabel() const;
  QPushButton* cancelButton() const;
  QPushButton* acceptButton() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  std::unique_ptr<Ui::UseDefaultCertDialog> ui_;
  Action onClose_, onAccept_;
  QUrl url_;
  OpenUrl openUrl_;
};

}  // namespace penvora::qt::ui
