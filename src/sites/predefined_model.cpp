#include "sites/predefined_model.h"

#include <cstdio>
#include <vector>

#include "platform/profile.h"

namespace {

std::string Format(const char* format, int n) {
  char text[24];
  std::snprintf(text, sizeof text, format, n);
  return text;
}

// One '*' per UTF-8 character, so the table never shows a password.
std::string Masked(const std::string& password) {
  std::string out;
  for (const char c : password) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) out.push_back('*');
  }
  return out;
}

bool ValidRow(int row) { return row >= 0 && row < kPredefinedSlotCount; }

}  // namespace

bool CPredefinedEditorModel::Open(const std::string& path, int index) {
  path_ = path;
  list_ = PredefinedList{};
  index_ = -1;
  std::vector<PredefinedList> lists;
  if (!LoadPredefinedLists(path, &lists)) return false;
  if (lists.empty()) {
    // Create the file through the store first, so that it is made readable
    // by its owner only: the lists will hold passwords.
    SavePredefinedLists(path, lists);
    platform::WriteProfileString(path, "GROUP", "LIST_NAME01", "1");
  }
  if (index >= 0 && static_cast<size_t>(index) < lists.size()) {
    index_ = index;
    list_ = lists[static_cast<size_t>(index)];
  } else {
    list_.name = std::to_string(lists.size() + 1);
  }
  return true;
}

std::string CPredefinedEditorModel::Cell(int row, int column) const {
  if (!ValidRow(row)) return {};
  if (column == 0) return Format("#%02d", row + 1);
  const PredefinedSlot& slot = list_.slots[static_cast<size_t>(row)];
  if (slot.reg == 0) return kPredefinedMissingText;
  switch (column) {
    case 1: return slot.dvr_name;
    case 2: return Format("%02d", slot.channel + 1);
    case 3: return slot.address;
    case 4: return slot.user_id;
    case 5: return Masked(slot.password);
    case 6: return Format("%d", slot.port);
    case 7: return Format("%02d", slot.reg);
    case 8: return Format("%d", slot.platform_code);
    default: return {};
  }
}

bool CPredefinedEditorModel::RowAssigned(int row) const {
  return ValidRow(row) && IsAssigned(list_.slots[static_cast<size_t>(row)]);
}

CPredefinedEditorModel::Outcome CPredefinedEditorModel::Drop(int row, const SiteRecord& site) {
  if (site.channel_count < 1) return {0, kPredefinedNoChannelsText};
  if (!DropSiteOnSlots(&list_, row + 1, site)) return {0, kPredefinedDropPastEndText};
  return {};
}

CPredefinedEditorModel::Outcome CPredefinedEditorModel::Save() {
  if (const int message = CheckPredefinedListSave(list_)) return {message, nullptr};
  // The file is read again so that lists changed since the editor opened
  // are kept as they are now.
  std::vector<PredefinedList> lists;
  if (!LoadPredefinedLists(path_, &lists)) return {0, kPredefinedWriteFailedText};
  const int at = (index_ >= 0 && static_cast<size_t>(index_) < lists.size()) ? index_ : -1;
  if (!PutEditedList(&lists, at, list_)) return {0, kPredefinedTooManyListsText};
  if (!SavePredefinedLists(path_, lists)) return {0, kPredefinedWriteFailedText};
  index_ = at >= 0 ? at : static_cast<int>(lists.size()) - 1;
  return {};
}
