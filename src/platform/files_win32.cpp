// Files on Windows through CreateFileW handles, each closed by its owner.
#include <windows.h>

#include <optional>
#include <tuple>

#include "platform/files.h"
#include "platform/process.h"
#include "platform/system_error.h"
#include "platform/win32_file.h"
#include "platform/win32_handle.h"
#include "platform/win32_text.h"

namespace tarnix::platform {
namespace {

// FILETIME counts 100 ns intervals since 1601-01-01; this many of them lie before 1970-01-01.
constexpr uint64_t kIntervalsBefore1970 = 116444736000000000ULL;
constexpr uint64_t kIntervalsPerSecond = 10000000ULL;

// Chunks stay well below the 32-bit size that one ReadFile or WriteFile call takes.
constexpr DWORD kChunkBytes = 1 << 20;

// A folder, not a link to one: a junction or a symbolic link carries the reparse-point attribute.
bool IsRealFolder(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

Result<void> WriteAll(HANDLE file, std::string_view content) {
  while (!content.empty()) {
    const DWORD want = static_cast<DWORD>(std::min<size_t>(content.size(), kChunkBytes));
    DWORD put = 0;
    if (!::WriteFile(file, content.data(), want, &put, nullptr)) return CallFailed("WriteFile");
    content.remove_prefix(put);
  }
  return Ok();
}

}  // namespace

Result<void> OpenRegularFile(const std::string& path, DWORD access, DWORD share, DWORD disposition,
                             FinalLink link, SystemHandle& file) {
  const DWORD flags =
      FILE_ATTRIBUTE_NORMAL | (link == FinalLink::kRefuse ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
  SystemHandle opened =
      Own(::CreateFileW(Widen(path).c_str(), access, share, nullptr, disposition, flags, nullptr));
  if (!opened.valid()) return Fail(SystemErrorText());
  // A pipe's or a device's name opens without waiting; only reading or writing it would wait.
  if (::GetFileType(AsHandle(opened)) != FILE_TYPE_DISK) return Fail("not a regular file");
  FILE_ATTRIBUTE_TAG_INFO info{};
  if (!::GetFileInformationByHandleEx(AsHandle(opened), FileAttributeTagInfo, &info, sizeof info)) {
    return Fail(SystemErrorText());
  }
  // Other reparse points (a cloud file's placeholder, say) hold the file's own data.
  if ((info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
      (info.ReparseTag == IO_REPARSE_TAG_SYMLINK ||
       info.ReparseTag == IO_REPARSE_TAG_MOUNT_POINT)) {
    return Fail("a symbolic link, which is not followed");
  }
  if ((info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return Fail("not a regular file");
  file = std::move(opened);
  return Ok();
}

Result<InputFile> InputFile::Open(const std::string& path, FinalLink link) {
  SystemHandle file;
  if (Result<void> opened = OpenRegularFile(path, GENERIC_READ,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                            OPEN_EXISTING, link, file);
      !opened) {
    return std::move(opened).error();
  }
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

Result<void> CreatePrivateFolders(const std::string& path) {
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
  if (!IsRealFolder(wide)) return Fail("not a folder: " + path);
  return Ok();
}

Result<void> ReplaceWholeFile(const std::string& path, std::string_view content) {
  const std::wstring temporary = Widen(path + "." + RandomHexDigits(16) + ".tmp");
  Result<void> written = Ok();
  {
    // CREATE_NEW never opens what is there already, a link included; nobody shares it meanwhile.
    const SystemHandle file = Own(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr,
                                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return CallFailed("CreateFileW");
    written = WriteAll(AsHandle(file), content);
  }
  // Renaming replaces a link at `path` itself, not what it points to.
  if (written &&
      !::MoveFileExW(temporary.c_str(), Widen(path).c_str(), MOVEFILE_REPLACE_EXISTING)) {
    written = CallFailed("MoveFileExW");
  }
  if (!written) ::DeleteFileW(temporary.c_str());
  return written;
}

Result<void> RemoveFile(const std::string& path) {
  if (!::DeleteFileW(Widen(path).c_str()) && ::GetLastError() != ERROR_FILE_NOT_FOUND) {
    return CallFailed("DeleteFileW");
  }
  return Ok();
}

char PathSeparator() {
  return '\\';
}

bool SameFile(const std::string& a, const std::string& b) {
  // Attributes only: the open reads and writes nothing, and shares everything with everyone.
  const auto identity =
      [](const std::string& path) -> std::optional<std::tuple<DWORD, DWORD, DWORD>> {
    const SystemHandle file =
        Own(::CreateFileW(Widen(path).c_str(), FILE_READ_ATTRIBUTES,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file.valid() || !::GetFileInformationByHandle(AsHandle(file), &info)) return std::nullopt;
    return std::tuple(info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow);
  };
  const auto first = identity(a);
  return first && first == identity(b);
}

}  // namespace tarnix::platform
