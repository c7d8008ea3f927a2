#ifndef LORMEX_APP_USER_PROMPTS_H_
#define LORMEX_APP_USER_PROMPTS_H_

#include <QString>

class QWidget;

namespace lormex {

// The modal boxes, the folder chooser and the system shell, behind one seam so that tests can
// answer them. Every call runs on the GUI thread and, but for OpenFolder, waits for the user.
class UserPrompts {
 public:
  virtual ~UserPrompts() = default;

  // A message box with an information or error icon and an OK button.
  virtual void Inform(QWidget* parent, const QString& title, const QString& text) = 0;
  virtual void ShowError(QWidget* parent, const QString& title, const QString& text) = 0;
  // A question box with Yes and No; true only for Yes.
  virtual bool Ask(QWidget* parent, const QString& title, const QString& text) = 0;
  // The folder chooser; the chosen folder's path, or empty when cancelled.
  virtual QString ChooseFolder(QWidget* parent, const QString& title,
                               const QString& start_folder) = 0;
  // Asks the system shell to show `folder` in a file browser window; does not wait for it.
  virtual void OpenFolder(const QString& folder) = 0;
};

// The real boxes, chooser and shell of the desktop.
class DesktopPrompts : public UserPrompts {
 public:
  void Inform(QWidget* parent, const QString& title, const QString& text) override;
  void ShowError(QWidget* parent, const QString& title, const QString& text) override;
  bool Ask(QWidget* parent, const QString& title, const QString& text) override;
  QString ChooseFolder(QWidget* parent, const QString& title, const QString& start_folder) override;
  void OpenFolder(const QString& folder) override;
};

}  // namespace lormex

#endif  // LORMEX_APP_USER_PROMPTS_H_
