// What the simulated DVR answers on the control connection once a user is
// logged in. Requests with a hand-written layout have an entry in the answer
// table; every other catalogued control request that awaits an answer gets
// that answer with a bare u16 0 result. Adding a handler is one table row.
#pragma once
#include <cstdint>
#include <optional>
#include <span>

#include "dvrsim/framing.h"
#include "dvrsim/sim_config.h"

namespace dvrsim {

struct AnswerContext {
  const SimConfig& config;
  const SimUser& user;  // the logged-in user
};

using AnswerBuilder = Bytes (*)(const AnswerContext&, std::span<const uint8_t> request_payload);

struct AnswerEntry {
  uint16_t request;
  uint16_t answer;
  AnswerBuilder build;
};

std::span<const AnswerEntry> ControlAnswerTable();

struct Answer {
  uint16_t code = 0;
  Bytes payload;
};

// The answer to a request received after login, before any --reply
// override; nullopt when the request has no answer (or is unknown).
std::optional<Answer> AnswerControlRequest(const AnswerContext& ctx, uint16_t code,
                                           std::span<const uint8_t> payload);

// Sizes of the fixed layouts, used by the builders and by the tests.
inline constexpr size_t kDescriptionBlockBytes = 496;
inline constexpr size_t kDescriptionPlatformOffset = 116;
inline constexpr size_t kDescriptionChannelsOffset = 420;
inline constexpr size_t kUserRecordBytes = 46;
inline constexpr size_t kSystemInfoBytes = 76;
inline constexpr size_t kVersionsBytes = 112;

}  // namespace dvrsim
