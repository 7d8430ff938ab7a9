// Where the user's files go, and opening them by name.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

// The folders user files are written to. On Linux all three are the home
// folder; on Windows they are Documents, Music and Pictures.
enum { FOLDER_DOCUMENTS, FOLDER_MUSIC, FOLDER_PICTURES };

// The user's home folder with a trailing separator: HOME, else the
// password database, else the current folder ("").
const char *home_folder(void);
// home_folder() + name into out; returns 0, or 1 when it does not fit.
int home_path(char *out, size_t size, const char *name);
// user_folder(kind) + name into out; returns 0, or 1 when it does not fit.
int user_path(int kind, char *out, size_t size, const char *name);
// First "%03d" file of pattern (in the home folder) that cannot be opened
// for reading, starting at *counter; the counter ends past it.
int next_numbered_path(char *out, size_t size, const char *pattern, int *counter);
// The same in a given user folder.
int next_numbered_user_path(int kind, char *out, size_t size, const char *pattern, int *counter);
// remove for a UTF-8 path; 0 on success.
int remove_file(const char *path);
// fopen for a UTF-8 path (wide-character file names on Windows). "wbx"
// and "wx" create the file only when there is none, on every host.
FILE *open_file(const char *path, const char *mode);

// ftell and fseek from the start with positions beyond 2 GB on every host
// (long has 32 bits on Windows). file_tell gives -1 on failure, file_seek 0
// on success.
int64_t file_tell(FILE *f);
int file_seek(FILE *f, int64_t at);

// What stands at a path that is to be read as a file.
enum {
  FILE_REGULAR,      // an ordinary file
  FILE_MISSING,      // nothing there
  FILE_FOLDER,
  FILE_NOT_REGULAR,  // a FIFO, a device, a socket
  FILE_TOO_LARGE,    // an ordinary file above the size asked for
  FILE_DENIED,       // no permission
  FILE_UNREADABLE,   // any other error
};
// What stands at path; *size gets an ordinary file's size.
int file_kind(const char *path, long long *size);
// Opens path for reading only when it is an ordinary file of at most
// max_size bytes, without ever waiting on a FIFO or a device. Otherwise
// null, with the reason (FILE_*) in *kind. *size gets the file's size.
FILE *open_regular_file(const char *path, const char *mode, long long max_size, long long *size, int *kind);
// Writes data to path through a temporary file and a rename; 0 on success.
int replace_file(const char *path, const void *data, size_t size);
// The same for text, in the host's text mode (lines end in CR LF on Windows).
int replace_text_file(const char *path, const char *text, size_t size);

// For tests: every user folder is `folder` (with "/" added unless it ends
// in a separator) instead of the host's own; null gives the host's back.
void paths_set_test_folder(const char *folder);
