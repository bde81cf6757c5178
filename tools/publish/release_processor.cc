#include "tools/publish/release_processor.h"

#include <atomic>
#include <thread>

namespace publish {

bool PrepareRelease(const Release& release, const std::filesystem::path& site, int jobs,
                    Progress* progress, std::vector<StoredResource>* stored, std::string* error) {
  size_t count = release.files.size();
  stored->assign(count, StoredResource{});
  std::vector<std::string> errors(count);
  std::atomic<size_t> next{0};
  std::atomic<bool> failed{false};

  auto work = [&]() {
    std::vector<uint8_t> bytes;
    for (;;) {
      size_t index = next++;
      if (index >= count || failed) return;
      const ReleaseFile& file = release.files[index];
      std::string why;
      bool ok = PrepareResource(file.source, &bytes, &(*stored)[index], &why);
      if (ok && !site.empty()) ok = StoreFile(site, (*stored)[index].path, bytes, &why);
      if (!ok) {
        errors[index] = DisplayName(file) + ": " + why;
        failed = true;
        return;
      }
      if (progress != nullptr) progress->Add(file.size);
    }
  };

  if (jobs < 1) jobs = 1;
  std::vector<std::thread> threads;
  for (int i = 1; i < jobs; ++i) threads.emplace_back(work);
  work();
  for (std::thread& thread : threads) thread.join();
  if (progress != nullptr) progress->Finish();

  for (const std::string& message : errors) {
    if (!message.empty()) {
      *error = message;
      return false;
    }
  }
  return true;
}

}  // namespace publish
