// How the window's thread fares while a run keeps every core busy: packs an album through the
// window's own run binding (offscreen) and measures how late a 10 ms timer on the GUI thread
// fires meanwhile, and how many progress updates reach the window.
//
//   lormex_gui_latency OUT_FOLDER ALBUM_FOLDER
#include <QApplication>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/app_texts.h"
#include "app/embedded_images.h"
#include "app/main_controller.h"
#include "app/main_window.h"
#include "app/user_prompts.h"
#include "packing/packing_run_controller.h"

namespace {

// Answers nothing and shows nothing.
class SilentPrompts : public lormex::UserPrompts {
 public:
  void Inform(QWidget*, const QString&, const QString&) override {}
  void ShowError(QWidget*, const QString&, const QString& text) override {
    std::fprintf(stderr, "error: %s\n", text.toUtf8().constData());
  }
  bool Ask(QWidget*, const QString&, const QString&) override { return true; }
  QString ChooseFolder(QWidget*, const QString&, const QString&) override { return {}; }
  void OpenFolder(const QString&) override {}
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s OUT_FOLDER ALBUM_FOLDER\n", argv[0]);
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  lormex::InitTexts();
  lormex::LoadEmbeddedImages();
  lormex::SettingsStore settings;
  lormex::Settings values;
  values.OutFolder = argv[1];
  if (values.OutFolder.back() != '/') values.OutFolder += '/';
  values.Studio = "latency";
  settings.Replace(values);
  SilentPrompts prompts;
  lormex::MainController controller(&settings, &prompts);
  controller.OpenMainWindow();
  controller.main_window()->show();
  controller.AddAlbum(QString::fromUtf8(argv[2]));

  std::vector<double> lateness_ms;
  int progress_changes = 0;
  QObject::connect(controller.main_window()->progress_field(), &QProgressBar::valueChanged,
                   [&progress_changes] { ++progress_changes; });
  QElapsedTimer since_tick;
  QTimer tick;
  tick.setTimerType(Qt::PreciseTimer);
  tick.setInterval(10);
  QObject::connect(&tick, &QTimer::timeout, [&] {
    lateness_ms.push_back(std::max(0.0, since_tick.nsecsElapsed() / 1e6 - 10.0));
    since_tick.start();
  });
  QObject::connect(controller.packing(), &lormex::PackingRunController::RunEnded, &app,
                   &QCoreApplication::quit);
  QElapsedTimer run;
  run.start();
  since_tick.start();
  tick.start();
  controller.StartPacking();
  app.exec();

  std::sort(lateness_ms.begin(), lateness_ms.end());
  auto at = [&](double q) {
    return lateness_ms.empty()
               ? 0.0
               : lateness_ms[static_cast<std::size_t>(q * (lateness_ms.size() - 1))];
  };
  std::printf(
      "run %.2f s; 10 ms timer fired %zu times, late by median %.2f ms, 99th %.2f ms, "
      "worst %.2f ms; %d progress updates shown\n",
      run.elapsed() / 1000.0, lateness_ms.size(), at(0.5), at(0.99), at(1.0), progress_changes);
  return 0;
}
