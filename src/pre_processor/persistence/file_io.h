// Whole-file reads and writes with the error texts that persistence failures
// carry: the C library's description of an OS error followed by
// " (os error N)", or a fixed text for failures that are not the OS's.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "pre_processor/common/error.h"
#include "pre_processor/common/memory.h"

namespace pre_processor::persistence {

inline constexpr std::string_view kNulInPathText = "file name contained an unexpected NUL byte";
inline constexpr std::string_view kInvalidUtf8Text = "stream did not contain valid UTF-8";
inline constexpr std::string_view kWriteZeroText = "failed to write whole buffer";

// "No such file or directory (os error 2)".
std::string os_error_text(int error_number);

// Reads the whole file; the size the file system reports at opening is the
// initial size of the buffer, and reading goes on to the end of file. On
// failure the error (kind Persistence) carries the error text only.
Result<Vec<std::uint8_t>> read_whole_file(std::string_view path);

// Creates or truncates the file (mode 0666 before the umask) and writes all
// bytes, retrying interrupted writes. No temporary file: a failure part-way
// leaves a partial file. On failure the error carries the error text only.
Status write_whole_file(std::string_view path, std::span<const std::uint8_t> bytes);

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool is_valid_utf8(std::span<const std::uint8_t> bytes);

}  // namespace pre_processor::persistence
