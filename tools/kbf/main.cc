// kbf: the archive tool. Every change goes through Parlo_BigFile, so the tool
// writes exactly what the updater would; `check` reads with the checking decoder.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "archive/big_file.h"
#include "archive/big_file_check.h"
#include "common/typed_text.h"
#include "common/typed_text_json.h"
#include "platform/stdio_binary.h"

namespace {

// Exit codes: 0 done (or sound), 1 the operation failed (or the archive is not
// sound), 2 the command line is wrong.
constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

const char kUsageText[] =
    "usage: kbf COMMAND ARGS...\n"
    "\n"
    "Archive commands (ARCHIVE is the path of a .kbf file):\n"
    "  create ARCHIVE               write a new, empty archive (replaces a file there)\n"
    "  list ARCHIVE [--json]        one line per entry: offset size version language flag name\n"
    "  add ARCHIVE NAME FILE        store FILE as entry NAME (replacing one of that name) and "
    "save\n"
    "  extract ARCHIVE NAME [OUT]   write the entry's bytes to OUT, or to standard output\n"
    "  remove ARCHIVE NAME          drop the entry and save\n"
    "  tag ARCHIVE NAME VERSION LANGUAGE [FLAG]\n"
    "                               set the entry's version, language and flag, and save\n"
    "  check ARCHIVE                list every fault of the file; exit 0 when sound, 1 if not\n"
    "Other:\n"
    "  typed FILE|-                 parse typed text (UTF-8) and print its tree as JSON\n"
    "\n"
    "Names are matched without regard to the case of A-Z. 'kbf COMMAND --help' shows one\n"
    "command. Exit codes: 0 done, 1 failed (or not sound), 2 wrong command line.\n";

struct Command {
  const char* name;
  const char* usage;
  int minArgs;
  int maxArgs;
  int (*run)(const std::vector<std::string>& args);
};

int Fail(const std::string& text) {
  std::cerr << "kbf: " << text << "\n";
  return kFailed;
}

bool ReadFile(const std::string& path, std::string* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// Opens an archive that must load; says why when it does not.
bool Open(Parlo_BigFile& archive, const std::string& path) {
  if (archive.LoadBigFile(path.c_str())) return true;
  std::cerr << "kbf: " << path << ": cannot be opened as an archive (see 'kbf check')\n";
  return false;
}

uint32_t Load32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void Store32(uint32_t v, uint8_t* p) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

std::string JsonString(const char* text) {
  std::string out = "\"";
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
    if (*p == '"' || *p == '\\') {
      out += '\\';
      out += static_cast<char>(*p);
    } else if (*p < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof(escaped), "\\u%04x", *p);
      out += escaped;
    } else {
      out += static_cast<char>(*p);
    }
  }
  return out + "\"";
}

int RunCreate(const std::vector<std::string>& args) {
  Parlo_BigFile archive;
  archive.CreateBigFile(args[0].c_str());
  Parlo_BigFile check;
  if (!check.LoadBigFile(args[0].c_str()) || check.count != 0) {
    return Fail(args[0] + ": the archive could not be written");
  }
  return kOk;
}

int RunList(const std::vector<std::string>& args) {
  bool json = false;
  if (args.size() == 2) {
    if (args[1] != "--json") {
      std::cerr << "kbf: list: unknown option " << args[1] << "\n";
      return kUsage;
    }
    json = true;
  }
  Parlo_BigFile archive;
  if (!Open(archive, args[0])) return kFailed;
  if (json) std::cout << "[";
  for (int i = 0; i < archive.count; ++i) {
    const BIGFILE_FILE* entry = archive.items[i];
    const uint32_t version = Load32(entry->tag + 4);
    const int32_t language = static_cast<int32_t>(Load32(entry->tag + 8));
    const int flag = entry->tag[12];
    const char* name = entry->name.Buffer() != nullptr ? entry->name.Buffer() : "";
    if (json) {
      std::cout << (i == 0 ? "\n  " : ",\n  ") << "{\"name\": " << JsonString(name)
                << ", \"offset\": " << entry->offset << ", \"size\": " << entry->size
                << ", \"version\": " << version << ", \"language\": " << language
                << ", \"flag\": " << flag << "}";
    } else {
      std::cout << entry->offset << "\t" << entry->size << "\t" << version << "\t" << language
                << "\t" << flag << "\t" << name << "\n";
    }
  }
  if (json) std::cout << (archive.count > 0 ? "\n]\n" : "]\n");
  return kOk;
}

int RunAdd(const std::vector<std::string>& args) {
  std::string data;
  if (!ReadFile(args[2], &data)) return Fail(args[2] + ": cannot be read");
  if (data.empty()) return Fail(args[2] + ": an empty file cannot be stored");
  if (data.size() > UINT32_MAX) return Fail(args[2] + ": larger than 4 GiB");
  if (args[1].empty()) return Fail("add: the name is empty");
  Parlo_BigFile archive;
  if (!Open(archive, args[0])) return kFailed;
  archive.AddFile(args[1].c_str(), data.data(), static_cast<uint32_t>(data.size()),
                  kBigFileReplace);
  if (!archive.SaveBigFile()) return Fail(args[0] + ": the save failed");
  return kOk;
}

int RunExtract(const std::vector<std::string>& args) {
  Parlo_BigFile archive;
  if (!Open(archive, args[0])) return kFailed;
  int64_t length = archive.GetFileLength(args[1].c_str());
  if (length < 0) return Fail(args[1] + ": no such entry");
  std::vector<char> buffer(static_cast<size_t>(length));
  if (!archive.ExtractFile(args[1].c_str(), buffer.data())) {
    return Fail(args[1] + ": cannot be read from " + args[0]);
  }
  if (args.size() == 2) {
    platform::SetStdoutBinary();
    std::cout.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    std::cout.flush();
    return std::cout ? kOk : Fail("standard output: write failed");
  }
  std::ofstream out(args[2], std::ios::binary | std::ios::trunc);
  out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
  out.close();
  if (!out) return Fail(args[2] + ": cannot be written");
  return kOk;
}

int RunRemove(const std::vector<std::string>& args) {
  Parlo_BigFile archive;
  if (!Open(archive, args[0])) return kFailed;
  if (!archive.FileExists(args[1].c_str())) return Fail(args[1] + ": no such entry");
  archive.RemoveFile(args[1].c_str());
  if (!archive.SaveBigFile()) return Fail(args[0] + ": the save failed");
  return kOk;
}

bool ParseNumber(const std::string& text, int64_t low, int64_t high, int64_t* value) {
  if (text.empty()) return false;
  size_t used = 0;
  try {
    *value = std::stoll(text, &used, 0);
  } catch (...) {
    return false;
  }
  return used == text.size() && *value >= low && *value <= high;
}

int RunTag(const std::vector<std::string>& args) {
  int64_t version = 0, language = 0, flag = 1;
  if (!ParseNumber(args[2], 0, UINT32_MAX, &version) ||
      !ParseNumber(args[3], INT32_MIN, INT32_MAX, &language) ||
      (args.size() == 5 && !ParseNumber(args[4], 0, 255, &flag))) {
    std::cerr << "kbf: tag: VERSION is 0..4294967295, LANGUAGE a 32-bit number, FLAG 0..255\n";
    return kUsage;
  }
  Parlo_BigFile archive;
  if (!Open(archive, args[0])) return kFailed;
  uint8_t* tag = archive.GetFileTag(args[1].c_str());
  if (tag == nullptr) return Fail(args[1] + ": no such entry");
  Store32(static_cast<uint32_t>(version), tag + 4);
  Store32(static_cast<uint32_t>(language), tag + 8);
  tag[12] = static_cast<uint8_t>(flag);
  if (!archive.SaveBigFile()) return Fail(args[0] + ": the save failed");
  return kOk;
}

int RunCheck(const std::vector<std::string>& args) {
  std::vector<std::string> problems;
  if (CheckBigFile(args[0].c_str(), &problems)) {
    std::cout << args[0] << ": sound\n";
    return kOk;
  }
  for (const std::string& problem : problems) std::cout << args[0] << ": " << problem << "\n";
  return kFailed;
}

int RunTyped(const std::vector<std::string>& args) {
  std::string bytes;
  if (args[0] == "-") {
    bytes.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
  } else if (!ReadFile(args[0], &bytes)) {
    return Fail(args[0] + ": cannot be read");
  }
  // The text ends at its first 0 byte, as the updater reads entries.
  Parlo_StringW text(bytes.c_str());
  Parlo_TypedText doc;
  doc.Parse(text);
  Parlo_String json = TypedTextToJson(doc);
  std::cout << (json.Buffer() != nullptr ? json.Buffer() : "") << "\n";
  return kOk;
}

const Command kCommands[] = {
    {"create", "create ARCHIVE", 1, 1, RunCreate},
    {"list", "list ARCHIVE [--json]", 1, 2, RunList},
    {"add", "add ARCHIVE NAME FILE", 3, 3, RunAdd},
    {"extract", "extract ARCHIVE NAME [OUT]", 2, 3, RunExtract},
    {"remove", "remove ARCHIVE NAME", 2, 2, RunRemove},
    {"tag", "tag ARCHIVE NAME VERSION LANGUAGE [FLAG]", 4, 5, RunTag},
    {"check", "check ARCHIVE", 1, 1, RunCheck},
    {"typed", "typed FILE|-", 1, 1, RunTyped},
};

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    std::cerr << kUsageText;
    return kUsage;
  }
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    std::cout << kUsageText;
    return kOk;
  }
  for (const Command& command : kCommands) {
    if (args[0] != command.name) continue;
    args.erase(args.begin());
    for (const std::string& arg : args) {
      if (arg == "--help" || arg == "-h") {
        std::cout << "usage: kbf " << command.usage << "\n";
        return kOk;
      }
    }
    const int given = static_cast<int>(args.size());
    if (given < command.minArgs || given > command.maxArgs) {
      std::cerr << "usage: kbf " << command.usage << "\n";
      return kUsage;
    }
    return command.run(args);
  }
  std::cerr << "kbf: unknown command '" << args[0] << "'\n" << kUsageText;
  return kUsage;
}
