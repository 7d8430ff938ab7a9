// State the other modules read to know which recordings run.
#include "capture/capture.h"

FILE *video_file, *sound_file;
int32_t record_video, record_sound, record_psg;
