#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <streambuf>
#include <string>
#include <vector>

#include <pelagon/app/dsr_commands.h>

namespace {

// Standard output through its descriptor, keeping the first write error: through stdio the
// error of a write made long before the end (a full disk) is known at the end only as a
// flag, without its cause.
class StandardOutputBuffer : public std::streambuf {
public:
  StandardOutputBuffer() { setp(buffer_.data(), buffer_.data() + buffer_.size()); }

  // Writes what is buffered; the first failure's errno, or 0 when everything arrived.
  int finish() {
    sync();
    return error_;
  }

protected:
  int_type overflow(int_type c) override {
    if (sync() != 0) return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(c);
      pbump(1);
    }
    return traits_type::not_eof(c);
  }

  int sync() override {
    const char* next = pbase();
    while (error_ == 0 && next < pptr()) {
      const ssize_t n = ::write(STDOUT_FILENO, next, static_cast<std::size_t>(pptr() - next));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) error_ = n < 0 ? errno : EIO;
      if (n > 0) next += n;
    }
    setp(buffer_.data(), buffer_.data() + buffer_.size());
    return error_ == 0 ? 0 : -1;
  }

private:
  std::array<char, 65536> buffer_{};
  int error_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  StandardOutputBuffer buffer;
  std::ostream out(&buffer);
  const int status = pelagon::dsr::Run(args, out, std::cerr);
  // A result that did not all arrive is a failure, not a success.
  if (const int error = buffer.finish(); error != 0) {
    std::cerr << "pelagon-dsr: standard output: cannot write: " << std::strerror(error) << '\n';
    return pelagon::dsr::kExitUsage;
  }
  return status;
}
