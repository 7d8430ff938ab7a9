// The I/O port map of the three machine modes, the two controllers, the
// joypads of headerless mode and the roller controller.
#include "input/ports.h"

#include "core/bus.h"
#include "host/host.h"
#include "memory/memory.h"
#include "sound/psg.h"
#include "video/vdp.h"

uint32_t key_table[256];
int32_t joystick, roller_enabled, roller_x, roller_y, roller_state, roller_int;

// The mouse is sampled on every 32nd line.
enum { ROLLER_SAMPLE_LINES = 32 };

// Keypad inputs in priority order (a later held key replaces an earlier
// one) with the code each puts on the keypad lines.
static const struct { uint8_t input, code; } keypad_codes[14] = {
  {K_KEY0, 0xA}, {K_KEY1, 0xD}, {K_KEY2, 0x7}, {K_KEY3, 0xC}, {K_KEY4, 0x2},
  {K_KEY5, 0x3}, {K_KEY6, 0xE}, {K_KEY7, 0x5}, {K_KEY8, 0x1}, {K_KEY9, 0xB},
  {K_STAR, 0x9}, {K_HASH, 0x6}, {K_BUTTON3, 0x8}, {K_BUTTON4, 0x4},
};

// Console controller n (0 or 1) in the selected segment.
static int read_controller(int n) {
  const uint32_t *keys = key_table + n * K_CONTROLLER_2;
  int shift = n * 2;
  int q = (roller_state >> shift) & 3;
  roller_state |= 3 << shift;  // the read consumes the roller step
  int value = 0x4F | (q << 4);
  if (joystick) {
    if (keys[K_UP]) value &= ~0x01;
    if (keys[K_RIGHT]) value &= ~0x02;
    if (keys[K_DOWN]) value &= ~0x04;
    if (keys[K_LEFT]) value &= ~0x08;
    if (keys[K_LEFT_BUTTON]) value &= ~0x40;
  } else {
    for (const auto &k : keypad_codes)
      if (keys[k.input]) value = (value & 0xF0) | k.code;
    if (keys[K_RIGHT_BUTTON]) value &= ~0x40;
  }
  return value;
}

// Headerless joypads: bit set while released.
static int read_joypad(int port_b) {
  const uint32_t *c1 = key_table, *c2 = key_table + K_CONTROLLER_2;
  int held = 0;
  if (port_b) {
    held = (c2[K_LEFT] ? 0x01 : 0) | (c2[K_RIGHT] ? 0x02 : 0) |
           (c2[K_LEFT_BUTTON] ? 0x04 : 0) | (c2[K_RIGHT_BUTTON] ? 0x08 : 0);
  } else {
    held = (c1[K_UP] ? 0x01 : 0) | (c1[K_DOWN] ? 0x02 : 0) | (c1[K_LEFT] ? 0x04 : 0) |
           (c1[K_RIGHT] ? 0x08 : 0) | (c1[K_LEFT_BUTTON] ? 0x10 : 0) |
           (c1[K_RIGHT_BUTTON] ? 0x20 : 0) | (c2[K_UP] ? 0x40 : 0) | (c2[K_DOWN] ? 0x80 : 0);
  }
  return 0xFF & ~held;
}

int read_port(int port, int) {
  port &= 0xFF;
  if (nmi_use == MODE_HEADERLESS) {
    if ((port & 0xC0) == 0x80) return vdp_read_port(port);
    if (port >= 0xC0) return read_joypad(port & 1);
    return 0xFF;
  }
  if (port >= 0xA0 && port <= 0xBF) return vdp_read_port(port);
  if (port >= 0xE0) return read_controller((port >> 1) & 1);
  if (sgm_active != 0 && port >= 0x50 && port <= 0x52) return psg2_read(port);
  return 0xFF;
}

int write_port(int port, int value, int) {
  // 0xA0-0xBF reach the video chip in every mode: the common case first.
  if ((port & 0xE0) == 0xA0) return vdp_write_port(port, value);
  port &= 0xFF;
  value &= 0xFF;
  if (nmi_use == MODE_HEADERLESS) {
    if ((port & 0xC0) == 0x80) return vdp_write_port(port, value);
    if ((port & 0xC0) == 0x40) return psg_write(value);
    return 0;
  }
  if (port >= 0xA0 && port <= 0xBF) return vdp_write_port(port, value);
  if (port >= 0x80 && port <= 0x9F) { joystick = 0; return 0; }
  if (port >= 0xC0 && port <= 0xDF) { joystick = 1; return 0; }
  if (port >= 0xE0) return psg_write(value);
  if (sgm_active != 0) {
    switch (port) {
      case 0x53: sgm_upper_ram(value); return 0;
      case 0x50: psg2_write_address(value); return 0;
      case 0x51: psg2_write_data(value); return 0;
      case 0x7F:
        if (nmi_use == MODE_CONSOLE) { sgm_bios_switch(value); return 0; }
        break;
      default: break;
    }
  }
  if (nmi_use == MODE_ADAM) {
    if (port >= 0x20 && port <= 0x3F) adam_rom_enable(value);
    else if (port >= 0x60 && port <= 0x7F) adam_memory_config(value);
  }
  return 0;
}

// The roller drives the maskable input in console and Adam modes; the
// video line drives it in headerless mode.
int interrupt_line(void) {
  return nmi_use != MODE_HEADERLESS ? roller_int != 0 : vdp_interrupt_line();
}

void roller_reset(void) {
  roller_int = 0;
  roller_state = 15;
  roller_x = roller_y = 0;
  roller_enabled = 0;
}

// A quarter of the motion, rounded half away from zero.
static int roller_scale(int d) {
  return d >= 0 ? (d + 2) / 4 : -((-d + 2) / 4);
}

void roller_update(void) {
  if (nmi_use == MODE_HEADERLESS) return;
  if (!roller_enabled) {
    roller_state = 15;
  } else if (vdp_line % ROLLER_SAMPLE_LINES == 0) {
    int dx = 0, dy = 0;
    host_mouse_motion(&dx, &dy);
    roller_x += roller_scale(dx);
    roller_y += roller_scale(dy);
    int state = roller_state & ~15;
    if (roller_x == 0) state |= 3;
    else if (roller_x > 0) { roller_x--; }
    else { roller_x++; state |= 2; }
    if (roller_y == 0) state |= 12;
    else if (roller_y > 0) { roller_y--; state |= 8; }
    else { roller_y++; }
    roller_state = state;
  }
  roller_int = ((roller_state & 1) == 0 || (roller_state & 4) == 0) ? 1 : 0;
}
