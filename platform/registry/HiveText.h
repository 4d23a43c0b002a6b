// The .reg text format of one hive file:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CLASSES_ROOT\Path\To\Key]
//   @="default value"
//   "Text"="a \"quoted\" \\ back-slashed\nsecond line"
//   "Number"=dword:0000002a
//   "Bytes"=hex:01,ff
//   "Other"=hex(b):2a,00,00,00,00,00,00,00
//
// Every key has its section, empty keys too, in depth-first stored order; each section ends
// with a blank line. REG_SZ is written as quoted text when it is exactly text plus one
// terminating NUL, else as hex(1) so that the stored bytes round-trip; REG_DWORD of four bytes
// is written as dword:, REG_BINARY as hex:, every other value as hex(type):. Text is written as
// its bytes (UTF-8) with \\, \", \n and \r escaped. Pure functions; any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "RegNode.h"

namespace quillet::registry {

// The first line of every hive file.
inline constexpr std::string_view kHiveHeader = "Windows Registry Editor Version 5.00";

// Parses a hive whose sections must all lie under rootName (e.g. "HKEY_CLASSES_ROOT").
// Accepts what FormatHiveText writes plus what regedit writes by hand: comments (;), CRLF line
// ends, a UTF-8 byte-order mark, hex lines continued with a trailing backslash and repeated
// sections. Answers nothing and says why in error when the text does not parse.
std::optional<RegNode> ParseHiveText(std::string_view text, std::string_view rootName,
                                     std::string& error);

// The file text of the hive below root.
std::string FormatHiveText(const RegNode& root, std::string_view rootName);

} // namespace quillet::registry
