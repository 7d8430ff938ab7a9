#include "sound/psg.h"

int32_t psg_address, psg_reg[8], psg_vol[16];
int32_t psg_step1, psg_counter1, psg_step2, psg_counter2;
int32_t psg_step3, psg_counter3, psg_step4, psg_counter4;
int32_t psg_channel, psg_noise;
int16_t psg_buffer[440];
int32_t psg2_address, psg2_reg[16];
int32_t psg2_step1, psg2_counter1, psg2_step2, psg2_counter2;
int32_t psg2_step3, psg2_counter3, psg2_step4, psg2_counter4;
int32_t psg2_step5, psg2_counter5, psg2_noise;
int32_t sound_pacing = 1;

void psg_init(void) {}
int psg_write(int) { return 26; }
void psg_process(int) {}
void psg2_init(void) {}
void psg2_write_address(int) {}
void psg2_write_data(int) {}
int psg2_read(int) { return 0xFF; }
void psg2_process(int) {}
int audio_open(void) { return 1; }
void audio_close(void) {}
void audio_reset_ring(void) {}
void fill_audio(void *, uint8_t *stream, int len) { for (int i = 0; i < len; i++) stream[i] = 0; }
