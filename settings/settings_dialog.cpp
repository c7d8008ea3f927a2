#include "settings/settings_dialog.h"

#include <dirent.h>

#include <QCheckBox>
#include <QColor>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QSlider>
#include <algorithm>
#include <cstddef>
#include <iterator>
#include <limits>
#include <utility>

#include "app/app_texts.h"
#include "app/embedded_images.h"
#include "app/user_prompts.h"
#include "settings/preference_file.h"

namespace lormex {
namespace {

constexpr int kQualityMinPosition = 6;
constexpr int kQualityMaxPosition = 20;
constexpr int kQualityPageStep = 2;
constexpr int kMaxWidthMinPosition = 2;
constexpr int kMaxWidthMaxPosition = 180;
constexpr int kMaxWidthPageStep = 20;
constexpr int kChooserStartLimit = 259;
constexpr int kFolderIconSize = 16;
const QColor kWelcomeTextColour(170, 170, 170);

QString DialogTitle() { return QStringLiteral("设置"); }

void PlaceTrackBar(QSlider* track_bar, int min_position, int max_position, int page_step,
                   int position) {
  track_bar->setRange(min_position, max_position);
  track_bar->setSingleStep(1);
  track_bar->setPageStep(page_step);
  track_bar->setFocusPolicy(Qt::StrongFocus);
  // The slider limits the position to its range, which is how out-of-range values from a
  // hand-edited file are shown.
  track_bar->setValue(position);
}

// Neither button is a default button: Enter in a field must not confirm or cancel.
QPushButton* AddButton(QWidget* parent, const QString& text) {
  auto* button = new QPushButton(text, parent);
  button->setAutoDefault(false);
  button->setDefault(false);
  return button;
}

QLineEdit* AddNumberField(QWidget* parent) {
  auto* field = new QLineEdit(parent);
  field->setReadOnly(true);
  field->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), field));
  return field;
}

// Texts from a hand-edited file are shown whole, so that confirming does not cut them.
QLineEdit* AddTextField(QWidget* parent) {
  auto* field = new QLineEdit(parent);
  field->setMaxLength(std::numeric_limits<int>::max());
  return field;
}

}  // namespace

SettingsDialog::SettingsDialog(SettingsStore* settings, UserPrompts* prompts,
                               std::string preference_path, QWidget* owner)
    : QDialog(owner),
      settings_(settings),
      prompts_(prompts),
      preference_path_(std::move(preference_path)) {
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setWindowTitle(DialogTitle());
  setWindowIcon(ApplicationIcon());
  setFixedSize(kClientWidth, kClientHeight);
  setSizeGripEnabled(false);
  CreateGadgets(settings_->Snapshot());
}

QLabel* SettingsDialog::AddLabel(const QString& text, int x, int y, int width, int height) {
  auto* label = new QLabel(text, this);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  // The place stays; a font taller than the planned box gets the height it needs, so that no
  // glyph is cut.
  label->setGeometry(x, y, width, std::max(height, label->sizeHint().height()));
  return label;
}

void SettingsDialog::CreateGadgets(const Settings& values) {
  banner_ = new QLabel(this);
  banner_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  banner_->setLineWidth(1);
  const QPixmap banner_picture = EmbeddedPixmap(BannerImage);
  banner_->setPixmap(banner_picture);
  const QSize picture_size = banner_picture.isNull()
                                 ? QSize(150, kClientHeight)
                                 : banner_picture.deviceIndependentSize().toSize();
  const int border = banner_->frameWidth();
  banner_->setGeometry(0, 0, picture_size.width() + 2 * border, picture_size.height() + 2 * border);

  field_labels_.append(AddLabel(QStringLiteral("打包文件夹："), 180, 33, 90, 12));
  out_folder_field_ = AddTextField(this);
  out_folder_field_->setReadOnly(true);
  out_folder_field_->setGeometry(260, 30, 280, 24);
  out_folder_field_->setText(QString::fromStdString(values.OutFolder));

  out_folder_button_ = AddButton(this, QString());
  out_folder_button_->setIcon(EmbeddedIcon(OpenFolderIcon));
  out_folder_button_->setIconSize(QSize(kFolderIconSize, kFolderIconSize));
  out_folder_button_->setToolTip(QStringLiteral("设置打包输出文件夹"));
  out_folder_button_->setGeometry(546, 30, 24, 24);

  field_labels_.append(AddLabel(QStringLiteral("工作室名称："), 180, 68, 90, 12));
  studio_field_ = AddTextField(this);
  studio_field_->setGeometry(260, 65, 310, 24);
  studio_field_->setText(QString::fromStdString(values.Studio));
  studio_field_->setToolTip(QStringLiteral("设置您的工作室名称"));

  field_labels_.append(AddLabel(QStringLiteral("图像质量："), 180, 103, 90, 12));
  quality_field_ = AddNumberField(this);
  quality_field_->setGeometry(260, 100, 50, 24);
  quality_track_bar_ = new QSlider(Qt::Horizontal, this);
  quality_track_bar_->setGeometry(320, 100, 250, 24);
  quality_track_bar_->setToolTip(QStringLiteral("设置图像质量"));
  PlaceTrackBar(quality_track_bar_, kQualityMinPosition, kQualityMaxPosition, kQualityPageStep,
                values.ImageQuality / kQualityStep);
  // The stored number is shown as it is, even when the track bar cannot stand on it.
  quality_field_->setText(QString::number(values.ImageQuality));

  field_labels_.append(AddLabel(QStringLiteral("最大宽度："), 180, 138, 90, 12));
  max_width_field_ = AddNumberField(this);
  max_width_field_->setGeometry(260, 135, 50, 24);
  max_width_track_bar_ = new QSlider(Qt::Horizontal, this);
  max_width_track_bar_->setGeometry(320, 135, 250, 24);
  max_width_track_bar_->setToolTip(QStringLiteral("设置图像最大宽度"));
  PlaceTrackBar(max_width_track_bar_, kMaxWidthMinPosition, kMaxWidthMaxPosition, kMaxWidthPageStep,
                values.ImageMaxWidth / kMaxWidthStep);
  max_width_field_->setText(QString::number(values.ImageMaxWidth));

  open_folder_check_box_ = new QCheckBox(QStringLiteral("打包完成后打开输出文件夹"), this);
  open_folder_check_box_->setGeometry(260, 173, 300, 24);
  open_folder_check_box_->setChecked(values.FinishedOpenFolder != 0);

  welcome_text_ = AddLabel(WelcomeLine(), 180, 275, 350, 20);
  QPalette welcome_palette = welcome_text_->palette();
  welcome_palette.setColor(QPalette::WindowText, kWelcomeTextColour);
  welcome_text_->setPalette(welcome_palette);

  separator_ = new QFrame(this);
  separator_->setFrameStyle(QFrame::HLine | QFrame::Sunken);
  separator_->setGeometry(180, 290, 390, 4);

  ok_button_ = AddButton(this, QStringLiteral("确定"));
  ok_button_->setGeometry(380, 320, 90, 30);
  cancel_button_ = AddButton(this, QStringLiteral("取消"));
  cancel_button_->setGeometry(480, 320, 90, 30);

  QWidget* const focus_order[] = {out_folder_field_,    out_folder_button_,     studio_field_,
                                  quality_field_,       quality_track_bar_,     max_width_field_,
                                  max_width_track_bar_, open_folder_check_box_, ok_button_,
                                  cancel_button_};
  for (std::size_t i = 1; i < std::size(focus_order); ++i) {
    setTabOrder(focus_order[i - 1], focus_order[i]);
  }

  // Every change of a track bar, also while it is dragged, shows its value at once.
  connect(quality_track_bar_, &QSlider::valueChanged, this, [this](int position) {
    quality_field_->setText(QString::number(position * kQualityStep));
  });
  connect(max_width_track_bar_, &QSlider::valueChanged, this, [this](int position) {
    max_width_field_->setText(QString::number(position * kMaxWidthStep));
  });
  connect(out_folder_button_, &QPushButton::clicked, this, &SettingsDialog::ChooseOutFolder);
  connect(ok_button_, &QPushButton::clicked, this, &SettingsDialog::OnOkPressed);
  connect(cancel_button_, &QPushButton::clicked, this, &QDialog::reject);
}

void SettingsDialog::ChooseOutFolder() {
  // The chooser starts at the stored folder, not at a folder chosen earlier in this dialog.
  const QString start = ChooserStartFolder(QString::fromStdString(settings_->Snapshot().OutFolder));
  const QString chosen =
      ChosenOutFolder(prompts_->ChooseFolder(this, QStringLiteral("选择打包输出文件夹"), start));
  if (!chosen.isEmpty()) out_folder_field_->setText(chosen);
}

bool SettingsDialog::ApplySettings() {
  const QString folder = out_folder_field_->text();
  if (!FolderCanBeListed(folder)) {
    prompts_->ShowError(this, DialogTitle(), QStringLiteral("打包文件夹不能为空！"));
    return false;
  }
  Settings values;
  values.OutFolder = folder.toStdString();
  values.Studio = studio_field_->text().toStdString();
  // The numbers come from the track bars: a field may still show an out-of-range stored value.
  values.ImageQuality = quality_track_bar_->value() * kQualityStep;
  values.ImageMaxWidth = max_width_track_bar_->value() * kMaxWidthStep;
  values.FinishedOpenFolder = open_folder_check_box_->isChecked() ? 1 : 0;
  settings_->Replace(values);
  // An unwritable preference file is not reported: the values hold for this run of the program.
  static_cast<void>(SaveSettings(values, preference_path_));
  return true;
}

void SettingsDialog::OnOkPressed() {
  if (ApplySettings()) accept();
}

void ShowSettingsDialog(SettingsStore* settings, UserPrompts* prompts,
                        const std::string& preference_path, QWidget* main_window) {
  SettingsDialog dialog(settings, prompts, preference_path, main_window);
  if (main_window != nullptr) {
    // The dialog's frame is known only once the window manager has framed it; the main
    // window's frame is the best estimate of it before the dialog is shown.
    const QRect owner_frame = main_window->frameGeometry();
    const QSize frame_extra = owner_frame.size() - main_window->geometry().size();
    dialog.move(CentredDialogPosition(owner_frame, dialog.size() + frame_extra));
  }
  dialog.exec();
}

QPoint CentredDialogPosition(const QRect& owner_frame, const QSize& dialog_frame) {
  const int x = owner_frame.x() + (owner_frame.width() - dialog_frame.width()) / 2;
  const int y = owner_frame.y() + (owner_frame.height() - dialog_frame.height()) / 2;
  return QPoint(std::max(0, x), std::max(0, y));
}

QString ChooserStartFolder(const QString& out_folder) {
  QString start = out_folder;
  if (start.size() > kChooserStartLimit) {
    qsizetype cut = kChooserStartLimit;
    // Half a character would make the path invalid text.
    if (start.at(cut - 1).isHighSurrogate()) --cut;
    start.truncate(cut);
  }
  if (start.size() > 1 && start.endsWith(QLatin1Char('/'))) start.chop(1);
  return start;
}

QString ChosenOutFolder(const QString& chosen) {
  if (chosen.isEmpty() || chosen.endsWith(QLatin1Char('/'))) return chosen;
  return chosen + QLatin1Char('/');
}

bool FolderCanBeListed(const QString& folder) {
  if (folder.isEmpty() || folder.contains(QChar(u'\0'))) return false;
  DIR* listing = opendir(QFile::encodeName(folder).constData());
  if (listing == nullptr) return false;
  closedir(listing);
  return true;
}

}  // namespace lormex
