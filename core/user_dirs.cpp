// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/user_dirs.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace qirm {
namespace {

std::string HomeDir() {
  if (const char* home = std::getenv("HOME"); home && home[0] == '/') return home;
  // A service started without HOME still has a password entry.
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && pw->pw_dir[0] == '/') return pw->pw_dir;
  return std::string();
}

std::string BaseDir(const char* variable, const char* fallback) {
  if (const char* value = std::getenv(variable); value && value[0] == '/')
    return std::string(value) + "/QIRM";
  const std::string home = HomeDir();
  if (home.empty()) return std::string();
  return home + "/" + fallback + "/QIRM";
}

}  // namespace

std::string UserConfigDir() { return BaseDir("XDG_CONFIG_HOME", ".config"); }

std::string UserCacheDir() { return BaseDir("XDG_CACHE_HOME", ".cache"); }

bool MakeUserDir(const std::string& dir) {
  if (dir.empty()) return false;
  for (std::size_t slash = dir.find('/', 1);; slash = dir.find('/', slash + 1)) {
    const std::string part = dir.substr(0, slash);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) break;
  }
  struct stat st {};
  return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string TraceFilePath() {
  const std::string dir = UserCacheDir();
  return dir.empty() ? std::string() : dir + "/test.dat";
}

}  // namespace qirm
