#include "sites/site_dialog_model.h"

namespace {

// "the name is empty" -> "The name is empty": the store's short texts read
// as sentences in a message box.
std::string Sentence(const char* text) {
  std::string s(text);
  if (!s.empty() && s[0] >= 'a' && s[0] <= 'z') s[0] = static_cast<char>(s[0] - 'a' + 'A');
  return s;
}

bool ValidIndex(int index, size_t size) { return index >= 0 && static_cast<size_t>(index) < size; }

}  // namespace

std::string SiteDialogRefusalText(const SiteDialogRefusal& refusal, std::string_view message_text) {
  if (!refusal.Refused()) return {};
  std::string text;
  if (refusal.message != 0 && !message_text.empty()) {
    text = message_text;
  } else {
    text = Sentence(SiteFieldErrorText(refusal.error));
    if (refusal.error == SiteFieldError::kDuplicateName) text += ':';
  }
  if (refusal.error == SiteFieldError::kDuplicateName) text += ' ' + refusal.name;
  return text;
}

// ---------------------------------------------------------------------------

CGroupDialogModel::CGroupDialogModel(const SiteDirectoryData& dir, int renamed)
    : dir_(dir), renamed_(ValidIndex(renamed, dir.groups.size()) ? renamed : -1) {
  if (renamed_ >= 0) initial_ = dir_.groups[static_cast<size_t>(renamed_)].name;
}

SiteDialogRefusal CGroupDialogModel::Submit(std::string_view name) const {
  SiteDialogRefusal r;
  if (Renaming() && name == initial_) return r;
  r.error = CheckNewGroup(dir_, name);
  // A rename adds no group, so a full directory does not refuse it.
  if (Renaming() && r.error == SiteFieldError::kTooManyGroups) r.error = SiteFieldError::kNone;
  r.message = SiteFieldMessage(r.error);
  return r;
}

// ---------------------------------------------------------------------------

CSiteDialogModel::CSiteDialogModel(const SiteDirectoryData& dir, const SiteRecord* existing)
    : dir_(dir), modifying_(existing != nullptr) {
  if (existing != nullptr) {
    stored_ = *existing;
    at_ = FindSiteByName(dir_, existing->name);
  }
  record_ = stored_;
  ports_ = MakePortChoices(stored_.base_port);
  port_index_ = ports_.selected;
  for (const char* label : kChannelChoiceLabels) channel_labels_.emplace_back(label);
  channel_index_ = ChannelChoiceIndex(stored_.channel_count);
  if (modifying_ && ChannelCountOfChoice(channel_index_) != stored_.channel_count) {
    // A count the choices do not offer (the file allows 0..16): show what is kept.
    channel_labels_.push_back(std::to_string(stored_.channel_count) + "CH");
    channel_index_ = kChannelChoiceCount;
  }
}

void CSiteDialogModel::SetPortIndex(int index) {
  if (ValidIndex(index, ports_.bases.size())) port_index_ = index;
}

void CSiteDialogModel::SetChannelIndex(int index) {
  if (ChannelEditable() && ValidIndex(index, kChannelChoiceCount)) channel_index_ = index;
}

SiteRecord CSiteDialogModel::Result() const {
  SiteRecord r = stored_;
  r.name = record_.name;
  r.address = record_.address;
  r.user_id = record_.user_id;
  r.password = record_.password;
  if (!modifying_ || port_index_ != ports_.selected) r.base_port = ports_.bases[static_cast<size_t>(port_index_)];
  if (!modifying_) r.channel_count = ChannelCountOfChoice(channel_index_);
  return r;
}

SiteDialogRefusal CSiteDialogModel::Submit() const {
  const SiteRecord r = Result();
  SiteDialogRefusal refusal;
  refusal.error = modifying_ ? CheckModifiedSite(dir_, at_, r) : CheckNewSite(dir_, r);
  refusal.message = SiteFieldMessage(refusal.error);
  if (refusal.error == SiteFieldError::kDuplicateName) refusal.name = r.name;
  return refusal;
}
