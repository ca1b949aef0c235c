// CSiteDirectory: the directory the operator works with — groups of sites,
// each site with its run-time object — loaded from and saved to site.dat
// (with its site_db.ini mirror). Every change is saved at once. The
// directory decides what may be deleted; the windows only ask it.
// User-interface thread only.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "protocol/event_record.h"
#include "sites/dvr_site.h"
#include "sites/site_directory_store.h"

class CSiteDirectory {
 public:
  struct Site {
    SiteRecord record;
    std::unique_ptr<CDvrSite> runtime;
    bool session_active = false;  // a connection was asked for and not ended by the operator
    std::string status_text;      // the connection status list's text, at most 79 characters
    int last_code = 0;            // the last notification that changed the site's texts
  };
  struct Group {
    std::string name;
    std::vector<std::unique_ptr<Site>> sites;
  };

  // Reports of the sites' worker threads; must post and return at once.
  using CodePoster = std::function<void(int site_id, int code)>;
  using EventPoster = std::function<void(int site_id, const EventRecord& record)>;

  CSiteDirectory(CodePoster codes, EventPoster events);
  ~CSiteDirectory();
  CSiteDirectory(const CSiteDirectory&) = delete;
  CSiteDirectory& operator=(const CSiteDirectory&) = delete;

  // Replaces the directory with site.dat of the user folder (or path).
  SiteLoadResult Load();
  SiteLoadResult LoadFrom(const std::string& path, const std::string& mirror_path);
  // Writes site.dat and its mirror; a damaged file read earlier is kept
  // aside first.
  SiteSaveResult Save();
  const SiteLoadResult& LastLoad() const { return last_load_; }

  int GroupCount() const { return static_cast<int>(groups_.size()); }
  Group* GroupAt(int index);
  int GroupIndex(const Group* group) const;
  Group* GroupOf(const Site* site);
  // The site whose run-time object has this id, or nullptr.
  Site* FindById(int site_id);
  Site* FindByName(const std::string& name);
  std::vector<Site*> AllSites();
  // The stored fields in directory form, for the dialogs' checks.
  SiteDirectoryData Data() const;
  SitePosition PositionOf(const Site* site) const;

  // Edits; each saves. The SiteFieldError refuses and changes nothing.
  SiteFieldError AddGroup(const std::string& name, Group** added = nullptr);
  SiteFieldError RenameGroup(Group* group, const std::string& name);
  SiteFieldError AddSite(Group* group, const SiteRecord& record, Site** added = nullptr);
  // Name, address, user ID, password and port; the channel count, model and
  // platform code keep their stored values.
  SiteFieldError ModifySite(Site* site, const SiteRecord& record);
  // The DVR told its platform code: kept and saved when it changed.
  void UpdatePlatformCode(Site* site, int platform_code);

  // A site with any session running (control, live, talk, or a connection
  // asked for) is busy and is neither deleted nor removed with its group.
  static bool IsBusy(const Site* site);
  bool AnyBusy();
  bool AnyBusy(Group* group);
  // Deletions; false when something busy refused it (nothing deleted).
  bool DeleteAll();
  bool DeleteGroup(Group* group);
  bool DeleteSite(Site* site);

  // The result of the last save an edit made.
  const SiteSaveResult& LastSave() const { return last_save_; }

 private:
  std::unique_ptr<Site> MakeSite(const SiteRecord& record);

  CodePoster codes_;
  EventPoster events_;
  class Observer;
  std::unique_ptr<Observer> observer_;
  std::vector<std::unique_ptr<Group>> groups_;
  SiteLoadResult last_load_;
  SiteSaveResult last_save_;
  std::string path_;
  std::string mirror_path_;
};
