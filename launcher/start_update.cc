#include "launcher/start_update.h"

#include "archive/big_file.h"
#include "launcher/startup.h"
#include "launcher/update_run.h"

// Windows shows the progress window; elsewhere the console stands in for it.
#if defined(_WIN32)
#include "launcher/update_winapi.h"
using FrontEnd = Fendu_Update_WINAPI;
#else
#include "launcher/update_console.h"
using FrontEnd = Fendu_Update_Console;
#endif

bool StartUpdate(void* instance) {
  FrontEnd frontEnd(&g_mainBigFile, g_gameDirectory, Parlo_String(g_updateBaseURL));
#if defined(_WIN32)
  frontEnd.instance = instance;
#else
  (void)instance;
#endif
  frontEnd.RegisterBigFile(u"Layers", &g_layersBigFile);
  return Fendu_RunUpdate(&frontEnd);
}
