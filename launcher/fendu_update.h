// The update front end: the state of one update run (progress, archive registry,
// game directory, base address) and the operations that show it to the player.
#pragma once

#include <cstdint>

#include "common/containers.h"
#include "common/parlo_string.h"

class Parlo_BigFile;
class Parlo_TypedNodeList;

class Fendu_Update {
 public:
  // Registers `mainArchive` under the target name "Vossarium".
  Fendu_Update(Parlo_BigFile* mainArchive, Parlo_String gameDirectory, Parlo_String updateURL)
      : gameDirectory(gameDirectory), updateURL(updateURL) {
    archives[Parlo_StringW(u"Vossarium")] = mainArchive;
  }
  Fendu_Update(const Fendu_Update&) = delete;
  Fendu_Update& operator=(const Fendu_Update&) = delete;
  // Not virtual: a front end lives as a local object of the code that runs it.
  ~Fendu_Update() = default;

  Parlo_String GetGameDirectory() const { return gameDirectory; }
  Parlo_String GetUpdateURL() const { return updateURL; }
  // The archive registered under `target`; a name that is not registered
  // falls back to the main archive ("Vossarium").
  Parlo_BigFile* GetBigFile(const Parlo_StringW& target) {
    return archives[archives.Contains(target) ? target : Parlo_StringW(u"Vossarium")];
  }
  // Registers an archive under a target name of the resource list.
  void RegisterBigFile(const Parlo_StringW& target, Parlo_BigFile* archive) {
    archives[target] = archive;
  }
  // Whether the listed resource `name` (with its entry's `fields`) must be
  // downloaded into the archive of `target`. An entry of the same name but
  // another language is removed from the archive on the way.
  bool NeedsUpdate(const Parlo_StringW& name, const Parlo_TypedNodeList& fields,
                   const Parlo_StringW& target);
  // The last values given to SetProgress and SetProgressRange.
  uint32_t GetProgressPosition() const { return position; }
  uint32_t GetProgressRange() const { return range; }

  virtual bool OpenWindow() = 0;
  virtual bool CloseWindow() = 0;
  // Moves the bar; becomes the progress position.
  virtual void SetProgress(uint32_t position) = 0;
  // Sets the bar's range and puts the bar at 0; becomes the progress range.
  virtual void SetProgressRange(uint32_t range) = 0;
  // Shows the text of a localisation key formatted with the arguments.
  virtual void SetStatus(const char16_t* key, ...) = 0;
  virtual void ReplaceClient() = 0;
  virtual bool IsCancelled() = 0;
  virtual bool ForceClientCheck() { return false; }
  virtual int32_t GetLanguage() { return 0; }
  virtual int32_t GetClientId() { return 0; }

 protected:
  uint32_t position = 0;
  uint32_t range = 0;
  CDynamicMap<Parlo_StringW, Parlo_BigFile*> archives;
  Parlo_String gameDirectory;
  Parlo_String updateURL;
};
