// Persistence and capture: the snapshot slot, the debug dump, the AVI and
// WAV recorders and the sound-register log.
#pragma once
#include <cstdint>
#include <cstdio>

// Whole machine but the cartridge image. Both return 0, or 1 on failure;
// a file that is damaged in any way is refused and changes nothing.
int save_snapshot(const char *path);
int read_snapshot(const char *path);
// Text dump "debug%03d.txt" in the user's documents folder.
void debugging_snapshot(void);
// The same text into a given file; 0 on success.
int debug_dump_to(const char *path);

// Recordings check every write. On a failure (a full disk) the recording
// stops at once, its file is cut back to what was written whole and its
// sizes (and the AVI's index) made to match, the status line says so and
// recording_failed is set (tervox-headless then exits non-zero).
extern int32_t recording_failed;
// Cuts f to size bytes and puts its position there; 0 on success.
int capture_cut(FILE *f, int64_t size);

// AVI: the caller opens video_file, then avi_start_video writes the headers
// (on failure it closes the file, clears record_video and returns 1).
// avi_record_audio takes each 440-sample block, avi_record_video each
// finished frame (256x192 pixels); avi_end_video finishes and closes.
extern FILE *video_file;
extern int32_t record_video;
int avi_start_video(void);
void avi_record_video(const uint32_t *pixels, int flush);
void avi_record_audio(const int16_t *samples, int count);
void avi_end_video(void);

// WAV: wav_start takes the opened file and writes the header (if it cannot,
// the file is closed and sound_file stays null); wav_append takes each
// sample block; end_sound_recording patches the sizes and closes.
extern FILE *sound_file;
extern int32_t record_sound;
extern int32_t record_psg;
void wav_start(FILE *f);
void wav_append(const int16_t *samples, int count);
void end_sound_recording(void);
// Appends this frame's sound-chip registers to "psg.txt"; a line that
// cannot be written whole is taken back and the log switched off.
void psg_log_frame(void);
