#ifndef LORMEX_TESTS_APP_FAKE_COMMAND_HANDLER_H_
#define LORMEX_TESTS_APP_FAKE_COMMAND_HANDLER_H_

#include <QString>
#include <QStringList>

#include "app/command_dispatcher.h"

namespace lormex::testing {

// Records the operations the dispatcher calls, one word each ("AddAlbum:<text>" for adds).
class FakeCommandHandler : public CommandHandler {
 public:
  void ShowSettingsDialog() override { calls.append(QStringLiteral("ShowSettingsDialog")); }
  void OpenOutputFolder() override { calls.append(QStringLiteral("OpenOutputFolder")); }
  void AddAlbum(const QString& text) override { calls.append(QStringLiteral("AddAlbum:") + text); }
  void DeleteAlbums() override { calls.append(QStringLiteral("DeleteAlbums")); }
  void ClearAlbums() override { calls.append(QStringLiteral("ClearAlbums")); }
  void StartPacking() override { calls.append(QStringLiteral("StartPacking")); }
  void Quit() override { calls.append(QStringLiteral("Quit")); }

  QStringList calls;
};

}  // namespace lormex::testing

#endif  // LORMEX_TESTS_APP_FAKE_COMMAND_HANDLER_H_
