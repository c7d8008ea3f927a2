#ifndef LORMEX_TESTS_SUPPORT_FAKE_PROMPTS_H_
#define LORMEX_TESTS_SUPPORT_FAKE_PROMPTS_H_

#include <QString>
#include <QStringList>
#include <deque>

#include "app/user_prompts.h"
#include "tests/support/qt_printers.h"

namespace lormex::testing {

// Answers the boxes, the folder chooser and the shell without showing anything, and records
// each call as one line: "info|<title>|<text>", "error|...", "ask|...", "choose|<title>|<start>",
// "open|<folder>".
class FakePrompts : public UserPrompts {
 public:
  void Inform(QWidget*, const QString& title, const QString& text) override {
    calls.append(QStringLiteral("info|") + title + QLatin1Char('|') + text);
  }
  void ShowError(QWidget*, const QString& title, const QString& text) override {
    calls.append(QStringLiteral("error|") + title + QLatin1Char('|') + text);
  }
  bool Ask(QWidget*, const QString& title, const QString& text) override {
    calls.append(QStringLiteral("ask|") + title + QLatin1Char('|') + text);
    return answer_yes;
  }
  QString ChooseFolder(QWidget*, const QString& title, const QString& start) override {
    calls.append(QStringLiteral("choose|") + title + QLatin1Char('|') + start);
    if (chosen_folders.empty()) return QString();
    QString folder = chosen_folders.front();
    chosen_folders.pop_front();
    return folder;
  }
  void OpenFolder(const QString& folder) override {
    calls.append(QStringLiteral("open|") + folder);
  }

  QStringList calls;
  bool answer_yes = true;
  std::deque<QString> chosen_folders;  // the chooser's answers, in turn; empty: cancelled
};

}  // namespace lormex::testing

#endif  // LORMEX_TESTS_SUPPORT_FAKE_PROMPTS_H_
