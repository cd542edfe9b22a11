#include "pre_processor/persistence/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace pre_processor::persistence {
namespace {

constexpr mode_t kNewFileMode = 0666;
constexpr std::size_t kMinReadChunk = 8192;
constexpr std::size_t kProbeSize = 32;

// strerror_r comes in a GNU form (returns the text) and an XSI form (fills
// the buffer); accept either.
[[maybe_unused]] const char* strerror_text(const char* gnu_result, const char*) { return gnu_result; }
[[maybe_unused]] const char* strerror_text(int xsi_result, const char* buffer) {
  return xsi_result == 0 ? buffer : "Unknown error";
}

Error io_error(std::string text) { return {ErrorKind::Persistence, std::move(text)}; }
Error last_os_error() { return io_error(os_error_text(errno)); }

// The path as a C string, refused when it holds a NUL byte.
Result<std::string> c_path(std::string_view path) {
  if (path.find('\0') != std::string_view::npos) return io_error(std::string(kNulInPathText));
  return std::string(path);
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  // Closes now, reporting the failure of close itself.
  bool close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

int open_retrying(const char* path, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = ::open(path, flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

ssize_t read_retrying(int fd, std::uint8_t* into, std::size_t size) {
  ssize_t got;
  do {
    got = ::read(fd, into, size);
  } while (got < 0 && errno == EINTR);
  return got;
}

}  // namespace

std::string os_error_text(int error_number) {
  char buffer[256];
  const char* description = strerror_text(strerror_r(error_number, buffer, sizeof buffer), buffer);
  return std::string(description) + " (os error " + std::to_string(error_number) + ")";
}

Result<Vec<std::uint8_t>> read_whole_file(std::string_view path) {
  auto name = c_path(path);
  if (!name) return name.error();
  FileDescriptor file(open_retrying(name->c_str(), O_RDONLY));
  if (file.get() < 0) return last_os_error();

  struct stat status {};
  std::size_t reported_size = 0;
  if (::fstat(file.get(), &status) == 0 && status.st_size > 0) reported_size = static_cast<std::size_t>(status.st_size);
  Vec<std::uint8_t> bytes(reported_size);
  std::size_t filled = 0;
  for (;;) {
    if (filled == bytes.size()) {
      // Probe before growing, so that a file of exactly the reported size is
      // never moved into a larger buffer.
      std::uint8_t probe[kProbeSize];
      const ssize_t got = read_retrying(file.get(), probe, sizeof probe);
      if (got < 0) return last_os_error();
      if (got == 0) break;
      bytes.resize(std::max(bytes.size() * 2, kMinReadChunk));
      std::memcpy(bytes.data() + filled, probe, static_cast<std::size_t>(got));
      filled += static_cast<std::size_t>(got);
      continue;
    }
    const ssize_t got = read_retrying(file.get(), bytes.data() + filled, bytes.size() - filled);
    if (got < 0) return last_os_error();
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
  }
  bytes.resize(filled);
  return bytes;
}

Status write_whole_file(std::string_view path, std::span<const std::uint8_t> bytes) {
  auto name = c_path(path);
  if (!name) return name.error();
  FileDescriptor file(open_retrying(name->c_str(), O_WRONLY | O_CREAT | O_TRUNC, kNewFileMode));
  if (file.get() < 0) return last_os_error();

  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t put = ::write(file.get(), bytes.data() + written, bytes.size() - written);
    if (put < 0) {
      if (errno == EINTR) continue;
      return last_os_error();
    }
    if (put == 0) return io_error(std::string(kWriteZeroText));
    written += static_cast<std::size_t>(put);
  }
  if (!file.close()) return last_os_error();
  return ok_status();
}

bool is_valid_utf8(std::span<const std::uint8_t> bytes) {
  std::size_t i = 0;
  const std::size_t n = bytes.size();
  while (i < n) {
    const std::uint8_t lead = bytes[i];
    if (lead < 0x80) {
      ++i;
      continue;
    }
    std::size_t length = 0;
    std::uint8_t second_min = 0x80;
    std::uint8_t second_max = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) second_min = 0xA0;  // no overlong forms
      if (lead == 0xED) second_max = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) second_min = 0x90;  // no overlong forms
      if (lead == 0xF4) second_max = 0x8F;  // nothing above U+10FFFF
    } else {
      return false;
    }
    if (n - i < length) return false;
    if (bytes[i + 1] < second_min || bytes[i + 1] > second_max) return false;
    for (std::size_t k = 2; k < length; ++k) {
      if ((bytes[i + k] & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  return true;
}

}  // namespace pre_processor::persistence
