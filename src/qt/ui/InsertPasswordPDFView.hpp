#pragma once
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

class QAbstractButton;
class QLineEdit;
class QPushButton;

namespace Ui {
class InsertPasswordPDFView;
}

namespace penvora::qt::ui {

// The panel asking for a document's password, pinned to the bottom.
// Return in the field does nothing: only the buttons decide.
class InsertPasswordPDFView : public QWidget {
  Q_OBJECT
 public:
  using AcceptAction = std::function<void(const std::string& password)>;
  using DismissAction = std::function<void()>;

  InsertPasswordPDFView(AcceptAction acceptAction, DismissAction dismissAction, QWidget* parent = nullptr);
  ~InsertPasswordPDFView() override;

  // Says under the title why the panel is back (a wrong password).
  void showProblem(const QString& text);
  QString problem() const;

  std::string password() const;
  QLineEdit* passwordField() const;
  QAbstractButton* closeButton() const;
  QPushButton* cancelButton() const;
  QPushButton* acceptButton() const;

 private:
  std::unique_ptr<Ui::InsertPasswordPDFView> ui_;
  AcceptAction acceptAction_;
  DismissAction dismissAction_;
};

}  // namespace penvora::qt::ui
