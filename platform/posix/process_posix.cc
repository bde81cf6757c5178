// Process starts and the process list over POSIX: fork and exec with argv split
// from a Windows command line, and /proc for the running programs.
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/hooks.h"
#include "platform/platform.h"
#include "platform/process.h"

namespace platform {

namespace {

// Marks every descriptor above the standard three close-on-exec, so a started
// program keeps none of ours. Runs between fork and exec: system calls only.
void CloseOnExecAboveStdio() {
#ifdef SYS_close_range
  // CLOSE_RANGE_CLOEXEC is 4; older headers lack the name.
  if (syscall(SYS_close_range, 3u, ~0u, 4u) == 0) return;
#endif
  struct rlimit limit;
  long max_fd = getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY
                    ? static_cast<long>(limit.rlim_cur)
                    : 65536;
  for (long fd = 3; fd < max_fd; ++fd) {
    int flags = fcntl(static_cast<int>(fd), F_GETFD);
    if (flags >= 0) fcntl(static_cast<int>(fd), F_SETFD, flags | FD_CLOEXEC);
  }
}

void WriteErrno(int fd, int code) {
  ssize_t ignored = write(fd, &code, sizeof(code));
  (void)ignored;
}

// The started program is a grandchild that init adopts: nobody has to wait for
// it, as on Windows. A close-on-exec pipe carries exec's error code back.
bool ForkExec(const char* application, const std::vector<std::string>& args, const char* directory,
              uint32_t* error) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  if (argv.empty()) argv.push_back(const_cast<char*>(application));
  argv.push_back(nullptr);

  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) {
    *error = static_cast<uint32_t>(errno);
    return false;
  }
  pid_t child = fork();
  if (child < 0) {
    *error = static_cast<uint32_t>(errno);
    close(pipe_fds[0]);
    close(pipe_fds[1]);
    return false;
  }
  if (child == 0) {
    close(pipe_fds[0]);
    pid_t grandchild = fork();
    if (grandchild < 0) {
      WriteErrno(pipe_fds[1], errno);
      _exit(127);
    }
    if (grandchild > 0) _exit(0);
    CloseOnExecAboveStdio();
    if (directory && *directory && chdir(directory) != 0) {
      WriteErrno(pipe_fds[1], errno);
      _exit(127);
    }
    execv(application, argv.data());
    WriteErrno(pipe_fds[1], errno);
    _exit(127);
  }
  close(pipe_fds[1]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  int code = 0;
  ssize_t n;
  do {
    n = read(pipe_fds[0], &code, sizeof(code));
  } while (n < 0 && errno == EINTR);
  close(pipe_fds[0]);
  if (n == static_cast<ssize_t>(sizeof(code))) {
    *error = static_cast<uint32_t>(code);
    return false;
  }
  return true;
}

std::string QuotedName(const char* file) {
  std::string line = "\"";
  line.append(file ? file : "");
  line.push_back('"');
  return line;
}

intptr_t ShellResultOf(uint32_t error) {
  switch (error) {
    case ENOENT:
      return 2;
    case ENOTDIR:
      return 3;
    case EACCES:
    case EPERM:
      return 5;
    case ENOEXEC:
      return 11;
    default:
      return 31;
  }
}

}  // namespace

bool StartProcess(const char* application, const char* command_line, const char* directory,
                  uint32_t* error) {
  uint32_t ignored = 0;
  if (!error) error = &ignored;
  *error = 0;
  ProcessStartHook hook = hooks::CurrentProcessStartHook();
  if (hook) {
    return hook(application ? application : "", command_line ? command_line : "",
                directory ? directory : "", error);
  }
  if (!application) {
    *error = EINVAL;
    return false;
  }
  return ForkExec(application, SplitCommandLine(command_line ? command_line : ""), directory,
                  error);
}

intptr_t ShellStart(const char* file, const char* parameters, const char* directory) {
  ShellStartHook hook = hooks::CurrentShellStartHook();
  if (hook) return hook(file ? file : "", parameters ? parameters : "", directory ? directory : "");
  if (!file) return 2;
  std::string line = QuotedName(file);
  if (parameters && *parameters) line.append(" ").append(parameters);
  uint32_t error = 0;
  if (ForkExec(file, SplitCommandLine(line), directory, &error)) return 33;
  return ShellResultOf(error);
}

bool LoadProcessPathLookup() { return true; }

bool ForEachProcess(const ProcessVisitor& visit) {
  DIR* proc = opendir("/proc");
  if (!proc) return false;
  const std::string deleted = " (deleted)";
  while (struct dirent* entry = readdir(proc)) {
    char* end = nullptr;
    unsigned long id = std::strtoul(entry->d_name, &end, 10);
    if (end == entry->d_name || *end != '\0') continue;
    std::string link = std::string("/proc/") + entry->d_name + "/exe";
    char buffer[PATH_MAX];
    // Processes of other users and zombies have no readable link: not ours to wait for.
    ssize_t n = readlink(link.c_str(), buffer, sizeof(buffer));
    if (n <= 0) continue;
    std::string path(buffer, static_cast<size_t>(n));
    // A program whose file was replaced while it runs still runs that program.
    if (path.size() > deleted.size() &&
        path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0) {
      path.resize(path.size() - deleted.size());
    }
    if (visit(static_cast<uint32_t>(id), path)) break;
  }
  closedir(proc);
  return true;
}

bool PathExists(const char* path) {
  struct stat st;
  return path && stat(path, &st) == 0;
}

bool RemoveFileReporting(const char* path, uint32_t* error) {
  if (unlink(path) == 0) return true;
  if (error) *error = static_cast<uint32_t>(errno);
  return false;
}

bool MoveFileReporting(const char* from, const char* to, uint32_t* error) {
  // The data reaches the disk before the name points at it, so a crash never
  // leaves `to` naming an empty file.
  int fd = open(from, O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    fsync(fd);
    close(fd);
  }
  if (rename(from, to) != 0) {
    if (error) *error = static_cast<uint32_t>(errno);
    return false;
  }
  std::string dir(to);
  size_t slash = dir.rfind('/');
  dir = slash == std::string::npos ? "." : dir.substr(0, slash == 0 ? 1 : slash);
  int dir_fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir_fd >= 0) {
    fsync(dir_fd);
    close(dir_fd);
  }
  return true;
}

}  // namespace platform
