// The rules of the group and site dialogs, without widgets: what the fields
// start with, how a choice maps to a stored value, what OK writes and which
// message a refusal shows. The dialogs in sites/ui only forward edits and
// presses here.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "sites/site_directory_store.h"
#include "sites/site_record.h"

// Why OK was refused. `message` is the language MESSAGE number to show (0
// when there is none and the English text of `error` is shown); a duplicate
// site name shows "%s %s": the message and the name.
struct SiteDialogRefusal {
  SiteFieldError error = SiteFieldError::kNone;
  int message = 0;
  std::string name;

  bool Refused() const { return error != SiteFieldError::kNone; }
};

// The text of a refusal, given the language text of its message (empty when
// the language file lacks it): "<message> <name>" for a duplicate site name,
// the message alone for other numbered messages, else the English text.
std::string SiteDialogRefusalText(const SiteDialogRefusal& refusal, std::string_view message_text);

// The longest group name the directory takes, in bytes.
inline constexpr size_t kMaxGroupNameBytes = 255;

// The "Group" dialog: one name, for a new group or for renaming one.
class CGroupDialogModel {
 public:
  // renamed: index of the group being renamed, or -1 for a new group.
  explicit CGroupDialogModel(const SiteDirectoryData& dir, int renamed = -1);

  bool Renaming() const { return renamed_ >= 0; }
  const std::string& InitialName() const { return initial_; }

  // Checks a name for OK. A new group needs a name no group has and room in
  // the directory; a renamed group may keep its name or take one no other
  // group has.
  SiteDialogRefusal Submit(std::string_view name) const;

 private:
  SiteDirectoryData dir_;  // a copy: the dialog may outlive the caller's data
  int renamed_;
  std::string initial_;
};

// The site dialog: for a new site (the defaults of SiteRecord) or for
// modifying a stored one.
class CSiteDialogModel {
 public:
  // existing: the site being modified, or nullptr to add one. A modified
  // site is found in dir by its name, so that the duplicate check passes
  // over the site itself.
  CSiteDialogModel(const SiteDirectoryData& dir, const SiteRecord* existing);

  bool Modifying() const { return modifying_; }

  // Texts are cut to 31 bytes, never inside a UTF-8 character.
  void SetName(std::string_view s) { record_.name = CutSiteText(s); }
  void SetAddress(std::string_view s) { record_.address = CutSiteText(s); }
  void SetUserId(std::string_view s) { record_.user_id = CutSiteText(s); }
  void SetPassword(std::string_view s) { record_.password = CutSiteText(s); }
  const std::string& Name() const { return record_.name; }
  const std::string& Address() const { return record_.address; }
  const std::string& UserId() const { return record_.user_id; }
  const std::string& Password() const { return record_.password; }

  // The port ranges, with a stored port that is no range base as an extra
  // last entry; PortIndex starts at the stored port's entry.
  const std::vector<std::string>& PortLabels() const { return ports_.labels; }
  int PortIndex() const { return port_index_; }
  void SetPortIndex(int index);

  // "4CH", "8CH", "9CH", "16CH". Only a new site chooses its count; a
  // modified site keeps its stored count, which is shown (as an extra
  // "<n>CH" entry when it is none of the four) but cannot be changed.
  bool ChannelEditable() const { return !modifying_; }
  const std::vector<std::string>& ChannelLabels() const { return channel_labels_; }
  int ChannelIndex() const { return channel_index_; }
  void SetChannelIndex(int index);

  // Checks the fields for OK: empty name or address, control characters,
  // and a name another site of any group already has.
  SiteDialogRefusal Submit() const;

  // The record OK gives back. A modified site keeps its model, channel
  // count and platform code, and its port unless another range was chosen.
  SiteRecord Result() const;

 private:
  SiteDirectoryData dir_;  // a copy, as above
  bool modifying_ = false;
  SitePosition at_;     // the modified site in dir_, when found there
  SiteRecord stored_;   // the record as it was opened
  SiteRecord record_;   // the texts as edited
  PortChoices ports_;
  int port_index_ = 0;
  std::vector<std::string> channel_labels_;
  int channel_index_ = 0;
};
