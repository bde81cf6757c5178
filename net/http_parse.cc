// Text rules of the HTTP client.
#include "net/http_parse.h"

#include <climits>

namespace http_parse {

namespace {

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Consumes "[space][sign]digits" from *text like scanf's %d; false without digits.
bool ConsumeDecimal(std::string_view* text, int64_t* value) {
  size_t i = 0;
  while (i < text->size() && IsSpace((*text)[i])) ++i;
  bool negative = false;
  if (i < text->size() && ((*text)[i] == '+' || (*text)[i] == '-')) {
    negative = (*text)[i] == '-';
    ++i;
  }
  size_t digits_start = i;
  int64_t result = 0;
  for (; i < text->size() && IsDigit((*text)[i]); ++i) {
    int digit = (*text)[i] - '0';
    if (result > (INT64_MAX - digit) / 10) {
      result = INT64_MAX;  // clamped; the digits are still consumed
    } else {
      result = result * 10 + digit;
    }
  }
  if (i == digits_start) return false;
  *value = negative ? -result : result;
  text->remove_prefix(i);
  return true;
}

}  // namespace

bool ParseDecimal(std::string_view text, int64_t* value) { return ConsumeDecimal(&text, value); }

bool ParseChunkSize(std::string_view line, int64_t limit, int64_t* size) {
  size_t i = 0;
  while (i < line.size() && IsSpace(line[i])) ++i;
  int64_t result = 0;
  for (; i < line.size() && HexValue(line[i]) >= 0; ++i) {
    result = result * 16 + HexValue(line[i]);
    if (result > limit) return false;  // checked per digit, so it never overflows
  }
  *size = result;
  return true;
}

int ParseStatusLine(std::string_view line) {
  constexpr std::string_view kPrefix = "HTTP/";
  if (line.substr(0, kPrefix.size()) != kPrefix) return 0;
  line.remove_prefix(kPrefix.size());
  int64_t ignored = 0;
  if (!ConsumeDecimal(&line, &ignored)) return 0;
  if (line.empty() || line.front() != '.') return 0;
  line.remove_prefix(1);
  if (!ConsumeDecimal(&line, &ignored)) return 0;
  int64_t status = 0;
  if (!ConsumeDecimal(&line, &status)) return 0;
  // The callers read -1 and -2 as "failed" and "aborted"; a server cannot say that.
  if (status < 0 || status > 999) return 0;
  return static_cast<int>(status);
}

int64_t FindHeadEnd(std::string_view bytes, size_t from) {
  size_t zero = bytes.find('\0');
  if (zero != std::string_view::npos) bytes = bytes.substr(0, zero);
  size_t found = bytes.find("\r\n\r\n", from);
  return found == std::string_view::npos ? -1 : static_cast<int64_t>(found);
}

std::string_view TrimHeaderText(std::string_view text) {
  auto is_trimmed = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && is_trimmed(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_trimmed(text.back())) text.remove_suffix(1);
  return text;
}

bool SplitUrl(std::string_view url, UrlParts* parts) {
  size_t separator = url.find("://");
  if (separator == std::string_view::npos) return false;
  std::string_view scheme = url.substr(0, separator);
  if (scheme == "http" || scheme == "https") {
    parts->has_scheme_port = true;
    parts->scheme_port = scheme == "http" ? 80 : 443;
  }
  std::string_view rest = url.substr(separator + 3);
  size_t slash = rest.find('/');
  if (slash == std::string_view::npos) {
    parts->path = "/";
  } else {
    parts->path = rest.substr(slash);
    rest = rest.substr(0, slash);
  }
  size_t at = rest.find('@');
  if (at != std::string_view::npos) {
    std::string_view user = rest.substr(0, at);
    rest = rest.substr(at + 1);
    size_t colon = user.find(':');
    parts->has_user = true;
    if (colon != std::string_view::npos) {
      parts->has_password = true;
      parts->password = user.substr(colon + 1);
      user = user.substr(0, colon);
    }
    parts->user = user;
  }
  size_t colon = rest.find(':');
  if (colon != std::string_view::npos) {
    int64_t port = 0;
    if (ParseDecimal(rest.substr(colon + 1), &port)) {
      parts->has_port = true;
      parts->port = static_cast<int>(port < INT_MIN ? INT_MIN : port > INT_MAX ? INT_MAX : port);
    }
    rest = rest.substr(0, colon);
  }
  parts->host = rest;
  return true;
}

}  // namespace http_parse
