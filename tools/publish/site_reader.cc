#include "tools/publish/site_reader.h"

#include <system_error>
#include <vector>

#include "tools/publish/content_store.h"

namespace fs = std::filesystem;

namespace publish {
namespace {

std::string Shown(const fs::path& path) {
  auto text = path.generic_u8string();
  return std::string(text.begin(), text.end());
}

// "<N>.txt" with N a language number written without leading zeros.
bool ParseListName(const std::string& file, int32_t* language) {
  if (file.size() < 5 || file.substr(file.size() - 4) != ".txt") return false;
  std::string digits = file.substr(0, file.size() - 4);
  if (digits.empty() || digits.size() > 10 || (digits[0] == '0' && digits.size() > 1)) {
    return false;
  }
  int64_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (value > INT32_MAX) return false;
  *language = static_cast<int32_t>(value);
  return true;
}

}  // namespace

std::string ListFileName(int32_t language) { return std::to_string(language) + ".txt"; }

bool ReadSiteLists(const fs::path& site, std::map<int32_t, SiteList>* lists, std::string* error) {
  lists->clear();
  std::error_code ec;
  if (!fs::is_directory(site, ec)) {
    *error = Shown(site) + ": the site folder does not exist or is not a folder";
    return false;
  }
  fs::path folder = site / kListsFolder;
  if (!fs::is_directory(folder, ec)) {
    *error = Shown(folder) + ": missing; this is not a site that vossarium-publish built";
    return false;
  }
  for (fs::directory_iterator it(folder, ec); !ec && it != fs::directory_iterator();
       it.increment(ec)) {
    std::string name = Shown(it->path().filename());
    int32_t language;
    if (!ParseListName(name, &language)) {
      *error = Shown(it->path()) + ": unexpected file among the lists";
      return false;
    }
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(it->path(), &bytes, error)) return false;
    std::string why;
    SiteList list;
    if (!ReadListText(std::string(bytes.begin(), bytes.end()), &list, &why)) {
      *error = Shown(it->path()) + ": damaged list: " + why;
      return false;
    }
    (*lists)[language] = std::move(list);
  }
  if (ec) {
    *error = Shown(folder) + ": cannot read the folder: " + ec.message();
    return false;
  }
  if (lists->count(0) == 0) {
    *error = Shown(folder / ListFileName(0)) + ": missing; every site has a list for language 0";
    return false;
  }
  return true;
}

}  // namespace publish
