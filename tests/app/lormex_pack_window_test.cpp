// lormex-pack and a run started from the window give the same archive, byte for byte.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QString>

#include "app/app_texts.h"
#include "app/embedded_images.h"
#include "app/main_controller.h"
#include "packing/packing_run_controller.h"
#include "tests/app/pack_command_support.h"
#include "tests/packing/archive_test_support.h"
#include "tests/support/fake_prompts.h"
#include "tests/support/test_files.h"

namespace lormex {
namespace {

using testing::TempDir;

TEST(LormexPackWindowTest, CommandLineArchiveEqualsTheWindowsArchive) {
  InitTexts();
  LoadEmbeddedImages();
  TempDir dir;
  const std::string album = dir / "albums/Wedding 2016.05/";
  testing::MakeMixedAlbum(album);
  testing::MakeFolders(dir / "window");
  testing::MakeFolders(dir / "command");

  // The window: the album dropped on the list, settings as the dialog would leave them.
  SettingsStore settings;
  Settings values;
  values.OutFolder = dir / "window/";
  values.Studio = "光影";
  values.ImageQuality = 85;
  values.ImageMaxWidth = 180;
  settings.Replace(values);
  testing::FakePrompts prompts;
  MainController controller(&settings, &prompts, 2);
  controller.OpenMainWindow();
  controller.dispatcher().DispatchDrop(QString::fromStdString(album));
  QSignalSpy ended(controller.packing(), &PackingRunController::RunEnded);
  controller.StartPacking();
  ASSERT_TRUE(ended.wait(60000)) << "the window's run did not end";
  EXPECT_TRUE(prompts.calls.isEmpty()) << prompts.calls.join(u'\n').toStdString();

  // The command line, with the same settings from the preference file in its working folder.
  testing::WriteFile(dir / "Lormex.pref",
                     testing::PreferenceFileText(dir / "command/", "光影", 85, 180));
  const testing::PackRun run = testing::RunLormexPack({album}, dir.path());
  ASSERT_EQ(run.status, 0) << run.err;

  const std::string name = "光影_Wedding 2016.zip";
  ASSERT_EQ(testing::ListFolder(dir / "window"), std::vector<std::string>{name});
  ASSERT_EQ(testing::ListFolder(dir / "command"), std::vector<std::string>{name});
  const std::string from_window = testing::ReadFile(dir / ("window/" + name));
  EXPECT_GT(from_window.size(), 1000u);
  EXPECT_TRUE(from_window == testing::ReadFile(dir / ("command/" + name))) << "the archives differ";
}

}  // namespace
}  // namespace lormex
