// The type library's eight enumerations, names and values in declaration
// order. Root keys are the platform's predefined handles; value types are the
// platform's registry types.
#include "frame/catalogue.h"
#include "frame/internal/frame_classes.h"

namespace keystrel::detail {

namespace {

constexpr std::int32_t Root(std::uint32_t handle) { return static_cast<std::int32_t>(handle); }

}  // namespace

void RegisterFrameEnums() {
  Catalogue& c = Catalogue::Instance();
  c.AddEnum({u"ERegistryClassConstants",
             {{u"HKEY_CLASSES_ROOT", Root(0x80000000u)},
              {u"HKEY_CURRENT_USER", Root(0x80000001u)},
              {u"HKEY_LOCAL_MACHINE", Root(0x80000002u)},
              {u"HKEY_USERS", Root(0x80000003u)}}});
  c.AddEnum({u"hKey",
             {{u"HKEY_CLASSES_ROOT", Root(0x80000000u)},
              {u"HKEY_CURRENT_USER", Root(0x80000001u)},
              {u"HKEY_LOCAL_MACHINE", Root(0x80000002u)},
              {u"HKEY_USERS", Root(0x80000003u)},
              {u"HKEY_PERFORMANCE_DATA", Root(0x80000004u)},
              {u"HKEY_CURRENT_CONFIG", Root(0x80000005u)},
              {u"HKEY_DYN_DATA", Root(0x80000006u)}}});
  c.AddEnum({u"StandardRegistryKeys",
             {{u"HKeyClassesRoot", Root(0x80000000u)},
              {u"HKeyCurrentConfig", Root(0x80000005u)},
              {u"HKeyCurrentUser", Root(0x80000001u)},
              {u"HKeyUsers", Root(0x80000003u)},
              {u"HKeyLocalMachine", Root(0x80000002u)}}});
  c.AddEnum({u"ERegistryValueTypes",
             {{u"REG_NONE", 0},
              {u"REG_SZ", 1},
              {u"REG_EXPAND_SZ", 2},
              {u"REG_BINARY", 3},
              {u"REG_DWORD", 4},
              {u"REG_DWORD_LITTLE_ENDIAN", 4},
              {u"REG_DWORD_BIG_ENDIAN", 5},
              {u"REG_LINK", 6},
              {u"REG_MULTI_SZ", 7},
              {u"REG_RESOURCE_LIST", 8},
              {u"REG_FULL_RESOURCE_DESCRIPTOR", 9},
              {u"REG_RESOURCE_REQUIREMENTS_LIST", 10}}});
  c.AddEnum({u"Reg_Value",
             {{u"NULL_VALUE", 0}, {u"STRING_VALUE", 1}, {u"BINARY_VALUE", 3}, {u"DWORD_VALUE", 4}}});
  c.AddEnum({u"Reg_Result", {{u"STRING_RESULT", 0}, {u"BOOLEAN_RESULT", 1}, {u"INTEGER_RESULT", 2}}});
  c.AddEnum({u"DataType",
             {{u"REG_SZ", 1},
              {u"REG_EXPAND_SZ", 2},
              {u"REG_BINARY", 3},
              {u"REG_DWORD", 4},
              {u"REG_MULTI_SZ", 7}}});
  c.AddEnum({u"RegistryDataTypes",
             {{u"rdBinary", 3},
              {u"rdDWord", 4},
              {u"rdDWordBigEndian", 5},
              {u"rdDWordLittleEndian", 4},
              {u"rdExpandSZ", 2},
              {u"rdLink", 6},
              {u"rdMultiSZ", 7},
              {u"rdNone", 0},
              {u"rdString", 1}}});
}

}  // namespace keystrel::detail
