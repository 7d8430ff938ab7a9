#include "common/paths.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <shlobj.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>
#endif

namespace {

// Copies folder into out with one trailing separator; "" when it does not fit.
void with_separator(char *out, size_t size, const char *folder, char separator) {
  size_t n = strlen(folder);
  if (n == 0 || n + 2 > size) {
    out[0] = '\0';
    return;
  }
  memcpy(out, folder, n + 1);
  if (out[n - 1] != separator && out[n - 1] != '/') {
    out[n] = separator;
    out[n + 1] = '\0';
  }
}

#ifdef _WIN32
const char *shell_folder(int csidl, char *buffer, size_t size) {
  wchar_t wide[MAX_PATH];
  char utf8[MAX_PATH * 4];
  if (SHGetFolderPathW(nullptr, csidl, nullptr, 0, wide) != S_OK ||
      WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8, sizeof utf8, nullptr, nullptr) == 0) {
    buffer[0] = '\0';
    return buffer;
  }
  with_separator(buffer, size, utf8, '\\');
  return buffer;
}
#endif

// Set by tests: every user folder is this one; "" for the host's own.
char test_folder[4096];

}  // namespace

void paths_set_test_folder(const char *folder) {
  test_folder[0] = '\0';
  if (folder != nullptr) with_separator(test_folder, sizeof test_folder, folder, '/');
}

const char *home_folder(void) {
  static char folder[4096];
  if (test_folder[0] != '\0') return test_folder;
#ifdef _WIN32
  return shell_folder(CSIDL_PERSONAL, folder, sizeof folder);
#else
  const char *home = getenv("HOME");
  if (home == nullptr || home[0] == '\0') {
    const struct passwd *pw = getpwuid(getuid());
    home = (pw != nullptr && pw->pw_dir != nullptr) ? pw->pw_dir : "";
  }
  with_separator(folder, sizeof folder, home, '/');
  return folder;
#endif
}

// A user folder (FOLDER_*) with its trailing separator.
static const char *user_folder(int kind) {
#ifdef _WIN32
  static char music[4096], pictures[4096];
  if (test_folder[0] != '\0') return test_folder;
  if (kind == FOLDER_MUSIC) return shell_folder(CSIDL_MYMUSIC, music, sizeof music);
  if (kind == FOLDER_PICTURES) return shell_folder(CSIDL_MYPICTURES, pictures, sizeof pictures);
#else
  (void)kind;
#endif
  return home_folder();
}

int user_path(int kind, char *out, size_t size, const char *name) {
  int n = snprintf(out, size, "%s%s", user_folder(kind), name);
  return (n < 0 || (size_t)n >= size) ? 1 : 0;
}

int home_path(char *out, size_t size, const char *name) {
  return user_path(FOLDER_DOCUMENTS, out, size, name);
}

int next_numbered_user_path(int kind, char *out, size_t size, const char *pattern, int *counter) {
  char name[256];
  for (;;) {
    if (*counter > 999999) return 1;  // never loops for ever in a full folder
    snprintf(name, sizeof name, pattern, *counter);
    (*counter)++;
    if (user_path(kind, out, size, name)) return 1;
    FILE *f = open_file(out, "rb");
    if (f == nullptr) return 0;
    fclose(f);
  }
}

int next_numbered_path(char *out, size_t size, const char *pattern, int *counter) {
  return next_numbered_user_path(FOLDER_DOCUMENTS, out, size, pattern, counter);
}

int64_t file_tell(FILE *f) {
#ifdef _WIN32
  return (int64_t)_ftelli64(f);
#else
  return (int64_t)ftello(f);
#endif
}

int file_seek(FILE *f, int64_t at) {
#ifdef _WIN32
  return _fseeki64(f, at, SEEK_SET);
#else
  return fseeko(f, (off_t)at, SEEK_SET);
#endif
}

// The FILE_* kind an error number of an open or a stat stands for.
static int kind_of_error(int error) {
  if (error == ENOENT || error == ENOTDIR) return FILE_MISSING;
  if (error == EACCES || error == EPERM) return FILE_DENIED;
  if (error == EISDIR) return FILE_FOLDER;
  return FILE_UNREADABLE;
}

#ifdef _WIN32
static int kind_of_mode(unsigned mode) {
  if ((mode & _S_IFMT) == _S_IFDIR) return FILE_FOLDER;
  return (mode & _S_IFMT) == _S_IFREG ? FILE_REGULAR : FILE_NOT_REGULAR;
}
#else
static int kind_of_mode(mode_t mode) {
  if (S_ISDIR(mode)) return FILE_FOLDER;
  return S_ISREG(mode) ? FILE_REGULAR : FILE_NOT_REGULAR;
}
#endif

int file_kind(const char *path, long long *size) {
  *size = 0;
#ifdef _WIN32
  wchar_t wpath[4096];
  struct _stat64 st;
  if (MultiByteToWideChar(CP_UTF8, 0, path, -1, wpath, 4096) == 0) return FILE_UNREADABLE;
  if (_wstat64(wpath, &st) != 0) return kind_of_error(errno);
#else
  struct stat st;
  if (stat(path, &st) != 0) return kind_of_error(errno);
#endif
  int kind = kind_of_mode(st.st_mode);
  if (kind == FILE_REGULAR) *size = (long long)st.st_size;
  return kind;
}

FILE *open_regular_file(const char *path, const char *mode, long long max_size, long long *size, int *kind) {
  *kind = file_kind(path, size);
  if (*kind == FILE_REGULAR && *size > max_size) *kind = FILE_TOO_LARGE;
  if (*kind != FILE_REGULAR) return nullptr;
#ifdef _WIN32
  FILE *f = open_file(path, mode);
  if (f == nullptr) *kind = kind_of_error(errno);
  return f;
#else
  // Opened without waiting, in case a FIFO took the file's place since the
  // look above; what was opened is checked again.
  int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    *kind = kind_of_error(errno);
    return nullptr;
  }
  struct stat st;
  if (fstat(fd, &st) != 0) *kind = FILE_UNREADABLE;
  else if ((*kind = kind_of_mode(st.st_mode)) == FILE_REGULAR && (long long)st.st_size > max_size)
    *kind = FILE_TOO_LARGE;
  FILE *f = nullptr;
  if (*kind == FILE_REGULAR) {
    *size = (long long)st.st_size;
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    f = fdopen(fd, mode);
    if (f == nullptr) *kind = FILE_UNREADABLE;
  }
  if (f == nullptr) close(fd);
  return f;
#endif
}

FILE *open_file(const char *path, const char *mode) {
#ifdef _WIN32
  wchar_t wpath[4096], wmode[16];
  if (MultiByteToWideChar(CP_UTF8, 0, path, -1, wpath, 4096) == 0 ||
      MultiByteToWideChar(CP_UTF8, 0, mode, -1, wmode, 16) == 0)
    return nullptr;
  if (wcschr(wmode, L'x') == nullptr) return _wfopen(wpath, wmode);
  // The C runtime may ignore "x" or refuse it: the exclusive creation is
  // made here ("wx" and "wbx" are the modes asked for).
  const bool text = wcschr(wmode, L'b') == nullptr;
  int fd = _wopen(wpath, _O_CREAT | _O_EXCL | _O_WRONLY | (text ? _O_TEXT : _O_BINARY), _S_IREAD | _S_IWRITE);
  if (fd < 0) return nullptr;
  FILE *f = _wfdopen(fd, text ? L"w" : L"wb");
  if (f == nullptr) _close(fd);
  return f;
#else
  return fopen(path, mode);
#endif
}

int remove_file(const char *path) {
#ifdef _WIN32
  wchar_t wpath[4096];
  if (MultiByteToWideChar(CP_UTF8, 0, path, -1, wpath, 4096) == 0) return -1;
  return _wremove(wpath);
#else
  return remove(path);
#endif
}

// Writes data through a temporary file opened with mode, then renames it
// over path.
static int replace_with(const char *path, const void *data, size_t size, const char *mode) {
  char tmp[4200];
#ifdef _WIN32
  int pid = _getpid();
#else
  int pid = (int)getpid();
#endif
  int n = snprintf(tmp, sizeof tmp, "%s.tmp%d", path, pid);
  if (n < 0 || (size_t)n >= sizeof tmp) return 1;
  FILE *f = open_file(tmp, mode);
  if (f == nullptr) return 1;
  bool ok = fwrite(data, 1, size, f) == size;
  ok = (fflush(f) == 0) && ok;
#ifndef _WIN32
  ok = (fsync(fileno(f)) == 0) && ok;
#endif
  ok = (fclose(f) == 0) && ok;
#ifdef _WIN32
  if (ok) {
    wchar_t wtmp[4200], wpath[4200];
    ok = MultiByteToWideChar(CP_UTF8, 0, tmp, -1, wtmp, 4200) != 0 &&
         MultiByteToWideChar(CP_UTF8, 0, path, -1, wpath, 4200) != 0 &&
         MoveFileExW(wtmp, wpath, MOVEFILE_REPLACE_EXISTING) != 0;
  }
  if (!ok) {
    remove_file(tmp);
    return 1;
  }
#else
  if (!ok || rename(tmp, path) != 0) {
    remove_file(tmp);
    return 1;
  }
#endif
  return 0;
}

int replace_file(const char *path, const void *data, size_t size) { return replace_with(path, data, size, "wb"); }

int replace_text_file(const char *path, const char *text, size_t size) {
  return replace_with(path, text, size, "w");
}
