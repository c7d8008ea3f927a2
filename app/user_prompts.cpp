#include "app/user_prompts.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

namespace lormex {

void DesktopPrompts::Inform(QWidget* parent, const QString& title, const QString& text) {
  QMessageBox::information(parent, title, text, QMessageBox::Ok);
}

void DesktopPrompts::ShowError(QWidget* parent, const QString& title, const QString& text) {
  QMessageBox::critical(parent, title, text, QMessageBox::Ok);
}

bool DesktopPrompts::Ask(QWidget* parent, const QString& title, const QString& text) {
  return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No) == QMessageBox::Yes;
}

QString DesktopPrompts::ChooseFolder(QWidget* parent, const QString& title,
                                     const QString& start_folder) {
  return QFileDialog::getExistingDirectory(parent, title, start_folder, QFileDialog::ShowDirsOnly);
}

void DesktopPrompts::OpenFolder(const QString& folder) {
  QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

}  // namespace lormex
