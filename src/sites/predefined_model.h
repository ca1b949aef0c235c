// The rules of the predefined camera list editor, without widgets: the list
// being edited, the texts of its 64-row table, dropping a site on a row,
// clearing, and what Save checks and writes. The editor dialog in sites/ui
// only forwards presses here and paints the table.
#pragma once
#include <string>
#include <string_view>

#include "sites/predefined_lists.h"
#include "sites/site_directory_store.h"
#include "sites/site_record.h"

// The table's columns, in order.
inline constexpr int kPredefinedColumnCount = 9;
inline constexpr const char* kPredefinedColumnTitles[kPredefinedColumnCount] = {
    "Cam No.", "Dvr Name", "CH", "IP", "ID", "PW", "PORT", "REG", "CODEC"};

// What a cell of a free row, or a missing text, shows.
inline constexpr const char* kPredefinedMissingText = "NULL";

// Fixed texts for refusals that have no language message.
inline constexpr const char* kPredefinedDropPastEndText =
    "The channels of this site do not fit: a list ends at row 64.";
inline constexpr const char* kPredefinedNoChannelsText = "This site has no channels.";
inline constexpr const char* kPredefinedWriteFailedText = "The camera list file could not be written.";
inline constexpr const char* kPredefinedTooManyListsText = "No more camera lists can be added (99 at most).";

class CPredefinedEditorModel {
 public:
  // The outcome of a drop or a save: saved/done, or the MESSAGE number to
  // show (message), or a fixed English text (fixed).
  struct Outcome {
    int message = 0;
    const char* fixed = nullptr;
    bool Ok() const { return message == 0 && fixed == nullptr; }
  };

  // Reads the lists from path (the user folder's predvr_list3.ini) and
  // opens list `index` (0-based), or a new list for -1 or an index past the
  // last list. A new list is named by its number. When the file holds no
  // list, "LIST_NAME01" = "1" is written first, as the list tree expects
  // of a file the editor has opened. False when the file cannot be read; the
  // editor then starts on an empty new list, which Save will not write.
  bool Open(const std::string& path, int index);

  // The list's index in the file (0-based), -1 for a list not yet saved.
  int ListIndex() const { return index_; }
  const PredefinedList& List() const { return list_; }

  const std::string& Name() const { return list_.name; }
  void SetName(std::string_view name) { list_.name = CutSiteText(name); }

  // Cell text of row 0..63, column 0..8: "#%02d" row number; name, address
  // and user ID as stored; the password masked; "%02d" channel + 1; port;
  // "%02d" REG; "%d" platform code. A free row (REG 0) shows "NULL".
  std::string Cell(int row, int column) const;
  bool RowAssigned(int row) const;

  // Fills one row per channel of site from row (0-based) on. Refused, with
  // nothing changed, when the rows would run past row 64.
  Outcome Drop(int row, const SiteRecord& site);

  // Empties all 64 rows (the clear command, after its question).
  void Clear() { ClearSlots(&list_); }

  // Checks the list (MESSAGE 30 without a name, 31 without an assigned
  // row; nothing is written then), stores it in the file as list ListIndex()
  // or as a new last list, and remembers where it went.
  Outcome Save();

 private:
  std::string path_;
  int index_ = -1;
  PredefinedList list_;
};
