// SN76489, the Super Game Module's AY-3-8910, and the audio ring.
#pragma once
#include <cstdint>

extern int32_t psg_address;
extern int32_t psg_reg[8];
extern int32_t psg_vol[16];
extern int32_t psg_step1, psg_counter1, psg_step2, psg_counter2;
extern int32_t psg_step3, psg_counter3, psg_step4, psg_counter4;
extern int32_t psg_channel, psg_noise;
extern int16_t psg_buffer[440];

extern int32_t psg2_address;
extern int32_t psg2_reg[16];
extern int32_t psg2_step1, psg2_counter1, psg2_step2, psg2_counter2;
extern int32_t psg2_step3, psg2_counter3, psg2_step4, psg2_counter4;
extern int32_t psg2_step5, psg2_counter5, psg2_noise;

void psg_init(void);
int psg_write(int value);          // returns the extra CPU cycles (26)
void psg_process(int line);
void psg2_init(void);
void psg2_write_address(int value);
void psg2_write_data(int value);
int psg2_read(int port);
void psg2_process(int line);

// Audio ring and device.
extern int32_t sound_pacing;       // 0: never wait for the device (headless)
int audio_open(void);              // opens the device; 0 on success
void audio_close(void);
void audio_reset_ring(void);
// SDL's audio callback (audio thread): copies unplayed samples out of the ring.
void fill_audio(void *userdata, uint8_t *stream, int len);
