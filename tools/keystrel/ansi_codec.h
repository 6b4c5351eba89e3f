// AnsiCodec: conversion between UTF-16 and the ANSI code page, the 8-bit text
// of REGEDIT4 files and of the registry's A functions. The tool uses the
// platform's code page (PlatformAnsiCodec in registry_access.h); the .reg
// reader and writer take the codec as a parameter so they can be tested
// without a store.
#ifndef KEYSTREL_TOOLS_KEYSTREL_ANSI_CODEC_H_
#define KEYSTREL_TOOLS_KEYSTREL_ANSI_CODEC_H_

#include <string>
#include <string_view>

namespace keystrel::cli {

class AnsiCodec {
 public:
  virtual ~AnsiCodec() = default;

  // Converts `text`; returns false when a character has no form in the code
  // page (the output then holds the code page's replacement for it).
  virtual bool ToAnsi(std::u16string_view text, std::string* out) const = 0;
  virtual std::u16string FromAnsi(std::string_view bytes) const = 0;
  // The code page number, for messages.
  virtual unsigned CodePage() const = 0;
};

}  // namespace keystrel::cli

#endif  // KEYSTREL_TOOLS_KEYSTREL_ANSI_CODEC_H_
