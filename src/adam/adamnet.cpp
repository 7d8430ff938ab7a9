// The Adam's peripherals, served straight from the PCB and DCBs in RAM once
// per frame instead of modelling the network and its device processors.
#include "adam/adamnet.h"

#include <cstdio>
#include <cstring>

#include "memory/cartridge.h"
#include "memory/memory.h"

int32_t pcb_adam, adam_keyboard[16], adam_status[16], adam_slow, adam_fast;

enum { ADAM_IDLE = 0, ADAM_STATUS = 1, ADAM_RESET = 2, ADAM_WRITE = 3, ADAM_READ = 4 };

enum { DEV_KEYBOARD = 1, DEV_PRINTER = 2, DEV_DISK = 4, DEV_DISK2 = 5, DEV_TAPE = 8 };

enum { DONE = 0x80, FAILED = 0x81, NO_MORE_KEYS = 0x8C, NOT_SUPPORTED = 0x9B };

static const int BLOCK_SIZE = 1024;
static const int SECTOR_SIZE = 512;
static const int DISK_BLOCKS = 160;
static const int TAPE_BLOCKS = 256;
static const int DCB_SIZE = 21;
static const int DCB_COUNT = 15;

static const int interleave[8] = {0, 5, 2, 7, 4, 1, 6, 3};

// Control blocks live in the intrinsic RAM whatever the CPU has mapped; the
// addresses wrap like CPU addresses so a PCB near 0xFFFF cannot reach past
// the intrinsic 64 KB.
static int ram_get(int a) { return internal_ram[a & 0xFFFF]; }
static void ram_set(int a, int v) { internal_ram[a & 0xFFFF] = (uint8_t)v; }

static int32_t dcb_block(int d) {
  uint32_t b = (uint32_t)ram_get(d + 5) | (uint32_t)ram_get(d + 6) << 8 |
               (uint32_t)ram_get(d + 7) << 16 | (uint32_t)ram_get(d + 8) << 24;
  return (int32_t)b;
}

static int dcb_buffer(int d) { return ram_get(d + 1) | ram_get(d + 2) << 8; }

// File offset of 512-byte sector s of a disk image.
static long disk_sector_offset(int s) {
  return (long)((s & ~7) | interleave[s & 7]) * SECTOR_SIZE;
}

// Reads n bytes at offset into the CPU's memory at address a. What the file
// cannot supply (a short image) reads as zeros.
static void file_to_memory(FILE *f, long offset, int a, int n) {
  uint8_t buf[BLOCK_SIZE];
  size_t got = 0;
  if (fseek(f, offset, SEEK_SET) == 0) got = fread(buf, 1, (size_t)n, f);
  clearerr(f);
  memset(buf + got, 0, (size_t)n - got);
  for (int i = 0; i < n; i++) memory_write((a + i) & 0xFFFF, buf[i]);
}

static void memory_to_file(FILE *f, long offset, int a, int n) {
  uint8_t buf[BLOCK_SIZE];
  for (int i = 0; i < n; i++) buf[i] = (uint8_t)memory_read((a + i) & 0xFFFF);
  if (fseek(f, offset, SEEK_SET) == 0) fwrite(buf, 1, (size_t)n, f);
  clearerr(f);
}

static void status_request(int d, int dev) {
  switch (dev) {
    case DEV_KEYBOARD:
    case DEV_PRINTER:
      ram_set(d, DONE);
      break;
    case DEV_DISK:
    case DEV_DISK2:
    case DEV_TAPE: {
      int state = 3;
      if (dev == DEV_DISK && disk1) state = 0;
      if (dev == DEV_TAPE) state = (tape1 ? 0 : 3) | 0x30;
      ram_set(d, DONE);
      ram_set(d + 17, 0x00);
      ram_set(d + 18, 0x04);
      ram_set(d + 20, state);
      break;
    }
    default:
      ram_set(d, FAILED);
      break;
  }
  adam_status[dev] = ADAM_IDLE;
}

// A read that finds no key at all stays pending until one is typed, so a
// program that issues one read and waits for it gets the key; a read that
// gets some keys but not its length ends early with "no more keys".
static void keyboard_read(int d) {
  int a = dcb_buffer(d);
  int n = ram_get(d + 3) | ram_get(d + 4) << 8;
  if (n > 0 && adam_keyboard[0] == 0) return;
  adam_status[DEV_KEYBOARD] = ADAM_IDLE;
  ram_set(d, DONE);
  while (n > 0) {
    if (adam_keyboard[0] == 0) {
      ram_set(d, NO_MORE_KEYS);
      memory_write(a, 0);
      return;
    }
    memory_write(a, ~adam_keyboard[0] & 0xFF);
    a = (a + 1) & 0xFFFF;
    memmove(adam_keyboard, adam_keyboard + 1, sizeof adam_keyboard - sizeof adam_keyboard[0]);
    adam_keyboard[15] = 0;
    n--;
  }
}

// A disk or tape block read or write. Runs only in frames the speed divider
// opens; otherwise the command stays held for the next frame.
static void block_transfer(int d, int dev, int command) {
  if (adam_slow != 0) {
    ram_set(d, 0);
    return;
  }
  adam_status[dev] = ADAM_IDLE;
  int32_t block = dcb_block(d);
  int a = dcb_buffer(d);
  if (dev == DEV_DISK) {
    if (block < 0 || block >= DISK_BLOCKS || !disk1) {
      ram_set(d, FAILED);
      ram_set(d + 20, 2);
      return;
    }
    for (int half = 0; half < 2; half++) {
      long offset = disk_sector_offset(2 * block + half);
      int at = (a + half * SECTOR_SIZE) & 0xFFFF;
      if (command == ADAM_READ) file_to_memory(disk1, offset, at, SECTOR_SIZE);
      else memory_to_file(disk1, offset, at, SECTOR_SIZE);
    }
    if (command == ADAM_WRITE) fflush(disk1);
    ram_set(d, DONE);
    ram_set(d + 20, 0);
  } else {
    if (block < 0 || block >= TAPE_BLOCKS || !tape1) {
      ram_set(d, FAILED);
      ram_set(d + 20, ram_get(d + 20) | 2);
      return;
    }
    long offset = (long)block * BLOCK_SIZE;
    if (command == ADAM_READ) {
      file_to_memory(tape1, offset, a, BLOCK_SIZE);
    } else {
      memory_to_file(tape1, offset, a, BLOCK_SIZE);
      fflush(tape1);
    }
    ram_set(d, DONE);
    ram_set(d + 20, ram_get(d + 20) & 0xF0);
  }
}

static void transfer(int d, int dev, int command) {
  switch (dev) {
    case DEV_KEYBOARD:
      if (command == ADAM_READ) {
        keyboard_read(d);
      } else {
        ram_set(d, NOT_SUPPORTED);
        adam_status[dev] = ADAM_IDLE;
      }
      break;
    case DEV_PRINTER:
      // Printed text is discarded; a read makes no sense on a printer.
      ram_set(d, command == ADAM_WRITE ? DONE : NOT_SUPPORTED);
      adam_status[dev] = ADAM_IDLE;
      break;
    case DEV_DISK:
      block_transfer(d, dev, command);
      break;
    case DEV_DISK2:
      ram_set(d, FAILED);
      ram_set(d + 20, 2);
      adam_status[dev] = ADAM_IDLE;
      break;
    case DEV_TAPE:
      if (ram_get(d + 9) != 0) {
        ram_set(d, FAILED);
        adam_status[dev] = ADAM_IDLE;
      } else {
        block_transfer(d, dev, command);
      }
      break;
    default:
      break;  // no such device: the command stays pending
  }
}

void adam_service(void) {
  adam_slow++;
  if (adam_slow >= (adam_fast == 1 ? 1 : 43)) adam_slow = 0;

  int pcb = pcb_adam & 0xFFFF;
  if (ram_get(pcb) == 1) {
    memset(adam_status, 0, sizeof adam_status);
    ram_set(pcb, 0x81);
  }
  if (ram_get(pcb) == 2) ram_set(pcb, 0x82);
  if (ram_get(pcb) == 3) {
    pcb_adam = ram_get(pcb + 1) | ram_get(pcb + 2) << 8;
    ram_set(pcb, 0x83);
    pcb = pcb_adam;
  }

  for (int n = 0; n < DCB_COUNT; n++) {
    int d = (pcb + 4 + DCB_SIZE * n) & 0xFFFF;
    int dev = ram_get(d + 16);
    if (dev == 0 || dev > 15) continue;
    int command = ram_get(d);
    // A command written over a keyboard read still waiting for a key
    // replaces it.
    bool starts = command == ADAM_STATUS || command == ADAM_WRITE || command == ADAM_READ;
    if (starts && dev == DEV_KEYBOARD && adam_status[dev] == ADAM_READ) adam_status[dev] = ADAM_IDLE;
    if (starts && adam_status[dev] == ADAM_IDLE) {
      adam_status[dev] = command;
      ram_set(d, 0);
    } else if (command == ADAM_RESET) {
      adam_status[dev] = ADAM_RESET;
      ram_set(d, 0);
    }
    switch (adam_status[dev]) {
      case ADAM_STATUS:
        status_request(d, dev);
        break;
      case ADAM_RESET:
        ram_set(d, DONE);
        adam_status[dev] = ADAM_IDLE;
        break;
      case ADAM_WRITE:
      case ADAM_READ:
        transfer(d, dev, adam_status[dev]);
        break;
      default:
        break;
    }
  }
}

// The device state survives a machine reset (the firmware clears it with
// PCB command 1); only the PCB goes back to its place.
