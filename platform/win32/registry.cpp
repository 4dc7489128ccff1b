// The registry on Win32: the real one, through the ANSI calls.
#include "platform/registry.h"

#include <windows.h>

namespace plat {

namespace {

HKEY Root(RegRoot root) { return root == RegRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }

}  // namespace

std::uint32_t RegistryKeyExists(RegRoot root, const char *subkey) {
  HKEY key = nullptr;
  LONG rc = ::RegOpenKeyExA(Root(root), subkey, 0, KEY_READ, &key);
  if (rc == ERROR_SUCCESS) ::RegCloseKey(key);
  return static_cast<std::uint32_t>(rc);
}

std::uint32_t RegistryQuery(RegRoot root, const char *subkey, const char *name, std::uint32_t *type, void *data,
                            std::uint32_t *size) {
  HKEY key = nullptr;
  LONG rc = ::RegOpenKeyExA(Root(root), subkey, 0, KEY_READ, &key);
  if (rc != ERROR_SUCCESS) return static_cast<std::uint32_t>(rc);
  DWORD t = 0;
  DWORD n = size != nullptr ? *size : 0;
  rc = ::RegQueryValueExA(key, name, nullptr, &t, static_cast<BYTE *>(data), size != nullptr ? &n : nullptr);
  ::RegCloseKey(key);
  if (type != nullptr) *type = t;
  if (size != nullptr) *size = n;
  return static_cast<std::uint32_t>(rc);
}

std::uint32_t RegistryCreateKey(RegRoot root, const char *subkey) {
  HKEY key = nullptr;
  DWORD disp = 0;
  LONG rc = ::RegCreateKeyExA(Root(root), subkey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key, &disp);
  if (rc == ERROR_SUCCESS) ::RegCloseKey(key);
  return static_cast<std::uint32_t>(rc);
}

std::uint32_t RegistrySet(RegRoot root, const char *subkey, const char *name, std::uint32_t type, const void *data,
                          std::uint32_t size) {
  HKEY key = nullptr;
  DWORD disp = 0;
  LONG rc = ::RegCreateKeyExA(Root(root), subkey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key, &disp);
  if (rc != ERROR_SUCCESS) return static_cast<std::uint32_t>(rc);
  rc = ::RegSetValueExA(key, name, 0, type, static_cast<const BYTE *>(data), size);
  ::RegCloseKey(key);
  return static_cast<std::uint32_t>(rc);
}

std::uint32_t RegistryDeleteValue(RegRoot root, const char *subkey, const char *name) {
  HKEY key = nullptr;
  LONG rc = ::RegOpenKeyExA(Root(root), subkey, 0, KEY_WRITE, &key);
  if (rc != ERROR_SUCCESS) return static_cast<std::uint32_t>(rc);
  rc = ::RegDeleteValueA(key, name);
  ::RegCloseKey(key);
  return static_cast<std::uint32_t>(rc);
}

std::uint32_t RegistryDeleteKey(RegRoot root, const char *subkey) {
  return static_cast<std::uint32_t>(::RegDeleteKeyA(Root(root), subkey));
}

std::string RegistryLocation() { return "registry"; }

}  // namespace plat
