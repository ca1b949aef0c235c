// Predefined camera lists, kept in the profile file predvr_list3.ini of the
// user folder: named lists of 64 slots, each slot naming one channel of one
// DVR, used to fill the view grid from several DVRs at once.
//
//   [PREDVRLIST] TOTAL_LIST          number of lists ("%02d")
//   [GROUP]      LIST_NAME%02d       list name, list number from 1
//   [SITE_INFO%02d] (list number)    per slot 1..64: DVR_NAME%02d, SEL_CH%02d
//                (0-based channel), IP%02d, ID%02d, PW%02d, PORT%02d,
//                REG%02d (1 = assigned), CODEC%02d (platform code)
//
// The file is read once per load and written whole per save, so a full file
// of 99 lists costs one read and one write, not one per key.
#pragma once
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "sites/site_record.h"

inline constexpr std::string_view kPredefinedListFileName = "predvr_list3.ini";
inline constexpr int kPredefinedSlotCount = 64;
inline constexpr int kMaxPredefinedLists = 99;  // list numbers keep two digits

std::string PredefinedListPath();  // in the user folder

struct PredefinedSlot {
  std::string dvr_name;
  int channel = 0;  // 0-based
  std::string address;
  std::string user_id;
  std::string password;
  int port = 0;
  int reg = 0;  // REG as stored: 1 = assigned, 0 = free
  int platform_code = 0;
};

// A slot shown and used: REG 1 and a channel within 0..15.
bool IsAssigned(const PredefinedSlot& slot);

// Qt defines `slots` as a macro; it is lifted around the member so that the
// header also parses after Qt's headers. Such code reads slots through Slot().
#pragma push_macro("slots")
#undef slots
struct PredefinedList {
  std::string name;  // at most 31 bytes
  std::array<PredefinedSlot, kPredefinedSlotCount> slots;  // slot n at index n - 1

  int AssignedCount() const;
  // Slot number 1..64.
  const PredefinedSlot& Slot(int number) const { return slots[static_cast<size_t>(number - 1)]; }
};
#pragma pop_macro("slots")

// The lists in a file's text. "TOTAL_LIST" above 99 reads as 99. For each
// list, slots are read from 1 up: reading stops at the first slot whose REG
// is 0 or missing (later slots stay free even when assigned in the file) and
// after slot 64. Texts are cut to 31 bytes; integers are read as the profile
// functions read them.
std::vector<PredefinedList> ParsePredefinedLists(std::string_view text);

// Reads the file; a missing file gives no lists. False (and no lists) when
// the file exists but cannot be read or is larger than 16 MiB.
bool LoadPredefinedLists(const std::string& path, std::vector<PredefinedList>* lists);

// Rewrites the lists' part of the file: the sections "PREDVRLIST", "GROUP"
// and every "SITE_INFO<number>" are replaced by ones built from lists, so
// slots and lists that were removed never come back; other sections stay as
// they were. Each slot with a non-zero REG is written under its own number
// (SEL_CH, PORT, REG "%02d", CODEC "%d"). False, with nothing written, for
// more than 99 lists or when the file cannot be read or replaced.
bool SavePredefinedLists(const std::string& path, const std::vector<PredefinedList>& lists);

// The slots the list tree shows: slot numbers from 1 up to the first slot
// with REG 0 (not included), leaving out slots that are not assigned.
std::vector<int> TreeSlotNumbers(const PredefinedList& list);

// "[%d]:%s(Ch:%d)": slot number, DVR name, channel + 1 (the list tree).
std::string SlotTreeText(int slot_number, const PredefinedSlot& slot);
// "[%d]:%s(%s)": slot number, DVR name, a state word (the live-view list).
std::string SlotStateText(int slot_number, const PredefinedSlot& slot, std::string_view state_word);

// The editor's save checks: the MESSAGE number to show, or 0 when the list
// may be saved (30: empty name; 31: no assigned slot).
int CheckPredefinedListSave(const PredefinedList& list);

// Stores an edited list: replaces lists[index] or, with index -1, appends it
// as a new list. False (nothing changed) when the editor's checks refuse it,
// index is out of range, or a new list would be the 100th.
bool PutEditedList(std::vector<PredefinedList>* lists, int index, const PredefinedList& list);

// Dropping a site on slot first_slot (1-based) fills one slot per channel of
// the site from there on (name, channel, address, user ID, password, port,
// REG 1, platform code). Refused, with nothing changed, when the slots would
// run past slot 64 or the site has no channels.
bool DropSiteOnSlots(PredefinedList* list, int first_slot, const SiteRecord& site);

// Empties all 64 slots (the editor's clear command).
void ClearSlots(PredefinedList* list);
