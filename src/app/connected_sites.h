// The site objects the main window has made, each known by an id that stays
// valid after the site is gone: worker threads report (id, code) pairs, and
// the user-interface thread looks the id up when the report arrives, so a
// late report of a deleted site finds nothing instead of a freed object.
#pragma once
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "protocol/event_record.h"
#include "sites/dvr_site.h"

namespace app {

class CConnectedSites {
 public:
  // Called on worker threads; must post and return without waiting for the
  // user-interface thread.
  using CodePoster = std::function<void(int site_id, int code)>;
  using EventPoster = std::function<void(int site_id, const EventRecord& record)>;

  CConnectedSites(CodePoster codes, EventPoster events);
  ~CConnectedSites();
  CConnectedSites(const CConnectedSites&) = delete;
  CConnectedSites& operator=(const CConnectedSites&) = delete;

  // Makes a site object (not connected yet); returns its id (> 0).
  int Add(const SiteRecord& record);
  // The site of an id, or nullptr when it was removed. User-interface thread.
  CDvrSite* Find(int id) const;
  std::vector<int> Ids() const;
  // Stops the site's sessions, joins their threads and deletes it.
  void Remove(int id);
  // Stops and joins every site's sessions; the objects stay.
  void StopAll();

 private:
  class Observer;
  struct Entry {
    int id = 0;
    std::unique_ptr<Observer> observer;
    std::unique_ptr<CDvrSite> site;
  };

  CodePoster codes_;
  EventPoster events_;
  int next_id_ = 1;
  std::vector<Entry> entries_;
};

}  // namespace app
