// The POSIX calls the tests use that MinGW spells differently, so the same
// tests build for Windows (and run under Wine).
#pragma once
#include <sys/stat.h>
#include <unistd.h>

#ifdef _WIN32
#include <direct.h>
#include <cstdlib>

inline int mkdir(const char *path, int) { return _mkdir(path); }
inline int setenv(const char *name, const char *value, int) { return _putenv_s(name, value); }
#endif
