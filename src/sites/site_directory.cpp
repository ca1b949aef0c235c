#include "sites/site_directory.h"

#include <algorithm>

class CSiteDirectory::Observer final : public ISiteObserver {
 public:
  explicit Observer(CSiteDirectory* owner) : owner_(owner) {}
  void OnSiteCode(int site_id, int code) override {
    if (owner_->codes_) owner_->codes_(site_id, code);
  }
  void OnSiteEvent(int site_id, const EventRecord& record) override {
    if (owner_->events_) owner_->events_(site_id, record);
  }

 private:
  CSiteDirectory* owner_;
};

CSiteDirectory::CSiteDirectory(CodePoster codes, EventPoster events)
    : codes_(std::move(codes)), events_(std::move(events)), observer_(std::make_unique<Observer>(this)) {
  path_ = SiteDatPath();
  mirror_path_ = SiteMirrorPath();
}

CSiteDirectory::~CSiteDirectory() {
  // Every site's sessions end and are joined before the objects go.
  for (Site* site : AllSites()) {
    site->runtime->StopAll();
    site->runtime->SetObserver(nullptr);
  }
  groups_.clear();
}

std::unique_ptr<CSiteDirectory::Site> CSiteDirectory::MakeSite(const SiteRecord& record) {
  auto site = std::make_unique<Site>();
  site->record = record;
  site->runtime = std::make_unique<CDvrSite>(record);
  site->runtime->SetObserver(observer_.get());
  return site;
}

SiteLoadResult CSiteDirectory::Load() { return LoadFrom(SiteDatPath(), SiteMirrorPath()); }

SiteLoadResult CSiteDirectory::LoadFrom(const std::string& path, const std::string& mirror_path) {
  path_ = path;
  mirror_path_ = mirror_path;
  SiteDirectoryData data;
  last_load_ = LoadSiteDirectory(path, &data);
  for (Site* site : AllSites()) site->runtime->StopAll();
  groups_.clear();
  for (const SiteGroup& g : data.groups) {
    auto group = std::make_unique<Group>();
    group->name = g.name;
    for (const SiteRecord& r : g.sites) group->sites.push_back(MakeSite(r));
    groups_.push_back(std::move(group));
  }
  return last_load_;
}

SiteSaveResult CSiteDirectory::Save() {
  last_save_ = SaveSiteDirectory(path_, mirror_path_, Data(), &last_load_);
  return last_save_;
}

CSiteDirectory::Group* CSiteDirectory::GroupAt(int index) {
  return index >= 0 && index < GroupCount() ? groups_[index].get() : nullptr;
}

int CSiteDirectory::GroupIndex(const Group* group) const {
  for (size_t i = 0; i < groups_.size(); ++i) {
    if (groups_[i].get() == group) return static_cast<int>(i);
  }
  return -1;
}

CSiteDirectory::Group* CSiteDirectory::GroupOf(const Site* site) {
  for (auto& g : groups_) {
    for (auto& s : g->sites) {
      if (s.get() == site) return g.get();
    }
  }
  return nullptr;
}

CSiteDirectory::Site* CSiteDirectory::FindById(int site_id) {
  for (auto& g : groups_) {
    for (auto& s : g->sites) {
      if (s->runtime->Id() == site_id) return s.get();
    }
  }
  return nullptr;
}

CSiteDirectory::Site* CSiteDirectory::FindByName(const std::string& name) {
  for (auto& g : groups_) {
    for (auto& s : g->sites) {
      if (s->record.name == name) return s.get();
    }
  }
  return nullptr;
}

std::vector<CSiteDirectory::Site*> CSiteDirectory::AllSites() {
  std::vector<Site*> all;
  for (auto& g : groups_) {
    for (auto& s : g->sites) all.push_back(s.get());
  }
  return all;
}

SiteDirectoryData CSiteDirectory::Data() const {
  SiteDirectoryData data;
  for (const auto& g : groups_) {
    SiteGroup group;
    group.name = g->name;
    for (const auto& s : g->sites) group.sites.push_back(s->record);
    data.groups.push_back(std::move(group));
  }
  return data;
}

SitePosition CSiteDirectory::PositionOf(const Site* site) const {
  for (size_t g = 0; g < groups_.size(); ++g) {
    const auto& sites = groups_[g]->sites;
    for (size_t i = 0; i < sites.size(); ++i) {
      if (sites[i].get() == site) return SitePosition{static_cast<int>(g), static_cast<int>(i)};
    }
  }
  return {};
}

SiteFieldError CSiteDirectory::AddGroup(const std::string& name, Group** added) {
  const SiteFieldError error = CheckNewGroup(Data(), name);
  if (error != SiteFieldError::kNone) return error;
  auto group = std::make_unique<Group>();
  group->name = name;
  if (added != nullptr) *added = group.get();
  groups_.push_back(std::move(group));
  Save();
  return SiteFieldError::kNone;
}

SiteFieldError CSiteDirectory::RenameGroup(Group* group, const std::string& name) {
  if (group == nullptr) return SiteFieldError::kNone;
  if (name == group->name) return SiteFieldError::kNone;
  const SiteFieldError error = CheckNewGroup(Data(), name);
  // A directory at its group limit may still rename a group.
  if (error != SiteFieldError::kNone && error != SiteFieldError::kTooManyGroups) return error;
  group->name = name;
  Save();
  return SiteFieldError::kNone;
}

SiteFieldError CSiteDirectory::AddSite(Group* group, const SiteRecord& record, Site** added) {
  if (group == nullptr) return SiteFieldError::kNone;
  const SiteFieldError error = CheckNewSite(Data(), record);
  if (error != SiteFieldError::kNone) return error;
  SiteRecord stored = record;
  stored.name = CutSiteText(stored.name);
  stored.address = CutSiteText(stored.address);
  stored.user_id = CutSiteText(stored.user_id);
  stored.password = CutSiteText(stored.password);
  stored.model = CutSiteText(stored.model);
  group->sites.push_back(MakeSite(stored));
  if (added != nullptr) *added = group->sites.back().get();
  Save();
  return SiteFieldError::kNone;
}

SiteFieldError CSiteDirectory::ModifySite(Site* site, const SiteRecord& record) {
  if (site == nullptr) return SiteFieldError::kNone;
  const SiteFieldError error = CheckModifiedSite(Data(), PositionOf(site), record);
  if (error != SiteFieldError::kNone) return error;
  site->record.name = CutSiteText(record.name);
  site->record.address = CutSiteText(record.address);
  site->record.user_id = CutSiteText(record.user_id);
  site->record.password = CutSiteText(record.password);
  site->record.base_port = record.base_port;
  site->runtime->SetRecord(site->record);
  Save();
  return SiteFieldError::kNone;
}

void CSiteDirectory::UpdatePlatformCode(Site* site, int platform_code) {
  if (site == nullptr || platform_code < 160 || platform_code > 164) return;
  if (site->record.platform_code == platform_code) return;
  site->record.platform_code = platform_code;
  Save();
}

bool CSiteDirectory::IsBusy(const Site* site) {
  const CDvrSite& r = *site->runtime;
  return site->session_active || r.IsConnected() || r.LiveStarted() || r.TalkGranted();
}

bool CSiteDirectory::AnyBusy() {
  for (Site* s : AllSites()) {
    if (IsBusy(s)) return true;
  }
  return false;
}

bool CSiteDirectory::AnyBusy(Group* group) {
  if (group == nullptr) return false;
  return std::any_of(group->sites.begin(), group->sites.end(), [](const auto& s) { return IsBusy(s.get()); });
}

bool CSiteDirectory::DeleteAll() {
  if (AnyBusy()) return false;
  for (Site* s : AllSites()) s->runtime->StopAll();
  groups_.clear();
  Save();
  return true;
}

bool CSiteDirectory::DeleteGroup(Group* group) {
  const int index = GroupIndex(group);
  if (index < 0 || AnyBusy(group)) return false;
  for (auto& s : group->sites) s->runtime->StopAll();
  groups_.erase(groups_.begin() + index);
  Save();
  return true;
}

bool CSiteDirectory::DeleteSite(Site* site) {
  Group* group = GroupOf(site);
  if (group == nullptr || IsBusy(site)) return false;
  site->runtime->StopAll();
  group->sites.erase(std::find_if(group->sites.begin(), group->sites.end(),
                                  [site](const auto& s) { return s.get() == site; }));
  Save();
  return true;
}
