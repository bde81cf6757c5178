// vossarium-publish: turns a release folder into an update site, checks a
// site, and shows what a build would change.

#include <iostream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/terminal.h"
#include "tools/publish/site_builder.h"
#include "tools/publish/site_diff.h"
#include "tools/publish/site_verify.h"

namespace {

constexpr const char* kUsage =
    "usage:\n"
    "  vossarium-publish build --release DIR --out SITE [--previous SITE] [--mirror URL]...\n"
    "                          [--date TEXT] [--nginx-listen ADDR] [--nginx-root DIR]\n"
    "                          [--jobs N] [--quiet]\n"
    "  vossarium-publish verify SITE [--quiet]\n"
    "  vossarium-publish diff --previous SITE --release DIR [--jobs N] [--quiet]\n"
    "\n"
    "build   publishes the release folder DIR (Vossarium/, Layers/, lang/<N>/<target>/)\n"
    "        as the site folder SITE: resource files under content-addressed paths,\n"
    "        one list per language, and an nginx server block. With --previous (the\n"
    "        site players use now; it may be SITE itself) unchanged resources keep\n"
    "        their versions. SITE is replaced only when the whole build succeeded.\n"
    "        --mirror  a download base (http://host/path/) that the updater may pick\n"
    "        --date    the lists' \"date\" (default: the current UTC time)\n"
    "        --nginx-listen, --nginx-root  the server block's listen and root\n"
    "                  (default 80 and /srv/vossarium)\n"
    "verify  checks every list and every file of SITE; exit code 1 on any problem\n"
    "diff    shows what building DIR over SITE would change\n"
    "\n"
    "Progress goes to a terminal only; --quiet turns it off there too.\n";

int Usage(const std::string& problem) {
  std::cerr << "error: " << problem << "\n\n" << kUsage;
  return 2;
}

int DefaultJobs() {
  unsigned cores = std::thread::hardware_concurrency();
  if (cores == 0) return 1;
  return cores > 4 ? 4 : static_cast<int>(cores);
}

bool ParseJobs(std::string_view text, int* jobs) {
  if (text.empty() || text.size() > 3) return false;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > 256) return false;
  *jobs = value;
  return true;
}

struct Arguments {
  std::vector<std::string> positional;
  std::vector<std::pair<std::string, std::string>> options;
  bool quiet = false;
};

// Options that take a value; every other "--" word is a flag.
bool TakesValue(std::string_view name) {
  for (const char* option : {"--release", "--out", "--previous", "--mirror", "--date",
                             "--nginx-listen", "--nginx-root", "--jobs"}) {
    if (name == option) return true;
  }
  return false;
}

bool SplitArguments(int argc, char** argv, Arguments* args, std::string* problem) {
  for (int i = 2; i < argc; ++i) {
    std::string word = argv[i];
    if (word == "--quiet") {
      args->quiet = true;
    } else if (word.rfind("--", 0) == 0) {
      if (!TakesValue(word)) {
        *problem = "unknown option " + word;
        return false;
      }
      if (i + 1 >= argc) {
        *problem = word + " needs a value";
        return false;
      }
      args->options.emplace_back(word, argv[++i]);
    } else {
      args->positional.push_back(word);
    }
  }
  return true;
}

int Build(const Arguments& args) {
  publish::BuildOptions options;
  options.jobs = DefaultJobs();
  bool has_release = false, has_out = false;
  for (const auto& [name, value] : args.options) {
    if (name == "--release") {
      options.release = value;
      has_release = true;
    } else if (name == "--out") {
      options.out = value;
      has_out = true;
    } else if (name == "--previous") {
      options.previous = value;
    } else if (name == "--mirror") {
      options.mirrors.push_back(value);
    } else if (name == "--date") {
      options.date = value;
    } else if (name == "--nginx-listen") {
      options.nginx.listen = value;
    } else if (name == "--nginx-root") {
      options.nginx.root = value;
    } else if (name == "--jobs") {
      if (!ParseJobs(value, &options.jobs)) return Usage("--jobs takes a number from 1 to 256");
    }
  }
  if (!has_release || !has_out) return Usage("build needs --release and --out");
  if (!args.positional.empty()) return Usage("unexpected argument " + args.positional[0]);
  options.progress = !args.quiet && platform::StandardErrorIsTerminal();
  return publish::RunBuild(options, std::cout, std::cerr);
}

int Verify(const Arguments& args) {
  if (args.positional.size() != 1 || !args.options.empty()) return Usage("verify takes one SITE");
  bool progress = !args.quiet && platform::StandardErrorIsTerminal();
  return publish::RunVerify(args.positional[0], progress, std::cout, std::cerr);
}

int Diff(const Arguments& args) {
  std::string previous, release;
  int jobs = DefaultJobs();
  for (const auto& [name, value] : args.options) {
    if (name == "--previous") {
      previous = value;
    } else if (name == "--release") {
      release = value;
    } else if (name == "--jobs") {
      if (!ParseJobs(value, &jobs)) return Usage("--jobs takes a number from 1 to 256");
    } else {
      return Usage("diff does not take " + name);
    }
  }
  if (previous.empty() || release.empty()) return Usage("diff needs --previous and --release");
  if (!args.positional.empty()) return Usage("unexpected argument " + args.positional[0]);
  bool progress = !args.quiet && platform::StandardErrorIsTerminal();
  return publish::RunDiff(previous, release, jobs, progress, std::cout, std::cerr);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage("no command given");
  std::string command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    std::cout << kUsage;
    return 0;
  }
  Arguments args;
  std::string problem;
  if (!SplitArguments(argc, argv, &args, &problem)) return Usage(problem);
  if (command == "build") return Build(args);
  if (command == "verify") return Verify(args);
  if (command == "diff") return Diff(args);
  return Usage("unknown command " + command);
}
