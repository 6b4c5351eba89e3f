// clsZqRegyHandlerC: one GetRegistryValue as a script client makes it,
// late-bound by member name through the catalogue, on the SQLite store (warm:
// the value has been read before).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "frame/dispatch.h"
#include "frame/host.h"
#include "frame/variant.h"
#include "handler_c/handler_c.h"
#include "platform/admin.h"
#include "platform/ansi.h"

namespace keystrel {
namespace {

constexpr std::int32_t kCurrentUser = static_cast<std::int32_t>(0x80000001u);

std::filesystem::path FreshStoreFile() {
  std::string dir_template =
      (std::filesystem::temp_directory_path() / "keystrel-handler-c-bench-XXXXXX").string();
  if (mkdtemp(dir_template.data()) == nullptr) return {};
  return std::filesystem::path(dir_template) / "registry.db";
}

void BM_HandlerC_GetRegistryValue(benchmark::State& state, platform::StoreKind kind) {
  // Only this module, once: the benchmark measures its member, not the
  // start-up of the whole library.
  static const bool registered = [] {
    RegisterFrameClasses();
    RegisterHandlerCModule();
    return true;
  }();
  benchmark::DoNotOptimize(registered);
  const std::filesystem::path file = FreshStoreFile();
  if (file.empty() || platform::UseLocalStore(kind, file.string()) != 0) {
    state.SkipWithError("cannot open a fresh store");
    return;
  }
  const std::string text = "C:\\Program Files\\Maker\\App\\app.exe";
  platform::AdminCreateKey(u"", u"HKCU\\Software\\Maker\\App");
  platform::AdminSetValue(u"", u"HKCU\\Software\\Maker\\App", u"Path", 1,
                          {reinterpret_cast<const std::uint8_t*>(text.c_str()), text.size() + 1});

  Ref<Object> handler = CreateObjectByClass(u"clsZqRegyHandlerC");
  CallByName(*handler, u"hKey", {VLong(kCurrentUser)}, kPropertyLet);
  CallByName(*handler, u"KeyRoot", {VStr(u"Software\\Maker")}, kPropertyLet);
  CallByName(*handler, u"Subkey", {VStr(u"App")}, kPropertyLet);
  if (CallByName(*handler, u"GetRegistryValue", {VStr(u"Path")}) != VStr(platform::FromAnsi(text))) {
    state.SkipWithError("the value did not read back");
  }

  for (auto _ : state) {
    std::vector<Arg> args{Arg::ByVal(VStr(u"Path"))};
    Variant result = InvokeByName(*handler, u"GetRegistryValue", args);
    benchmark::DoNotOptimize(result);
  }

  handler.reset();
  platform::UseLocalStore(platform::StoreKind::kMemory);
  std::error_code ignored;
  std::filesystem::remove_all(file.parent_path(), ignored);
}

BENCHMARK_CAPTURE(BM_HandlerC_GetRegistryValue, sqlite, platform::StoreKind::kSqlite);

}  // namespace
}  // namespace keystrel
