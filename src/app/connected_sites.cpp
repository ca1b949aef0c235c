#include "app/connected_sites.h"

#include <algorithm>

namespace app {

class CConnectedSites::Observer final : public ISiteObserver {
 public:
  Observer(int id, const CodePoster* codes, const EventPoster* events) : id_(id), codes_(codes), events_(events) {}
  void OnSiteCode(int, int code) override {
    if (*codes_) (*codes_)(id_, code);
  }
  void OnSiteEvent(int, const EventRecord& record) override {
    if (*events_) (*events_)(id_, record);
  }

 private:
  const int id_;
  const CodePoster* codes_;
  const EventPoster* events_;
};

CConnectedSites::CConnectedSites(CodePoster codes, EventPoster events)
    : codes_(std::move(codes)), events_(std::move(events)) {}

CConnectedSites::~CConnectedSites() {
  while (!entries_.empty()) Remove(entries_.back().id);
}

int CConnectedSites::Add(const SiteRecord& record) {
  Entry entry;
  entry.id = next_id_++;
  entry.observer = std::make_unique<Observer>(entry.id, &codes_, &events_);
  entry.site = std::make_unique<CDvrSite>(record);
  entry.site->SetObserver(entry.observer.get());
  entries_.push_back(std::move(entry));
  return entries_.back().id;
}

CDvrSite* CConnectedSites::Find(int id) const {
  for (const Entry& e : entries_) {
    if (e.id == id) return e.site.get();
  }
  return nullptr;
}

std::vector<int> CConnectedSites::Ids() const {
  std::vector<int> ids;
  for (const Entry& e : entries_) ids.push_back(e.id);
  return ids;
}

void CConnectedSites::Remove(int id) {
  auto it = std::find_if(entries_.begin(), entries_.end(), [id](const Entry& e) { return e.id == id; });
  if (it == entries_.end()) return;
  // Sessions first: after StopAll no worker of the site runs, so nothing
  // reaches the observer or the sinks any more.
  it->site->StopAll();
  it->site->SetObserver(nullptr);
  it->site->SetPictureSink(nullptr);
  it->site->SetPlayer(nullptr);
  entries_.erase(it);
}

void CConnectedSites::StopAll() {
  for (Entry& e : entries_) e.site->StopAll();
}

}  // namespace app
