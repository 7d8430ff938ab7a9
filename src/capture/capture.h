// Snapshot, debug dump, AVI and WAV recorders, sound-register log.
#pragma once
#include <cstdint>
#include <cstdio>

int save_snapshot(const char *path);
int read_snapshot(const char *path);
void debugging_snapshot(void);

extern FILE *video_file;
extern int32_t record_video;
int avi_start_video(void);
void avi_record_video(const uint32_t *pixels, int flush);
void avi_record_audio(const int16_t *samples, int count);
void avi_end_video(void);

extern FILE *sound_file;
extern int32_t record_sound;
extern int32_t record_psg;
void wav_start(FILE *f);
void wav_append(const int16_t *samples, int count);
void end_sound_recording(void);
void psg_log_frame(void);
