// Writing .reg files, both formats, line by line as regedit writes them:
// CR LF line ends, a blank line before each [key], hex data wrapped at
// regedit's column, and a final blank line. Nothing is held beyond one line,
// so an export of any size streams.
//
// Where regedit's own export loses data (a REG_SZ with an embedded NUL or
// without its terminator is cut or changed on re-import), the writer uses
// hex(1), which keeps every byte; every other value is written exactly as
// regedit writes it.
#ifndef KEYSTREL_TOOLS_KEYSTREL_REG_FILE_WRITER_H_
#define KEYSTREL_TOOLS_KEYSTREL_REG_FILE_WRITER_H_

#include <cstdint>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

#include "tools/keystrel/ansi_codec.h"
#include "tools/keystrel/reg_file.h"
#include "tools/keystrel/status.h"

namespace keystrel::cli {

class RegFileWriter {
 public:
  // `codec` converts text for kRegedit4 and may be null for kRegedit5.
  RegFileWriter(std::ostream& out, RegFormat format, const AnsiCodec* codec);

  // The BOM (version 5) and the header line.
  Status WriteHeader();
  // A blank line, then "[path]" or "[-path]". `path` starts with the root's
  // full name.
  Status WriteKey(std::u16string_view path);
  Status WriteDeleteKey(std::u16string_view path);
  // One value line (continued as needed) of the key written last.
  Status WriteValue(std::u16string_view name, std::uint32_t type,
                    std::span<const std::uint8_t> data);
  Status WriteDeleteValue(std::u16string_view name);
  // The closing blank line; flushes and reports any write failure.
  Status Finish();

  // The text of a value line without its final CR LF (continuations
  // included), as the writer would write it. Fails when the value cannot be
  // written in `format` without loss.
  static Status FormatValue(std::u16string_view name, std::uint32_t type,
                            std::span<const std::uint8_t> data, RegFormat format,
                            const AnsiCodec* codec, std::u16string* line);

 private:
  Status WriteLine(std::u16string_view text);

  std::ostream& out_;
  RegFormat format_;
  const AnsiCodec* codec_;
  std::u16string line_;
  std::string bytes_;
};

}  // namespace keystrel::cli

#endif  // KEYSTREL_TOOLS_KEYSTREL_REG_FILE_WRITER_H_
