#include "common/paths.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <unistd.h>

const char *home_folder(void) {
  static char folder[4096];
  const char *home = getenv("HOME");
  if (home == nullptr || home[0] == '\0') {
    const struct passwd *pw = getpwuid(getuid());
    home = (pw != nullptr && pw->pw_dir != nullptr) ? pw->pw_dir : "";
  }
  size_t n = strlen(home);
  if (n == 0) {
    folder[0] = '\0';  // current folder
  } else if (n + 2 > sizeof folder) {
    folder[0] = '\0';
  } else {
    memcpy(folder, home, n + 1);
    if (folder[n - 1] != '/') { folder[n] = '/'; folder[n + 1] = '\0'; }
  }
  return folder;
}

int home_path(char *out, size_t size, const char *name) {
  int n = snprintf(out, size, "%s%s", home_folder(), name);
  return (n < 0 || (size_t)n >= size) ? 1 : 0;
}

int next_numbered_path(char *out, size_t size, const char *pattern, int *counter) {
  char name[256];
  for (;;) {
    snprintf(name, sizeof name, pattern, *counter);
    (*counter)++;
    if (home_path(out, size, name)) return 1;
    FILE *f = fopen(out, "rb");
    if (f == nullptr) return 0;
    fclose(f);
  }
}

int replace_file(const char *path, const void *data, size_t size) {
  char tmp[4200];
  int n = snprintf(tmp, sizeof tmp, "%s.tmp%d", path, (int)getpid());
  if (n < 0 || (size_t)n >= sizeof tmp) return 1;
  FILE *f = fopen(tmp, "wb");
  if (f == nullptr) return 1;
  bool ok = fwrite(data, 1, size, f) == size;
  ok = (fflush(f) == 0) && ok;
  ok = (fsync(fileno(f)) == 0) && ok;
  ok = (fclose(f) == 0) && ok;
  if (!ok || rename(tmp, path) != 0) {
    remove(tmp);
    return 1;
  }
  return 0;
}
