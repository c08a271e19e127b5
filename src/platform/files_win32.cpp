// Files on Windows through CreateFileW handles, each closed by its owner.
#include <windows.h>

#include "platform/files.h"
#include "platform/system_error.h"
#include "platform/win32_handle.h"
#include "platform/win32_text.h"

namespace tarnix::platform {
namespace {

// FILETIME counts 100 ns intervals since 1601-01-01; this many of them lie before 1970-01-01.
constexpr uint64_t kIntervalsBefore1970 = 116444736000000000ULL;
constexpr uint64_t kIntervalsPerSecond = 10000000ULL;

// Read chunks stay well below the 32-bit size that one ReadFile call takes.
constexpr DWORD kChunkBytes = 1 << 20;

SystemHandle OpenForReading(const std::string& path) {
  return Own(::CreateFileW(Widen(path).c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool IsFolder(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

Result<InputFile> InputFile::Open(const std::string& path) {
  SystemHandle file = OpenForReading(path);
  if (!file.valid()) return CallFailed("CreateFileW");
  return InputFile(std::move(file));
}

Result<void> InputFile::ReadAt(uint64_t offset, void* buffer, size_t size) {
  const HANDLE handle = AsHandle(handle_);
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(offset);
  if (!::SetFilePointerEx(handle, position, nullptr, FILE_BEGIN)) {
    return CallFailed("SetFilePointerEx");
  }
  auto* bytes = static_cast<uint8_t*>(buffer);
  size_t done = 0;
  while (done < size) {
    const DWORD want = static_cast<DWORD>(size - done < kChunkBytes ? size - done : kChunkBytes);
    DWORD got = 0;
    if (!::ReadFile(handle, bytes + done, want, &got, nullptr)) return CallFailed("ReadFile");
    if (got == 0) return Fail("the file ends before the bytes asked for");
    done += got;
  }
  return Ok();
}

Result<uint64_t> InputFile::Size() {
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(AsHandle(handle_), &size)) return CallFailed("GetFileSizeEx");
  return size.QuadPart < 0 ? uint64_t{0} : static_cast<uint64_t>(size.QuadPart);
}

Result<uint64_t> LastWriteSeconds(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(Widen(path).c_str(), GetFileExInfoStandard, &data)) {
    return CallFailed("GetFileAttributesExW");
  }
  const uint64_t intervals = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                             data.ftLastWriteTime.dwLowDateTime;
  if (intervals < kIntervalsBefore1970) return uint64_t{0};
  return (intervals - kIntervalsBefore1970) / kIntervalsPerSecond;
}

Result<std::string> ReadWholeFile(const std::string& path) {
  const SystemHandle file = OpenForReading(path);
  if (!file.valid()) return CallFailed("CreateFileW");
  std::string content;
  std::string chunk(64 * 1024, '\0');
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(AsHandle(file), chunk.data(), static_cast<DWORD>(chunk.size()), &got,
                    nullptr)) {
      return CallFailed("ReadFile");
    }
    if (got == 0) return content;
    content.append(chunk.data(), got);
  }
}

Result<std::vector<std::string>> ListFolder(const std::string& path) {
  WIN32_FIND_DATAW found{};
  const HANDLE search = ::FindFirstFileExW(Widen(path + "\\*").c_str(), FindExInfoBasic, &found,
                                           FindExSearchNameMatch, nullptr, 0);
  std::vector<std::string> names;
  if (search == INVALID_HANDLE_VALUE) {
    // A folder without even "." and ".." (a drive's root) is empty, not missing.
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return names;
    return CallFailed("FindFirstFileExW", error);
  }
  DWORD error = ERROR_SUCCESS;
  do {
    const std::string name = Narrow(found.cFileName);
    if (name != "." && name != "..") names.push_back(name);
    if (!::FindNextFileW(search, &found)) error = ::GetLastError();
  } while (error == ERROR_SUCCESS);
  ::FindClose(search);
  if (error != ERROR_NO_MORE_FILES) return CallFailed("FindNextFileW", error);
  return names;
}

Result<void> CreateFolders(const std::string& path) {
  const std::wstring wide = Widen(path);
  // Every prefix that ends before a separator is a parent. Some cannot be created ("C:", the
  // "\\server" of a share) and need not be: only whether the folder exists at the end counts.
  for (size_t pos = wide.find_first_of(L"\\/", 1); pos != std::wstring::npos;
       pos = wide.find_first_of(L"\\/", pos + 1)) {
    ::CreateDirectoryW(wide.substr(0, pos).c_str(), nullptr);
  }
  if (!::CreateDirectoryW(wide.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
    return CallFailed("CreateDirectoryW");
  }
  if (!IsFolder(wide)) return Fail("not a folder: " + path);
  return Ok();
}

Result<void> WriteWholeFile(const std::string& path, std::string_view content) {
  const SystemHandle file =
      Own(::CreateFileW(Widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return CallFailed("CreateFileW");
  size_t done = 0;
  while (done < content.size()) {
    const size_t left = content.size() - done;
    const DWORD want = static_cast<DWORD>(left < kChunkBytes ? left : kChunkBytes);
    DWORD put = 0;
    if (!::WriteFile(AsHandle(file), content.data() + done, want, &put, nullptr)) {
      return CallFailed("WriteFile");
    }
    done += put;
  }
  return Ok();
}

char PathSeparator() {
  return '\\';
}

}  // namespace tarnix::platform
