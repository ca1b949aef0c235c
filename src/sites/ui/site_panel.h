// CSitePanel: the site tree of the main window with its buttons, the talk
// box and the connection status list. The operator adds, edits and deletes
// groups and sites here, connects and disconnects them, and double-clicks a
// connected site to show it in the grid. The panel receives every code the
// sites report (on the user-interface thread, by site id) and turns them
// into tree texts, follow-up requests, the start of live video and the
// switch of the current site.
#pragma once
#include <QTreeWidget>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

#include "audio/audio_device.h"
#include "sites/predefined_lists.h"
#include "sites/site_directory.h"
#include "sites/ui/site_panel_model.h"

class CDvrView;
class CPredefinedListTree;
class CPredefinedSink;
class CWaveOutPlayer;
class QTabWidget;
class QAbstractButton;
class QCheckBox;
class QListWidget;

// What the panel needs of the main window.
class ISitePanelHost {
 public:
  virtual ~ISitePanelHost() = default;
  virtual CDvrView* View() = 0;
  virtual CWaveOutPlayer* Player() = 0;
  // The main window plays this site back remotely; it returns to live.
  virtual bool InRemotePlaybackOf(CDvrSite* site) = 0;
  virtual void ReturnToLive() = 0;
  virtual bool IsLiveMode() = 0;
  virtual void StopRotation() = 0;
  // The current site changed, or a site's state did: titles and buttons.
  virtual void SitesChanged() = 0;
};

// The tree: root "All", the groups, the sites with their three lines.
class CSiteTree : public QTreeWidget {
  Q_OBJECT
 public:
  explicit CSiteTree(QWidget* parent = nullptr);
  // Builds the items again from the directory, keeping the selection.
  void Rebuild(CSiteDirectory& directory);
  // Updates one site's item text.
  void UpdateSite(const CSiteDirectory::Site* site);
  sites_ui::Selection SelectionKind() const;
  CSiteDirectory::Group* SelectedGroup() const;
  CSiteDirectory::Site* SelectedSite() const;
  void Select(const CSiteDirectory::Site* site);
  QTreeWidgetItem* ItemOf(const CSiteDirectory::Site* site) const;

 signals:
  void siteActivated(CSiteDirectory::Site* site);
};

class CSitePanel : public QWidget {
  Q_OBJECT
 public:
  // Message boxes and questions go through CSitePrompts. Dialogs for names and sites, replaceable by tests: return false on
  // cancel.
  using GroupNameHook = std::function<bool(QWidget* parent, const SiteDirectoryData& data, std::string* name)>;
  using SiteHook =
      std::function<bool(QWidget* parent, const SiteDirectoryData& data, const SiteRecord* existing, SiteRecord* out)>;
  static void SetDialogHooks(GroupNameHook group, SiteHook site);

  // Where talk captures from: the default input device unless a factory is
  // set (tests give a fake microphone).
  using TalkDeviceFactory = std::function<std::unique_ptr<IAudioInput>()>;
  static void SetTalkDeviceFactory(TalkDeviceFactory factory);

  CSitePanel(ISitePanelHost* host, QWidget* parent = nullptr);
  ~CSitePanel() override;

  // Reads site.dat; a damaged file is reported once.
  void LoadDirectory();
  CSiteDirectory& Directory() { return *directory_; }
  CSiteTree* Tree() { return tree_; }
  QCheckBox* TalkBox() { return talk_; }
  QListWidget* StatusList() { return status_list_; }

  // The site shown in the grid, or nullptr.
  CDvrSite* CurrentSite() const;
  CSiteDirectory::Site* CurrentEntry() const { return current_; }
  // The tree's selected site, else the current site.
  CDvrSite* SelectedOrCurrentSite() const;

  // The buttons.
  void Connect();
  void Disconnect();
  void AddGroup();
  void AddSite();
  void Modify();
  void Delete();
  void SetTalk(bool on);
  // The tree's double click: show this connected site.
  void MakeCurrent(CSiteDirectory::Site* site);
  // Connects a site by name (the command line's and tests' way in).
  bool ConnectByName(const std::string& name);
  // Ends every session of every site (shutdown): talk first, then the
  // sessions, joined.
  void StopEverything();

  // The predefined-list view: the grid shows the list's slots, each with
  // one channel of one DVR of the directory (found by the slot's DVR name,
  // else by its address and port); the DVRs not connected yet are
  // connected. Closing it returns the grid to the current site.
  bool ShowList(int index);
  void CloseListView();
  bool InListView() const { return list_view_; }
  CPredefinedListTree* ListTree() { return list_tree_; }
  // Opens the list editor for a new list (-1) or the chosen one.
  void EditList(int index);

  // A site's report, on the user-interface thread.
  void HandleCode(int site_id, int code);

  // Wait before disconnecting each connected site.
  void SetDisconnectPauseMs(int ms) { disconnect_pause_ms_ = ms; }

 signals:
  void siteCodeHandled(int site_id, int code);
  void siteEvent(int site_id, const EventRecord& record);

 private:
  void ConnectSite(CSiteDirectory::Site* site);
  void DisconnectSite(CSiteDirectory::Site* site);
  void StartLiveFor(CSiteDirectory::Site* site);
  void ShowSite(CSiteDirectory::Site* site);
  void SetState(CSiteDirectory::Site* site, int state);
  void RefreshStatusList();
  void RefreshListView();
  bool InList(const CSiteDirectory::Site* site) const;
  bool Tell(const QString& text, bool question = false);
  bool TellMessage(int number, bool question = false);
  // Starts talk on the site; false (talk box cleared, the operator told)
  // when the microphone could not be opened.
  bool StartTalkOn(CDvrSite& site);

  ISitePanelHost* host_;
  std::unique_ptr<CSiteDirectory> directory_;
  CSiteDirectory::Site* current_ = nullptr;
  CSiteTree* tree_ = nullptr;
  QListWidget* status_list_ = nullptr;
  QCheckBox* talk_ = nullptr;
  QTabWidget* tabs_ = nullptr;
  CPredefinedListTree* list_tree_ = nullptr;
  int disconnect_pause_ms_ = 100;

  // The predefined-list view.
  struct ListSite {
    CSiteDirectory::Site* site = nullptr;
    std::unique_ptr<CPredefinedSink> sink;
  };
  bool list_view_ = false;
  std::vector<PredefinedSlot> list_slots_;                // slot n at index n - 1
  std::vector<CSiteDirectory::Site*> list_slot_sites_;    // the site of each slot, or nullptr
  std::vector<ListSite> list_sites_;
};
