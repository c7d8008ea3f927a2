// Runs the widget tests inside one QApplication. Without a display they use the offscreen
// platform, so they run the same on a desktop, under Xvfb and in CI.
#include <gtest/gtest.h>

#include <QApplication>

namespace {

QtMessageHandler previous_handler = nullptr;

// The offscreen platform warns about every window feature it lacks; those lines only hide the
// messages that matter.
void QuietOffscreenWarnings(QtMsgType type, const QMessageLogContext& context,
                            const QString& message) {
  if (message.startsWith(QLatin1String("This plugin does not support"))) return;
  if (previous_handler != nullptr) previous_handler(type, context, message);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  previous_handler = qInstallMessageHandler(QuietOffscreenWarnings);
  QApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
