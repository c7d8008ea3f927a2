#include "app/app_texts.h"

#include "settings/preference_file.h"

namespace lormex {
namespace {

struct Texts {
  QString app_title;
  QString welcome_line;
  QString preference_file_name;
};

Texts& TheTexts() {
  static Texts texts;
  return texts;
}

}  // namespace

void InitTexts() {
  Texts& texts = TheTexts();
  texts.app_title = QStringLiteral("Lormex");
  const QString contact_note = QStringLiteral(" (技术支持：support@lormex.cn)");
  texts.welcome_line = QStringLiteral("欢迎使用 ") + texts.app_title + contact_note;
  texts.preference_file_name = QString::fromUtf8(kPreferenceFileName);
}

const QString& AppTitle() { return TheTexts().app_title; }
const QString& WelcomeLine() { return TheTexts().welcome_line; }
const QString& PreferenceFileName() { return TheTexts().preference_file_name; }

}  // namespace lormex
