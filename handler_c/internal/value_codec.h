// Value reading, decoding, display forms and encoding for clsZqRegyHandlerC.
//
// The local and remote reads share one query-and-decode path, the local and
// remote writes one encoding, so the two can never drift apart. Everything
// here talks to the registry only through platform/registry.h.
#ifndef KEYSTREL_HANDLER_C_INTERNAL_VALUE_CODEC_H_
#define KEYSTREL_HANDLER_C_INTERNAL_VALUE_CODEC_H_

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "frame/ustring.h"
#include "frame/variant.h"
#include "platform/registry.h"

namespace keystrel::handler_c_detail {

// Unqualified platform names resolve to our declarations here and to the
// real <windows.h> ones (macros included) in the Windows build.
using namespace ::keystrel::platform;  // NOLINT(build/namespaces)

// The largest position a 16-bit signed index can reach.
inline constexpr std::int32_t kMaxIntegerPosition = 32767;

// Owns one key handle and closes it when it goes out of scope, so every path
// out of a member (errors included) releases what the member opened.
class KeyHandle {
 public:
  KeyHandle() = default;
  KeyHandle(const KeyHandle&) = delete;
  KeyHandle& operator=(const KeyHandle&) = delete;
  ~KeyHandle();

  // RegOpenKeyExA with reserved 0; on failure the handle stays empty whatever
  // the platform left in the out parameter.
  LONG Open(HKEY parent, const std::string& path, REGSAM access);
  // Takes over a handle the caller obtained (nullptr: nothing to close).
  void Adopt(HKEY key) noexcept { key_ = key; }

  HKEY get() const noexcept { return key_; }
  bool is_open() const noexcept { return key_ != nullptr; }

 private:
  HKEY key_ = nullptr;
};

// A value as the registry holds it: its type and exactly its stored bytes.
struct StoredValue {
  DWORD type = 0;
  std::vector<std::uint8_t> bytes;
};

// Queries `name` of `key` into a 1024-byte buffer, and once more into a buffer
// of exactly the reported size when the platform answers 234. Returns the
// result of the last query; on 0 `out` holds the type and the stored bytes.
LONG QueryValue(HKEY key, const std::string& name, StoredValue* out);

// Replaces `result` with the automation value of `value` (string, expanded
// string, byte array, long, multi-string text), or leaves it as it is for an
// empty string, a multi-string without strings and the types not decoded.
// Raises 6 when a multi-string's first NUL lies beyond position 32767.
void DecodeInto(const StoredValue& value, Variant& result);

// The display form of a value in an enumeration: text for strings, a long for
// double words, "0A FF" for binaries, "a,b" for multi-strings, Empty for the
// other types. Raises 6 for a binary longer than 32767 bytes and for an
// expanded text whose terminating NUL lies beyond position 32767.
Variant DisplayForm(DWORD type, std::span<const std::uint8_t> data);

// The type and bytes a write passes to RegSetValueExA.
struct EncodedValue {
  DWORD type = 0;
  std::vector<std::uint8_t> bytes;
};

// Converts `value` for `dtype` with the automation layer's conversions
// (13 / 6 / 94 on failure): 1, 2, 7 as ANSI text, 3 as a byte array, 4 as a
// little-endian double word. nullopt for any other `dtype`: nothing to write.
std::optional<EncodedValue> EncodeValue(const Variant& value, std::int32_t dtype);

// RegSetValueExA with reserved 0.
LONG WriteValue(HKEY key, const std::string& name, const EncodedValue& value);

// Cuts `text` at its first NUL. Raises 6 when that NUL's 1-based position
// does not fit a 16-bit signed integer; a text without a NUL is left whole.
void CutAtFirstNul(UString& text);

}  // namespace keystrel::handler_c_detail

#endif  // KEYSTREL_HANDLER_C_INTERNAL_VALUE_CODEC_H_
