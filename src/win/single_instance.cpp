#include "win/single_instance.h"

#include <cstdint>
#include <cwctype>
#include <functional>

namespace quorvane::win {

namespace {

std::wstring UserName() {
  wchar_t name[256] = {};
  DWORD size = 256;
  return GetUserNameW(name, &size) ? std::wstring(name) : std::wstring(L"user");
}

// A name the kernel accepts: the file's path letter case ignored, as Windows compares paths.
std::wstring NameFor(const std::filesystem::path& settingsFile) {
  std::wstring path = settingsFile.wstring();
  for (wchar_t& c : path) c = static_cast<wchar_t>(std::towlower(c));
  wchar_t hash[17];
  swprintf(hash, 17, L"%016llx", static_cast<unsigned long long>(std::hash<std::wstring>{}(path)));
  return L"Local\\SQLServerQuorvane-" + UserName() + L"-" + hash;
}

}  // namespace

SingleInstance::SingleInstance(const std::filesystem::path& settingsFile)
    : name_(NameFor(settingsFile)) {}

SingleInstance::~SingleInstance() {
  if (shared_) CloseHandle(shared_);
  if (mutex_) CloseHandle(mutex_);
}

bool SingleInstance::Claim() {
  mutex_ = CreateMutexW(nullptr, TRUE, name_.c_str());
  const bool earlier = mutex_ && GetLastError() == ERROR_ALREADY_EXISTS;
  shared_ = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                               sizeof(std::uint64_t), (name_ + L"-window").c_str());
  if (!earlier) return true;
  if (shared_) {
    if (auto* word = static_cast<std::uint64_t*>(
            MapViewOfFile(shared_, FILE_MAP_READ, 0, 0, sizeof(std::uint64_t)))) {
      const HWND window = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(*word));
      UnmapViewOfFile(word);
      if (window && IsWindow(window)) {
        if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
        SetForegroundWindow(window);
      }
    }
  }
  return false;
}

void SingleInstance::Publish(HWND window) {
  if (!shared_) return;
  if (auto* word = static_cast<std::uint64_t*>(
          MapViewOfFile(shared_, FILE_MAP_WRITE, 0, 0, sizeof(std::uint64_t)))) {
    *word = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(window));
    UnmapViewOfFile(word);
  }
}

}  // namespace quorvane::win
