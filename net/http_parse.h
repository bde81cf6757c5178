// The text rules of HTTP/1.1 responses and request addresses, as pure functions
// over bytes, so that every framing oddity can be tested without a connection.
#pragma once

#include <cstdint>
#include <string_view>

namespace http_parse {

// Reads a decimal number the way strtol does: leading white space, an optional
// sign, then digits up to the first non-digit. False when there are no digits.
// Values beyond the int64 range are clamped, so *value may be compared safely.
bool ParseDecimal(std::string_view text, int64_t* value);

// Reads a hexadecimal chunk size at the start of a size line: leading white
// space, then digits of either case up to the first other character (an
// extension after it is ignored). A line without digits gives 0. False when
// the value passes `limit`.
bool ParseChunkSize(std::string_view line, int64_t limit, int64_t* size);

// The status code of a first line that reads "HTTP/<n>.<n> <status>"; 0 when
// the line does not match or the status is not a three-digit-range number.
int ParseStatusLine(std::string_view line);

// The position of "\r\n\r\n" in `bytes`, searched as text that ends at the
// first zero byte; -1 when not there. `from` skips bytes already searched.
int64_t FindHeadEnd(std::string_view bytes, size_t from);

// Trims blanks, tabs, CR and LF at both ends.
std::string_view TrimHeaderText(std::string_view text);

// The parts of a request address that SetURL takes apart. Each `has_` flag says
// whether the address gave that part; parts it does not give keep their values.
struct UrlParts {
  bool has_scheme_port = false;  // "http" gives 80, "https" 443
  int scheme_port = 0;
  std::string_view path;  // from the first "/" behind the host, or "/"
  bool has_user = false;
  std::string_view user;
  bool has_password = false;
  std::string_view password;
  bool has_port = false;
  int port = 0;
  std::string_view host;
};
// False (and nothing to change) when the address has no "://".
bool SplitUrl(std::string_view url, UrlParts* parts);

}  // namespace http_parse
