// Where the user's files go.
#pragma once
#include <cstddef>

// The user's home folder with a trailing "/": HOME, else the password
// database, else the current folder ("").
const char *home_folder(void);
// home_folder() + name into out; returns 0, or 1 when it does not fit.
int home_path(char *out, size_t size, const char *name);
// First "%03d" file of pattern (in the home folder) that cannot be opened
// for reading, starting at *counter; the counter ends past it.
int next_numbered_path(char *out, size_t size, const char *pattern, int *counter);
// Writes data to path through a temporary file and a rename; 0 on success.
int replace_file(const char *path, const void *data, size_t size);
