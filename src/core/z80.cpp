// Z80 interpreter: one dense switch per opcode table, registers in locals
// for a whole scanline, flags from precomputed tables.
#include "core/z80.h"

#include "core/machine.h"
#include "input/ports.h"
#include "memory/memory.h"
#include "sound/psg.h"
#include "video/vdp.h"

int32_t emulator_registers[REG_COUNT];
int32_t interrupt_mask, interrupt_mask_2, interrupt_mode, nmi_gate;
int32_t z80_cycles, z80_cycles_1, z80_cycles_2, z80_error;
int32_t z80_scanline_limit;
int32_t z80_continue;
int (*z80_port_read_hook)(int port);
int (*z80_port_write_hook)(int port, int value);

// ---- flag tables, built at compile time from their rules
namespace {
struct FlagTables {
  uint8_t basic[256], basic2[256], parity[256], parity2[256], inc[256], dec[256];
};
constexpr FlagTables make_flag_tables() {
  FlagTables t{};
  for (int x = 0; x < 256; x++) {
    int b = (x >= 0x80 ? 0x80 : 0) | (x == 0 ? 0x40 : 0);
    int ones = 0;
    for (int k = 0; k < 8; k++) ones += (x >> k) & 1;
    t.basic[x] = (uint8_t)b;
    t.basic2[x] = (uint8_t)(b | 0x02);
    t.parity[x] = (uint8_t)(b | ((ones & 1) == 0 ? 0x04 : 0));
    t.parity2[x] = (uint8_t)(t.parity[x] | 0x10);
    t.inc[x] = (uint8_t)(b | ((x & 0x0F) == 0 ? 0x10 : 0) | (x == 0x80 ? 0x04 : 0));
    t.dec[x] = (uint8_t)(b | 0x02 | ((x & 0x0F) == 0x0F ? 0x10 : 0) | (x == 0x7F ? 0x04 : 0));
  }
  return t;
}
constexpr FlagTables flags = make_flag_tables();
}  // namespace

const uint8_t (&table_basic)[256] = flags.basic;
const uint8_t (&table_basic2)[256] = flags.basic2;
const uint8_t (&table_parity)[256] = flags.parity;
const uint8_t (&table_parity2)[256] = flags.parity2;
const uint8_t (&table_inc)[256] = flags.inc;
const uint8_t (&table_dec)[256] = flags.dec;

// Tables handed to start_z80 (z80_step uses map1/map2).
static uint8_t **read_table = map1;
static uint8_t **write_table = map2;

void enable_interrupts(void) { interrupt_mask = 2; interrupt_mask_2 = 1; }
void disable_interrupts(void) { interrupt_mask = 0; interrupt_mask_2 = 0; }
void restore_interrupt(void) { interrupt_mask = interrupt_mask_2; }

static inline int video_line(void) {
  return (vdp_status & 0x80) && (vdp_reg[1] & 0x20);
}

// Interrupt acceptance on the stored register block (check_for_interrupt
// runs between scanlines or inside a port write, where it is current).
static void push_stored_pc_and_skip_halt(void) {
  int ir = emulator_registers[REG_IR];
  emulator_registers[REG_IR] = (ir & 0xFF80) | ((ir + 1) & 0x7F);
  int pc = emulator_registers[REG_PC] & 0xFFFF;
  if (memory_read(pc) == 0x76) pc = (pc + 1) & 0xFFFF;
  int sp = (emulator_registers[REG_SP] - 2) & 0xFFFF;
  memory_write(sp, pc & 0xFF);
  memory_write((sp + 1) & 0xFFFF, pc >> 8);
  emulator_registers[REG_SP] = sp;
  emulator_registers[REG_PC] = pc;
}

int check_for_interrupt(void) {
  int line = video_line();
  int edge = nmi_gate == 0 && line;
  nmi_gate = line;
  if (nmi_use != 0) {
    if (!edge) return 0;
    push_stored_pc_and_skip_halt();
    interrupt_mask = 0;
    emulator_registers[REG_PC] = 0x0066;
    return 12;
  }
  if (!line || interrupt_mask != 1) return 0;
  push_stored_pc_and_skip_halt();
  int cost = 14;
  if (interrupt_mode == 2) {
    int v = (emulator_registers[REG_IR] & 0xFF00) | 0xFF;
    emulator_registers[REG_PC] = memory_read(v) | (memory_read((v + 1) & 0xFFFF) << 8);
    cost = 20;
  } else {
    emulator_registers[REG_PC] = 0x0038;
  }
  interrupt_mask = 0;
  interrupt_mask_2 = 0;
  return cost;
}

// ---- the interpreter proper

static inline unsigned read_rule(uint8_t **rt, unsigned a) {
  if (a >= 0xFFC0 && megacart_mapper != 1 && nmi_use != 0) return (unsigned)megarom((int)a) & 0xFF;
  return rt[a >> 10][a];
}

// Both write hooks live at 0xBFFF and above, so one compare guards them.
static inline void write_rule(uint8_t **wt, unsigned a, unsigned v) {
  if (a >= 0xBFFF) {
    if (megacart_mapper == 1) {
      if (a >= 0xFF80) { megarom_activision((int)a); return; }
    } else if (a == 0xBFFF && nmi_use == 0) {
      megarom((int)v);
      return;
    }
  }
  wt[a >> 10][a] = (uint8_t)v;
}

static inline int port_in(unsigned port, unsigned pc) {
  if (z80_port_read_hook) return z80_port_read_hook((int)port);
  return read_port((int)port, (int)pc);
}

static inline int port_out(unsigned port, unsigned v, unsigned pc) {
  if (z80_port_write_hook) return z80_port_write_hook((int)port, (int)v);
  return write_port((int)port, (int)v, (int)pc);
}

// The CB-table shifts and rotations; F gets the new flags.
static inline unsigned shift_op(unsigned kind, unsigned v, unsigned &f) {
  unsigned c, r;
  switch (kind) {
    case 0: c = v >> 7; r = ((v << 1) | c) & 0xFF; break;                 // RLC
    case 1: c = v & 1; r = (v >> 1) | (c << 7); break;                    // RRC
    case 2: c = v >> 7; r = ((v << 1) | (f & 1)) & 0xFF; break;           // RL
    case 3: c = v & 1; r = (v >> 1) | ((f & 1) << 7); break;              // RR
    case 4: c = v >> 7; r = (v << 1) & 0xFF; break;                       // SLA
    case 5: c = v & 1; r = (v >> 1) | (v & 0x80); break;                  // SRA
    case 6: c = v >> 7; r = ((v << 1) | 1) & 0xFF; break;                 // SLL
    default: c = v & 1; r = v >> 1; break;                                // SRL
  }
  f = flags.parity[r] | c;
  return r;
}

// Applies CB operation op (shift, BIT, RES, SET) to v; returns the new
// value (v itself for BIT).
static inline unsigned cb_op(unsigned op, unsigned v, unsigned &f) {
  unsigned bit = 1u << ((op >> 3) & 7);
  switch (op >> 6) {
    case 0: return shift_op((op >> 3) & 7, v, f);
    case 1: f = (f & 0xAD) | 0x10 | ((v & bit) ? 0 : 0x40); return v;
    case 2: return v & ~bit;
    default: return v | bit;
  }
}

template <bool ONE_STEP>
static int run(int budget) {
  uint8_t **const rt = read_table;
  uint8_t **const wt = write_table;
  unsigned A, F, B, C, D, E, H, L, IX, IY, SP, PC, I, R, R7;

#define LOAD_ALL()                                                   \
  A = (emulator_registers[REG_AF] >> 8) & 0xFF; F = emulator_registers[REG_AF] & 0xFF; \
  B = (emulator_registers[REG_BC] >> 8) & 0xFF; C = emulator_registers[REG_BC] & 0xFF; \
  D = (emulator_registers[REG_DE] >> 8) & 0xFF; E = emulator_registers[REG_DE] & 0xFF; \
  H = (emulator_registers[REG_HL] >> 8) & 0xFF; L = emulator_registers[REG_HL] & 0xFF; \
  IX = emulator_registers[REG_IX] & 0xFFFF; IY = emulator_registers[REG_IY] & 0xFFFF;   \
  LOAD_SPI()
#define LOAD_SPI()                                                   \
  SP = emulator_registers[REG_SP] & 0xFFFF; PC = emulator_registers[REG_PC] & 0xFFFF;   \
  I = (emulator_registers[REG_IR] >> 8) & 0xFF; R = emulator_registers[REG_IR] & 0x7F;  \
  R7 = emulator_registers[REG_IR] & 0x80;
#define STORE_SPI()                                                  \
  emulator_registers[REG_SP] = (int32_t)SP; emulator_registers[REG_PC] = (int32_t)PC;   \
  emulator_registers[REG_IR] = (int32_t)((I << 8) | R7 | (R & 0x7F));
#define STORE_ALL()                                                  \
  emulator_registers[REG_AF] = (int32_t)((A << 8) | F);              \
  emulator_registers[REG_BC] = (int32_t)((B << 8) | C);              \
  emulator_registers[REG_DE] = (int32_t)((D << 8) | E);              \
  emulator_registers[REG_HL] = (int32_t)((H << 8) | L);              \
  emulator_registers[REG_IX] = (int32_t)IX; emulator_registers[REG_IY] = (int32_t)IY;  \
  STORE_SPI()

  // The access rule: two hook tests ahead of one table lookup.
#define RD(a) read_rule(rt, (a))
#define WR(a, v) write_rule(wt, (a), (v))
#define FETCH() (PC = (PC + 1) & 0xFFFF, RD((PC - 1) & 0xFFFF))
#define HL ((H << 8) | L)
#define BC ((B << 8) | C)
#define DE ((D << 8) | E)
#define SETHL(v) (H = ((v) >> 8) & 0xFF, L = (v) & 0xFF)
#define SETBC(v) (B = ((v) >> 8) & 0xFF, C = (v) & 0xFF)
#define SETDE(v) (D = ((v) >> 8) & 0xFF, E = (v) & 0xFF)
#define CY(n) { budget -= (n); break; }
#define PUSH16(v) { unsigned v_ = (v); SP = (SP - 1) & 0xFFFF; WR(SP, v_ >> 8); \
                    SP = (SP - 1) & 0xFFFF; WR(SP, v_ & 0xFF); }
#define POP16(dst) { unsigned lo_ = RD(SP); SP = (SP + 1) & 0xFFFF; \
                     dst = lo_ | (RD(SP) << 8); SP = (SP + 1) & 0xFFFF; }
#define INC_R() (R = (R + 1) & 0x7F)

#define ADD8(s) { unsigned s_ = (s), r_ = A + s_;                                   \
    F = flags.basic[r_ & 0xFF] | (((A & 0xF) + (s_ & 0xF)) & 0x10) |               \
        ((~(A ^ s_) & (A ^ r_) & 0x80) >> 5) | (r_ >> 8); A = r_ & 0xFF; }
#define ADC8(s) { unsigned s_ = (s), c_ = F & 1, r_ = A + s_ + c_;                  \
    F = flags.basic[r_ & 0xFF] | (((A & 0xF) + (s_ & 0xF) + c_) & 0x10) |          \
        ((~(A ^ s_) & (A ^ r_) & 0x80) >> 5) | (r_ >> 8); A = r_ & 0xFF; }
#define SUBF(s, c_) (                                                               \
    flags.basic2[(A - (s) - (c_)) & 0xFF] | (((A & 0xF) - ((s) & 0xF) - (c_)) & 0x10) | \
    (((A ^ (s)) & (A ^ (A - (s) - (c_))) & 0x80) >> 5) | (((A - (s) - (c_)) >> 8) & 1))
#define SUB8(s) { unsigned s_ = (s); F = SUBF(s_, 0u); A = (A - s_) & 0xFF; }
#define SBC8(s) { unsigned s_ = (s), c_ = F & 1; F = SUBF(s_, c_); A = (A - s_ - c_) & 0xFF; }
#define CP8(s) { unsigned s_ = (s); F = SUBF(s_, 0u); }
#define AND8(s) { A &= (s); F = flags.parity2[A]; }
#define XOR8(s) { A ^= (s); F = flags.parity[A]; }
#define OR8(s) { A |= (s); F = flags.parity[A]; }
#define INC8(r) { r = (r + 1) & 0xFF; F = flags.inc[r] | (F & 1); }
#define DEC8(r) { r = (r - 1) & 0xFF; F = flags.dec[r] | (F & 1); }
#define ADD16(dst, s) { unsigned d_ = (dst), s_ = (s), r_ = d_ + s_;                  \
    F = (F & 0xEC) | ((((d_ & 0xFFF) + (s_ & 0xFFF)) >> 8) & 0x10) | (r_ >> 16);     \
    dst = r_ & 0xFFFF; }
#define ADDHL(s) { unsigned t_ = HL; ADD16(t_, s); SETHL(t_); }
#define JR_IF(cond) { if (cond) { unsigned e_ = RD(PC);                              \
      PC = (PC + 1 + (unsigned)(int)(int8_t)e_) & 0xFFFF; CY(13) }                   \
    PC = (PC + 1) & 0xFFFF; CY(8) }
#define JP_IF(cond) { if (cond) { unsigned lo_ = FETCH(); PC = lo_ | (RD(PC) << 8); } \
    else { PC = (PC + 2) & 0xFFFF; } CY(11) }
#define CALL_IF(cond) { if (cond) { unsigned lo_ = FETCH(); unsigned hi_ = FETCH();    \
      PUSH16(PC); PC = lo_ | (hi_ << 8); CY(18) }                                     \
    PC = (PC + 2) & 0xFFFF; CY(11) }
#define RET_IF(cond) { if (cond) { POP16(PC); CY(12) } CY(6) }
#define RST(p) { PUSH16(PC); PC = (p); CY(12) }
  // Port protocol: SP, PC and IR stored before, reloaded after.
#define PORT_IN(port, dst) { STORE_SPI(); dst = port_in((port), PC) & 0xFF; LOAD_SPI(); }
#define PORT_OUT(port, v) { STORE_SPI(); budget -= port_out((port), (v), PC); LOAD_SPI(); }

  LOAD_ALL();
  do {
    // Maskable interrupt check, then the EI delay.
    if (interrupt_mask) {
      if (interrupt_mask == 1) {
        int request = nmi_use != 0 ? roller_int != 0 : video_line();
        if (request) {
          INC_R();
          if (RD(PC) == 0x76) PC = (PC + 1) & 0xFFFF;
          SP = (SP - 2) & 0xFFFF;
          WR(SP, PC & 0xFF);
          WR((SP + 1) & 0xFFFF, PC >> 8);
          if (interrupt_mode == 2) {
            unsigned v = (I << 8) | 0xFF;
            PC = RD(v) | (RD((v + 1) & 0xFFFF) << 8);
            budget -= 20;
          } else {
            PC = 0x38;
            budget -= 14;
          }
          interrupt_mask = 0;
          interrupt_mask_2 = 0;
        }
      } else {
        interrupt_mask = 1;
      }
    }
    INC_R();
    unsigned op = FETCH();
    switch (op) {
      case 0x00: CY(5)
      case 0x01: { unsigned lo = FETCH(); C = lo; B = FETCH(); CY(11) }
      case 0x02: WR(BC, A); CY(8)
      case 0x03: { unsigned t = (BC + 1) & 0xFFFF; SETBC(t); CY(7) }
      case 0x04: INC8(B) CY(5)
      case 0x05: DEC8(B) CY(5)
      case 0x06: B = FETCH(); CY(8)
      case 0x07: A = ((A << 1) | (A >> 7)) & 0xFF; F = (F & 0xEC) | (A & 1); CY(5)
      case 0x08: { unsigned t = emulator_registers[REG_AF2] & 0xFFFF;
        emulator_registers[REG_AF2] = (int32_t)((A << 8) | F); A = t >> 8; F = t & 0xFF; CY(5) }
      case 0x09: ADDHL(BC) CY(12)
      case 0x0A: A = RD(BC); CY(8)
      case 0x0B: { unsigned t = (BC - 1) & 0xFFFF; SETBC(t); CY(7) }
      case 0x0C: INC8(C) CY(5)
      case 0x0D: DEC8(C) CY(5)
      case 0x0E: C = FETCH(); CY(8)
      case 0x0F: { unsigned c = A & 1; A = (A >> 1) | (c << 7); F = (F & 0xEC) | c; CY(5) }
      case 0x10:
        B = (B - 1) & 0xFF;
        if (B != 0) { unsigned e = RD(PC); PC = (PC + 1 + (unsigned)(int)(int8_t)e) & 0xFFFF; CY(14) }
        PC = (PC + 1) & 0xFFFF; CY(9)
      case 0x11: { unsigned lo = FETCH(); E = lo; D = FETCH(); CY(11) }
      case 0x12: WR(DE, A); CY(8)
      case 0x13: { unsigned t = (DE + 1) & 0xFFFF; SETDE(t); CY(7) }
      case 0x14: INC8(D) CY(5)
      case 0x15: DEC8(D) CY(5)
      case 0x16: D = FETCH(); CY(8)
      case 0x17: { unsigned c = A >> 7; A = ((A << 1) | (F & 1)) & 0xFF; F = (F & 0xEC) | c; CY(5) }
      case 0x18: { unsigned e = RD(PC); PC = (PC + 1 + (unsigned)(int)(int8_t)e) & 0xFFFF; CY(13) }
      case 0x19: ADDHL(DE) CY(12)
      case 0x1A: A = RD(DE); CY(8)
      case 0x1B: { unsigned t = (DE - 1) & 0xFFFF; SETDE(t); CY(7) }
      case 0x1C: INC8(E) CY(5)
      case 0x1D: DEC8(E) CY(5)
      case 0x1E: E = FETCH(); CY(8)
      case 0x1F: { unsigned c = A & 1; A = (A >> 1) | ((F & 1) << 7); F = (F & 0xEC) | c; CY(5) }
      case 0x20: JR_IF(!(F & 0x40))
      case 0x21: { unsigned lo = FETCH(); L = lo; H = FETCH(); CY(11) }
      case 0x22: { unsigned lo = FETCH(); unsigned a = lo | (FETCH() << 8);
        WR(a, L); WR((a + 1) & 0xFFFF, H); CY(17) }
      case 0x23: { unsigned t = (HL + 1) & 0xFFFF; SETHL(t); CY(7) }
      case 0x24: INC8(H) CY(5)
      case 0x25: DEC8(H) CY(5)
      case 0x26: H = FETCH(); CY(8)
      case 0x27: {
        unsigned corr = ((F & 1) || A > 0x99) ? 0x60 : 0;
        if ((F & 0x10) || (A & 0x0F) > 9) corr |= 0x06;
        unsigned h, na;
        if (F & 0x02) { h = ((A & 0xF) - (corr & 0xF)) & 0x10; na = (A - corr) & 0xFF; }
        else { h = ((A & 0xF) + (corr & 0xF)) & 0x10; na = (A + corr) & 0xFF; }
        F = flags.parity[na] | h | (F & 0x02) | (F & 1) | (A > 0x99 ? 1 : 0);
        A = na;
        CY(5)
      }
      case 0x28: JR_IF(F & 0x40)
      case 0x29: ADDHL(HL) CY(12)
      case 0x2A: { unsigned lo = FETCH(); unsigned a = lo | (FETCH() << 8);
        L = RD(a); H = RD((a + 1) & 0xFFFF); CY(17) }
      case 0x2B: { unsigned t = (HL - 1) & 0xFFFF; SETHL(t); CY(7) }
      case 0x2C: INC8(L) CY(5)
      case 0x2D: DEC8(L) CY(5)
      case 0x2E: L = FETCH(); CY(8)
      case 0x2F: A ^= 0xFF; F |= 0x12; CY(5)
      case 0x30: JR_IF(!(F & 1))
      case 0x31: { unsigned lo = FETCH(); SP = lo | (FETCH() << 8); CY(11) }
      case 0x32: { unsigned lo = FETCH(); unsigned a = lo | (FETCH() << 8); WR(a, A); CY(14) }
      case 0x33: SP = (SP + 1) & 0xFFFF; CY(7)
      case 0x34: { unsigned a = HL, v = RD(a); INC8(v) WR(a, v); CY(12) }
      case 0x35: { unsigned a = HL, v = RD(a); DEC8(v) WR(a, v); CY(12) }
      case 0x36: { unsigned v = FETCH(); WR(HL, v); CY(11) }
      case 0x37: F |= 1; CY(5)
      case 0x38: JR_IF(F & 1)
      case 0x39: ADDHL(SP) CY(12)
      case 0x3A: { unsigned lo = FETCH(); unsigned a = lo | (FETCH() << 8); A = RD(a); CY(14) }
      case 0x3B: SP = (SP - 1) & 0xFFFF; CY(7)
      case 0x3C: INC8(A) CY(5)
      case 0x3D: DEC8(A) CY(5)
      case 0x3E: A = FETCH(); CY(8)
      case 0x3F: F ^= 1; CY(5)

#define LD_ROW(base, dst)                                               \
      case base + 0: dst = B; CY(5)  case base + 1: dst = C; CY(5)      \
      case base + 2: dst = D; CY(5)  case base + 3: dst = E; CY(5)      \
      case base + 4: dst = H; CY(5)  case base + 5: dst = L; CY(5)      \
      case base + 6: dst = RD(HL); CY(8) case base + 7: dst = A; CY(5)
      LD_ROW(0x40, B)
      LD_ROW(0x48, C)
      LD_ROW(0x50, D)
      LD_ROW(0x58, E)
      LD_ROW(0x60, H)
      LD_ROW(0x68, L)
      case 0x70: WR(HL, B); CY(8)
      case 0x71: WR(HL, C); CY(8)
      case 0x72: WR(HL, D); CY(8)
      case 0x73: WR(HL, E); CY(8)
      case 0x74: WR(HL, H); CY(8)
      case 0x75: WR(HL, L); CY(8)
      case 0x76: PC = (PC - 1) & 0xFFFF; CY(5)   // HALT: stay on the opcode
      case 0x77: WR(HL, A); CY(8)
      LD_ROW(0x78, A)

#define ALU_ROW(base, OP)                                                 \
      case base + 0: OP(B) CY(5)  case base + 1: OP(C) CY(5)              \
      case base + 2: OP(D) CY(5)  case base + 3: OP(E) CY(5)              \
      case base + 4: OP(H) CY(5)  case base + 5: OP(L) CY(5)              \
      case base + 6: OP(RD(HL)) CY(8) case base + 7: OP(A) CY(5)
      ALU_ROW(0x80, ADD8)
      ALU_ROW(0x88, ADC8)
      ALU_ROW(0x90, SUB8)
      ALU_ROW(0x98, SBC8)
      ALU_ROW(0xA0, AND8)
      ALU_ROW(0xA8, XOR8)
      ALU_ROW(0xB0, OR8)
      ALU_ROW(0xB8, CP8)

      case 0xC0: RET_IF(!(F & 0x40))
      case 0xC1: { unsigned t; POP16(t); SETBC(t); CY(11) }
      case 0xC2: JP_IF(!(F & 0x40))
      case 0xC3: { unsigned lo = FETCH(); PC = lo | (RD(PC) << 8); CY(11) }
      case 0xC4: CALL_IF(!(F & 0x40))
      case 0xC5: PUSH16(BC) CY(12)
      case 0xC6: ADD8(FETCH()) CY(8)
      case 0xC7: RST(0x00)
      case 0xC8: RET_IF(F & 0x40)
      case 0xC9: POP16(PC) CY(11)
      case 0xCA: JP_IF(F & 0x40)
      case 0xCB: {
        INC_R();
        unsigned op2 = FETCH();
        unsigned reg = op2 & 7;
        if (reg == 6) {
          unsigned a = HL, v = RD(a);
          unsigned nv = cb_op(op2, v, F);
          if ((op2 & 0xC0) == 0x40) CY(14)
          WR(a, nv);
          CY(17)
        }
        unsigned v;
        switch (reg) {
          case 0: v = B; break; case 1: v = C; break; case 2: v = D; break;
          case 3: v = E; break; case 4: v = H; break; case 5: v = L; break;
          default: v = A; break;
        }
        v = cb_op(op2, v, F);
        switch (reg) {
          case 0: B = v; break; case 1: C = v; break; case 2: D = v; break;
          case 3: E = v; break; case 4: H = v; break; case 5: L = v; break;
          default: A = v; break;
        }
        CY(10)
      }
      case 0xCC: CALL_IF(F & 0x40)
      case 0xCD: CALL_IF(true)
      case 0xCE: ADC8(FETCH()) CY(8)
      case 0xCF: RST(0x08)
      case 0xD0: RET_IF(!(F & 1))
      case 0xD1: { unsigned t; POP16(t); SETDE(t); CY(11) }
      case 0xD2: JP_IF(!(F & 1))
      case 0xD3: { unsigned n = FETCH(); PORT_OUT((A << 8) | n, A) CY(12) }
      case 0xD4: CALL_IF(!(F & 1))
      case 0xD5: PUSH16(DE) CY(12)
      case 0xD6: SUB8(FETCH()) CY(8)
      case 0xD7: RST(0x10)
      case 0xD8: RET_IF(F & 1)
      case 0xD9: {
        unsigned t = emulator_registers[REG_BC2] & 0xFFFF;
        emulator_registers[REG_BC2] = (int32_t)BC; SETBC(t);
        t = emulator_registers[REG_DE2] & 0xFFFF;
        emulator_registers[REG_DE2] = (int32_t)DE; SETDE(t);
        t = emulator_registers[REG_HL2] & 0xFFFF;
        emulator_registers[REG_HL2] = (int32_t)HL; SETHL(t);
        CY(5)
      }
      case 0xDA: JP_IF(F & 1)
      case 0xDB: { unsigned n = FETCH(); PORT_IN((A << 8) | n, A) CY(12) }
      case 0xDC: CALL_IF(F & 1)
      case 0xDD:
      case 0xFD: {
        INC_R();
        unsigned xy = op == 0xDD ? IX : IY;
        unsigned op2 = FETCH();
#define XH (xy >> 8)
#define XL (xy & 0xFF)
#define SETXH(v) (xy = (xy & 0x00FF) | (((v) & 0xFF) << 8))
#define SETXL(v) (xy = (xy & 0xFF00) | ((v) & 0xFF))
#define EA() ((xy + (unsigned)(int)(int8_t)FETCH()) & 0xFFFF)
        switch (op2) {
          case 0x09: ADD16(xy, BC) budget -= 17; break;
          case 0x19: ADD16(xy, DE) budget -= 17; break;
          case 0x29: ADD16(xy, xy) budget -= 17; break;
          case 0x39: ADD16(xy, SP) budget -= 17; break;
          case 0x21: { unsigned lo = FETCH(); xy = lo | (FETCH() << 8); CY(16) }
          case 0x22: { unsigned lo = FETCH(); unsigned a = lo | (FETCH() << 8);
            WR(a, XL); WR((a + 1) & 0xFFFF, XH); CY(22) }
          case 0x2A: { unsigned lo = FETCH(); unsigned a = lo | (FETCH() << 8);
            xy = RD(a) | (RD((a + 1) & 0xFFFF) << 8); CY(22) }
          case 0x23: xy = (xy + 1) & 0xFFFF; CY(12)
          case 0x2B: xy = (xy - 1) & 0xFFFF; CY(12)
          case 0x24: { unsigned v = XH; INC8(v) SETXH(v); CY(11) }
          case 0x25: { unsigned v = XH; DEC8(v) SETXH(v); CY(11) }
          case 0x2C: { unsigned v = XL; INC8(v) SETXL(v); CY(11) }
          case 0x2D: { unsigned v = XL; DEC8(v) SETXL(v); CY(11) }
          case 0x26: { unsigned v = FETCH(); SETXH(v); CY(13) }
          case 0x2E: { unsigned v = FETCH(); SETXL(v); CY(13) }
          case 0x34: { unsigned a = EA(), v = RD(a); INC8(v) WR(a, v); CY(25) }
          case 0x35: { unsigned a = EA(), v = RD(a); DEC8(v) WR(a, v); CY(25) }
          case 0x36: { unsigned a = EA(); unsigned v = FETCH(); WR(a, v); CY(21) }
          case 0x44: B = XH; CY(11)
          case 0x45: B = XL; CY(11)
          case 0x4C: C = XH; CY(11)
          case 0x4D: C = XL; CY(11)
          case 0x54: D = XH; CY(11)
          case 0x55: D = XL; CY(11)
          case 0x5C: E = XH; CY(11)
          case 0x5D: E = XL; CY(11)
          case 0x7C: A = XH; CY(11)
          case 0x7D: A = XL; CY(11)
          case 0x60: SETXH(B); CY(11)
          case 0x61: SETXH(C); CY(11)
          case 0x62: SETXH(D); CY(11)
          case 0x63: SETXH(E); CY(11)
          case 0x64: CY(11)
          case 0x65: SETXH(XL); CY(11)
          case 0x67: SETXH(A); CY(11)
          case 0x68: SETXL(B); CY(11)
          case 0x69: SETXL(C); CY(11)
          case 0x6A: SETXL(D); CY(11)
          case 0x6B: SETXL(E); CY(11)
          case 0x6C: SETXL(XH); CY(11)
          case 0x6D: CY(11)
          case 0x6F: SETXL(A); CY(11)
          case 0x46: B = RD(EA()); CY(21)
          case 0x4E: C = RD(EA()); CY(21)
          case 0x56: D = RD(EA()); CY(21)
          case 0x5E: E = RD(EA()); CY(21)
          case 0x66: H = RD(EA()); CY(21)
          case 0x6E: L = RD(EA()); CY(21)
          case 0x7E: A = RD(EA()); CY(21)
          case 0x70: WR(EA(), B); CY(21)
          case 0x71: WR(EA(), C); CY(21)
          case 0x72: WR(EA(), D); CY(21)
          case 0x73: WR(EA(), E); CY(21)
          case 0x74: WR(EA(), H); CY(21)
          case 0x75: WR(EA(), L); CY(21)
          case 0x77: WR(EA(), A); CY(21)
#define XALU(base, OP)                                                  \
          case base + 4: OP(XH) CY(11) case base + 5: OP(XL) CY(11)     \
          case base + 6: OP(RD(EA())) CY(21)
          XALU(0x80, ADD8)
          XALU(0x88, ADC8)
          XALU(0x90, SUB8)
          XALU(0x98, SBC8)
          XALU(0xA0, AND8)
          XALU(0xA8, XOR8)
          XALU(0xB0, OR8)
          XALU(0xB8, CP8)
          case 0xE1: POP16(xy) CY(16)
          case 0xE5: PUSH16(xy) CY(17)
          case 0xE3: {
            unsigned lo = RD(SP), hi = RD((SP + 1) & 0xFFFF);
            WR((SP + 1) & 0xFFFF, XH); WR(SP, XL);
            xy = lo | (hi << 8);
            CY(25)
          }
          case 0xE9: PC = xy; CY(10)
          case 0xF9: SP = xy; CY(12)
          case 0xCB: {
            unsigned a = EA();
            unsigned op3 = FETCH();
            unsigned v = cb_op(op3, RD(a), F);
            if ((op3 & 0xC0) == 0x40) CY(22)
            WR(a, v);
            switch (op3 & 7) {
              case 0: B = v; break; case 1: C = v; break; case 2: D = v; break;
              case 3: E = v; break; case 4: H = v; break; case 5: L = v; break;
              case 7: A = v; break; default: break;
            }
            CY(25)
          }
          default:
            // The prefix acts alone; the byte runs as the next step.
            PC = (PC - 1) & 0xFFFF;
            CY(6)
        }
        if (op == 0xDD) IX = xy; else IY = xy;
#undef XH
#undef XL
#undef SETXH
#undef SETXL
#undef EA
#undef XALU
        break;
      }
      case 0xDE: SBC8(FETCH()) CY(8)
      case 0xDF: RST(0x18)
      case 0xE0: RET_IF(!(F & 0x04))
      case 0xE1: { unsigned t; POP16(t); SETHL(t); CY(11) }
      case 0xE2: JP_IF(!(F & 0x04))
      case 0xE3: {
        unsigned lo = RD(SP), hi = RD((SP + 1) & 0xFFFF);
        WR((SP + 1) & 0xFFFF, H); WR(SP, L);
        L = lo; H = hi;
        CY(20)
      }
      case 0xE4: CALL_IF(!(F & 0x04))
      case 0xE5: PUSH16(HL) CY(12)
      case 0xE6: AND8(FETCH()) CY(8)
      case 0xE7: RST(0x20)
      case 0xE8: RET_IF(F & 0x04)
      case 0xE9: PC = HL; CY(5)
      case 0xEA: JP_IF(F & 0x04)
      case 0xEB: { unsigned t = D; D = H; H = t; t = E; E = L; L = t; CY(5) }
      case 0xEC: CALL_IF(F & 0x04)
      case 0xED: {
        INC_R();
        unsigned op2 = FETCH();
        switch (op2) {
#define IN_C(dst) { unsigned v_; PORT_IN(BC, v_) dst = v_; F = flags.parity[v_] | (F & 1); CY(14) }
          case 0x40: IN_C(B)
          case 0x48: IN_C(C)
          case 0x50: IN_C(D)
          case 0x58: IN_C(E)
          case 0x60: IN_C(H)
          case 0x68: IN_C(L)
          case 0x70: { unsigned v_; PORT_IN(BC, v_) F = flags.parity[v_] | (F & 1); CY(14) }
          case 0x78: IN_C(A)
          case 0x41: PORT_OUT(BC, B) CY(14)
          case 0x49: PORT_OUT(BC, C) CY(14)
          case 0x51: PORT_OUT(BC, D) CY(14)
          case 0x59: PORT_OUT(BC, E) CY(14)
          case 0x61: PORT_OUT(BC, H) CY(14)
          case 0x69: PORT_OUT(BC, L) CY(14)
          case 0x71: PORT_OUT(BC, 0) CY(14)
          case 0x79: PORT_OUT(BC, A) CY(14)
          case 0x42: case 0x52: case 0x62: case 0x72: {
            unsigned rr = op2 == 0x42 ? BC : op2 == 0x52 ? DE : op2 == 0x62 ? HL : SP;
            unsigned hl = HL, c = F & 1, diff = hl - rr - c, res = diff & 0xFFFF;
            F = ((res >> 8) & 0x80) | (res ? 0 : 0x40) |
                ((((hl & 0xFFF) - (rr & 0xFFF) - c) >> 8) & 0x10) |
                (((hl ^ rr) & (hl ^ res) & 0x8000) >> 13) | 0x02 | ((diff >> 16) & 1);
            SETHL(res);
            CY(17)
          }
          case 0x4A: case 0x5A: case 0x6A: case 0x7A: {
            unsigned rr = op2 == 0x4A ? BC : op2 == 0x5A ? DE : op2 == 0x6A ? HL : SP;
            unsigned hl = HL, c = F & 1, sum = hl + rr + c, res = sum & 0xFFFF;
            F = ((res >> 8) & 0x80) | (res ? 0 : 0x40) |
                ((((hl & 0xFFF) + (rr & 0xFFF) + c) >> 8) & 0x10) |
                ((~(hl ^ rr) & (hl ^ res) & 0x8000) >> 13) | (sum >> 16);
            SETHL(res);
            CY(17)
          }
          case 0x43: case 0x53: case 0x63: case 0x73: {
            unsigned rr = op2 == 0x43 ? BC : op2 == 0x53 ? DE : op2 == 0x63 ? HL : SP;
            unsigned lo = FETCH(); unsigned a = lo | (FETCH() << 8);
            WR(a, rr & 0xFF); WR((a + 1) & 0xFFFF, rr >> 8);
            CY(22)
          }
          case 0x4B: case 0x5B: case 0x6B: case 0x7B: {
            unsigned lo = FETCH(); unsigned a = lo | (FETCH() << 8);
            unsigned v = RD(a) | (RD((a + 1) & 0xFFFF) << 8);
            if (op2 == 0x4B) SETBC(v); else if (op2 == 0x5B) SETDE(v);
            else if (op2 == 0x6B) SETHL(v); else SP = v;
            CY(22)
          }
          case 0x44: case 0x4C: case 0x54: case 0x5C:
          case 0x64: case 0x6C: case 0x74: case 0x7C: {
            unsigned v = A; A = 0; SUB8(v) CY(10)
          }
          case 0x45: case 0x55: case 0x65: case 0x75:
          case 0x4D: case 0x5D: case 0x6D: case 0x7D:
            restore_interrupt();
            POP16(PC)
            CY(16)
          case 0x46: case 0x4E: case 0x66: case 0x6E: interrupt_mode = 0; CY(10)
          case 0x56: case 0x76: interrupt_mode = 1; CY(10)
          case 0x5E: case 0x7E: interrupt_mode = 2; CY(10)
          case 0x47: I = A; CY(11)
          case 0x4F: R = A & 0x7F; R7 = A & 0x80; CY(11)
          case 0x57: A = I; F = flags.basic[A] | (interrupt_mask_2 ? 0x04 : 0) | (F & 1); CY(11)
          case 0x5F: A = R7 | (R & 0x7F);
            F = flags.basic[A] | (interrupt_mask_2 ? 0x04 : 0) | (F & 1); CY(11)
          case 0x67: {
            unsigned a = HL, v = RD(a);
            WR(a, (((A & 0x0F) << 4) | (v >> 4)) & 0xFF);
            A = (A & 0xF0) | (v & 0x0F);
            F = flags.parity[A] | (F & 1);
            CY(20)
          }
          case 0x6F: {
            unsigned a = HL, v = RD(a);
            WR(a, ((v << 4) | (A & 0x0F)) & 0xFF);
            A = (A & 0xF0) | (v >> 4);
            F = flags.parity[A] | (F & 1);
            CY(20)
          }
          case 0xA0: case 0xA8: case 0xB0: case 0xB8: {
            unsigned step = (op2 & 0x08) ? 0xFFFF : 1;
            WR(DE, RD(HL));
            unsigned t = (HL + step) & 0xFFFF; SETHL(t);
            t = (DE + step) & 0xFFFF; SETDE(t);
            t = (BC - 1) & 0xFFFF; SETBC(t);
            F = (F & 0xE9) | (t ? 0x04 : 0);
            if ((op2 & 0x10) && t) { PC = (PC - 2) & 0xFFFF; CY(23) }
            CY(18)
          }
          case 0xA1: case 0xA9: case 0xB1: case 0xB9: {
            unsigned step = (op2 & 0x08) ? 0xFFFF : 1;
            unsigned v = RD(HL), diff = (A - v) & 0xFF;
            unsigned t = (HL + step) & 0xFFFF; SETHL(t);
            t = (BC - 1) & 0xFFFF; SETBC(t);
            F = flags.basic2[diff] | (((A & 0xF) - (v & 0xF)) & 0x10) | (t ? 0x04 : 0) | (F & 0x29);
            if ((op2 & 0x10) && t && diff) { PC = (PC - 2) & 0xFFFF; CY(23) }
            CY(18)
          }
          case 0xA2: case 0xAA: case 0xB2: case 0xBA: {
            unsigned step = (op2 & 0x08) ? 0xFFFF : 1;
            bool repeat = false;
            B = (B - 1) & 0xFF;
            if ((op2 & 0x10) && B != 0) { PC = (PC - 2) & 0xFFFF; repeat = true; }
            unsigned v;
            PORT_IN(BC, v)
            WR(HL, v);
            unsigned t = (HL + step) & 0xFFFF; SETHL(t);
            F = ((v >> 6) & 0x02) | ((op2 & 0x10) || B == 0 ? 0x40 : 0);
            if (repeat) CY(23)
            CY(18)
          }
          case 0xA3: case 0xAB: case 0xB3: case 0xBB: {
            unsigned step = (op2 & 0x08) ? 0xFFFF : 1;
            unsigned nb = (B - 1) & 0xFF;
            bool repeat = false;
            if ((op2 & 0x10) && nb != 0) { PC = (PC - 2) & 0xFFFF; repeat = true; }
            unsigned v = RD(HL);
            PORT_OUT(BC, v)
            unsigned t = (HL + step) & 0xFFFF; SETHL(t);
            B = nb;
            F = ((v >> 6) & 0x02) | ((op2 & 0x10) || B == 0 ? 0x40 : 0);
            if (repeat) CY(23)
            CY(18)
          }
          case 0xED:
            // Special return: one more fetch, the byte ignored, then RET.
            INC_R();
            PC = (PC + 1) & 0xFFFF;
            (void)RD((PC - 1) & 0xFFFF);
            POP16(PC)
            CY(25)
          default:
            if (z80_error == 0) z80_error = 1;
            CY(10)
#undef IN_C
        }
        break;
      }
      case 0xEE: XOR8(FETCH()) CY(8)
      case 0xEF: RST(0x28)
      case 0xF0: RET_IF(!(F & 0x80))
      case 0xF1: { unsigned t; POP16(t); A = t >> 8; F = t & 0xFF; CY(11) }
      case 0xF2: JP_IF(!(F & 0x80))
      case 0xF3: disable_interrupts(); CY(5)
      case 0xF4: CALL_IF(!(F & 0x80))
      case 0xF5: PUSH16((A << 8) | F) CY(12)
      case 0xF6: OR8(FETCH()) CY(8)
      case 0xF7: RST(0x30)
      case 0xF8: RET_IF(F & 0x80)
      case 0xF9: SP = HL; CY(7)
      case 0xFA: JP_IF(F & 0x80)
      case 0xFB: enable_interrupts(); CY(5)
      case 0xFC: CALL_IF(F & 0x80)
      case 0xFE: CP8(FETCH()) CY(8)
      case 0xFF: RST(0x38)
    }
  } while (!ONE_STEP && budget >= 0);
  STORE_ALL();
  return budget;
#undef LOAD_ALL
#undef LOAD_SPI
#undef STORE_SPI
#undef STORE_ALL
#undef RD
#undef WR
#undef FETCH
#undef HL
#undef BC
#undef DE
#undef SETHL
#undef SETBC
#undef SETDE
#undef CY
#undef PUSH16
#undef POP16
#undef INC_R
#undef ADD8
#undef ADC8
#undef SUBF
#undef SUB8
#undef SBC8
#undef CP8
#undef AND8
#undef XOR8
#undef OR8
#undef INC8
#undef DEC8
#undef ADD16
#undef ADDHL
#undef JR_IF
#undef JP_IF
#undef CALL_IF
#undef RET_IF
#undef RST
#undef PORT_IN
#undef PORT_OUT
#undef LD_ROW
#undef ALU_ROW
}

void start_z80(uint8_t **rt, uint8_t **wt) {
  // Counts are rebased by this many cycles (whole scanlines) long before
  // they could overflow, which they would after about ten minutes.
  const int64_t rebase = 0x40000000 - 0x40000000 % 228;
  read_table = rt;
  write_table = wt;
  emulator_event = 0;
  int64_t start = 0;
  int32_t line = 0;
  if (z80_continue) {
    // A slice of one long run: pick the count up where the last slice left
    // it, so the sound periods go on unbroken.
    start = z80_cycles_1;
    line = z80_cycles_2 + 1;
    if (line < 0 || line >= 157) line = 0;
  } else {
    z80_cycles = 0;
  }
  for (;;) {
    int64_t left = start - (int64_t)z80_cycles + 227;
    // Counters restored from outside (a snapshot) may disagree; a line
    // never gets more than its 228 cycles nor owes more than a few lines.
    if (left > 227) left = 227;
    if (left < -4 * 228) left = -4 * 228;
    int budget = run<false>((int)left);
    start += 228;
    budget += 228;
    if (start >= rebase) start -= rebase;
    else if (start < 0) start = 0;
    z80_cycles = (int32_t)(start + 227 - budget);
    z80_cycles_1 = (int32_t)start;
    z80_cycles_2 = line;
    psg_process(line);
    vdp_process();
    if (emulator_event != 0) return;
    if (z80_scanline_limit > 0 && --z80_scanline_limit == 0) return;
    line = z80_cycles_2 + 1;
    if (line < 0 || line >= 157) line = 0;
    start = z80_cycles_1;
  }
}

int z80_step(void) {
  read_table = map1;
  write_table = map2;
  return -run<true>(0);
}

int z80_run(int cycles) {
  read_table = map1;
  write_table = map2;
  return cycles - 1 - run<false>(cycles - 1);
}
