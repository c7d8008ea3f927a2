// Start-up of the window program: prepares the process, refuses to run beside another process
// of the same program file, opens the main window and runs the main event loop until the user
// quits. The process then ends at once, also during a packing run.
#include <unistd.h>

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <cstdio>

#include "app/app_texts.h"
#include "app/embedded_images.h"
#include "app/main_controller.h"
#include "app/main_window.h"
#include "app/single_instance.h"
#include "app/user_prompts.h"
#include "packing/unfinished_files.h"
#include "settings/preference_file.h"
#include "settings/settings.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // Desktop shells match the window to the menu entry and its icon by this name.
  QGuiApplication::setDesktopFileName(QStringLiteral("lormex"));
  // The program speaks Chinese whatever the locale, so Qt's own buttons and choosers do too.
  QTranslator qt_texts;
  if (qt_texts.load(QStringLiteral("qtbase_zh_CN"),
                    QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QApplication::installTranslator(&qt_texts);
  }
  lormex::LoadEmbeddedImages();
  lormex::SettingsStore settings;  // the defaults until the preference file is read

  // A second start ends at once, silently, with exit code 0.
  if (lormex::IsAnotherInstanceRunning()) return 0;
  lormex::InitTexts();
  QApplication::setWindowIcon(lormex::ApplicationIcon());

  lormex::DesktopPrompts prompts;
  lormex::MainController controller(&settings, &prompts);
  controller.OpenMainWindow();
  controller.main_window()->ShowCentred();
  settings.Replace(lormex::LoadSettings(lormex::PreferenceFileName().toStdString()));
  app.exec();

  // Nothing is saved and no run is waited for. An archive being written has no name yet, or
  // one that is removed here, so no half-written archive is left behind.
  lormex::RemoveUnfinishedArchives();
  std::fflush(nullptr);
  _exit(0);
}
