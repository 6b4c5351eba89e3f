#include "utilities/internal/platform_access.h"

#include <string>

#include "frame/convert.h"
#include "frame/dispatch.h"
#include "frame/error.h"
#include "frame/host.h"
#include "platform/ansi.h"

namespace keystrel::utilities_detail {

namespace {

const char16_t kSourceSuffix[] = u".czRegyUtilites";

}  // namespace

LONG KeyHandle::Open(std::int32_t root, const UString& path, REGSAM access) {
  Close();
  const std::optional<std::string> name = PlatformName(path);
  if (!name) return ERROR_FILE_NOT_FOUND;
  HKEY opened = nullptr;
  const LONG rc = RegOpenKeyExA(HKeyFromLong(root), name->c_str(), 0, access, &opened);
  if (rc == ERROR_SUCCESS) key_ = opened;
  return rc;
}

LONG KeyHandle::Create(std::int32_t root, const UString& path, REGSAM access) {
  Close();
  const std::optional<std::string> name = PlatformName(path);
  if (!name) return ERROR_FILE_NOT_FOUND;
  SECURITY_ATTRIBUTES security{0, nullptr, 0};
  char no_class[] = "";
  HKEY created = nullptr;
  DWORD disposition = 0;
  const LONG rc =
      RegCreateKeyExA(HKeyFromLong(root), name->c_str(), 0, no_class, REG_OPTION_NON_VOLATILE,
                      access, &security, &created, &disposition);
  if (rc == ERROR_SUCCESS) key_ = created;
  return rc;
}

void KeyHandle::Close() noexcept {
  if (key_ != nullptr) RegCloseKey(key_);
  key_ = nullptr;
}

std::optional<std::string> PlatformName(UStringView text) {
  if (text.find(u'\0') != UStringView::npos) return std::nullopt;
  return ToAnsi(text);
}

UString ErrorSource() {
  return ToText(CallByName(*ApplicationObject(), u"EXEName")) + kSourceSuffix;
}

UString RootText(std::int32_t root) { return Utf8ToU(std::to_string(root)); }

UString DescribeValue(const Variant& value) {
  if (value.is_empty() || value.is_null()) return {};
  if (value.is_array()) return TypeNameOf(value.type());
  try {
    return ToText(value);
  } catch (const AutomationError&) {
    return TypeNameOf(value.type());
  }
}

}  // namespace keystrel::utilities_detail
