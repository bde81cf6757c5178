// The update run that start-up hands over to once the archives are open.
#pragma once

// Runs the whole update (window, resource list, downloads, hand-over to the
// replacer). Answers whether the run completed.
bool StartUpdate(void* instance);
