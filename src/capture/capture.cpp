#include "capture/capture.h"

FILE *video_file, *sound_file;
int32_t record_video, record_sound, record_psg;

int avi_start_video(void) { return 1; }
void avi_record_video(const uint32_t *, int) {}
void avi_record_audio(const int16_t *, int) {}
void avi_end_video(void) {}
