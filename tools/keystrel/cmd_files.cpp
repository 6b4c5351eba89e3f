// keystrel export and import: .reg files written and read as streams.
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "tools/keystrel/command_line.h"
#include "tools/keystrel/commands.h"
#include "tools/keystrel/progress.h"
#include "tools/keystrel/reg_file_reader.h"
#include "tools/keystrel/reg_file_writer.h"
#include "tools/keystrel/unicode.h"

namespace keystrel::cli {

namespace {

namespace p = keystrel::platform;
namespace fs = std::filesystem;

constexpr std::array<SwitchSpec, 4> kExportSwitches = {{
    {u"y", SwitchValue::kNone},
    {u"a", SwitchValue::kNone},
    {u"reg:32", SwitchValue::kNone},
    {u"reg:64", SwitchValue::kNone},
}};

constexpr std::array<SwitchSpec, 2> kImportSwitches = {{
    {u"reg:32", SwitchValue::kNone},
    {u"reg:64", SwitchValue::kNone},
}};

class Exporter {
 public:
  Exporter(Context& ctx, RegFileWriter& writer, Progress& progress)
      : ctx_(ctx), writer_(writer), progress_(progress) {}

  // Depth first as regedit writes: a key, its values, then its subkeys in
  // the store's (sorted) order. Holds one key's names at a time.
  Status ExportKey(HKEY key, const std::u16string& path) {
    KEYSTREL_RETURN_IF_ERROR(writer_.WriteKey(path));
    progress_.Update("Exporting", ++keys_, 0);
    for (DWORD i = 0;; ++i) {
      RegValue value;
      const LONG rc = ctx_.registry.EnumValue(key, i, &value);
      if (rc == p::ERROR_NO_MORE_ITEMS) break;
      if (rc != p::ERROR_SUCCESS) return Failure(rc, path);
      Status s = writer_.WriteValue(value.name, value.type, value.data);
      if (!s.ok()) {
        return Status::Fail("value '" + Utf16ToUtf8(value.name) + "' of " + Utf16ToUtf8(path) +
                            ": " + s.message());
      }
    }
    for (DWORD i = 0;; ++i) {
      std::u16string name;
      LONG rc = ctx_.registry.EnumSubkey(key, i, &name);
      if (rc == p::ERROR_NO_MORE_ITEMS) return Status::Ok();
      if (rc != p::ERROR_SUCCESS) return Failure(rc, path);
      const std::u16string child_path = path + u"\\" + name;
      KeyHandle child;
      rc = ctx_.registry.OpenChild(key, name, p::KEY_READ, &child);
      if (rc != p::ERROR_SUCCESS) return Failure(rc, child_path);
      KEYSTREL_RETURN_IF_ERROR(ExportKey(child.get(), child_path));
    }
  }

 private:
  Status Failure(LONG rc, const std::u16string& path) const {
    return Status::Fail(Utf16ToUtf8(path) + ": " + DescribeError(rc, ctx_.registry.codec()));
  }

  Context& ctx_;
  RegFileWriter& writer_;
  Progress& progress_;
  std::uint64_t keys_ = 0;
};

// Checks what the file asks of the store without changing it: names and
// text the code page can hold, and keys that may be written or deleted.
class CheckingSink : public RegFileSink {
 public:
  explicit CheckingSink(const Registry& registry) : registry_(registry) {}

  Status OnKey(const RegFileKey& key, bool remove) override {
    std::string ansi;
    if (!registry_.codec().ToAnsi(key.subkey, &ansi)) return Unmappable("the key name");
    writable_ = true;
    KeyHandle handle;
    const HKEY root = p::HKeyFromLong(static_cast<std::int32_t>(key.root->handle));
    const REGSAM sam = remove ? p::KEY_ENUMERATE_SUB_KEYS : p::KEY_SET_VALUE;
    const LONG rc = registry_.Open(root, key.subkey, sam, &handle);
    if (rc == p::ERROR_ACCESS_DENIED) {
      if (remove) return Status::Fail("Access is denied: the key cannot be deleted.");
      writable_ = false;  // an error only if a value is to be written
    }
    return Status::Ok();
  }
  Status OnValue(std::u16string_view name, std::uint32_t type,
                 std::span<const std::uint8_t> data) override {
    KEYSTREL_RETURN_IF_ERROR(CheckValue(name));
    std::string ansi;
    if (IsTextType(type) && !registry_.codec().ToAnsi(FromUtf16Bytes(data), &ansi)) {
      return Unmappable("the text of value '" + Utf16ToUtf8(name) + "'");
    }
    return Status::Ok();
  }
  Status OnDeleteValue(std::u16string_view name) override { return CheckValue(name); }

 private:
  Status CheckValue(std::u16string_view name) {
    std::string ansi;
    if (!registry_.codec().ToAnsi(name, &ansi)) return Unmappable("the value name");
    if (!writable_) return Status::Fail("Access is denied: the key's values cannot be changed.");
    return Status::Ok();
  }
  Status Unmappable(const std::string& what) const {
    return Status::Fail(what + " has characters that code page " +
                        std::to_string(registry_.codec().CodePage()) +
                        " cannot represent (set KEYSTREL_ACP to a code page that has them)");
  }

  const Registry& registry_;
  bool writable_ = true;
};

// Applies the file to the store, keeping the key of the current section open.
class ApplyingSink : public RegFileSink {
 public:
  explicit ApplyingSink(const Registry& registry) : registry_(registry) {}

  Status OnKey(const RegFileKey& key, bool remove) override {
    current_.Reset();
    const HKEY root = p::HKeyFromLong(static_cast<std::int32_t>(key.root->handle));
    LONG rc;
    if (remove) {
      rc = registry_.DeleteTree(root, key.subkey);
      if (rc == p::ERROR_FILE_NOT_FOUND) rc = p::ERROR_SUCCESS;  // nothing to delete
    } else {
      rc = registry_.Create(root, key.subkey, &current_, p::KEY_SET_VALUE);
      // A section without values only needs the key to exist; its values
      // (if any) were refused by the first pass already.
      if (rc == p::ERROR_ACCESS_DENIED) rc = registry_.Open(root, key.subkey, 0, &current_);
    }
    return Result(rc);
  }
  Status OnValue(std::u16string_view name, std::uint32_t type,
                 std::span<const std::uint8_t> data) override {
    return Result(registry_.SetValue(current_.get(), name, type, data));
  }
  Status OnDeleteValue(std::u16string_view name) override {
    LONG rc = registry_.DeleteValue(current_.get(), name);
    if (rc == p::ERROR_FILE_NOT_FOUND) rc = p::ERROR_SUCCESS;
    return Result(rc);
  }

 private:
  Status Result(LONG rc) const {
    return rc == p::ERROR_SUCCESS ? Status::Ok()
                                  : Status::Fail(DescribeError(rc, registry_.codec()));
  }

  const Registry& registry_;
  KeyHandle current_;
};

std::string FileError(const std::string& file) {
  return file + ": " + std::strerror(errno);
}

}  // namespace

int RunExport(Context& ctx, Args args) {
  Arguments a;
  if (!ParseArguments(args, 2, kExportSwitches, &a).ok()) return PrintSyntaxError(ctx);
  KeyArgument key;
  if (!ParseKey(ctx, a.positionals[0], KeySyntax::kLenient, &key)) return kExitFailure;
  if (!key.machine.empty()) return PrintSyntaxError(ctx, "Invalid key name.");
  const std::string file = Utf16ToUtf8(a.positionals[1]);

  KeyHandle root, handle;
  LONG rc = ctx.registry.Root(key, &root);
  if (rc == p::ERROR_SUCCESS) rc = ctx.registry.Open(root.get(), key.subkey, p::KEY_READ, &handle);
  if (rc != p::ERROR_SUCCESS) return PrintRegistryError(ctx, rc);

  std::error_code ec;
  if (fs::exists(file, ec) && !a.Has(u"y") &&
      !Confirm(ctx, u"File " + a.positionals[1] + u" already exists, overwrite(Yes/No)? ")) {
    return Canceled(ctx);
  }
  // Written beside the target and renamed at the end, so a failed export
  // never leaves a truncated file in its place.
  const std::string temp = file + ".keystrel-tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return PrintError(ctx, "Unable to write the file " + FileError(file));
    RegFileWriter writer(out,
                         a.Has(u"a") ? RegFormat::kRegedit4 : RegFormat::kRegedit5,
                         &ctx.registry.codec());
    Progress progress(ctx.io.err, ctx.io.progress);
    Exporter exporter(ctx, writer, progress);
    Status s = writer.WriteHeader();
    if (s.ok()) s = exporter.ExportKey(handle.get(), key.FullPath());
    if (s.ok()) s = writer.Finish();
    progress.Done();
    if (!s.ok()) {
      out.close();
      std::remove(temp.c_str());
      return PrintError(ctx, s.message());
    }
  }
  fs::rename(temp, file, ec);
  if (ec) {
    std::remove(temp.c_str());
    return PrintError(ctx, "Unable to write the file " + file + ": " + ec.message());
  }
  PrintSuccess(ctx);
  return kExitSuccess;
}

int RunImport(Context& ctx, Args args) {
  Arguments a;
  if (!ParseArguments(args, 1, kImportSwitches, &a).ok()) return PrintSyntaxError(ctx);
  const std::string file = Utf16ToUtf8(a.positionals[0]);
  std::ifstream in(file, std::ios::binary);
  std::error_code ec;
  if (!in || fs::is_directory(file, ec)) {
    PrintError(ctx, "Error opening the file. There may be a disk or file system error.");
    ctx.io.err << (fs::is_directory(file, ec) ? file + ": Is a directory" : FileError(file))
               << "\r\n";
    return kExitFailure;
  }
  const std::uint64_t size = fs::file_size(file, ec);
  Progress progress(ctx.io.err, ctx.io.progress);
  RegFileReadOptions options;
  options.codec = &ctx.registry.codec();

  // First pass: the whole file must read and fit the store before any of it
  // is applied.
  options.progress = [&](std::uint64_t done) { progress.Update("Checking " + file, done, size); };
  CheckingSink checker(ctx.registry);
  Status s = ReadRegFile(in, checker, options);
  if (!s.ok()) {
    progress.Done();
    if (s.message().starts_with("line 1: ") || !s.message().starts_with("line ")) {
      PrintError(ctx, "Error opening the file. There may be a disk or file system error.");
      ctx.io.err << file << ": " << s.message() << "\r\n";
      return kExitFailure;
    }
    return PrintError(ctx, file + ", " + s.message() + ". Nothing was imported.");
  }

  in.clear();
  in.seekg(0);
  options.progress = [&](std::uint64_t done) { progress.Update("Importing " + file, done, size); };
  ApplyingSink applier(ctx.registry);
  s = ReadRegFile(in, applier, options);
  progress.Done();
  if (!s.ok()) {
    return PrintError(ctx, file + ", " + s.message() +
                               ". The import stopped there; the lines before it were applied.");
  }
  PrintSuccess(ctx);
  return kExitSuccess;
}

}  // namespace keystrel::cli
