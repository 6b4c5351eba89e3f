// Reading .reg files, both formats, as a stream: the reader holds one line
// (or one continued hex value) at a time and hands each key and value to a
// sink, so a file of any size is read in bounded memory.
//
// Unlike regedit, which skips what it cannot read, the reader treats every
// such line as an error: it stops at the first one and reports its line
// number. Callers that must apply all of a file or nothing read it twice:
// once with a sink that only checks, then with the sink that applies.
#ifndef KEYSTREL_TOOLS_KEYSTREL_REG_FILE_READER_H_
#define KEYSTREL_TOOLS_KEYSTREL_REG_FILE_READER_H_

#include <cstdint>
#include <functional>
#include <istream>
#include <span>
#include <string_view>

#include "tools/keystrel/ansi_codec.h"
#include "tools/keystrel/key_path.h"
#include "tools/keystrel/reg_file.h"
#include "tools/keystrel/status.h"

namespace keystrel::cli {

// A key named in a [..] line: its root and the path below it (no leading or
// trailing "\"; empty for the root itself).
struct RegFileKey {
  const RootInfo* root = nullptr;
  std::u16string_view subkey;
};

// Receives what the file says, in file order. A failure stops the reading;
// the reader puts "line N: " in front of its message.
class RegFileSink {
 public:
  virtual ~RegFileSink() = default;
  // [KEY] (delete false) or [-KEY] (delete true).
  virtual Status OnKey(const RegFileKey& key, bool remove) = 0;
  // A value of the key last opened with OnKey(.., false).
  virtual Status OnValue(std::u16string_view name, std::uint32_t type,
                         std::span<const std::uint8_t> data) = 0;
  // "name"=- under the key last opened.
  virtual Status OnDeleteValue(std::u16string_view name) = 0;
};

struct RegFileReadOptions {
  // Decodes 8-bit files and the hex(1), hex(2) and hex(7) bytes in them.
  // Required.
  const AnsiCodec* codec = nullptr;
  // Called now and then with the count of bytes read so far.
  std::function<void(std::uint64_t)> progress;
};

struct RegFileInfo {
  RegFormat format = RegFormat::kRegedit5;  // from the header line
  bool unicode = false;                     // UTF-16LE (BOM FF FE) or UTF-8 (BOM)
  std::uint64_t keys = 0;
  std::uint64_t values = 0;  // set or deleted
};

// Reads `in` to its end. On failure the message names the line
// ("line 12: ..."). `info` (optional) is filled as far as the reading got.
Status ReadRegFile(std::istream& in, RegFileSink& sink, const RegFileReadOptions& options,
                   RegFileInfo* info = nullptr);

}  // namespace keystrel::cli

#endif  // KEYSTREL_TOOLS_KEYSTREL_REG_FILE_READER_H_
