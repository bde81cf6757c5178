// The download routine of the update run.
#include "net/fendu_download.h"

#include <cstring>

#include "common/debug_log.h"
#include "common/streams.h"
#include "launcher/fendu_update.h"
#include "net/http.h"

uint32_t g_downloaded = 0;

void DownloadProgress(int done, int /*total*/, void* context) {
  if (context == nullptr) return;
  Fendu_Update* frontEnd = static_cast<Fendu_Update*>(context);
  frontEnd->SetProgress(g_downloaded + static_cast<uint32_t>(done));
  double position = static_cast<double>(frontEnd->GetProgressPosition()) / 1024.0 / 1024.0;
  double range = static_cast<double>(frontEnd->GetProgressRange()) / 1024.0 / 1024.0;
  frontEnd->SetStatus(u"update_downloadingbytes", position, range);
}

bool Fendu_DownloadFromUpdateURL(Fendu_Update* frontEnd, char* url, Parlo_Streamwriter* out) {
  g_http.keepAlive = true;
  g_http.SetMethod("GET");
  g_http.SetURL(url);
  if (!g_http.SendRequest(nullptr, nullptr)) return false;
  int status = g_http.ReadHead();
  if (status == 200) {
    uint8_t* body = nullptr;
    int length = 0;
    if (!g_http.ReadBody(&body, &length, DownloadProgress, frontEnd)) return false;
    // An empty memory stream takes the client's block as it is: a body of
    // hundreds of MiB is not copied once more, and the blocks of the two go
    // back and forth between downloads instead of fresh pages being touched.
    auto* memory = dynamic_cast<Parlo_StreamwriterMemory*>(out);
    if (memory != nullptr && memory->GetLength() == 0 && g_http.TakeBody(memory)) return true;
    out->Write(body, static_cast<uint32_t>(length));
    return true;
  }
  if (status == 301) {
    // An address that does not fit with its terminator is not taken: the buffer
    // keeps the old one, so the next attempt is not sent to a cut-off address.
    Parlo_String location = g_http.GetHeader("Location");
    size_t length = location.IsNull() ? 0 : static_cast<size_t>(location.Length());
    if (length < static_cast<size_t>(kUpdateUrlBytes)) {
      std::memset(url, 0, kUpdateUrlBytes);
      std::memcpy(url, location.Buffer(), length);
    }
  }
  DebugLog(u"[update] Fendu_DownloadFromUpdateURL failed: %d\n", status);
  return false;
}
