// ExpandEnvironmentStringsA and the environment overlay of admin.h.
#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "platform/admin.h"
#include "platform/internal/ansi_codec.h"
#include "frame/ustring.h"
#include "platform/key_name.h"
#include "platform/registry.h"

extern char** environ;

namespace keystrel::platform {
namespace {

struct Overlay {
  std::mutex mu;
  std::map<std::u16string, std::u16string> vars;  // by folded name
};

Overlay& GetOverlay() {
  static Overlay* overlay = new Overlay();
  return *overlay;
}

// Names are looked up without regard to case, the overlay first, then the
// process environment (whose bytes are UTF-8).
bool LookUp(std::u16string_view name, std::u16string* value) {
  if (name.empty()) return false;
  {
    Overlay& overlay = GetOverlay();
    std::lock_guard lock(overlay.mu);
    auto it = overlay.vars.find(FoldName(name));
    if (it != overlay.vars.end()) {
      *value = it->second;
      return true;
    }
  }
  std::string utf8_name = UToUtf8(name);
  if (const char* exact = std::getenv(utf8_name.c_str())) {
    *value = Utf8ToU(exact);
    return true;
  }
  for (char** entry = environ; entry && *entry; ++entry) {
    const char* eq = std::strchr(*entry, '=');
    if (!eq || eq == *entry) continue;
    if (NamesEqual(Utf8ToU(std::string_view(*entry, eq - *entry)), name)) {
      *value = Utf8ToU(eq + 1);
      return true;
    }
  }
  return false;
}

// One pass, no recursion: a %name% that is set is replaced by its value; one
// that is not (or an empty name, "%%") stays as written and scanning goes on
// after its closing '%'; a lone '%' is kept.
std::u16string Expand(std::u16string_view source) {
  std::u16string out;
  std::u16string value;
  std::size_t pos = 0;
  while (pos < source.size()) {
    std::size_t open = source.find(u'%', pos);
    if (open == std::u16string_view::npos) break;
    std::size_t close = source.find(u'%', open + 1);
    if (close == std::u16string_view::npos) break;
    out.append(source.substr(pos, open - pos));
    std::u16string_view name = source.substr(open + 1, close - open - 1);
    if (LookUp(name, &value)) {
      out.append(value);
    } else {
      out.append(source.substr(open, close - open + 1));
    }
    pos = close + 1;
  }
  out.append(source.substr(pos));
  return out;
}

}  // namespace

void SetEnvironmentOverlay(std::map<std::u16string, std::u16string> vars) {
  std::map<std::u16string, std::u16string> folded;
  for (auto& [name, value] : vars) folded.insert_or_assign(FoldName(name), std::move(value));
  Overlay& overlay = GetOverlay();
  std::lock_guard lock(overlay.mu);
  overlay.vars.swap(folded);
}

// Returns the bytes the whole result needs, its NUL included. A buffer too
// small gets as much as fits, NUL-terminated; the result is not capped.
DWORD ExpandEnvironmentStringsA(LPCSTR lpSrc, LPSTR lpDst, DWORD nSize) {
  if (!lpSrc) return 0;
  const detail::AnsiCodec& codec = detail::CurrentCodec();
  std::u16string source;
  codec.Decode(lpSrc, source);
  std::string expanded;
  codec.Encode(Expand(source), expanded);
  const DWORD needed = static_cast<DWORD>(expanded.size() + 1);
  if (lpDst && nSize > 0) {
    std::size_t copied = std::min<std::size_t>(expanded.size(), nSize - 1);
    std::memcpy(lpDst, expanded.data(), copied);
    lpDst[copied] = '\0';
  }
  return needed;
}

}  // namespace keystrel::platform
