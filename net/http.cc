// The HTTP client: request building and sending, response head and body.
#include "net/http.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

#include "common/clock.h"
#include "common/debug_log.h"
#include "net/http_limits.h"
#include "net/http_parse.h"
#include "platform/socket.h"

HTTP g_http;

namespace {

using namespace http_limits;

std::string_view View(const Parlo_String& text) {
  return text.IsNull() ? std::string_view() : std::string_view(text.Buffer(), text.Length());
}

Parlo_String MakeString(std::string_view text) {
  return Parlo_String(text.data() != nullptr ? text.data() : "", static_cast<int>(text.size()));
}

std::string_view View(const Parlo_StreamwriterMemory& buffer) {
  return std::string_view(reinterpret_cast<const char*>(buffer.GetBuffer()), buffer.GetLength());
}

}  // namespace

HTTP::HTTP() : method_("GET"), readBlock_(kBodyReadBytes, '\0') {}

HTTP::~HTTP() { Close(); }

uint32_t HTTP::Identity() const { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(this)); }

void HTTP::SetMethod(const char* method) { method_ = method; }

void HTTP::SetURL(const char* url) {
  if (url == nullptr) return;
  http_parse::UrlParts parts;
  if (!http_parse::SplitUrl(url, &parts)) return;
  if (parts.has_scheme_port) port_ = parts.scheme_port;
  path_ = MakeString(parts.path);
  if (parts.has_user) user_ = MakeString(parts.user);
  if (parts.has_password) password_ = MakeString(parts.password);
  if (parts.has_port) port_ = parts.port;
  host_ = MakeString(parts.host);
}

std::string HTTP::BuildRequest() const {
  std::string request;
  request.append(View(method_)).append(" ").append(View(path_)).append(" HTTP/1.1\r\n");
  request.append("Host: ").append(View(host_)).append("\r\n");
  if (user_.Length() > 0 || password_.Length() > 0) {
    Parlo_String credentials =
        MakeString(std::string(View(user_)) + ":" + std::string(View(password_)));
    request.append("Authorization: Basic ").append(View(credentials.ToBase64())).append("\r\n");
  }
  if (body_.Length() > 0) {
    request.append("Content-length: ").append(std::to_string(body_.Length())).append("\r\n");
  }
  if (View(method_) == "POST")
    request.append("Content-Type: application/x-www-form-urlencoded\r\n");
  request.append(keepAlive ? "Connection: Keep-Alive\r\n" : "Connection: close\r\n");
  request.append("User-Agent: Vossarium (May  7 2014 20:36:16)\r\n");
  request.append(View(extraHeaders_));
  request.append("\r\n");
  request.append(View(body_));
  return request;
}

bool HTTP::ConnectionIsStale() {
  if (input_ != nullptr) return false;
  return platform::SocketWaitReadable(socket_.handle(), 0) != platform::WaitResult::kTimeout;
}

bool HTTP::SendRequest(FENDU_HTTP_PROGRESS callback, void* context) {
  aborted_ = false;
  bool reuse = keepAlive && socket_.IsOpen() && socket_.GetHost() == host_ &&
               socket_.GetPort() == port_ && atBoundary_ && !ConnectionIsStale();
  if (!reuse) {
    DebugLog(u"[http] <%08X> Socket (re)open...\n", Identity());
    socket_.Close();
    if (!socket_.Connect(host_.Buffer(), port_)) return false;
  }
  // From the first byte sent until the body is read to its end, the connection
  // is in the middle of an exchange and cannot carry another request.
  atBoundary_ = false;
  socket_.SetTimeout(kReceiveTimeoutMs);
  rawIn_.Reset();
  decoded_.Reset();
  rawPos_ = 0;
  lastBody_ = nullptr;

  std::string request = BuildRequest();
  int length = static_cast<int>(request.size());
  int sent = 0;
  while (sent < length) {
    if (aborted_) return false;
    if (callback) callback(sent, length, context);
    int result = socket_.Write(request.data() + sent, std::min(length - sent, kWritePieceBytes));
    DebugLog(u"[http] socket.Write done = %d (%d / %d)\n", result, sent, length);
    // send never answers 0 for a non-empty piece; taking 0 as progress would spin.
    if (result <= 0) {
      socket_.ReportError();
      socket_.Close();
      return false;
    }
    sent += result;
  }
  if (callback) callback(length, length, context);
  return true;
}

int HTTP::ReadInput(void* buffer, int length) {
  return input_ != nullptr ? input_->ReadSafe(buffer, length) : socket_.ReadSafe(buffer, length);
}

void HTTP::FailRead() {
  socket_.ReportError();
  socket_.Close();
}

int HTTP::ReadHead() {
  if (aborted_) return -2;
  headIn_.Reset();
  int64_t end = -1;
  for (;;) {
    int got = ReadInput(readBlock_.data(), kHeadReadBytes);
    DebugLog(u"[http] socket.ReadSafe done = %d\n", got);
    if (got == -1) {
      FailRead();
      return -1;
    }
    size_t searched = headIn_.GetLength();
    headIn_.Write(readBlock_.data(), static_cast<uint32_t>(got));
    end = http_parse::FindHeadEnd(View(headIn_), searched >= 3 ? searched - 3 : 0);
    if (end >= 0) break;
    if (aborted_) return -2;
    if (headIn_.GetLength() > static_cast<uint32_t>(kMaxHeadBytes)) {
      socket_.Close();
      return -1;
    }
  }
  std::string_view all = View(headIn_);
  head_ = MakeString(all.substr(0, static_cast<size_t>(end)));
  std::string_view rest = all.substr(static_cast<size_t>(end) + 4);
  if (!rest.empty()) rawIn_.Write(rest.data(), static_cast<uint32_t>(rest.size()));
  int status = ParseHead();
  if (status < 0) socket_.Close();
  return status;
}

int HTTP::ParseHead() {
  headers_.count = 0;
  chunked_ = false;
  contentLength_ = 0;
  lengthRefused_ = false;
  std::string_view text = View(head_);
  if (text.size() > static_cast<size_t>(kMaxHeadBytes)) return -1;
  int status = 0;
  for (int index = 0;; ++index) {
    size_t line_end = text.find("\r\n");
    std::string_view line = text.substr(0, line_end);
    if (line.size() > static_cast<size_t>(kMaxHeaderLineBytes)) return -1;
    if (index == 0) {
      status = http_parse::ParseStatusLine(line);
    } else if (size_t colon = line.find(':'); colon != std::string_view::npos) {
      if (headers_.count >= kMaxHeaderCount) return -1;
      FENDU_HTTP_HEADER header;
      header.name = MakeString(http_parse::TrimHeaderText(line.substr(0, colon)));
      header.value = MakeString(http_parse::TrimHeaderText(line.substr(colon + 1)));
      headers_.Add(header);
    }
    if (line_end == std::string_view::npos) break;
    text.remove_prefix(line_end + 2);
  }
  chunked_ = View(GetHeader("Transfer-Encoding")) == "chunked";
  // An HTTP/1.0 server closes after its answer unless it says otherwise;
  // sending the next request into that close would cost a failed attempt.
  reusable_ = View(head_).substr(0, 9) != "HTTP/1.0 " ||
              GetHeader("Connection").CompareNoCase(Parlo_String("keep-alive")) == 0;
  int64_t length = 0;
  if (http_parse::ParseDecimal(View(GetHeader("Content-Length")), &length)) {
    if (length < 0 || length > kMaxBodyBytes) {
      lengthRefused_ = true;
    } else {
      contentLength_ = static_cast<int>(length);
    }
  }
  return status;
}

Parlo_String HTTP::GetHeader(const char* name) const {
  Parlo_String wanted(name);
  for (int i = 0; i < headers_.count; ++i) {
    if (headers_.data[i].name.CompareNoCase(wanted) == 0) return headers_.data[i].value;
  }
  return Parlo_String("");
}

std::string_view HTTP::Pending() const { return View(rawIn_).substr(rawPos_); }

void HTTP::CompactRaw() {
  if (rawPos_ == 0) return;
  rawIn_.Discard(rawPos_);
  rawPos_ = 0;
}

bool HTTP::ReadRaw(int length) {
  CompactRaw();
  int got = ReadInput(readBlock_.data(), std::min(length, kBodyReadBytes));
  if (got == -1) {
    FailRead();
    return false;
  }
  rawIn_.Write(readBlock_.data(), static_cast<uint32_t>(got));
  return true;
}

bool HTTP::ReadBody(uint8_t** data, int* size, FENDU_HTTP_PROGRESS callback, void* context) {
  if (chunked_) return ReadChunked(data, size, callback, context);
  return ReadStreamed(data, size, callback, context);
}

bool HTTP::ReadChunked(uint8_t** data, int* size, FENDU_HTTP_PROGRESS callback, void* context) {
  DebugLog(u"[http] Transfer is chunked\n");
  for (;;) {
    if (aborted_) return false;
    size_t line_end;
    while ((line_end = Pending().find("\r\n")) == std::string_view::npos) {
      if (Pending().size() > static_cast<size_t>(kMaxChunkLineBytes)) {
        socket_.Close();
        return false;
      }
      if (!ReadRaw(kBodyReadBytes)) return false;
    }
    std::string_view line = Pending().substr(0, line_end);
    // Size lines are text: a zero byte ends the number like any other non-digit.
    line = line.substr(0, line.find('\0'));
    int64_t chunk = 0;
    int64_t room = kMaxBodyBytes - decoded_.GetLength();
    if (line_end > static_cast<size_t>(kMaxChunkLineBytes) ||
        !http_parse::ParseChunkSize(line, room, &chunk)) {
      socket_.Close();
      return false;
    }
    uint32_t line_bytes = static_cast<uint32_t>(line_end + 2);
    rawPos_ += line_bytes;
    if (chunk == 0) {
      if (!ReadChunkTrailer()) return false;
      return FinishBody(&decoded_, data, size);
    }
    // The chunk's data goes to decoded as it arrives, so a large chunk is never
    // held twice. Progress counts the raw bytes of this chunk received so far,
    // its size line included.
    int64_t left = chunk;
    int64_t received = line_bytes;
    for (;;) {
      std::string_view pending = Pending();
      size_t take = static_cast<size_t>(std::min<int64_t>(left, pending.size()));
      if (take > 0) {
        decoded_.Write(pending.data(), static_cast<uint32_t>(take));
        rawPos_ += static_cast<uint32_t>(take);
        left -= static_cast<int64_t>(take);
        received += static_cast<int64_t>(take);
      }
      // The CRLF behind the data is skipped unseen, as servers always send it.
      if (left == 0 && Pending().size() >= 2) {
        rawPos_ += 2;
        break;
      }
      // Inside a large chunk nothing waits in rawIn: the read goes straight to
      // decoded, one copy fewer per byte.
      // Otherwise the read lands behind the pending input. Either way the bytes
      // are received where they stay.
      bool direct = left >= kBodyReadBytes && Pending().empty();
      if (!direct) CompactRaw();
      Parlo_StreamwriterMemory* into = direct ? &decoded_ : &rawIn_;
      uint8_t* space = into->PrepareAppend(kBodyReadBytes);
      if (space == nullptr) {
        socket_.Close();
        return false;
      }
      int got = ReadInput(space, kBodyReadBytes);
      if (got == -1) {
        FailRead();
        return false;
      }
      // Reported before the read's bytes count: the raw bytes of this chunk so far.
      if (callback) {
        int64_t done = received + static_cast<int64_t>(Pending().size());
        callback(static_cast<int>(std::min<int64_t>(done, INT32_MAX)), -1, context);
      }
      into->CommitAppend(static_cast<uint32_t>(got));
      if (direct) {
        left -= got;
        received += got;
      }
      if (aborted_) return false;
    }
    if (aborted_) return false;
  }
}

bool HTTP::ReadChunkTrailer() {
  // Trailer lines up to the empty line that ends the message belong to this
  // response; left unread they would open the next response on this connection.
  size_t consumed = 0;
  for (;;) {
    size_t line_end = Pending().find("\r\n");
    if (line_end == std::string_view::npos) {
      if (consumed + Pending().size() > static_cast<size_t>(kMaxTrailerBytes)) {
        socket_.Close();
        return false;
      }
      if (!ReadRaw(kBodyReadBytes)) return false;
      if (aborted_) return false;
      continue;
    }
    rawPos_ += static_cast<uint32_t>(line_end + 2);
    consumed += line_end + 2;
    if (line_end == 0) return true;
  }
}

bool HTTP::ReadStreamed(uint8_t** data, int* size, FENDU_HTTP_PROGRESS callback, void* context) {
  DebugLog(u"[http] <%08X> Transfer is streamed\n", Identity());
  uint64_t started = Parlo_Milliseconds();
  if (aborted_) return false;
  if (lengthRefused_) {
    socket_.Close();
    return false;
  }
  // One block of the announced size, so the body lands in place without growth steps.
  if (contentLength_ > 0) rawIn_.Reserve(static_cast<uint32_t>(contentLength_));
  uint32_t expected = static_cast<uint32_t>(contentLength_);
  while (!(expected != 0 && rawIn_.GetLength() == expected)) {
    // More bytes than announced, or an unannounced body past the limit: the
    // framing cannot be trusted and the connection is given up.
    if ((expected != 0 && rawIn_.GetLength() > expected) ||
        rawIn_.GetLength() >= static_cast<uint64_t>(kMaxBodyBytes)) {
      socket_.Close();
      return false;
    }
    int ask = kBodyReadBytes;
    if (expected != 0)
      ask = static_cast<int>(std::min<uint32_t>(ask, expected - rawIn_.GetLength()));
    // Received in place: the body never passes through another buffer.
    uint8_t* space = rawIn_.PrepareAppend(static_cast<uint32_t>(ask));
    if (space == nullptr) {
      socket_.Close();
      return false;
    }
    int got = ReadInput(space, ask);
    if (got == -1) {
      FailRead();
      return false;
    }
    if (callback) callback(static_cast<int>(rawIn_.GetLength()), contentLength_, context);
    rawIn_.CommitAppend(static_cast<uint32_t>(got));
    if (aborted_) return false;
  }
  uint64_t elapsed = Parlo_Milliseconds() - started;
  if (elapsed == 0) elapsed = 1;
  int64_t speed = static_cast<int64_t>(rawIn_.GetLength() / elapsed) * 1000 / 1024;
  DebugLog(u"[http] Downloaded %d bytes in %d ms (%dKB/s)\n", static_cast<int>(rawIn_.GetLength()),
           static_cast<int>(elapsed), static_cast<int>(speed));
  return FinishBody(&rawIn_, data, size);
}

bool HTTP::FinishBody(Parlo_StreamwriterMemory* body, uint8_t** data, int* size) {
  *data = body->GetBuffer();
  *size = static_cast<int>(body->GetLength());
  lastBody_ = body;
  atBoundary_ = reusable_;
  if (GetHeader("Connection").CompareNoCase(Parlo_String("Close")) == 0) {
    DebugLog(u"[http] Closing connection...\n");
    Close();
  }
  return true;
}

bool HTTP::TakeBody(Parlo_StreamwriterMemory* into) {
  if (lastBody_ == nullptr || into == nullptr || into->GetLength() != 0) return false;
  lastBody_->Swap(*into);
  lastBody_->Reset();
  lastBody_ = nullptr;
  return true;
}

void HTTP::Close() {
  DebugLog(u"[http] HTTP::Close\n");
  socket_.Close();
}

void HTTP::Abort() {
  aborted_ = true;
  socket_.Cancel();
}
