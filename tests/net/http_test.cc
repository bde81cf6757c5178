// The HTTP client's text rules and response reading over in-memory input.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/debug_log.h"
#include "net/http.h"
#include "net/http_limits.h"
#include "net/http_parse.h"
#include "platform/platform.h"

namespace {

// Hands out a byte string in pieces of the given sizes (the last size repeats),
// then -1, as a connection whose peer closed would.
class MemoryInput : public Fendu_HttpInput {
 public:
  MemoryInput(std::string data, std::vector<int> pieces)
      : data_(std::move(data)), pieces_(pieces) {}
  int ReadSafe(void* buffer, int length) override {
    ++reads;
    if (offset_ >= data_.size()) return -1;
    int piece = pieces_.empty() ? length : pieces_[std::min(piece_index_, pieces_.size() - 1)];
    ++piece_index_;
    size_t n =
        std::min({static_cast<size_t>(piece), static_cast<size_t>(length), data_.size() - offset_});
    std::memcpy(buffer, data_.data() + offset_, n);
    offset_ += n;
    return static_cast<int>(n);
  }
  size_t left() const { return data_.size() - offset_; }
  int reads = 0;

 private:
  std::string data_;
  std::vector<int> pieces_;
  size_t piece_index_ = 0;
  size_t offset_ = 0;
};

std::vector<std::string>* g_lines = nullptr;
void CaptureLine(const char16_t* text) {
  if (g_lines) g_lines->push_back(platform::Utf16ToUtf8(text));
}

class HttpReadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_lines = &lines;
    SetDebugLogSink(CaptureLine);
  }
  void TearDown() override {
    SetDebugLogSink(nullptr);
    g_lines = nullptr;
  }
  bool Logged(const std::string& line) const {
    for (const auto& l : lines) {
      if (l == line) return true;
    }
    return false;
  }
  // Reads one whole response from `input`; the body (or "<failed>") is returned.
  std::string Exchange(HTTP* http, MemoryInput* input, int* status,
                       FENDU_HTTP_PROGRESS callback = nullptr, void* context = nullptr) {
    http->SetInputForTest(input);
    *status = http->ReadHead();
    if (*status != 200) return "<no body>";
    uint8_t* data = nullptr;
    int size = 0;
    if (!http->ReadBody(&data, &size, callback, context)) return "<failed>";
    return std::string(reinterpret_cast<char*>(data), size);
  }

  std::vector<std::string> lines;
};

struct Progress {
  std::vector<std::pair<int, int>> calls;
  HTTP* abort_on_first = nullptr;
};
void RecordProgress(int done, int total, void* context) {
  auto* progress = static_cast<Progress*>(context);
  progress->calls.push_back({done, total});
  if (progress->abort_on_first) progress->abort_on_first->Abort();
}

const std::string kOkHead = "HTTP/1.1 200 OK\r\nContent-Length: 11\r\n\r\n";

}  // namespace

TEST(HttpParseTest, StatusLines) {
  struct Case {
    const char* line;
    int status;
  } cases[] = {
      {"HTTP/1.1 200 OK", 200},
      {"HTTP/1.0 404 Not Found", 404},
      {"", 0},
      {"HTTP/1.1", 0},
      {"HTTP/1.1  301", 301},
      {"http/1.1 200", 0},
      {"HTTP/1.1 -1 x", 0},
      {"HTTP/1.1 99999999999999999999", 0},
      {"HTTP/2.0 204", 204},
  };
  for (const Case& c : cases) EXPECT_EQ(http_parse::ParseStatusLine(c.line), c.status) << c.line;
}

TEST(HttpParseTest, ChunkSizes) {
  int64_t size = -1;
  EXPECT_TRUE(http_parse::ParseChunkSize("1A;name=value", 1 << 30, &size));
  EXPECT_EQ(size, 26);
  EXPECT_TRUE(http_parse::ParseChunkSize("  ff", 1 << 30, &size));
  EXPECT_EQ(size, 255);
  EXPECT_TRUE(http_parse::ParseChunkSize("", 1 << 30, &size));
  EXPECT_EQ(size, 0);
  EXPECT_TRUE(http_parse::ParseChunkSize("40000000", int64_t{1} << 30, &size));
  EXPECT_FALSE(http_parse::ParseChunkSize("40000001", int64_t{1} << 30, &size));
  EXPECT_FALSE(http_parse::ParseChunkSize("FFFFFFFF", int64_t{1} << 30, &size));
  EXPECT_FALSE(http_parse::ParseChunkSize("FFFFFFFFFFFFFFFFFFFFFFFF", INT64_MAX / 16, &size));
}

TEST(HttpParseTest, HeadEndStopsAtZeroByte) {
  using namespace std::string_literals;
  EXPECT_EQ(http_parse::FindHeadEnd("ab\r\n\r\ncd", 0), 2);
  EXPECT_EQ(http_parse::FindHeadEnd("a\0b\r\n\r\n"s, 0), -1);
  EXPECT_EQ(http_parse::FindHeadEnd("ab\r\n", 0), -1);
}

TEST(HttpUrlTest, SetUrlTable) {
  HTTP http;
  http.SetURL("http://example.org");
  EXPECT_STREQ(http.host().Buffer(), "example.org");
  EXPECT_STREQ(http.path().Buffer(), "/");
  EXPECT_EQ(http.port(), 80);

  http.SetURL("https://h.example:8443/a/b?x=1#f");
  EXPECT_STREQ(http.host().Buffer(), "h.example");
  EXPECT_STREQ(http.path().Buffer(), "/a/b?x=1#f");
  EXPECT_EQ(http.port(), 8443);

  http.SetURL("no scheme here/x");
  EXPECT_STREQ(http.host().Buffer(), "h.example");
  EXPECT_EQ(http.port(), 8443);

  http.SetURL("ftp://other/f");  // unknown scheme keeps the port
  EXPECT_STREQ(http.host().Buffer(), "other");
  EXPECT_STREQ(http.path().Buffer(), "/f");
  EXPECT_EQ(http.port(), 8443);

  http.SetURL("http://u:p@host:81/");
  EXPECT_STREQ(http.user().Buffer(), "u");
  EXPECT_STREQ(http.password().Buffer(), "p");
  EXPECT_EQ(http.port(), 81);
  http.SetURL("http://name@host/");  // a user without ":" keeps the password
  EXPECT_STREQ(http.user().Buffer(), "name");
  EXPECT_STREQ(http.password().Buffer(), "p");
  http.SetURL("http://host/");  // no "@" keeps both
  EXPECT_STREQ(http.user().Buffer(), "name");
  EXPECT_STREQ(http.password().Buffer(), "p");

  http.SetURL("http://host:abc/x");  // a port without digits stays the scheme's
  EXPECT_STREQ(http.host().Buffer(), "host");
  EXPECT_EQ(http.port(), 80);
  http.SetURL("http://host: +8080/x");
  EXPECT_EQ(http.port(), 8080);
}

TEST(HttpRequestTest, RequestBytes) {
  HTTP http;
  http.keepAlive = true;
  http.SetURL("http://127.0.0.1:8080/resource.002.php?language=0&client=0&firg=7");
  EXPECT_EQ(http.BuildRequest(),
            "GET /resource.002.php?language=0&client=0&firg=7 HTTP/1.1\r\n"
            "Host: 127.0.0.1\r\n"
            "Connection: Keep-Alive\r\n"
            "User-Agent: Vossarium (May  7 2014 20:36:16)\r\n"
            "\r\n");

  HTTP other;
  other.SetURL("http://:secret@h/p");  // a password alone still sends the line
  other.SetMethod("POST");
  other.SetBody("a=1");
  other.SetExtraHeaders("X-One: 1\r\n");
  EXPECT_EQ(other.BuildRequest(),
            "POST /p HTTP/1.1\r\n"
            "Host: h\r\n"
            "Authorization: Basic OnNlY3JldA==\r\n"
            "Content-length: 3\r\n"
            "Content-Type: application/x-www-form-urlencoded\r\n"
            "Connection: close\r\n"
            "User-Agent: Vossarium (May  7 2014 20:36:16)\r\n"
            "X-One: 1\r\n"
            "\r\n"
            "a=1");
}

TEST_F(HttpReadTest, HeadSplitOverManyReadsKeepsBodyBytes) {
  const std::string response = kOkHead + "hello world";
  for (int piece : {1, 2, 3, 5, 7, 40, 16383}) {
    HTTP http;
    MemoryInput input(response, {piece});
    int status = 0;
    EXPECT_EQ(Exchange(&http, &input, &status), "hello world") << piece;
    EXPECT_EQ(status, 200);
    EXPECT_EQ(input.left(), 0u);
  }
}

TEST_F(HttpReadTest, WholeBodyWithTheHeadNeedsNoFurtherRead) {
  HTTP http;
  MemoryInput input(kOkHead + "hello world", {});
  int status = 0;
  EXPECT_EQ(Exchange(&http, &input, &status), "hello world");
  EXPECT_EQ(input.reads, 1);
}

TEST_F(HttpReadTest, HeaderLines) {
  HTTP http;
  MemoryInput input(
      "HTTP/1.0 404 Not Found\r\nX:\r\nno colon here\r\nA: 1\r\na:  two \t\r\n"
      "Transfer-Encoding: Chunked\r\nContent-Length:  +12x\r\n\r\n",
      {});
  http.SetInputForTest(&input);
  EXPECT_EQ(http.ReadHead(), 404);
  ASSERT_EQ(http.headers().count, 5);
  EXPECT_STREQ(http.headers()[0].name.Buffer(), "X");
  EXPECT_STREQ(http.headers()[0].value.Buffer(), "");
  EXPECT_STREQ(http.GetHeader("A").Buffer(), "1");  // first of repeated names, any case
  EXPECT_STREQ(http.headers()[2].value.Buffer(), "two");
  EXPECT_FALSE(http.chunked());  // only "chunked" exactly
  EXPECT_EQ(http.contentLength(), 12);
  EXPECT_STREQ(http.GetHeader("Missing").Buffer(), "");
}

TEST_F(HttpReadTest, EmptyFirstLineGivesStatusZero) {
  HTTP http;
  MemoryInput input("\r\nServer: x\r\n\r\n", {});
  http.SetInputForTest(&input);
  EXPECT_EQ(http.ReadHead(), 0);
}

TEST_F(HttpReadTest, HeadLimits) {
  struct Case {
    const char* what;
    std::string response;
  } cases[] = {
      {"no end", "HTTP/1.1 200 OK\r\n" + std::string(http_limits::kMaxHeadBytes + 10, 'a')},
      {"long line",
       "HTTP/1.1 200 OK\r\nX: " + std::string(http_limits::kMaxHeaderLineBytes, 'a') + "\r\n\r\n"},
      {"many headers",
       [] {
         std::string r = "HTTP/1.1 200 OK\r\n";
         for (int i = 0; i <= http_limits::kMaxHeaderCount; ++i) r += "H: v\r\n";
         return r + "\r\n";
       }()},
      {"peer closed", "HTTP/1.1 200 OK\r\n"},
  };
  for (const Case& c : cases) {
    HTTP http;
    MemoryInput input(c.response, {1000});
    http.SetInputForTest(&input);
    EXPECT_EQ(http.ReadHead(), -1) << c.what;
  }
}

TEST_F(HttpReadTest, ChunkedBodiesDecode) {
  std::string many;
  std::string expected_many;
  for (int i = 0; i < 3000; ++i) {
    std::string data(1 + i % 7, static_cast<char>('a' + i % 26));
    char line[32];
    std::snprintf(line, sizeof(line), "%x%s\r\n", static_cast<unsigned>(data.size()),
                  i % 3 == 0 ? ";ext=\"v\"" : "");
    many += line + data + "\r\n";
    expected_many += data;
  }
  struct Case {
    const char* what;
    std::string body;
    std::string expected;
  } cases[] = {
      {"several", "5\r\nhello\r\n1\r\n \r\n5\r\nworld\r\n0\r\n\r\n", "hello world"},
      {"extension", "1A;name=value\r\nabcdefghijklmnopqrstuvwxyz\r\n0\r\n\r\n",
       "abcdefghijklmnopqrstuvwxyz"},
      {"upper hex and trailer", "0A\r\n0123456789\r\n0\r\nX-Sum: 1\r\n\r\n", "0123456789"},
      {"many tiny", many + "0\r\n\r\n", expected_many},
      {"zero bytes inside data", std::string("3\r\na\0b\r\n0\r\n\r\n", 13), std::string("a\0b", 3)},
  };
  const std::string head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
  for (const Case& c : cases) {
    for (int piece : {1, 3, 64, 1 << 20}) {
      HTTP http;
      MemoryInput input(head + c.body, {piece});
      int status = 0;
      EXPECT_EQ(Exchange(&http, &input, &status), c.expected) << c.what << " / " << piece;
      // The trailer's empty line is read: nothing of this response is left behind.
      EXPECT_EQ(input.left(), 0u) << c.what << " / " << piece;
    }
  }
  EXPECT_TRUE(Logged("[http] Transfer is chunked\n"));
}

TEST_F(HttpReadTest, ChunkedProgressCountsRawBytesOfTheChunk) {
  // Head read takes the head only; the 10-byte chunk then comes in pieces of 4.
  const std::string head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
  HTTP http;
  MemoryInput input(head + "A\r\n0123456789\r\n0\r\n\r\n", {static_cast<int>(head.size()), 4});
  Progress progress;
  int status = 0;
  EXPECT_EQ(Exchange(&http, &input, &status, RecordProgress, &progress), "0123456789");
  // Raw bytes of the chunk buffered before each appended read, size line included.
  std::vector<std::pair<int, int>> expected = {{4, -1}, {8, -1}, {12, -1}};
  EXPECT_EQ(progress.calls, expected);
}

TEST_F(HttpReadTest, HostileChunkSizesFailWithoutAllocating) {
  for (const char* body : {"FFFFFFFF\r\n", "7FFFFFFFFFFFFFFF\r\nxx", "40000001\r\n"}) {
    HTTP http;
    MemoryInput input(std::string("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n") + body,
                      {});
    int status = 0;
    EXPECT_EQ(Exchange(&http, &input, &status), "<failed>") << body;
  }
  // A size line that never ends is not collected without end.
  HTTP http;
  MemoryInput input(
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + std::string(100000, '1'), {1000});
  int status = 0;
  EXPECT_EQ(Exchange(&http, &input, &status), "<failed>");
  EXPECT_GT(input.left(), 0u);
}

TEST_F(HttpReadTest, StreamedProgressAndFraming) {
  HTTP http;
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n";
  MemoryInput input(head + "0123456789", {static_cast<int>(head.size()) + 2, 3});
  Progress progress;
  int status = 0;
  EXPECT_EQ(Exchange(&http, &input, &status, RecordProgress, &progress), "0123456789");
  // Bytes held before each read's data is added; the last read is never reported.
  std::vector<std::pair<int, int>> expected = {{2, 10}, {5, 10}, {8, 10}};
  EXPECT_EQ(progress.calls, expected);
  bool speed_line = false;
  for (const auto& l : lines) speed_line |= l.rfind("[http] Downloaded 10 bytes in ", 0) == 0;
  EXPECT_TRUE(speed_line);
}

TEST_F(HttpReadTest, BrokenLengthsFail) {
  struct Case {
    const char* what;
    std::string response;
  } cases[] = {
      {"negative", "HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\nabc"},
      {"huge", "HTTP/1.1 200 OK\r\nContent-Length: 99999999999\r\n\r\nabc"},
      {"beyond limit", "HTTP/1.1 200 OK\r\nContent-Length: 1073741825\r\n\r\nabc"},
      {"more than announced", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nabc"},
      {"stops short", "HTTP/1.1 200 OK\r\nContent-Length: 20\r\n\r\nabc"},
      {"no length, peer closes", "HTTP/1.1 200 OK\r\n\r\nabc"},
  };
  for (const Case& c : cases) {
    HTTP http;
    MemoryInput input(c.response, {});
    int status = 0;
    EXPECT_EQ(Exchange(&http, &input, &status), "<failed>") << c.what;
    EXPECT_EQ(status, 200) << c.what;
  }
}

TEST_F(HttpReadTest, ConnectionCloseInAnyCaseCloses) {
  for (const char* header : {"Connection: Close", "connection: close", "CONNECTION: cLoSe"}) {
    lines.clear();
    HTTP http;
    MemoryInput input(
        std::string("HTTP/1.1 200 OK\r\n") + header + "\r\nContent-Length: 2\r\n\r\nok", {});
    int status = 0;
    EXPECT_EQ(Exchange(&http, &input, &status), "ok");
    EXPECT_TRUE(Logged("[http] Closing connection...\n")) << header;
    EXPECT_TRUE(Logged("[http] HTTP::Close\n")) << header;
  }
  lines.clear();
  HTTP http;
  MemoryInput input("HTTP/1.1 200 OK\r\nConnection: keep-alive\r\nContent-Length: 2\r\n\r\nok", {});
  int status = 0;
  EXPECT_EQ(Exchange(&http, &input, &status), "ok");
  EXPECT_FALSE(Logged("[http] Closing connection...\n"));
}

TEST_F(HttpReadTest, AbortFromProgressEndsTheBody) {
  HTTP http;
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n";
  MemoryInput input(head + std::string(100, 'x'), {static_cast<int>(head.size()), 10});
  Progress progress;
  progress.abort_on_first = &http;
  int status = 0;
  EXPECT_EQ(Exchange(&http, &input, &status, RecordProgress, &progress), "<failed>");
  EXPECT_EQ(progress.calls.size(), 1u);
  EXPECT_EQ(http.ReadHead(), -2);  // stays aborted until the next request
}
