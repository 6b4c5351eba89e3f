#include <string>

#include "tools/keystrel/commands.h"

namespace keystrel::cli {

namespace {

constexpr const char* kKeyNameHelp = R"(
  KeyName  [\\Machine\]FullKey
           Machine - name of another computer (see KEYSTREL_COMPUTERS);
                     only HKLM and HKU are available there
           FullKey - ROOTKEY\SubKey
                ROOTKEY - [ HKLM | HKCU | HKCR | HKU | HKCC ]
                SubKey  - the full name of a registry key under ROOTKEY

)";

constexpr const char* kTool = R"(
KEYSTREL Operation [Parameter List]

  Operation  [ QUERY   | ADD    | DELETE  | COPY    |
               EXPORT  | IMPORT | COMPARE | GRANT ]

Return Code: (Except for KEYSTREL COMPARE)

  0 - Successful
  1 - Failed

For help on a specific operation type:

  KEYSTREL Operation /?

Examples:

  KEYSTREL QUERY /?
  KEYSTREL ADD /?
  KEYSTREL DELETE /?
  KEYSTREL COPY /?
  KEYSTREL EXPORT /?
  KEYSTREL IMPORT /?
  KEYSTREL COMPARE /?
  KEYSTREL GRANT /?

The store is $KEYSTREL_REGISTRY (a file, or memory:), else
$XDG_DATA_HOME/keystrel/registry.db.
)";

constexpr const char* kQuery = R"(
KEYSTREL QUERY KeyName [/v [ValueName] | /ve] [/s]
         [/f Data [/k] [/d] [/c] [/e]] [/t Type] [/z] [/se Separator]
         [/reg:32 | /reg:64]
%KEYNAME%
  /v       Queries for a specific registry key value.
           If omitted, all values for the key are queried.
           With /f the argument may be left out: search value names only.

  /ve      Queries the default value or empty value name (Default).

  /s       Queries all subkeys and values recursively (like dir /s).

  /se      Specifies the separator (length of 1 character only) in
           the data string for REG_MULTI_SZ. Defaults to "\0".

  /f       Specifies the data or pattern to search for.
           Use double quotes if a string contains spaces. Default is "*".
           * matches any run of characters, ? any one character.

  /k       Specifies to search in key names only.

  /d       Specifies the search in data only.

  /c       Specifies that the search is case sensitive.
           The default search is case insensitive.

  /e       Specifies to return only exact matches.
           By default all the matches are returned.

  /t       Specifies registry value data type.
           Valid types are:
             REG_SZ, REG_MULTI_SZ, REG_EXPAND_SZ,
             REG_DWORD, REG_QWORD, REG_BINARY, REG_NONE
           Defaults to all types.

  /z       Verbose: Shows the numeric equivalent for the type of the valuename.

  /reg:32  Accepted for compatibility; the store has one view.
  /reg:64  Accepted for compatibility; the store has one view.

Examples:

  KEYSTREL QUERY HKLM\Software\Microsoft\ResKit /v Version
    Displays the value of the registry value Version

  KEYSTREL QUERY HKLM\Software\Microsoft\ResKit\Nt\Setup /s
    Displays all subkeys and values under the registry key Setup

  KEYSTREL QUERY HKLM\Software\Microsoft\ResKit\Nt\Setup /se #
    Displays all subkeys and values with "#" as the separator
    for all valuenames whose type is REG_MULTI_SZ.

  KEYSTREL QUERY HKLM /f SYSTEM /t REG_SZ /c /e
    Displays Key, Value and Data with case sensitive and exact
    occurrences of "SYSTEM" under HKLM root for the data type REG_SZ
)";

constexpr const char* kAdd = R"(
KEYSTREL ADD KeyName [/v ValueName | /ve] [/t Type] [/s Separator] [/d Data] [/f]
         [/reg:32 | /reg:64]
%KEYNAME%
  /v       The value name, under the selected Key, to add.

  /ve      adds an empty value name (Default) for the key.

  /t       RegKey data types
           [ REG_SZ    | REG_MULTI_SZ | REG_EXPAND_SZ |
             REG_DWORD | REG_QWORD    | REG_BINARY    | REG_NONE ]
           If omitted, REG_SZ is assumed.

  /s       Specify one character that you use as the separator in your data
           string for REG_MULTI_SZ. If omitted, use "\0" as the separator.

  /d       The data to assign to the registry ValueName being added.
           REG_DWORD and REG_QWORD take decimal or 0x hex numbers,
           REG_BINARY hex digits.

  /f       Force overwriting the existing registry entry without prompt.

Examples:

  KEYSTREL ADD HKLM\Software\MyCo
    Adds a key HKLM\Software\MyCo

  KEYSTREL ADD HKLM\Software\MyCo /v Data /t REG_BINARY /d fe340ead
    Adds a value (name: Data, type: REG_BINARY, data: fe340ead)

  KEYSTREL ADD HKLM\Software\MyCo /v MRU /t REG_MULTI_SZ /d fax\0mail
    Adds a value (name: MRU, type: REG_MULTI_SZ, data: fax\0mail\0\0)

  KEYSTREL ADD HKLM\Software\MyCo /v Path /t REG_EXPAND_SZ /d ^%systemroot^%
    Adds a value (name: Path, type: REG_EXPAND_SZ, data: %systemroot%)
)";

constexpr const char* kDelete = R"(
KEYSTREL DELETE KeyName [/v ValueName | /ve | /va] [/f] [/reg:32 | /reg:64]
%KEYNAME%
  ValueName  The value name, under the selected Key, to delete.
             When omitted, all subkeys and values under the Key are deleted.
             A root key itself cannot be deleted.

  /ve        delete the value of empty value name (Default).

  /va        delete all values under this key.

  /f         Forces the deletion without prompt.

Examples:

  KEYSTREL DELETE HKLM\Software\MyCo\MyApp\Timeout
    Deletes the registry key Timeout and its all subkeys and values

  KEYSTREL DELETE \\ZODIAC\HKLM\Software\MyCo /v MTU
    Deletes the registry value MTU under MyCo on ZODIAC
)";

constexpr const char* kCopy = R"(
KEYSTREL COPY KeyName1 KeyName2 [/s] [/f] [/reg:32 | /reg:64]

  KeyName  [\\Machine\]FullKey
           Machine  Name of another computer - only HKLM and HKU there.
           FullKey  ROOTKEY\SubKey
           ROOTKEY  [ HKLM | HKCU | HKCR | HKU | HKCC ]
           SubKey   The full name of a registry key under the selected ROOTKEY.

  /s       Copies all subkeys and values.
           The destination may not lie inside the source.

  /f       Forces the copy without prompt.

Examples:

  KEYSTREL COPY HKLM\Software\MyCo\MyApp HKLM\Software\MyCo\SaveMyApp /s
    Copies all subkeys and values under the key MyApp to the key SaveMyApp

  KEYSTREL COPY \\ZODIAC\HKLM\Software\MyCo HKLM\Software\MyCo1
    Copies all values under the key MyCo on ZODIAC to the key MyCo1
    on the current machine
)";

constexpr const char* kExport = R"(
KEYSTREL EXPORT KeyName FileName [/y] [/a] [/reg:32 | /reg:64]

  Keyname    ROOTKEY[\SubKey] (local machine only).
    ROOTKEY  [ HKLM | HKCU | HKCR | HKU | HKCC ]
    SubKey   The full name of a registry key under the selected ROOTKEY.

  FileName   The name of the file to export, "Windows Registry Editor
             Version 5.00" format (UTF-16LE).

  /y       Force overwriting the existing file without prompt.

  /a       Write the REGEDIT4 format (ANSI code page) instead.

Examples:

  KEYSTREL EXPORT HKLM\Software\MyCo\MyApp AppBkUp.reg
    Exports all subkeys and values of the key MyApp to the file AppBkUp.reg
)";

constexpr const char* kImport = R"(
KEYSTREL IMPORT FileName [/reg:32 | /reg:64]

  FileName  The name of the file to import, REGEDIT4 or
            "Windows Registry Editor Version 5.00" format.

  The whole file is checked before anything is written: a line that
  cannot be read is reported with its number and nothing is imported.

Examples:

  KEYSTREL IMPORT AppBkUp.reg
    Imports registry entries from the file AppBkUp.reg
)";

constexpr const char* kCompare = R"(
KEYSTREL COMPARE KeyName1 KeyName2 [/v ValueName | /ve] [Output] [/s]
         [/reg:32 | /reg:64]
%KEYNAME%
           KeyName2 may also be \\Machine alone: the same key there.

  ValueName  The value name, under the selected Key, to compare.
             When omitted, all values under the Key are compared.

  /ve      compare the value of empty value name (Default).

  /s       Compare all subkeys and values.

  Output   [/oa | /od | /os | /on]
           When omitted, output only differences.
    /oa    Output all of differences and matches.
    /od    Output only differences.
    /os    Output only matches.
    /on    No output.

Return Code:

  0 - Successful, the result compared is identical
  1 - Failed
  2 - Successful, the result compared is different

Examples:

  KEYSTREL COMPARE HKLM\Software\MyCo\MyApp HKLM\Software\MyCo\SaveMyApp
    Compares all values under the key MyApp with SaveMyApp
)";

constexpr const char* kGrant = R"(
KEYSTREL GRANT KeyName [/a Rights]
%KEYNAME%
  Shows the access grant of the key: the rights it grants to anyone who
  opens it. Opening a key for more than its grant is refused with
  "Access is denied.".

  /a       Sets the grant. Rights are a number (decimal or 0x hex) or
           names joined with "|" or ",":
             ALL (KEY_ALL_ACCESS, the default of every key), READ, WRITE,
             EXECUTE, QUERY_VALUE, SET_VALUE, CREATE_SUB_KEY,
             ENUMERATE_SUB_KEYS, NOTIFY, CREATE_LINK, NONE
           Names may carry the KEY_ prefix and are case-insensitive.

Examples:

  KEYSTREL GRANT HKCU\Software\MyCo
    Shows the grant of the key MyCo

  KEYSTREL GRANT HKCU\Software\MyCo /a READ
    Lets the key MyCo be opened for reading only
)";

std::string WithCrLf(std::string text) {
  std::string out;
  out.reserve(text.size() + 64);
  for (char c : text) {
    if (c == '\n') out.push_back('\r');
    out.push_back(c);
  }
  return out;
}

}  // namespace

std::string HelpText(std::u16string_view command) {
  std::string text;
  if (command.empty()) text = kTool;
  else if (command == u"QUERY") text = kQuery;
  else if (command == u"ADD") text = kAdd;
  else if (command == u"DELETE") text = kDelete;
  else if (command == u"COPY") text = kCopy;
  else if (command == u"EXPORT") text = kExport;
  else if (command == u"IMPORT") text = kImport;
  else if (command == u"COMPARE") text = kCompare;
  else if (command == u"GRANT") text = kGrant;
  const std::string marker = "%KEYNAME%\n";
  const size_t at = text.find(marker);
  if (at != std::string::npos) text.replace(at, marker.size(), kKeyNameHelp);
  // The literals start with a newline, as reg.exe's help starts with an empty line.
  return WithCrLf(text);
}

}  // namespace keystrel::cli
