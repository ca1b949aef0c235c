#include "platform/codepage.h"

#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iconv.h>
#include <langinfo.h>
#include <vector>

namespace platform {
namespace {

// Text is converted in two steps: from the source character set to UTF-32 in
// host byte order, then from UTF-32 to the target. The first step only fails
// on invalid input (those bytes are skipped); the second only on characters
// the target cannot represent (each becomes '?'). Doing it in one step would
// make iconv report both cases as the same error.
const char* const kUtf32 = std::endian::native == std::endian::little ? "UTF-32LE" : "UTF-32BE";

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(static_cast<intptr_t>(-1));

// A few open converters per thread; converters carry state and are not shared.
class ConverterCache {
 public:
  ~ConverterCache() {
    for (Entry& e : entries_) ::iconv_close(e.cd);
  }

  // A converter in its initial state, or kNoConverter when iconv does not
  // know one of the character sets.
  iconv_t Get(const char* from, const char* to) {
    for (Entry& e : entries_) {
      if (e.from == from && e.to == to) {
        ::iconv(e.cd, nullptr, nullptr, nullptr, nullptr);
        return e.cd;
      }
    }
    iconv_t cd = ::iconv_open(to, from);
    if (cd == kNoConverter) return kNoConverter;
    if (entries_.size() >= kMaxEntries) {
      ::iconv_close(entries_.front().cd);
      entries_.erase(entries_.begin());
    }
    entries_.push_back(Entry{from, to, cd});
    return cd;
  }

 private:
  struct Entry {
    std::string from;
    std::string to;
    iconv_t cd;
  };
  static constexpr size_t kMaxEntries = 8;
  std::vector<Entry> entries_;
};

iconv_t Converter(const char* from, const char* to) {
  thread_local ConverterCache cache;
  return cache.Get(from, to);
}

// Source bytes to code points; invalid or incomplete sequences are skipped
// one byte at a time.
bool Decode(std::string_view text, const char* from, std::vector<char32_t>* out) {
  out->clear();
  iconv_t cd = Converter(from, kUtf32);
  if (cd == kNoConverter) return false;
  out->resize(text.size() + 4);
  char* in = const_cast<char*>(text.data());
  size_t in_left = text.size();
  char* dst = reinterpret_cast<char*>(out->data());
  size_t dst_left = out->size() * sizeof(char32_t);
  auto grow = [&] {
    size_t used = static_cast<size_t>(dst - reinterpret_cast<char*>(out->data()));
    out->resize(out->size() * 2 + 16);
    dst = reinterpret_cast<char*>(out->data()) + used;
    dst_left = out->size() * sizeof(char32_t) - used;
  };
  while (in_left > 0) {
    if (::iconv(cd, &in, &in_left, &dst, &dst_left) != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) {
      grow();
    } else if (errno == EILSEQ || errno == EINVAL) {
      ++in;
      --in_left;
    } else {
      break;
    }
  }
  // Ends any shift state; decoding to UTF-32 writes nothing here in practice.
  while (::iconv(cd, nullptr, nullptr, &dst, &dst_left) == static_cast<size_t>(-1) && errno == E2BIG) grow();
  out->resize(static_cast<size_t>(dst - reinterpret_cast<char*>(out->data())) / sizeof(char32_t));
  return true;
}

// Appends one code point's conversion; false when the target cannot hold it.
bool EncodeOne(iconv_t cd, char32_t cp, std::string* out) {
  char buf[32];
  char* in = reinterpret_cast<char*>(&cp);
  size_t in_left = sizeof cp;
  char* dst = buf;
  size_t dst_left = sizeof buf;
  if (::iconv(cd, &in, &in_left, &dst, &dst_left) == static_cast<size_t>(-1)) return false;
  out->append(buf, static_cast<size_t>(dst - buf));
  return true;
}

void AppendReplacement(iconv_t cd, std::string* out) {
  if (!EncodeOne(cd, U'?', out)) out->push_back('?');
}

// Code points to target bytes; unconvertible ones become '?'. When limit is
// given, the output stops at the last whole character that fits in limit
// bytes (meant for the ASCII-compatible, stateless system code pages).
void Encode(iconv_t cd, const std::vector<char32_t>& cps, std::string* out, const size_t* limit) {
  out->clear();
  if (limit != nullptr) {
    for (char32_t cp : cps) {
      const size_t before = out->size();
      if (!EncodeOne(cd, cp, out)) AppendReplacement(cd, out);
      if (out->size() > *limit) {
        out->resize(before);
        break;
      }
    }
    return;
  }
  out->resize(cps.size() + 16);
  char* in = const_cast<char*>(reinterpret_cast<const char*>(cps.data()));
  size_t in_left = cps.size() * sizeof(char32_t);
  size_t used = 0;
  auto grow = [&] { out->resize(out->size() * 2 + 16); };
  while (in_left > 0) {
    char* dst = out->data() + used;
    size_t dst_left = out->size() - used;
    const size_t r = ::iconv(cd, &in, &in_left, &dst, &dst_left);
    const int err = errno;
    used = static_cast<size_t>(dst - out->data());
    if (r != static_cast<size_t>(-1)) break;
    if (err == E2BIG) {
      grow();
    } else if (err == EILSEQ && in_left >= sizeof(char32_t)) {
      out->resize(used);
      AppendReplacement(cd, out);
      used = out->size();
      out->resize(used + in_left / sizeof(char32_t) + 16);
      in += sizeof(char32_t);
      in_left -= sizeof(char32_t);
    } else {
      break;
    }
  }
  // Returns a stateful target to its initial state.
  for (;;) {
    char* dst = out->data() + used;
    size_t dst_left = out->size() - used;
    const size_t r = ::iconv(cd, nullptr, nullptr, &dst, &dst_left);
    const int err = errno;
    used = static_cast<size_t>(dst - out->data());
    if (r != static_cast<size_t>(-1) || err != E2BIG) break;
    grow();
  }
  out->resize(used);
}

// Without iconv support for a character set: ASCII passes, the rest becomes '?'.
std::string AsciiOnly(std::string_view text, const size_t* limit) {
  std::string out;
  for (char c : text) {
    if (limit != nullptr && out.size() >= *limit) break;
    out.push_back(static_cast<unsigned char>(c) < 0x80 ? c : '?');
  }
  return out;
}

std::string Convert(std::string_view text, const char* from, const char* to, const size_t* limit) {
  std::vector<char32_t> cps;
  if (!Decode(text, from, &cps)) return AsciiOnly(text, limit);
  iconv_t cd = Converter(kUtf32, to);
  if (cd == kNoConverter) return AsciiOnly(text, limit);
  std::string out;
  Encode(cd, cps, &out, limit);
  return out;
}

size_t ConvertBounded(const char* src, size_t src_len, char* dst, size_t dst_size, const char* from,
                      const char* to) {
  if (dst == nullptr || dst_size == 0) return 0;
  std::string_view text;
  if (src != nullptr) text = std::string_view(src, ::strnlen(src, src_len));
  std::string out;
  if (!text.empty()) {
    // Most text fits; only text that does not is converted character by
    // character to find where to cut.
    out = Convert(text, from, to, nullptr);
    const size_t limit = dst_size - 1;
    if (out.size() > limit) out = Convert(text, from, to, &limit);
  }
  std::memcpy(dst, out.data(), out.size());
  dst[out.size()] = '\0';
  return out.size();
}

}  // namespace

std::string SystemCodePage() {
  const char* codeset = ::nl_langinfo(CODESET);
  return (codeset != nullptr && codeset[0] != '\0') ? std::string(codeset) : std::string("ANSI_X3.4-1968");
}

std::string Utf8ToSystem(std::string_view utf8) {
  return Convert(utf8, "UTF-8", SystemCodePage().c_str(), nullptr);
}

std::string SystemToUtf8(std::string_view text) {
  return Convert(text, SystemCodePage().c_str(), "UTF-8", nullptr);
}

size_t Utf8ToSystem(const char* src, size_t src_len, char* dst, size_t dst_size) {
  return ConvertBounded(src, src_len, dst, dst_size, "UTF-8", SystemCodePage().c_str());
}

size_t SystemToUtf8(const char* src, size_t src_len, char* dst, size_t dst_size) {
  return ConvertBounded(src, src_len, dst, dst_size, SystemCodePage().c_str(), "UTF-8");
}

std::string ConvertCodePage(std::string_view text, const char* from, const char* to) {
  if (from == nullptr || to == nullptr) return std::string();
  return Convert(text, from, to, nullptr);
}

}  // namespace platform
