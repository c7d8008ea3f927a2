#ifndef LORMEX_APP_APP_TEXTS_H_
#define LORMEX_APP_APP_TEXTS_H_

#include <QString>

namespace lormex {

// Sets the texts that name the program. Called once at start-up, before the main window opens;
// the texts never change afterwards.
void InitTexts();

// "Lormex": the title of the main window and of the message boxes outside the settings dialog.
const QString& AppTitle();
// "欢迎使用 Lormex" and the contact note: the footer of the settings dialog.
const QString& WelcomeLine();
// "Lormex.pref", resolved against the working directory.
const QString& PreferenceFileName();

}  // namespace lormex

#endif  // LORMEX_APP_APP_TEXTS_H_
