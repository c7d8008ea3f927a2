#ifndef LORMEX_SETTINGS_SETTINGS_DIALOG_H_
#define LORMEX_SETTINGS_SETTINGS_DIALOG_H_

#include <QDialog>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <string>

#include "settings/settings.h"

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

namespace lormex {

class UserPrompts;

// The modal dialog in which the user edits the five settings. It is built from the store's
// values when it is created; the edited values live only in its gadgets until ApplySettings
// succeeds. Created and used on the GUI thread.
class SettingsDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kClientWidth = 600;
  static constexpr int kClientHeight = 380;
  // One track bar step in setting units.
  static constexpr int kQualityStep = 5;
  static constexpr int kMaxWidthStep = 50;

  // `settings`, `prompts` and `owner` must outlive the dialog; the confirmed values are saved to
  // the preference file at `preference_path`.
  SettingsDialog(SettingsStore* settings, UserPrompts* prompts, std::string preference_path,
                 QWidget* owner);

  // Takes the gadgets' values into the store and saves them. Returns false, after an error box,
  // when the folder field is empty or names no folder that can be listed; nothing changes then.
  // A preference file that cannot be written is not reported: the store keeps the new values.
  bool ApplySettings();

  // Runs the folder chooser from the stored output folder; a chosen folder replaces the text of
  // the folder field, a cancelled chooser leaves it.
  void ChooseOutFolder();

  QLabel* banner() const { return banner_; }
  QLineEdit* out_folder_field() const { return out_folder_field_; }
  QPushButton* out_folder_button() const { return out_folder_button_; }
  QLineEdit* studio_field() const { return studio_field_; }
  QLineEdit* quality_field() const { return quality_field_; }
  QSlider* quality_track_bar() const { return quality_track_bar_; }
  QLineEdit* max_width_field() const { return max_width_field_; }
  QSlider* max_width_track_bar() const { return max_width_track_bar_; }
  QCheckBox* open_folder_check_box() const { return open_folder_check_box_; }
  QLabel* welcome_text() const { return welcome_text_; }
  QFrame* separator() const { return separator_; }
  QPushButton* ok_button() const { return ok_button_; }
  QPushButton* cancel_button() const { return cancel_button_; }
  // The four texts in front of the fields, top to bottom.
  const QList<QLabel*>& field_labels() const { return field_labels_; }

 private:
  QLabel* AddLabel(const QString& text, int x, int y, int width, int height);
  void CreateGadgets(const Settings& values);
  void OnOkPressed();

  SettingsStore* settings_;
  UserPrompts* prompts_;
  std::string preference_path_;
  QList<QLabel*> field_labels_;
  QLabel* banner_ = nullptr;
  QLineEdit* out_folder_field_ = nullptr;
  QPushButton* out_folder_button_ = nullptr;
  QLineEdit* studio_field_ = nullptr;
  QLineEdit* quality_field_ = nullptr;
  QSlider* quality_track_bar_ = nullptr;
  QLineEdit* max_width_field_ = nullptr;
  QSlider* max_width_track_bar_ = nullptr;
  QCheckBox* open_folder_check_box_ = nullptr;
  QLabel* welcome_text_ = nullptr;
  QFrame* separator_ = nullptr;
  QPushButton* ok_button_ = nullptr;
  QPushButton* cancel_button_ = nullptr;
};

// Opens the settings dialog over `main_window`, centred on it, and returns when it has closed.
// Every other window of the program takes no input meanwhile; a packing run goes on and reads
// the confirmed values from the store for the albums and pictures it reaches afterwards. GUI
// thread only.
void ShowSettingsDialog(SettingsStore* settings, UserPrompts* prompts,
                        const std::string& preference_path, QWidget* main_window);

// Where the outer frame of a dialog of `dialog_frame` pixels goes so that its centre lies on the
// centre of `owner_frame`, moved right or down so that no edge is at a negative coordinate.
QPoint CentredDialogPosition(const QRect& owner_frame, const QSize& dialog_frame);

// The folder the chooser starts at for the stored output folder `out_folder`: at most 259
// characters, without one trailing "/" unless it is the root. Empty stays empty.
QString ChooserStartFolder(const QString& out_folder);

// A folder the chooser gave, ending with "/"; empty (cancelled) stays empty.
QString ChosenOutFolder(const QString& chosen);

// True when `folder` names a folder that exists and can be listed; an empty text never does.
bool FolderCanBeListed(const QString& folder);

}  // namespace lormex

#endif  // LORMEX_SETTINGS_SETTINGS_DIALOG_H_
