#include "platform/folders.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "platform/system_error.h"

namespace bx {

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

std::string Home() {
  std::string home = Env("HOME");
  if (!home.empty()) return home;
  if (const passwd* pw = getpwuid(getuid())) return pw->pw_dir;
  return "/";
}

std::string BrevixHome() { return Env("BREVIX_HOME"); }

std::string StripSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

std::string BaseUserDataFolder() {
  std::string h = BrevixHome();
  if (!h.empty()) return StripSlash(h) + "/user";
  std::string xdg = Env("XDG_DATA_HOME");
  return xdg.empty() ? Home() + "/.local/share" : StripSlash(xdg);
}

std::string BaseCommonDataFolder() {
  std::string h = BrevixHome();
  if (!h.empty()) return StripSlash(h) + "/common";
  return "/var/lib";
}

std::string RegistryFilePath(TRegistryRoot root) {
  std::string h = BrevixHome();
  if (!h.empty()) {
    return StripSlash(h) + (root == TRegistryRoot::LocalMachine
                                ? "/registry/HKEY_LOCAL_MACHINE.ini"
                                : "/registry/HKEY_CURRENT_USER.ini");
  }
  if (root == TRegistryRoot::LocalMachine) return "/etc/Korvane/registry.ini";
  std::string xdg = Env("XDG_CONFIG_HOME");
  return (xdg.empty() ? Home() + "/.config" : StripSlash(xdg)) + "/Korvane/registry.ini";
}

std::string ServicesFolder() {
  std::string h = BrevixHome();
  return h.empty() ? "/etc/systemd/system" : StripSlash(h) + "/services";
}

std::string ServiceUnitPath() { return ServicesFolder() + "/BrevixDispatcher.service"; }

std::string ServiceEnabledLinkPath() {
  return ServicesFolder() + "/multi-user.target.wants/BrevixDispatcher.service";
}

std::string ServiceManagedFolder(TServiceFolder folder) {
  const char* name = folder == TServiceFolder::Runtime ? "RUNTIME_DIRECTORY"
                     : folder == TServiceFolder::State ? "STATE_DIRECTORY"
                                                       : "LOGS_DIRECTORY";
  std::string value = Env(name);
  value = value.substr(0, value.find(':'));
  // Only an absolute path: a relative one would put the folder wherever the process started.
  if (value.empty() || value[0] != '/') return std::string();
  return StripSlash(value);
}

bool CreateFolderChain(const std::string& path, std::string* error) {
  if (path.empty()) return true;
  std::string partial;
  size_t pos = 0;
  while (pos != std::string::npos) {
    size_t next = path.find('/', pos + 1);
    partial = path.substr(0, next);
    pos = next;
    if (partial.empty() || partial == "/") continue;
    if (mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) {
      if (error != nullptr) *error = TSystemError::Last().Describe(partial);
      return false;
    }
  }
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    if (error != nullptr) *error = path + ": not a folder";
    return false;
  }
  return true;
}

std::string RunFolder() {
  std::string folder = ServiceManagedFolder(TServiceFolder::Runtime);
  const bool managed = !folder.empty();
  if (!managed) {
    std::string h = BrevixHome();
    if (!h.empty()) {
      folder = StripSlash(h) + "/run";
    } else {
      std::string xdg = Env("XDG_RUNTIME_DIR");
      folder =
          xdg.empty() ? "/tmp/brevix-" + std::to_string(getuid()) : StripSlash(xdg) + "/brevix";
    }
    std::string parent = folder.substr(0, folder.rfind('/'));
    std::string error;
    if (!parent.empty() && !CreateFolderChain(parent, &error)) {
      throw ERunFolderError("run folder: " + error);
    }
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
      throw ERunFolderError(TSystemError::Last().Describe("run folder " + folder));
    }
  }
  struct stat st {};
  if (lstat(folder.c_str(), &st) != 0) {
    throw ERunFolderError(TSystemError::Last().Describe("run folder " + folder));
  }
  if (!S_ISDIR(st.st_mode)) {
    throw ERunFolderError("run folder " + folder + " is not a folder");
  }
  if (st.st_uid != getuid()) {
    // Someone else made it first (in /tmp anyone can): using it would hand that user the
    // lock and the endpoint sockets.
    std::string owner = std::to_string(st.st_uid);
    if (const passwd* pw = getpwuid(st.st_uid))
      owner = std::string(pw->pw_name) + " (" + owner + ")";
    throw ERunFolderError("run folder " + folder + " belongs to user " + owner +
                          ", not to this user (" + std::to_string(getuid()) +
                          "); refusing to use it");
  }
  if ((st.st_mode & 077) != 0 && chmod(folder.c_str(), 0700) != 0) {
    throw ERunFolderError(TSystemError::Last().Describe("run folder " + folder));
  }
  return folder;
}

std::string ExecutablePath() {
  char buffer[4096];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return std::string();
  return std::string(buffer, static_cast<size_t>(n));
}

std::string ExecutableFolder() {
  std::string exe = ExecutablePath();
  size_t slash = exe.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : exe.substr(0, slash);
}

}  // namespace bx
