#pragma once
#include <QWidget>
#include <memory>

namespace Ui {
class LoadingDocumentsView;
}

namespace penvora::qt::ui {

// A dimmed backdrop with a card: a busy indicator and a text.
class LoadingDocumentsView : public QWidget {
  Q_OBJECT
 public:
  explicit LoadingDocumentsView(const QString& text, QWidget* parent = nullptr);
  ~LoadingDocumentsView() override;
  QString text() const;

 signals:
  // The card has been drawn (each time it is).
  void painted();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::unique_ptr<Ui::LoadingDocumentsView> ui_;
};

}  // namespace penvora::qt::ui
