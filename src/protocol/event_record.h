// The 92-byte event record built from the DVR's event messages.
#pragma once
#include <cstdint>

enum EventRecordType : uint16_t {
  kEventTypeMotion = 18,     // 0x6013
  kEventTypeSensor = 19,     // 0x6023
  kEventTypeVideoLoss = 20,  // 0x6043
  kEventTypeAlarm = 22,      // 0x6063
  kEventTypeSystem = 23,     // 0x6033, carries a text
  kEventTypeAck = 24,        // 0x7116, signals the acknowledgement event
};

struct EventRecord {
  uint16_t type = 0;
  uint16_t channel = 0;  // 0xFFFF for system events
  uint16_t code = 0;     // system events only
  uint16_t state = 0;
  uint32_t time = 0;     // seconds since 1970 as the DVR counts them
  char text[80] = {};    // system events only, always terminated
};
static_assert(sizeof(EventRecord) == 92, "event records are 92 bytes");
