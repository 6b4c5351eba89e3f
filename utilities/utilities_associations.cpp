// File associations: the extension key, the class key with its verbs and
// default icon, written under both class roots through `Value`.
#include <string>

#include "frame/convert.h"
#include "frame/error.h"
#include "utilities/internal/platform_access.h"
#include "utilities/utilities.h"

namespace keystrel {

using namespace ::keystrel::utilities_detail;  // NOLINT(build/namespaces)

namespace {

const char16_t kMachineClasses[] = u"SOFTWARE\\Classes\\";
const char16_t kShell[] = u"\\shell\\";
const char16_t kCommand[] = u"\\command";

// Command-line suffixes: the document as a quoted %1, with the verb's switch.
const char16_t kOpenSuffix[] = u" \"%1\"";
const char16_t kPrintSuffix[] = u" /p \"%1\"";
const char16_t kAddSuffix[] = u" /a \"%1\"";
const char16_t kNewSuffix[] = u" /n \"%1\"";

// The executable path without surrounding spaces, in double quotes unless it
// already starts or ends with one.
UString QuotedPath(const UString& path) {
  const std::size_t first = path.find_first_not_of(u' ');
  UString q = first == UString::npos ? UString()
                                     : path.substr(first, path.find_last_not_of(u' ') - first + 1);
  if (q.empty() || q.front() != u'"') q.insert(q.begin(), u'"');
  if (q.back() != u'"') q.push_back(u'"');
  return q;
}

// True for a class name that names no key below the class root (empty, or
// backslashes only): its rows would land on the root itself.
bool NamesNoKey(const UString& class_name) {
  return class_name.find_first_not_of(u'\\') == UString::npos;
}

UString OrDefault(const UString& text, UString fallback) {
  return text.empty() ? std::move(fallback) : text;
}

}  // namespace

void UtilitesA::SetClassesValue(const UString& text) {
  const Variant value = VStr(text);
  class_key_ = kHkeyClassesRoot;
  set_Value(value);
  const UString path = section_key_;
  class_key_ = kHkeyLocalMachine;
  section_key_ = kMachineClasses + path;
  set_Value(value);
  section_key_ = path;
}

void UtilitesA::WriteClassesRow(const UString& key, const UString& text) {
  section_key_ = key;
  value_key_.clear();
  value_type_ = kRegSz;
  SetClassesValue(text);
}

void UtilitesA::CreateEXEAssociation(const UString& sExePath, const UString& sClassName,
                                     const UString& sClassDescription, const UString& sAssociation,
                                     const UString& sOpenMenuText, bool bSupportPrint,
                                     const UString& sPrintMenuText, bool bSupportNew,
                                     const UString& sNewMenuText, bool bSupportInstall,
                                     const UString& sInstallMenuText,
                                     std::int32_t lDefaultIconIndex) {
  // Without a class the description would overwrite the default value of the
  // class root and the verbs would land directly below it.
  if (NamesNoKey(sClassName)) RaiseError(rt::kInvalidProcedureCall);
  const UString q = QuotedPath(sExePath);
  const UString verbs = sClassName + kShell;
  WriteClassesRow(u"." + sAssociation, sClassName);
  WriteClassesRow(sClassName, sClassDescription);
  WriteClassesRow(verbs + u"open", OrDefault(sOpenMenuText, u"&Open"));
  WriteClassesRow(verbs + u"open" + kCommand, q + kOpenSuffix);
  if (bSupportPrint) {
    WriteClassesRow(verbs + u"print", OrDefault(sPrintMenuText, u"&Print"));
    WriteClassesRow(verbs + u"print" + kCommand, q + kPrintSuffix);
  }
  // The install verb comes before the new verb, whatever the parameter order.
  if (bSupportInstall) {
    WriteClassesRow(verbs + u"add", OrDefault(sInstallMenuText, u"&Install " + sAssociation));
    WriteClassesRow(verbs + u"add" + kCommand, q + kAddSuffix);
  }
  if (bSupportNew) {
    WriteClassesRow(verbs + u"new", OrDefault(sNewMenuText, u"&New"));
    WriteClassesRow(verbs + u"new" + kCommand, q + kNewSuffix);
  }
  if (lDefaultIconIndex >= 0) {
    WriteClassesRow(sClassName + u"\\DefaultIcon",
                    q + u"," + Utf8ToU(std::to_string(lDefaultIconIndex)));
  }
}

void UtilitesA::CreateAdditionalEXEAssociations(const UString& sClassName,
                                                const SafeArray& vItems) {
  // The count is the upper bound plus one and the elements are addressed from
  // index 0, whatever the lower bound.
  const std::int64_t count =
      vItems.has_storage() ? static_cast<std::int64_t>(vItems.UBound()) + 1 : -1;
  if (count < 0 || count % 3 != 0) {
    RaiseError(kInvalidItemList, ErrorSource(),
               u"Invalid parameter list passed to CreateAdditionalEXEAssociations - expected "
               u"Name/Text/Command");
  }
  section_key_ = sClassName;
  // An empty name addresses the root, which always exists; no class is
  // defined there.
  if (NamesNoKey(sClassName) || !KeyExists()) {
    RaiseError(kClassNotDefined, ErrorSource(),
               u"Error - attempt to create additional associations before class defined.");
  }
  for (std::int64_t i = 0; i < count; i += 3) {
    const auto index = static_cast<std::int32_t>(i);
    value_type_ = kRegSz;
    UString verb;
    try {
      verb = sClassName + kShell + ToText(vItems.Get(index));
    } catch (const AutomationError&) {
      // Without its name the verb's rows have no key of their own; writing
      // them anyway would overwrite whatever key was addressed last.
      continue;
    }
    section_key_ = verb;
    value_key_.clear();
    try {
      SetClassesValue(ToText(vItems.Get(index + 1)));
    } catch (const AutomationError&) {
      // A verb whose text fails still gets its command, and the walk goes on.
    }
    section_key_ = verb + kCommand;
    value_key_.clear();
    try {
      SetClassesValue(ToText(vItems.Get(index + 2)));
    } catch (const AutomationError&) {
      // Dropped likewise: the remaining verbs are still written.
    }
  }
}

}  // namespace keystrel
