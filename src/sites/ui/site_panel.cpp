#include "sites/ui/site_panel.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QMetaObject>
#include <QPushButton>
#include <QTabWidget>
#include <QThread>

#include <algorithm>
#include <QVBoxLayout>

#include "app/main_window_model.h"
#include "audio/wave_out_player.h"
#include "app/text_ids.h"
#include "app/texts.h"
#include "sites/local_settings.h"
#include "sites/ui/site_dialogs.h"
#include "streaming/live_stream.h"
#include "sites/ui/predefined_editor.h"
#include "sites/ui/predefined_tree.h"
#include "view/dvr_view.h"
#include "view/predefined_sink.h"

namespace {

// Which object an item stands for.
enum ItemKind { kRootItem = 1, kGroupItem = 2, kSiteItem = 3, kLineItem = 4 };
constexpr int kKindRole = Qt::UserRole;
constexpr int kPointerRole = Qt::UserRole + 1;

CSitePanel::GroupNameHook& GroupHookRef() {
  static CSitePanel::GroupNameHook hook;
  return hook;
}
CSitePanel::SiteHook& SiteHookRef() {
  static CSitePanel::SiteHook hook;
  return hook;
}
CSitePanel::TalkDeviceFactory& TalkFactoryRef() {
  static CSitePanel::TalkDeviceFactory factory;
  return factory;
}

QString Str(int number, const char* fallback) {
  return QString::fromStdString(app::LoadTextOr(app::kStrings, number, fallback));
}

}  // namespace

// ---------------------------------------------------------------------------
// CSiteTree

CSiteTree::CSiteTree(QWidget* parent) : QTreeWidget(parent) {
  setProperty("controlId", 1015);
  setHeaderHidden(true);
  setColumnCount(1);
  setIndentation(10);
  setSelectionMode(QAbstractItemView::SingleSelection);
  connect(this, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item, int) {
    if (item != nullptr && item->data(0, kKindRole).toInt() == kSiteItem) {
      emit siteActivated(static_cast<CSiteDirectory::Site*>(item->data(0, kPointerRole).value<void*>()));
    }
  });
  connect(this, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item, int) {
    // Enter on a site does what a double click does.
    if (item != nullptr && item->data(0, kKindRole).toInt() == kSiteItem && !item->isExpanded()) {
      emit siteActivated(static_cast<CSiteDirectory::Site*>(item->data(0, kPointerRole).value<void*>()));
    }
  });
}

void CSiteTree::Rebuild(CSiteDirectory& directory) {
  const CSiteDirectory::Site* selected_site = SelectedSite();
  const CSiteDirectory::Group* selected_group = SelectedGroup();
  const bool root_selected = SelectionKind() == sites_ui::Selection::kRoot;
  clear();
  auto* root = new QTreeWidgetItem(this, QStringList(QStringLiteral("All")));
  root->setData(0, kKindRole, kRootItem);
  root->setForeground(0, QBrush(Qt::white));
  root->setBackground(0, QBrush(Qt::black));
  for (int g = 0; g < directory.GroupCount(); ++g) {
    CSiteDirectory::Group* group = directory.GroupAt(g);
    auto* group_item = new QTreeWidgetItem(root, QStringList(QString::fromStdString(group->name)));
    group_item->setData(0, kKindRole, kGroupItem);
    group_item->setData(0, kPointerRole, QVariant::fromValue<void*>(group));
    for (auto& site : group->sites) {
      auto* site_item = new QTreeWidgetItem(group_item);
      site_item->setData(0, kKindRole, kSiteItem);
      site_item->setData(0, kPointerRole, QVariant::fromValue<void*>(site.get()));
      const SiteRecord& r = site->record;
      for (const std::string& line :
           {r.address, sites_ui::CountLine(app::LoadTextOr(app::kStrings, 217, "Channels"), r.channel_count),
            sites_ui::CountLine(app::LoadTextOr(app::kStrings, 218, "Port"), r.base_port)}) {
        auto* child = new QTreeWidgetItem(site_item, QStringList(QString::fromStdString(line)));
        child->setData(0, kKindRole, kLineItem);
      }
      UpdateSite(site.get());
      if (site.get() == selected_site) setCurrentItem(site_item);
    }
    group_item->setExpanded(true);
    if (group == selected_group && selected_site == nullptr) setCurrentItem(group_item);
  }
  root->setExpanded(true);
  if (root_selected) setCurrentItem(root);
}

QTreeWidgetItem* CSiteTree::ItemOf(const CSiteDirectory::Site* site) const {
  QTreeWidgetItem* root = topLevelItemCount() > 0 ? topLevelItem(0) : nullptr;
  if (root == nullptr) return nullptr;
  for (int g = 0; g < root->childCount(); ++g) {
    QTreeWidgetItem* group = root->child(g);
    for (int s = 0; s < group->childCount(); ++s) {
      if (group->child(s)->data(0, kPointerRole).value<void*>() == site) return group->child(s);
    }
  }
  return nullptr;
}

void CSiteTree::UpdateSite(const CSiteDirectory::Site* site) {
  QTreeWidgetItem* item = ItemOf(site);
  if (item == nullptr) return;
  const sites_ui::SiteStateTexts texts = sites_ui::TextsForState(site->last_code);
  item->setText(0, QString::fromStdString(sites_ui::TreeItemText(site->record.name, texts.tree_word)));
  // The column is narrow: the whole text, with the status, on hover.
  item->setToolTip(0, QString::fromStdString(site->status_text.empty() ? item->text(0).toStdString()
                                                                        : site->record.name + ": " + site->status_text));
}

sites_ui::Selection CSiteTree::SelectionKind() const {
  QTreeWidgetItem* item = currentItem();
  if (item == nullptr || !item->isSelected()) return sites_ui::Selection::kNone;
  switch (item->data(0, kKindRole).toInt()) {
    case kRootItem: return sites_ui::Selection::kRoot;
    case kGroupItem: return sites_ui::Selection::kGroup;
    case kSiteItem: return sites_ui::Selection::kSite;
    case kLineItem: return sites_ui::Selection::kSite;  // a site's line stands for the site
    default: return sites_ui::Selection::kNone;
  }
}

CSiteDirectory::Group* CSiteTree::SelectedGroup() const {
  QTreeWidgetItem* item = currentItem();
  if (item == nullptr || !item->isSelected() || item->data(0, kKindRole).toInt() != kGroupItem) return nullptr;
  return static_cast<CSiteDirectory::Group*>(item->data(0, kPointerRole).value<void*>());
}

CSiteDirectory::Site* CSiteTree::SelectedSite() const {
  QTreeWidgetItem* item = currentItem();
  if (item == nullptr || !item->isSelected()) return nullptr;
  if (item->data(0, kKindRole).toInt() == kLineItem) item = item->parent();
  if (item == nullptr || item->data(0, kKindRole).toInt() != kSiteItem) return nullptr;
  return static_cast<CSiteDirectory::Site*>(item->data(0, kPointerRole).value<void*>());
}

void CSiteTree::Select(const CSiteDirectory::Site* site) {
  if (QTreeWidgetItem* item = ItemOf(site)) {
    setCurrentItem(item);
    item->setSelected(true);
  }
}

// ---------------------------------------------------------------------------
// CSitePanel

void CSitePanel::SetTalkDeviceFactory(TalkDeviceFactory factory) { TalkFactoryRef() = std::move(factory); }

bool CSitePanel::StartTalkOn(CDvrSite& site) {
  const int started = TalkFactoryRef() ? site.StartTalk(TalkFactoryRef()()) : site.StartTalk();
  if (started == 1) return true;
  talk_->setChecked(false);
  Tell(QString::fromLatin1(kAudioDeviceOpenErrorText));
  return false;
}

void CSitePanel::SetDialogHooks(GroupNameHook group, SiteHook site) {
  GroupHookRef() = std::move(group);
  SiteHookRef() = std::move(site);
}

CSitePanel::CSitePanel(ISitePanelHost* host, QWidget* parent) : QWidget(parent), host_(host) {
  setProperty("controlId", 462);
  directory_ = std::make_unique<CSiteDirectory>(
      [this](int id, int code) {
        QMetaObject::invokeMethod(this, [this, id, code] { HandleCode(id, code); }, Qt::QueuedConnection);
      },
      [this](int id, const EventRecord& record) {
        QMetaObject::invokeMethod(this, [this, id, record] { emit siteEvent(id, record); }, Qt::QueuedConnection);
      });

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(4);
  tabs_ = new QTabWidget(this);
  layout->addWidget(tabs_, 3);
  auto* sites_page = new QWidget(tabs_);
  auto* sites_layout = new QVBoxLayout(sites_page);
  sites_layout->setContentsMargins(2, 2, 2, 2);
  sites_layout->setSpacing(4);
  tree_ = new CSiteTree(sites_page);
  sites_layout->addWidget(tree_, 1);
  connect(tree_, &CSiteTree::siteActivated, this, &CSitePanel::MakeCurrent);
  tabs_->addTab(sites_page, Str(app::text::kStrSitesPanel, "Sites"));

  auto* buttons = new QGridLayout();
  buttons->setSpacing(3);
  struct Def {
    int control;
    int text;
    const char* fallback;
    void (CSitePanel::*action)();
  };
  const Def defs[] = {
      {1190, app::text::kStrConnect, "Connect", &CSitePanel::Connect},
      {1191, app::text::kStrDisconnect, "Disconnect", &CSitePanel::Disconnect},
      {1760, app::text::kStrAddGroup, "Add group", &CSitePanel::AddGroup},
      {1761, app::text::kStrAddSite, "Add site", &CSitePanel::AddSite},
      {1762, app::text::kStrModify, "Modify", &CSitePanel::Modify},
      {1763, app::text::kStrDelete, "Delete", &CSitePanel::Delete},
  };
  int i = 0;
  for (const Def& d : defs) {
    auto* b = new QPushButton(Str(d.text, d.fallback), sites_page);
    b->setProperty("controlId", d.control);
    b->setObjectName("siteButton");
    connect(b, &QPushButton::clicked, this, d.action);
    buttons->addWidget(b, i / 2, i % 2);
    ++i;
  }
  sites_layout->addLayout(buttons);

  // The predefined camera lists: choose one to show it; edit or add lists.
  auto* lists_page = new QWidget(tabs_);
  auto* lists_layout = new QVBoxLayout(lists_page);
  lists_layout->setContentsMargins(2, 2, 2, 2);
  lists_layout->setSpacing(4);
  list_tree_ = new CPredefinedListTree(lists_page);
  lists_layout->addWidget(list_tree_, 1);
  connect(list_tree_, &CPredefinedListTree::listChosen, this, [this](int index) { ShowList(index); });
  auto* list_buttons = new QGridLayout();
  list_buttons->setSpacing(3);
  const struct {
    int text;
    const char* fallback;
    std::function<void()> action;
  } list_defs[] = {
      {app::text::kStrListShow, "Show", [this] { ShowList(list_tree_->CurrentList()); }},
      {app::text::kStrListClose, "Live", [this] { CloseListView(); }},
      {app::text::kStrListNew, "New list", [this] { EditList(-1); }},
      {app::text::kStrListEdit, "Edit list", [this] { EditList(list_tree_->CurrentList()); }},
  };
  int j = 0;
  for (const auto& d : list_defs) {
    auto* b = new QPushButton(Str(d.text, d.fallback), lists_page);
    b->setObjectName("siteButton");
    connect(b, &QPushButton::clicked, this, d.action);
    list_buttons->addWidget(b, j / 2, j % 2);
    ++j;
  }
  lists_layout->addLayout(list_buttons);
  tabs_->addTab(lists_page, Str(app::text::kStrListsTab, "Lists"));
  talk_ = new QCheckBox(Str(app::text::kStrTalk, "Talk"), this);
  talk_->setProperty("controlId", 1768);
  connect(talk_, &QCheckBox::clicked, this, &CSitePanel::SetTalk);
  layout->addWidget(talk_);
  status_list_ = new QListWidget(this);
  status_list_->setObjectName("statusList");
  status_list_->setFocusPolicy(Qt::NoFocus);
  status_list_->setWordWrap(true);
  layout->addWidget(status_list_, 1);
}

CSitePanel::~CSitePanel() { StopEverything(); }

bool CSitePanel::Tell(const QString& text, bool question) {
  if (question) return CSitePrompts::Ask(this, 0, text);
  CSitePrompts::Show(this, 0, text);
  return true;
}

bool CSitePanel::TellMessage(int number, bool question) {
  const QString text = QString::fromStdString(app::LoadText(app::kMessage, number));
  if (question) return CSitePrompts::Ask(this, number, text);
  CSitePrompts::Show(this, number, text);
  return true;
}

namespace {

bool RunGroupDialog(QWidget* parent, const SiteDirectoryData& data, int renamed_group, std::string* name) {
  CGroupDialog dialog(data, renamed_group, parent);
  if (dialog.exec() != QDialog::Accepted) return false;
  *name = dialog.Name();
  return true;
}

bool RunSiteDialog(QWidget* parent, const SiteDirectoryData& data, const SiteRecord* existing, SiteRecord* out) {
  CSiteDialog dialog(data, existing, parent);
  if (dialog.exec() != QDialog::Accepted) return false;
  *out = dialog.Record();
  return true;
}

}  // namespace

void CSitePanel::LoadDirectory() {
  const SiteLoadResult result = directory_->Load();
  tree_->Rebuild(*directory_);
  if (!result.Ok()) {
    Tell(QString::fromStdString("site.dat: " + result.reason +
                                " (the file is kept as site.dat.bad when the directory is next saved)"));
  }
}

CDvrSite* CSitePanel::CurrentSite() const { return current_ != nullptr ? current_->runtime.get() : nullptr; }

CDvrSite* CSitePanel::SelectedOrCurrentSite() const {
  if (CSiteDirectory::Site* site = tree_->SelectedSite()) return site->runtime.get();
  return CurrentSite();
}

void CSitePanel::SetState(CSiteDirectory::Site* site, int state) {
  site->last_code = state;
  site->status_text = sites_ui::TextsForState(state).status;
  tree_->UpdateSite(site);
}

void CSitePanel::RefreshStatusList() {
  status_list_->clear();
  for (CSiteDirectory::Site* site : directory_->AllSites()) {
    if (site->status_text.empty()) continue;
    status_list_->addItem(QString::fromStdString(site->record.name + ": " + site->status_text));
  }
}

void CSitePanel::Connect() {
  CSiteDirectory::Site* site = tree_->SelectedSite();
  const int check = sites_ui::CheckConnect(tree_->SelectionKind(), site != nullptr && CSiteDirectory::IsBusy(site));
  if (check < 0) return;
  if (check > 0) {
    TellMessage(check);
    return;
  }
  ConnectSite(site);
  RefreshStatusList();
  host_->SitesChanged();
}

bool CSitePanel::ConnectByName(const std::string& name) {
  CSiteDirectory::Site* site = directory_->FindByName(name);
  if (site == nullptr || CSiteDirectory::IsBusy(site)) return false;
  ConnectSite(site);
  RefreshStatusList();
  return true;
}

void CSitePanel::ConnectSite(CSiteDirectory::Site* site) {
  SetState(site, sites_ui::kStateConnecting);
  site->status_text.clear();
  site->session_active = true;
  CDvrSite& runtime = *site->runtime;
  SiteRecord record = site->record;
  if (record.channel_count < 1) record.channel_count = 16;
  runtime.SetRecord(record);
  runtime.SetPictureSink(host_->View());
  runtime.SetPlayer(host_->Player());
  runtime.StartControl();
}

void CSitePanel::Disconnect() {
  const sites_ui::Selection selection = tree_->SelectionKind();
  const int check = sites_ui::CheckDisconnect(selection, CurrentSite() != nullptr && CurrentSite()->IsConnected());
  if (check > 0) {
    TellMessage(check);
    return;
  }
  std::vector<CSiteDirectory::Site*> sites;
  if (selection == sites_ui::Selection::kRoot) {
    sites = directory_->AllSites();
  } else if (selection == sites_ui::Selection::kGroup) {
    for (auto& s : tree_->SelectedGroup()->sites) sites.push_back(s.get());
  } else if (selection == sites_ui::Selection::kSite) {
    sites.push_back(tree_->SelectedSite());
  }
  for (CSiteDirectory::Site* site : sites) {
    // A pause before each connected site lets the DVR see one logout at a
    // time.
    if (site->runtime->IsConnected()) QThread::msleep(static_cast<unsigned long>(disconnect_pause_ms_));
    DisconnectSite(site);
  }
  host_->StopRotation();
  host_->View()->ClearAll();
  directory_->Save();
  RefreshStatusList();
  host_->SitesChanged();
}

void CSitePanel::DisconnectSite(CSiteDirectory::Site* site) {
  CDvrSite& runtime = *site->runtime;
  if (runtime.IsConnected() || site->session_active) SetState(site, sites_ui::kStateDisconnected);
  if (host_->InRemotePlaybackOf(&runtime)) host_->ReturnToLive();
  runtime.StopTalk();
  if (site == current_) {
    talk_->setChecked(false);
    runtime.SetLiveDisplay(false);
    current_ = nullptr;
  }
  runtime.StopAll();
  if (!list_view_) {
    host_->View()->ClearAll();
  } else if (InList(site)) {
    for (size_t i = 0; i < list_slot_sites_.size(); ++i) {
      if (list_slot_sites_[i] == site) host_->View()->ClearChannel(static_cast<int>(i), 1);
    }
  }
  site->session_active = false;
}

void CSitePanel::StopEverything() {
  if (!directory_) return;
  for (ListSite& l : list_sites_) l.site->runtime->SetPictureSink(nullptr);
  list_sites_.clear();
  list_view_ = false;
  for (CSiteDirectory::Site* site : directory_->AllSites()) site->runtime->StopTalk();
  for (CSiteDirectory::Site* site : directory_->AllSites()) {
    site->runtime->StopAll();
    site->runtime->SetPictureSink(nullptr);
    site->runtime->SetPlayer(nullptr);
    site->session_active = false;
  }
  current_ = nullptr;
}

void CSitePanel::ShowSite(CSiteDirectory::Site* site) {
  CDvrView* view = host_->View();
  CDvrSite& runtime = *site->runtime;
  const int channels = runtime.ChannelCount();
  view->SetChannelCount(channels);
  view->SetSplit(app::PanesForChannels(channels), 0);
  view->ClearAll();
  const SiteRecord record = runtime.Record();
  for (int c = 0; c < channels; ++c) {
    view->SetTitle(c, record.name.c_str());
    view->SetSource(c, record.address.c_str());
    view->SetLabel(c, runtime.ChannelName(c).c_str());
  }
}

void CSitePanel::StartLiveFor(CSiteDirectory::Site* site) {
  CDvrSite& runtime = *site->runtime;
  if (current_ != nullptr && current_ != site) {
    current_->runtime->SetLiveDisplay(false);
    if (talk_->isChecked()) current_->runtime->StopTalk();
  }
  current_ = site;
  ShowSite(site);
  // Shown before its streams start, so the first key picture of each
  // channel is drawn rather than dropped.
  runtime.SetLiveDisplay(true);
  runtime.StartLive();
  runtime.UpdateLiveMask();
  if (talk_->isChecked()) StartTalkOn(runtime);
  site->status_text.clear();
}

void CSitePanel::MakeCurrent(CSiteDirectory::Site* site) {
  if (site == nullptr || !site->runtime->IsConnected()) return;
  // Showing one site ends the list view.
  if (list_view_) {
    if (current_ != nullptr && current_ != site) current_->runtime->SetLiveDisplay(false);
    current_ = nullptr;
    CloseListView();
  }
  if (site == current_) return;
  if (current_ != nullptr) {
    current_->runtime->SetLiveDisplay(false);
    current_->runtime->StopTalk();
  }
  host_->View()->ClearAll();
  current_ = site;
  ShowSite(site);
  site->runtime->SetLiveDisplay(true);
  site->runtime->UpdateLiveMask();
  if (talk_->isChecked()) StartTalkOn(*site->runtime);
  host_->SitesChanged();
}

void CSitePanel::SetTalk(bool on) {
  CDvrSite* site = CurrentSite();
  if (!on) {
    if (site != nullptr) site->StopTalk();
    return;
  }
  if (site == nullptr || !site->IsConnected()) {
    talk_->setChecked(false);
    TellMessage(app::text::kMsgNotConnectedTalk);
    return;
  }
  StartTalkOn(*site);
}

void CSitePanel::HandleCode(int site_id, int code) {
  CSiteDirectory::Site* site = directory_->FindById(site_id);
  // A report queued before the operator disconnected the site is stale.
  if (site == nullptr || !site->session_active) return;
  CDvrSite& runtime = *site->runtime;
  if (code == kSiteTalkSendFailed) {
    // The site ended talk with the DVR; close the capture here, on this
    // thread, never on the capture thread itself.
    if (site == current_) talk_->setChecked(false);
    runtime.StopTalk();
  } else if (code == kSiteStreamLostPrimary || code == kSiteStreamLostSecondary) {
    site->status_text = sites_ui::TextsForState(11).status;
  }
  switch (sites_ui::ActionForCode(code)) {
    case sites_ui::CodeAction::kFollowUp:
      SetState(site, code);
      runtime.SendFollowUpRequests();
      break;
    case sites_ui::CodeAction::kReconnect:
      DisconnectSite(site);
      ConnectSite(site);
      break;
    case sites_ui::CodeAction::kStateTexts:
      SetState(site, code);
      if (code == 11) {
        host_->StopRotation();
        if (site == current_) talk_->setChecked(false);
        runtime.StopTalk();
      }
      break;
    case sites_ui::CodeAction::kStartLive:
      if (!runtime.LiveStarted()) {
        if (list_view_ && InList(site)) {
          // The list view shows this DVR's slots; the grid stays the list's.
          runtime.SetLiveDisplay(true);
          runtime.StartLive();
          runtime.UpdateLiveMask();
          if (current_ == nullptr) current_ = site;
        } else if (list_view_) {
          runtime.StartLive();
          if (current_ == nullptr) current_ = site;
        } else {
          StartLiveFor(site);
        }
        runtime.RequestCameraNames();
      }
      break;
    case sites_ui::CodeAction::kCameraNames:
      if (list_view_) {
        RefreshListView();
      } else if (site == current_) {
        for (int c = 0; c < runtime.ChannelCount(); ++c) host_->View()->SetLabel(c, runtime.ChannelName(c).c_str());
      }
      break;
    case sites_ui::CodeAction::kPlatform:
      directory_->UpdatePlatformCode(site, runtime.PlatformCode());
      break;
    case sites_ui::CodeAction::kStreamRunning:
      if (ShowCovertChannels()) {
        if (CDualLiveStream* live = runtime.LivePair()) live->ShowHiddenChannels();
      }
      break;
    case sites_ui::CodeAction::kTalkRefused:
      if (site == current_) talk_->setChecked(false);
      runtime.StopTalk();
      TellMessage(104);
      break;
    case sites_ui::CodeAction::kTalkBusy:
      if (site == current_) talk_->setChecked(false);
      runtime.StopTalk();
      Tell(QString::fromLatin1(sites_ui::kAudioPortsBusyText));
      break;
    default:
      break;
  }
  if (list_view_ && sites_ui::IsStateCode(code)) RefreshListView();
  RefreshStatusList();
  host_->SitesChanged();
  emit siteCodeHandled(site_id, code);
}

void CSitePanel::AddGroup() {
  const sites_ui::Selection selection = tree_->SelectionKind();
  if (selection != sites_ui::Selection::kRoot && selection != sites_ui::Selection::kNone) return;
  std::string name;
  const SiteDirectoryData data = directory_->Data();
  const bool ok = GroupHookRef() ? GroupHookRef()(this, data, &name) : RunGroupDialog(this, data, -1, &name);
  if (!ok) return;
  const SiteFieldError error = directory_->AddGroup(name);
  if (error != SiteFieldError::kNone) {
    Tell(QString::fromLatin1(SiteFieldErrorText(error)));
    return;
  }
  tree_->Rebuild(*directory_);
}

void CSitePanel::AddSite() {
  CSiteDirectory::Group* group = tree_->SelectedGroup();
  if (group == nullptr) return;
  SiteRecord record;
  const SiteDirectoryData data = directory_->Data();
  const bool ok = SiteHookRef() ? SiteHookRef()(this, data, nullptr, &record) : RunSiteDialog(this, data, nullptr, &record);
  if (!ok) return;
  CSiteDirectory::Site* added = nullptr;
  const SiteFieldError error = directory_->AddSite(group, record, &added);
  if (error != SiteFieldError::kNone) {
    if (SiteFieldMessage(error) == 33) {
      Tell(QString::fromStdString(app::LoadText(app::kMessage, 33) + " " + record.name));
    } else {
      Tell(QString::fromLatin1(SiteFieldErrorText(error)));
    }
    return;
  }
  tree_->Rebuild(*directory_);
  tree_->Select(added);
}

void CSitePanel::Modify() {
  if (CSiteDirectory::Site* site = tree_->SelectedSite()) {
    SiteRecord record;
    const SiteDirectoryData data = directory_->Data();
    const bool ok = SiteHookRef() ? SiteHookRef()(this, data, &site->record, &record)
                                  : RunSiteDialog(this, data, &site->record, &record);
    if (!ok) return;
    const SiteFieldError error = directory_->ModifySite(site, record);
    if (error != SiteFieldError::kNone) {
      Tell(QString::fromLatin1(SiteFieldErrorText(error)));
      return;
    }
    tree_->Rebuild(*directory_);
    if (site == current_) ShowSite(site);
    host_->SitesChanged();
    return;
  }
  if (CSiteDirectory::Group* group = tree_->SelectedGroup()) {
    std::string name = group->name;
    const SiteDirectoryData data = directory_->Data();
    const bool ok = GroupHookRef() ? GroupHookRef()(this, data, &name)
                                   : RunGroupDialog(this, data, directory_->GroupIndex(group), &name);
    if (!ok) return;
    const SiteFieldError error = directory_->RenameGroup(group, name);
    if (error != SiteFieldError::kNone) {
      Tell(QString::fromLatin1(SiteFieldErrorText(error)));
      return;
    }
    tree_->Rebuild(*directory_);
  }
}

void CSitePanel::Delete() {
  const QString refused = QString::fromStdString(app::LoadText(app::kMessage, app::text::kMsgDeleteRefusedConnected));
  switch (tree_->SelectionKind()) {
    case sites_ui::Selection::kRoot:
      if (directory_->AnyBusy()) {
        Tell(refused);
        return;
      }
      if (TellMessage(11, true)) directory_->DeleteAll();
      break;
    case sites_ui::Selection::kGroup: {
      CSiteDirectory::Group* group = tree_->SelectedGroup();
      if (directory_->AnyBusy(group)) {
        Tell(refused);
        return;
      }
      if (Tell(QString::fromStdString(app::LoadText(app::kMessage, 101) + " " + group->name + "?"), true)) {
        directory_->DeleteGroup(group);
      }
      break;
    }
    case sites_ui::Selection::kSite: {
      CSiteDirectory::Site* site = tree_->SelectedSite();
      if (CSiteDirectory::IsBusy(site)) {
        Tell(refused);
        return;
      }
      if (Tell(QString::fromStdString(app::LoadText(app::kMessage, 13) + " " + site->record.name + "?"), true)) {
        directory_->DeleteSite(site);
      }
      break;
    }
    default:
      return;
  }
  tree_->Rebuild(*directory_);
  RefreshStatusList();
}

// ---------------------------------------------------------------------------
// The predefined-list view

bool CSitePanel::InList(const CSiteDirectory::Site* site) const {
  for (const ListSite& l : list_sites_) {
    if (l.site == site) return true;
  }
  return false;
}

void CSitePanel::EditList(int index) {
  CPredefinedListEditor editor(index, this);
  editor.exec();
  list_tree_->Reload();
}

bool CSitePanel::ShowList(int index) {
  list_tree_->Reload();
  const std::vector<PredefinedList>& lists = list_tree_->Lists();
  if (index < 0 || index >= static_cast<int>(lists.size())) return false;
  const PredefinedList& list = lists[static_cast<size_t>(index)];
  const std::vector<int> shown = TreeSlotNumbers(list);
  if (shown.empty()) return false;
  CloseListView();

  // The current site stops drawing; its live pair keeps running.
  if (current_ != nullptr) current_->runtime->SetLiveDisplay(false);
  CDvrView* view = host_->View();
  int panes = 1;
  for (int count : {1, 4, 9, 16, 25, 36, 64}) {
    panes = count;
    if (count >= shown.back()) break;
  }
  view->ClearAll();
  view->SetGridMode(3);
  view->SetChannelCount(panes);
  view->SetSplit(panes, 0);

  list_slots_.assign(CPredefinedSink::kSlots, PredefinedSlot{});
  list_slot_sites_.assign(CPredefinedSink::kSlots, nullptr);
  for (int number : shown) {
    const PredefinedSlot& slot = list.Slot(number);
    list_slots_[static_cast<size_t>(number - 1)] = slot;
    CSiteDirectory::Site* site = directory_->FindByName(slot.dvr_name);
    if (site == nullptr) {
      // A DVR renamed since the list was made is still found by where it is.
      for (CSiteDirectory::Site* s : directory_->AllSites()) {
        if (s->record.address == slot.address && s->record.base_port == slot.port) site = s;
      }
    }
    list_slot_sites_[static_cast<size_t>(number - 1)] = site;
    if (site == nullptr) continue;
    auto it = std::find_if(list_sites_.begin(), list_sites_.end(), [site](const ListSite& l) { return l.site == site; });
    if (it == list_sites_.end()) {
      list_sites_.push_back(ListSite{site, std::make_unique<CPredefinedSink>(view)});
      it = list_sites_.end() - 1;
    }
    it->sink->Map(number - 1, slot.channel);
  }
  list_view_ = true;
  for (ListSite& l : list_sites_) {
    CDvrSite& runtime = *l.site->runtime;
    runtime.SetPictureSink(l.sink.get());
    if (runtime.LiveStarted()) {
      runtime.SetLiveDisplay(true);
      runtime.UpdateLiveMask();
    } else if (!CSiteDirectory::IsBusy(l.site)) {
      ConnectSite(l.site);
      runtime.SetPictureSink(l.sink.get());
    }
  }
  RefreshListView();
  host_->StopRotation();
  host_->SitesChanged();
  return true;
}

void CSitePanel::RefreshListView() {
  if (!list_view_) return;
  CDvrView* view = host_->View();
  for (size_t i = 0; i < list_slots_.size(); ++i) {
    const PredefinedSlot& slot = list_slots_[i];
    if (slot.dvr_name.empty() && list_slot_sites_[i] == nullptr) continue;
    const CSiteDirectory::Site* site = list_slot_sites_[i];
    const int state = site == nullptr ? sites_ui::kStateIdle : site->last_code;
    std::string word = sites_ui::TextsForState(state).tree_word;
    if (site == nullptr) word = "NULL";
    const int pane = static_cast<int>(i);
    const std::string title = SlotStateText(pane + 1, slot, word);
    view->SetTitle(pane, title.c_str());
    if (site != nullptr) {
      view->SetSource(pane, site->record.address.c_str());
      view->SetLabel(pane, site->runtime->ChannelName(slot.channel).c_str());
    }
  }
}

void CSitePanel::CloseListView() {
  if (!list_view_) return;
  list_view_ = false;
  // Each site lets go of its list sink (waiting for calls in flight) before
  // the sink goes, then draws into the grid again when it is the current one.
  for (ListSite& l : list_sites_) {
    l.site->runtime->SetLiveDisplay(false);
    l.site->runtime->SetPictureSink(host_->View());
    if (l.site != current_) l.site->runtime->UpdateLiveMask();
  }
  list_sites_.clear();
  list_slots_.clear();
  list_slot_sites_.clear();
  CDvrView* view = host_->View();
  view->SetGridMode(0);
  view->ClearAll();
  if (current_ != nullptr && current_->runtime->IsConnected()) {
    ShowSite(current_);
    current_->runtime->SetLiveDisplay(true);
    current_->runtime->UpdateLiveMask();
  } else {
    view->SetChannelCount(16);
    view->SetSplit(16, 0);
  }
  host_->SitesChanged();
}
