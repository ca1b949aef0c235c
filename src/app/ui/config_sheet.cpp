#include "app/ui/config_sheet.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/text_ids.h"
#include "app/ui/config_prompts.h"

namespace {

QCheckBox* CheckBox(const QString& text, const char* name, bool checked, QWidget* parent) {
  auto* box = new QCheckBox(text, parent);
  box->setObjectName(name);
  box->setChecked(checked);
  return box;
}

QComboBox* ComboBox(const char* name, const QStringList& items, int current, QWidget* parent) {
  auto* combo = new QComboBox(parent);
  combo->setObjectName(name);
  combo->addItems(items);
  combo->setCurrentIndex(current);
  return combo;
}

// The object name of a check box: its key in lower case.
QByteArray KeyName(const ConfigFlag& flag) { return QByteArray(flag.key).toLower(); }

const QStringList kTimeoutChoices = {"10", "60"};

}  // namespace

CConfigEventPopup::CConfigEventPopup(QWidget* parent) : QWidget(parent) {
  setObjectName("CConfigEventPopup");
  state_.Load();
  auto* layout = new QVBoxLayout(this);
  for (int i = 0; i < app::CEventPopupState::kCount; ++i) {
    const app::ConfigCheck& c = app::CEventPopupState::Checks()[static_cast<size_t>(i)];
    QCheckBox* box = CheckBox(StringOr(c.text, c.fallback), KeyName(c.flag).constData(), state_.Checked(i), this);
    connect(box, &QCheckBox::toggled, this, [this, i, box](bool on) {
      if (!state_.Toggle(i, on)) {
        CLocalPrompts::Show(this, kFixedConfigWriteFailed);
        const QSignalBlocker block(box);
        box->setChecked(state_.Checked(i));
      }
    });
    layout->addWidget(box);
  }
  layout->addStretch(1);
}

CConfigHidden::CConfigHidden(QWidget* parent) : QWidget(parent) {
  setObjectName("CConfigHidden");
  state_.Load();

  auto* covert = CheckBox("Covert OFF", "covertOff", state_.ShowCovert(), this);
  auto* ch_mask = CheckBox("CH Mask ", "chMask", state_.ChMask(), this);
  auto* live_off = CheckBox("Live OFF", "liveOff", state_.LiveOff(), this);
  ch_mask->setVisible(false);
  live_off->setVisible(false);

  // A check box writes its key at once; a failed write puts the box back.
  auto bind = [this](QCheckBox* box, bool (app::CNetworkState::*set)(bool),
                     bool (app::CNetworkState::*get)() const) {
    connect(box, &QCheckBox::toggled, this, [this, box, set, get](bool on) {
      if (!(state_.*set)(on)) {
        CLocalPrompts::Show(this, kFixedConfigWriteFailed);
        const QSignalBlocker block(box);
        box->setChecked((state_.*get)());
        return;
      }
      if (set == &app::CNetworkState::SetShowCovert) emit covertShowChanged(on);
    });
  };
  bind(covert, &app::CNetworkState::SetShowCovert, &app::CNetworkState::ShowCovert);
  bind(ch_mask, &app::CNetworkState::SetChMask, &app::CNetworkState::ChMask);
  bind(live_off, &app::CNetworkState::SetLiveOff, &app::CNetworkState::LiveOff);

  auto* connection_label = new QLabel(StringOr(app::text::kStrNetConnectionTimeout, "Connection time-out"), this);
  auto* connection = ComboBox("connectionTimeout", kTimeoutChoices, state_.ConnectionIndex(), this);
  connection_label->setBuddy(connection);
  connection_label->setVisible(false);
  connection->setVisible(false);
  connect(connection, &QComboBox::currentIndexChanged, this,
          [this](int index) { state_.SetConnectionIndex(index); });

  auto* data_label = new QLabel("Waitting Time", this);
  auto* data = ComboBox("dataTimeout", kTimeoutChoices, state_.DataIndex(), this);
  data_label->setBuddy(data);
  connect(data, &QComboBox::currentIndexChanged, this, [this](int index) { state_.SetDataIndex(index); });

  auto* grid = new QGridLayout;
  grid->addWidget(covert, 0, 0, 1, 3);
  grid->addWidget(ch_mask, 1, 0, 1, 3);
  grid->addWidget(live_off, 2, 0, 1, 3);
  grid->addWidget(connection_label, 3, 0);
  grid->addWidget(connection, 3, 1);
  grid->addWidget(data_label, 4, 0);
  grid->addWidget(data, 4, 1);
  grid->addWidget(new QLabel("sec", this), 4, 2);
  grid->setColumnStretch(3, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addStretch(1);
}

bool CConfigHidden::Save() { return state_.Save(); }

CConfigOSD::CConfigOSD(QWidget* parent) : QWidget(parent) {
  setObjectName("CConfigOSD");
  state_.Load();
  auto* layout = new QVBoxLayout(this);
  for (int i = 0; i < app::COsdState::kCount; ++i) {
    const app::ConfigCheck& c = app::COsdState::Checks()[static_cast<size_t>(i)];
    QCheckBox* box = CheckBox(StringOr(c.text, c.fallback), KeyName(c.flag).constData(), state_.Checked(i), this);
    connect(box, &QCheckBox::toggled, this, [this, i](bool on) { state_.SetChecked(i, on); });
    layout->addWidget(box);
  }
  auto* format_label = new QLabel(StringOr(app::text::kStrOsdTimeFormat, "Time format"), this);
  auto* format = ComboBox("timeFormat", {"YY/MM/DD", "MM/DD/YY", "DD/MM/YY"}, state_.TimeFormatIndex(), this);
  format_label->setBuddy(format);
  connect(format, &QComboBox::currentIndexChanged, this, [this](int index) { state_.SetTimeFormatIndex(index); });
  auto* set = new QPushButton("Set", this);
  set->setObjectName("setButton");
  set->setAutoDefault(false);
  connect(set, &QPushButton::clicked, this, &CConfigOSD::OnSet);

  auto* row = new QHBoxLayout;
  row->addWidget(format_label);
  row->addWidget(format);
  row->addStretch(1);
  row->addWidget(set);
  layout->addLayout(row);
  layout->addStretch(1);
}

void CConfigOSD::OnSet() {
  if (!state_.Set()) CLocalPrompts::Show(this, kFixedConfigWriteFailed);
}

CConfigVideo::CConfigVideo(QWidget* parent) : QWidget(parent) {
  setObjectName("CConfigVideo");
  state_.Load();
  QStringList seconds;
  for (int s = 1; s <= kMaxRotatingTime + 1; ++s) seconds << QString::number(s);
  auto* label = new QLabel(StringOr(app::text::kStrVideoRotation, "Rotation time"), this);
  auto* choice = ComboBox("rotatingTime", seconds, state_.Index(), this);
  label->setBuddy(choice);
  connect(choice, &QComboBox::currentIndexChanged, this, [this](int index) { state_.SetIndex(index); });
  auto* row = new QHBoxLayout;
  row->addWidget(label);
  row->addWidget(choice);
  row->addWidget(new QLabel("sec", this));
  row->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addStretch(1);
}

CConfigSheet::CConfigSheet(QWidget* parent) : QDialog(parent) {
  setObjectName("CConfigSheet");
  setWindowTitle(StringOr(app::text::kStrConfiguration, "Configuration"));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setModal(true);

  tabs_ = new QTabWidget(this);
  tabs_->addTab(new CConfigEventPopup(tabs_), "Event Popup");
  network_ = new CConfigHidden(tabs_);
  tabs_->addTab(network_, "Network");
  tabs_->addTab(new CConfigOSD(tabs_), "OSD");
  video_ = new CConfigVideo(tabs_);
  tabs_->addTab(video_, "Video Display");
  // Every tab's caption stays visible.
  tabs_->setUsesScrollButtons(false);
  connect(network_, &CConfigHidden::covertShowChanged, this, &CConfigSheet::covertShowChanged);

  auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  box->button(QDialogButtonBox::Ok)->setObjectName("okButton");
  box->button(QDialogButtonBox::Cancel)->setObjectName("cancelButton");
  connect(box, &QDialogButtonBox::accepted, this, &CConfigSheet::OnOk);
  connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs_);
  layout->addWidget(box);
  setMinimumSize(380, 320);
}

void CConfigSheet::OnOk() {
  const bool network = network_->Save();
  const bool video = video_->Save();
  if (!network || !video) {
    CLocalPrompts::Show(this, kFixedConfigWriteFailed);
    return;
  }
  accept();
}
