// State the other modules read to know which recordings run, and what the
// recorders share.
#include "capture/capture.h"

#include "common/paths.h"

#ifdef _WIN32
#include <io.h>
#else
#include <sys/types.h>
#include <unistd.h>
#endif

FILE *video_file, *sound_file;
int32_t record_video, record_sound, record_psg;
int32_t recording_failed;

int capture_cut(FILE *f, int64_t size) {
  if (f == nullptr || size < 0) return 1;
  fflush(f);  // the recorders write unbuffered: nothing is pending
  clearerr(f);
#ifdef _WIN32
  if (_chsize_s(_fileno(f), size) != 0) return 1;
#else
  if (ftruncate(fileno(f), (off_t)size) != 0) return 1;
#endif
  return file_seek(f, size) != 0 ? 1 : 0;
}
