#include "config/registry.h"

#include "config/ini_file.h"
#include "config/text_case.h"
#include "platform/file_access.h"
#include "platform/mutex.h"

namespace bx {

namespace {

// Serialises the read-modify-write of the registry files; it guards the files, not a field.
constinit TMutex gRegistryWriteLock;

std::string_view WithoutLeadingDelimiter(std::string_view key) {
  while (!key.empty() && key.front() == '\\') key.remove_prefix(1);
  return key;
}

// The section of `ini` that holds `key`, as written in the file; false when there is none.
bool FindKeySection(const TBxIniFile& ini, const std::string& key, std::string& section) {
  std::string_view wanted = WithoutLeadingDelimiter(key);
  if (ini.SectionExists(wanted)) {
    section = std::string(wanted);
    return true;
  }
  for (const std::string& name : ini.ReadSections()) {
    if (SameText(WithoutLeadingDelimiter(name), wanted)) {
      section = name;
      return true;
    }
  }
  return false;
}

}  // namespace

bool RegistryReadString(TRegistryRoot root, const std::string& key, const std::string& name,
                        std::string& value) {
  TBxIniFile ini(RegistryFilePath(root));
  std::string section;
  if (!FindKeySection(ini, key, section)) return false;
  return ini.FindString(section, name, value);
}

bool RegistryKeyExists(TRegistryRoot root, const std::string& key) {
  TBxIniFile ini(RegistryFilePath(root));
  std::string section;
  return FindKeySection(ini, key, section);
}

bool RegistryWriteString(TRegistryRoot root, const std::string& key, const std::string& name,
                         const std::string& value, bool createKey) {
  TMutexLock guard(gRegistryWriteLock);
  std::string path = RegistryFilePath(root);
  TBxIniFile ini;
  // A registry file that exists but cannot be read is left alone rather than replaced by one
  // holding only this value.
  if (!ini.Load(path) && RegularFileExists(path)) return false;
  std::string section;
  if (!FindKeySection(ini, key, section)) {
    if (!createKey) return false;
    section = std::string(WithoutLeadingDelimiter(key));
    std::string folder = path.substr(0, path.rfind('/'));
    if (!folder.empty() && !CreateFolderChain(folder)) return false;
  }
  ini.WriteString(section, name, value);
  return ini.Save();
}

}  // namespace bx
