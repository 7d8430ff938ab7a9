// Z80 interpreter: registers in locals for a whole run, flags from
// precomputed tables. The first byte goes through a table of handler
// addresses (each handler ends by jumping to the next one's), the prefixed
// tables are dense switches. Handlers follow the opcode map; each carries
// its mnemonic, and the cycle count is the last thing it does (CY).
#include "core/z80.h"

#include "core/bus.h"

int32_t emulator_registers[REG_COUNT];
int32_t interrupt_mask, interrupt_mask_2, interrupt_mode;
int32_t z80_cycles, z80_cycles_1, z80_cycles_2, z80_error, z80_idle_kept;

// ---- flag tables, built at compile time from their rules
namespace {
struct FlagTables {
  uint8_t basic[256], basic2[256], parity[256], parity2[256], inc[256], dec[256];
};
constexpr FlagTables make_flag_tables() {
  FlagTables t{};
  for (int x = 0; x < 256; x++) {
    unsigned b = (x >= 0x80 ? FLAG_S : 0) | (x == 0 ? FLAG_Z : 0);
    int ones = 0;
    for (int k = 0; k < 8; k++) ones += (x >> k) & 1;
    t.basic[x] = (uint8_t)b;
    t.basic2[x] = (uint8_t)(b | FLAG_N);
    t.parity[x] = (uint8_t)(b | ((ones & 1) == 0 ? FLAG_PV : 0));
    t.parity2[x] = (uint8_t)(t.parity[x] | FLAG_H);
    t.inc[x] = (uint8_t)(b | ((x & 0x0F) == 0 ? FLAG_H : 0) | (x == 0x80 ? FLAG_PV : 0));
    t.dec[x] = (uint8_t)(b | FLAG_N | ((x & 0x0F) == 0x0F ? FLAG_H : 0) | (x == 0x7F ? FLAG_PV : 0));
  }
  return t;
}
constexpr FlagTables flags = make_flag_tables();

// Flags an instruction keeps while it sets the others.
constexpr unsigned KEEP_SZ53P = FLAG_S | FLAG_Z | FLAG_5 | FLAG_3 | FLAG_PV;  // rotates of A, ADD HL
constexpr unsigned KEEP_S53PC = FLAG_S | FLAG_5 | FLAG_3 | FLAG_PV | FLAG_C;  // BIT
constexpr unsigned KEEP_SZ53C = FLAG_S | FLAG_Z | FLAG_5 | FLAG_3 | FLAG_C;   // LDI, LDD
constexpr unsigned KEEP_53C = FLAG_5 | FLAG_3 | FLAG_C;                       // CPI, CPD
}  // namespace

const uint8_t (&table_basic)[256] = flags.basic;
const uint8_t (&table_basic2)[256] = flags.basic2;
const uint8_t (&table_parity)[256] = flags.parity;
const uint8_t (&table_parity2)[256] = flags.parity2;
const uint8_t (&table_inc)[256] = flags.inc;
const uint8_t (&table_dec)[256] = flags.dec;

void enable_interrupts(void) { interrupt_mask = 2; interrupt_mask_2 = 1; }
void disable_interrupts(void) { interrupt_mask = 0; interrupt_mask_2 = 0; }
void restore_interrupt(void) { interrupt_mask = interrupt_mask_2; }

// Interrupt acceptance, on the stored SP, PC and IR: an R increment, a step
// past a HALT the CPU sits on, PC pushed low byte first, then the routine's
// address.
static int accept_interrupt(uint8_t *const *rt, uint8_t *const *wt, int nmi) {
  const int32_t ir = emulator_registers[REG_IR];
  emulator_registers[REG_IR] = (ir & 0xFF80) | ((ir + 1) & 0x7F);
  unsigned pc = (unsigned)emulator_registers[REG_PC] & 0xFFFF;
  if (memory_read_from(rt, pc) == HALT_OPCODE) pc = (pc + 1) & 0xFFFF;
  const unsigned sp = ((unsigned)emulator_registers[REG_SP] - 2) & 0xFFFF;
  memory_write_to(wt, sp, pc & 0xFF);
  memory_write_to(wt, (sp + 1) & 0xFFFF, pc >> 8);
  emulator_registers[REG_SP] = (int32_t)sp;
  int cost;
  if (nmi) {
    pc = NMI_ADDRESS;
    cost = NMI_CYCLES;
    interrupt_mask = 0;  // IFF2 keeps the state before the NMI
  } else {
    if (interrupt_mode == 2) {
      const unsigned v = (((unsigned)emulator_registers[REG_IR] >> 8) << 8) | 0xFF;
      pc = memory_read_from(rt, v) | (memory_read_from(rt, (v + 1) & 0xFFFF) << 8);
      cost = INT_MODE2_CYCLES;
    } else {
      pc = IM1_ADDRESS;
      cost = INT_CYCLES;
    }
    interrupt_mask = 0;
    interrupt_mask_2 = 0;
  }
  emulator_registers[REG_PC] = (int32_t)pc;
  return cost;
}

// An idle loop's mark: its head (NO_MARK: none), the count of effects when
// it was taken, R, the registers compared, the budget then and the
// MegaCart bank (the read table's top page). Between runs the budget is
// kept as what was left of the run the mark was taken in, less the
// budget it ended with, so a kept mark goes on in the next run's terms.
namespace {
struct IdleMark {
  unsigned pc, effects, r, a, f, bc, de, hl, ix, iy, sp, ir7;
  int budget;
  const uint8_t *bank;
};
constexpr unsigned NO_MARK = ~0u;
IdleMark idle_mark{NO_MARK, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, nullptr};
}  // namespace

int z80_interrupt(int nmi) {
  idle_mark.pc = NO_MARK;  // taken outside a run: the stack and PC moved
  return accept_interrupt(map1, map2, nmi);
}

// The CB-table shifts and rotations; F gets the new flags.
static inline unsigned shift_op(unsigned kind, unsigned v, unsigned &f) {
  unsigned c, r;
  switch (kind) {
    case 0: c = v >> 7; r = ((v << 1) | c) & 0xFF; break;                 // RLC
    case 1: c = v & 1; r = (v >> 1) | (c << 7); break;                    // RRC
    case 2: c = v >> 7; r = ((v << 1) | (f & FLAG_C)) & 0xFF; break;      // RL
    case 3: c = v & 1; r = (v >> 1) | ((f & FLAG_C) << 7); break;         // RR
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
  const unsigned bit = 1u << ((op >> 3) & 7);
  switch (op >> 6) {
    case 0: return shift_op((op >> 3) & 7, v, f);
    case 1: f = (f & KEEP_S53PC) | FLAG_H | ((v & bit) ? 0 : FLAG_Z); return v;   // BIT
    case 2: return v & ~bit;                                                        // RES
    default: return v | bit;                                                        // SET
  }
}

// The HALT repeats left in a budget (5 cycles each) when no interrupt can
// end them; out of line to keep the interpreter's loop lean.
__attribute__((noinline)) static unsigned halt_repeats(int budget) {
  if (interrupt_mask == 2 || (interrupt_mask == 1 && interrupt_line())) return 0;
  return (unsigned)budget / 5 + 1;
}

template <bool ONE_STEP>
static int run(uint8_t **const rt, uint8_t **const wt, int budget) {
  constexpr int HEAD_WORK = 0x7FFFFFFF;
  // IR7: I in bits 15..8 and R's bit 7, the part of IR that R's count
  // never changes.
  unsigned A, F, SP, PC, IR7, R;
  // IX and IY stay in memory: only the prefixed forms use them, and the
  // fewer locals, the more of the busy ones the compiler keeps in registers.
#define IX ((unsigned)emulator_registers[REG_IX])
#define IY ((unsigned)emulator_registers[REG_IY])
  // BC, DE and HL as words whose halves are the 8-bit registers: a pair
  // operation is one word access rather than two bytes joined and split.
  union Pair {
    uint16_t w;
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    struct { uint8_t hi, lo; } b;
#else
    struct { uint8_t lo, hi; } b;
#endif
  } rBC, rDE, rHL;
#define B rBC.b.hi
#define C rBC.b.lo
#define D rDE.b.hi
#define E rDE.b.lo
#define H rHL.b.hi
#define L rHL.b.lo

#define LOAD_ALL()                                                   \
  A = (emulator_registers[REG_AF] >> 8) & 0xFF; F = emulator_registers[REG_AF] & 0xFF; \
  rBC.w = (uint16_t)emulator_registers[REG_BC]; rDE.w = (uint16_t)emulator_registers[REG_DE]; \
  rHL.w = (uint16_t)emulator_registers[REG_HL];                                   \
  emulator_registers[REG_IX] &= 0xFFFF; emulator_registers[REG_IY] &= 0xFFFF;          \
  LOAD_SPI()
#define LOAD_SPI()                                                   \
  SP = emulator_registers[REG_SP] & 0xFFFF; PC = emulator_registers[REG_PC] & 0xFFFF;   \
  IR7 = emulator_registers[REG_IR] & 0xFF80; R = emulator_registers[REG_IR] & 0x7F;
#define STORE_SPI()                                                  \
  emulator_registers[REG_SP] = (int32_t)SP; emulator_registers[REG_PC] = (int32_t)PC;   \
  emulator_registers[REG_IR] = (int32_t)(IR7 | (R & 0x7F));
#define STORE_ALL()                                                  \
  emulator_registers[REG_AF] = (int32_t)((A << 8) | F);              \
  emulator_registers[REG_BC] = rBC.w;                                \
  emulator_registers[REG_DE] = rDE.w;                                \
  emulator_registers[REG_HL] = rHL.w;                                \
  STORE_SPI()

#define RD(a) memory_read_from(rt, (a))
#define WR(a, v) (effects++, memory_write_to(wt, (a), (v)))
#define FETCH() (PC = (PC + 1) & 0xFFFF, RD((PC - 1) & 0xFFFF))
#define HL ((unsigned)rHL.w)
#define BC ((unsigned)rBC.w)
#define DE ((unsigned)rDE.w)
#define SETHL(v) (rHL.w = (uint16_t)(v))
#define SETBC(v) (rBC.w = (uint16_t)(v))
#define SETDE(v) (rDE.w = (uint16_t)(v))
  // An instruction ends with its cycles, then goes straight on to the next
  // one's code unless the run ends or the loop's head has interrupt work:
  // one indirect jump per handler predicts better than a shared one.
#define CY(n) { budget -= (n); NEXT_OP() }
#define NEXT_OP()                                                            \
  if (ONE_STEP || budget < irq_floor) goto op_done;                           \
  INC_R(); op = FETCH(); goto *op_code[op];
#define PUSH16(v) { unsigned v_ = (v); SP = (SP - 1) & 0xFFFF; WR(SP, v_ >> 8); \
                    SP = (SP - 1) & 0xFFFF; WR(SP, v_ & 0xFF); }
#define POP16(dst) { unsigned lo_ = RD(SP); SP = (SP + 1) & 0xFFFF; \
                     dst = lo_ | (RD(SP) << 8); SP = (SP + 1) & 0xFFFF; }
  // R counts on past seven bits; they are taken where R is read or stored.
#define INC_R() (R++)
  // The one 8-bit register selector: register field i (B C D E H L - A,
  // 6 being (HL)) handed to X as an lvalue.
#define REG8(i, X) switch (i) { case 0: X(B); break; case 1: X(C); break; case 2: X(D); break; \
    case 3: X(E); break; case 4: X(H); break; case 5: X(L); break; default: X(A); break; }

  // ALU on A. H is bit 4 of the low nibbles' sum or difference; V is set
  // when the operands' signs allow it and the result's sign differs.
#define ADD8(s) { unsigned s_ = (s), r_ = A + s_;                                   \
    F = flags.basic[r_ & 0xFF] | (((A & 0xF) + (s_ & 0xF)) & FLAG_H) |             \
        ((~(A ^ s_) & (A ^ r_) & 0x80) >> 5) | (r_ >> 8); A = r_ & 0xFF; }
#define ADC8(s) { unsigned s_ = (s), c_ = F & FLAG_C, r_ = A + s_ + c_;             \
    F = flags.basic[r_ & 0xFF] | (((A & 0xF) + (s_ & 0xF) + c_) & FLAG_H) |        \
        ((~(A ^ s_) & (A ^ r_) & 0x80) >> 5) | (r_ >> 8); A = r_ & 0xFF; }
#define SUBF(s, c_) (                                                               \
    flags.basic2[(A - (s) - (c_)) & 0xFF] | (((A & 0xF) - ((s) & 0xF) - (c_)) & FLAG_H) | \
    (((A ^ (s)) & (A ^ (A - (s) - (c_))) & 0x80) >> 5) | (((A - (s) - (c_)) >> 8) & FLAG_C))
#define SUB8(s) { unsigned s_ = (s); F = SUBF(s_, 0u); A = (A - s_) & 0xFF; }
#define SBC8(s) { unsigned s_ = (s), c_ = F & FLAG_C; F = SUBF(s_, c_); A = (A - s_ - c_) & 0xFF; }
#define CP8(s) { unsigned s_ = (s); F = SUBF(s_, 0u); }
#define AND8(s) { A &= (s); F = flags.parity2[A]; }
#define XOR8(s) { A ^= (s); F = flags.parity[A]; }
#define OR8(s) { A |= (s); F = flags.parity[A]; }
#define INC8(r) { r = (r + 1) & 0xFF; F = flags.inc[r] | (F & FLAG_C); }
#define DEC8(r) { r = (r - 1) & 0xFF; F = flags.dec[r] | (F & FLAG_C); }
#define ADD16(dst, s) { unsigned d_ = (dst), s_ = (s), r_ = d_ + s_;                  \
    F = (F & KEEP_SZ53P) | ((((d_ & 0xFFF) + (s_ & 0xFFF)) >> 8) & FLAG_H) | (r_ >> 16); \
    dst = r_ & 0xFFFF; }
#define ADDHL(s) { unsigned t_ = HL; ADD16(t_, s); SETHL(t_); }
  // Idle loops: a loop polling memory that nothing writes within a run
  // (a game waiting for the NMI, say) comes back to its head in the same
  // state each pass. Once a pass has changed nothing but R and the budget,
  // the whole passes the budget still holds are taken at once, with the
  // cycles and R increments they would have cost. Checked at backward
  // jumps, before the jump's own cycles; `effects` counts what a pass may
  // change outside the compared registers (writes, ports, the flip-flops,
  // the interrupt mode, R by LD R,A, the shadow registers), and the read
  // table's top page stands for the MegaCart bank that a read can switch.
#define LOOP_BACK(cost) { if (!ONE_STEP) { IDLE_CHECK(cost) } }
  IdleMark &idle = idle_mark;
  unsigned effects = 0;
  // Without the scanline loop's word, no mark survives: the first backward
  // jump takes one.
  if (ONE_STEP || !z80_idle_kept || idle.pc == NO_MARK) {
    idle.pc = NO_MARK;
    idle.budget = 0;
  } else {
    idle.budget += budget;
  }
  z80_idle_kept = 0;
  idle.effects = effects;
  // A pass with effects is only noted; the next visit takes the mark and
  // the one after compares with it.
#define IDLE_CHECK(cost)                                                                      \
  if (effects != idle.effects) {                                                              \
    idle.effects = effects;                                                                   \
    idle.pc = NO_MARK;                                                                        \
  } else if (PC == idle.pc && A == idle.a && F == idle.f && rBC.w == idle.bc && rDE.w == idle.de && \
             rHL.w == idle.hl && IX == idle.ix && IY == idle.iy && SP == idle.sp && IR7 == idle.ir7 && \
             rt[48] == idle.bank) {                                                           \
    const int pass_ = idle.budget - budget, left_ = budget - (cost);                          \
    if (left_ >= pass_) {                                                                     \
      const int passes_ = left_ / pass_;                                                      \
      budget -= passes_ * pass_;                                                              \
      R = (R + (unsigned)passes_ * ((R - idle.r) & 0x7F)) & 0x7F;                             \
    }                                                                                         \
    idle.budget = budget;                                                                     \
    idle.r = R;                                                                               \
  } else {                                                                                    \
    idle = IdleMark{PC, effects, R, A, F, rBC.w, rDE.w, rHL.w, IX, IY, SP, IR7, budget, rt[48]}; \
  }
  // DJNZ $ (a delay): with no interrupt work pending, nothing can come
  // between its passes within a run, so the further passes the budget
  // holds after this one are taken at once, 14 cycles and one R increment
  // each; the last pass, not taken, runs as usual. Its own bytes lie below
  // the MegaCart's switching reads.
  constexpr unsigned DJNZ_SELF = 0xFE;
#define DJNZ_SPIN() {                                                        \
    const int left_ = budget - 14;                                           \
    if (left_ >= 0) {                                                        \
      unsigned passes_ = (unsigned)left_ / 14 + 1;                           \
      if (passes_ > B - 1u) passes_ = B - 1u;                                \
      B = (uint8_t)(B - passes_); budget -= 14 * (int)passes_; R += passes_; \
    } }
#define JR_IF(cond) { if (cond) { unsigned e_ = RD(PC);                              \
      PC = (PC + 1 + (unsigned)(int)(int8_t)e_) & 0xFFFF;                            \
      if (e_ & 0x80) LOOP_BACK(13) CY(13) }                                           \
    PC = (PC + 1) & 0xFFFF; CY(8) }
#define JP_IF(cond) { if (cond) { const unsigned at_ = PC; unsigned lo_ = FETCH();    \
      PC = lo_ | (RD(PC) << 8); if (PC < at_) LOOP_BACK(11) }                         \
    else { PC = (PC + 2) & 0xFFFF; } CY(11) }
#define CALL_IF(cond) { if (cond) { unsigned lo_ = FETCH(); unsigned hi_ = FETCH();    \
      PUSH16(PC); PC = lo_ | (hi_ << 8); CY(18) }                                     \
    PC = (PC + 2) & 0xFFFF; CY(11) }
#define RET_IF(cond) { if (cond) { POP16(PC); CY(12) } CY(6) }
#define RST(p) { PUSH16(PC); PC = (p); CY(12) }
  // Port protocol: SP, PC and IR stored before, reloaded after, since a
  // port write can take an interrupt on the stored registers.
  // Only a port access can move the maskable input within a run, and only
  // in headerless mode, so its state is asked for again after one there
  // (int_line: 1 or 0, or -1 for not known). The loop's head may have
  // something to do after such a port access or a change of the interrupt
  // flip-flops: irq_floor is then raised above any budget, so that one test
  // sends a handler back to the head both when the budget is spent and when
  // there is interrupt work.
#define IRQ_WORK(on) (irq_floor = (on) ? HEAD_WORK : 0)
#define PORT_DONE() { if (nmi_use == MODE_HEADERLESS) { int_line = -1; IRQ_WORK(interrupt_mask != 0); } \
    effects++; }
#define PORT_IN(port, dst) { STORE_SPI(); dst = (unsigned)read_port((int)(port), (int)PC) & 0xFF; LOAD_SPI(); \
    PORT_DONE() }
  // A write that costs nothing took no interrupt, so the registers are
  // still the locals' (most writes: the video chip's ports).
#define PORT_OUT(port, v) { STORE_SPI(); const int extra_ = write_port((int)(port), (int)(v), (int)PC); \
    PORT_DONE() if (extra_ != 0) { budget -= extra_; LOAD_SPI(); } }

  // The first-byte table's handlers, by opcode.
#define OP(n) op_##n:
#define OP_ROW(h) &&op_0x##h##0, &&op_0x##h##1, &&op_0x##h##2, &&op_0x##h##3, \
    &&op_0x##h##4, &&op_0x##h##5, &&op_0x##h##6, &&op_0x##h##7, &&op_0x##h##8, \
    &&op_0x##h##9, &&op_0x##h##A, &&op_0x##h##B, &&op_0x##h##C, &&op_0x##h##D, \
    &&op_0x##h##E, &&op_0x##h##F
  static const void *const op_code[256] = {
      OP_ROW(0), OP_ROW(1), OP_ROW(2), OP_ROW(3), OP_ROW(4), OP_ROW(5), OP_ROW(6), OP_ROW(7),
      OP_ROW(8), OP_ROW(9), OP_ROW(A), OP_ROW(B), OP_ROW(C), OP_ROW(D), OP_ROW(E), OP_ROW(F)};
  unsigned op;

  LOAD_ALL();
  int int_line = -1;
  int irq_floor = HEAD_WORK;
  do {
    // Maskable interrupt, then the EI delay: the instruction after EI
    // always runs first. With the input answered or known low, nothing is
    // left to do until a port access or the flip-flops change.
    if (irq_floor != 0) {
      if (interrupt_mask == 1) {
        if (int_line < 0) int_line = interrupt_line() != 0;
        if (int_line) {
          STORE_SPI();
          budget -= accept_interrupt(rt, wt, 0);
          LOAD_SPI();
          effects++;
        }
        IRQ_WORK(false);
      } else if (interrupt_mask == 2) {
        interrupt_mask = 1;
      } else {
        IRQ_WORK(false);
      }
    }
    INC_R();
    op = FETCH();
    goto *op_code[op];
    {
      OP(0x00) CY(5)                                                            // NOP
      OP(0x01) { unsigned lo = FETCH(); C = lo; B = FETCH(); CY(11) }           // LD BC,nn
      OP(0x02) WR(BC, A); CY(8)                                                 // LD (BC),A
      OP(0x03) { unsigned t = (BC + 1) & 0xFFFF; SETBC(t); CY(7) }              // INC BC
      OP(0x04) INC8(B) CY(5)                                                    // INC B
      OP(0x05) DEC8(B) CY(5)                                                    // DEC B
      OP(0x06) B = FETCH(); CY(8)                                               // LD B,n
      OP(0x07) A = ((A << 1) | (A >> 7)) & 0xFF;                                // RLCA
        F = (F & KEEP_SZ53P) | (A & FLAG_C); CY(5)
      OP(0x08) { unsigned t = emulator_registers[REG_AF2] & 0xFFFF;             // EX AF,AF'
        emulator_registers[REG_AF2] = (int32_t)((A << 8) | F); A = t >> 8; F = t & 0xFF; effects++; CY(5) }
      OP(0x09) ADDHL(BC) CY(12)                                                 // ADD HL,BC
      OP(0x0A) A = RD(BC); CY(8)                                                // LD A,(BC)
      OP(0x0B) { unsigned t = (BC - 1) & 0xFFFF; SETBC(t); CY(7) }              // DEC BC
      OP(0x0C) INC8(C) CY(5)                                                    // INC C
      OP(0x0D) DEC8(C) CY(5)                                                    // DEC C
      OP(0x0E) C = FETCH(); CY(8)                                               // LD C,n
      OP(0x0F) { unsigned c = A & 1; A = (A >> 1) | (c << 7);                   // RRCA
        F = (F & KEEP_SZ53P) | c; CY(5) }
      OP(0x10)                                                                  // DJNZ e
        B = (B - 1) & 0xFF;
        if (B != 0) {
          unsigned e = RD(PC);
          if (e == DJNZ_SELF && !ONE_STEP && irq_floor == 0 && PC < MEGACART_SELECT) DJNZ_SPIN()
          PC = (PC + 1 + (unsigned)(int)(int8_t)e) & 0xFFFF; CY(14)
        }
        PC = (PC + 1) & 0xFFFF; CY(9)
      OP(0x11) { unsigned lo = FETCH(); E = lo; D = FETCH(); CY(11) }           // LD DE,nn
      OP(0x12) WR(DE, A); CY(8)                                                 // LD (DE),A
      OP(0x13) { unsigned t = (DE + 1) & 0xFFFF; SETDE(t); CY(7) }              // INC DE
      OP(0x14) INC8(D) CY(5)                                                    // INC D
      OP(0x15) DEC8(D) CY(5)                                                    // DEC D
      OP(0x16) D = FETCH(); CY(8)                                               // LD D,n
      OP(0x17) { unsigned c = A >> 7; A = ((A << 1) | (F & FLAG_C)) & 0xFF;     // RLA
        F = (F & KEEP_SZ53P) | c; CY(5) }
      OP(0x18) JR_IF(true)                                                      // JR e
      OP(0x19) ADDHL(DE) CY(12)                                                 // ADD HL,DE
      OP(0x1A) A = RD(DE); CY(8)                                                // LD A,(DE)
      OP(0x1B) { unsigned t = (DE - 1) & 0xFFFF; SETDE(t); CY(7) }              // DEC DE
      OP(0x1C) INC8(E) CY(5)                                                    // INC E
      OP(0x1D) DEC8(E) CY(5)                                                    // DEC E
      OP(0x1E) E = FETCH(); CY(8)                                               // LD E,n
      OP(0x1F) { unsigned c = A & 1; A = (A >> 1) | ((F & FLAG_C) << 7);        // RRA
        F = (F & KEEP_SZ53P) | c; CY(5) }
      OP(0x20) JR_IF(!(F & FLAG_Z))                                             // JR NZ,e
      OP(0x21) { unsigned lo = FETCH(); L = lo; H = FETCH(); CY(11) }           // LD HL,nn
      OP(0x22) { unsigned lo = FETCH(); unsigned a = lo | (FETCH() << 8);       // LD (nn),HL
        WR(a, L); WR((a + 1) & 0xFFFF, H); CY(17) }
      OP(0x23) { unsigned t = (HL + 1) & 0xFFFF; SETHL(t); CY(7) }              // INC HL
      OP(0x24) INC8(H) CY(5)                                                    // INC H
      OP(0x25) DEC8(H) CY(5)                                                    // DEC H
      OP(0x26) H = FETCH(); CY(8)                                               // LD H,n
      OP(0x27) {                                                                // DAA
        unsigned corr = ((F & FLAG_C) || A > 0x99) ? 0x60 : 0;
        if ((F & FLAG_H) || (A & 0x0F) > 9) corr |= 0x06;
        unsigned h, na;
        if (F & FLAG_N) { h = ((A & 0xF) - (corr & 0xF)) & FLAG_H; na = (A - corr) & 0xFF; }
        else { h = ((A & 0xF) + (corr & 0xF)) & FLAG_H; na = (A + corr) & 0xFF; }
        F = flags.parity[na] | h | (F & (FLAG_N | FLAG_C)) | (A > 0x99 ? FLAG_C : 0);
        A = na;
        CY(5)
      }
      OP(0x28) JR_IF(F & FLAG_Z)                                                // JR Z,e
      OP(0x29) ADDHL(HL) CY(12)                                                 // ADD HL,HL
      OP(0x2A) { unsigned lo = FETCH(); unsigned a = lo | (FETCH() << 8);       // LD HL,(nn)
        L = RD(a); H = RD((a + 1) & 0xFFFF); CY(17) }
      OP(0x2B) { unsigned t = (HL - 1) & 0xFFFF; SETHL(t); CY(7) }              // DEC HL
      OP(0x2C) INC8(L) CY(5)                                                    // INC L
      OP(0x2D) DEC8(L) CY(5)                                                    // DEC L
      OP(0x2E) L = FETCH(); CY(8)                                               // LD L,n
      OP(0x2F) A ^= 0xFF; F |= FLAG_H | FLAG_N; CY(5)                           // CPL
      OP(0x30) JR_IF(!(F & FLAG_C))                                             // JR NC,e
      OP(0x31) { unsigned lo = FETCH(); SP = lo | (FETCH() << 8); CY(11) }      // LD SP,nn
      OP(0x32) { unsigned lo = FETCH(); unsigned a = lo | (FETCH() << 8);       // LD (nn),A
        WR(a, A); CY(14) }
      OP(0x33) SP = (SP + 1) & 0xFFFF; CY(7)                                    // INC SP
      OP(0x34) { unsigned a = HL, v = RD(a); INC8(v) WR(a, v); CY(12) }         // INC (HL)
      OP(0x35) { unsigned a = HL, v = RD(a); DEC8(v) WR(a, v); CY(12) }         // DEC (HL)
      OP(0x36) { unsigned v = FETCH(); WR(HL, v); CY(11) }                      // LD (HL),n
      OP(0x37) F |= FLAG_C; CY(5)                                               // SCF
      OP(0x38) JR_IF(F & FLAG_C)                                                // JR C,e
      OP(0x39) ADDHL(SP) CY(12)                                                 // ADD HL,SP
      OP(0x3A) { unsigned lo = FETCH(); unsigned a = lo | (FETCH() << 8);       // LD A,(nn)
        A = RD(a); CY(14) }
      OP(0x3B) SP = (SP - 1) & 0xFFFF; CY(7)                                    // DEC SP
      OP(0x3C) INC8(A) CY(5)                                                    // INC A
      OP(0x3D) DEC8(A) CY(5)                                                    // DEC A
      OP(0x3E) A = FETCH(); CY(8)                                               // LD A,n
      OP(0x3F) F ^= FLAG_C; CY(5)                                               // CCF

#define LD_ROW(dst, o0, o1, o2, o3, o4, o5, o6, o7)                            \
      OP(o0) dst = B; CY(5)  OP(o1) dst = C; CY(5)  OP(o2) dst = D; CY(5)      \
      OP(o3) dst = E; CY(5)  OP(o4) dst = H; CY(5)  OP(o5) dst = L; CY(5)      \
      OP(o6) dst = RD(HL); CY(8)  OP(o7) dst = A; CY(5)
      LD_ROW(B, 0x40, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47)                   // LD B,r
      LD_ROW(C, 0x48, 0x49, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F)                   // LD C,r
      LD_ROW(D, 0x50, 0x51, 0x52, 0x53, 0x54, 0x55, 0x56, 0x57)                   // LD D,r
      LD_ROW(E, 0x58, 0x59, 0x5A, 0x5B, 0x5C, 0x5D, 0x5E, 0x5F)                   // LD E,r
      LD_ROW(H, 0x60, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67)                   // LD H,r
      LD_ROW(L, 0x68, 0x69, 0x6A, 0x6B, 0x6C, 0x6D, 0x6E, 0x6F)                   // LD L,r
      OP(0x70) WR(HL, B); CY(8)                                                 // LD (HL),B
      OP(0x71) WR(HL, C); CY(8)                                                 // LD (HL),C
      OP(0x72) WR(HL, D); CY(8)                                                 // LD (HL),D
      OP(0x73) WR(HL, E); CY(8)                                                 // LD (HL),E
      OP(0x74) WR(HL, H); CY(8)                                                 // LD (HL),H
      OP(0x75) WR(HL, L); CY(8)                                                 // LD (HL),L
      OP(0x76)                                                                  // HALT: stays on itself
        PC = (PC - 1) & 0xFFFF;
        budget -= 5;
        // Nothing but an interrupt ends it, and the input cannot change
        // within a run: when none can be taken before the budget is spent,
        // the remaining repeats are done at once (5 cycles and one R
        // increment each, as stepping them would).
        if (!ONE_STEP && budget >= 0) {
          const unsigned repeats = halt_repeats(budget);
          budget -= (int)(5 * repeats);
          R = (R + repeats) & 0x7F;
        }
        NEXT_OP()
      OP(0x77) WR(HL, A); CY(8)                                                 // LD (HL),A
      LD_ROW(A, 0x78, 0x79, 0x7A, 0x7B, 0x7C, 0x7D, 0x7E, 0x7F)                   // LD A,r

#define ALU_ROW(ALU, o0, o1, o2, o3, o4, o5, o6, o7)                            \
      OP(o0) ALU(B) CY(5)  OP(o1) ALU(C) CY(5)  OP(o2) ALU(D) CY(5)            \
      OP(o3) ALU(E) CY(5)  OP(o4) ALU(H) CY(5)  OP(o5) ALU(L) CY(5)            \
      OP(o6) ALU(RD(HL)) CY(8)  OP(o7) ALU(A) CY(5)
      ALU_ROW(ADD8, 0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87)               // ADD A,r
      ALU_ROW(ADC8, 0x88, 0x89, 0x8A, 0x8B, 0x8C, 0x8D, 0x8E, 0x8F)               // ADC A,r
      ALU_ROW(SUB8, 0x90, 0x91, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97)               // SUB r
      ALU_ROW(SBC8, 0x98, 0x99, 0x9A, 0x9B, 0x9C, 0x9D, 0x9E, 0x9F)               // SBC A,r
      ALU_ROW(AND8, 0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7)               // AND r
      ALU_ROW(XOR8, 0xA8, 0xA9, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF)               // XOR r
      ALU_ROW(OR8, 0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7)                // OR r
      ALU_ROW(CP8, 0xB8, 0xB9, 0xBA, 0xBB, 0xBC, 0xBD, 0xBE, 0xBF)                // CP r

      OP(0xC0) RET_IF(!(F & FLAG_Z))                                            // RET NZ
      OP(0xC1) { unsigned t; POP16(t); SETBC(t); CY(11) }                       // POP BC
      OP(0xC2) JP_IF(!(F & FLAG_Z))                                             // JP NZ,nn
      OP(0xC3) JP_IF(true)                                                      // JP nn
      OP(0xC4) CALL_IF(!(F & FLAG_Z))                                           // CALL NZ,nn
      OP(0xC5) PUSH16(BC) CY(12)                                                // PUSH BC
      OP(0xC6) ADD8(FETCH()) CY(8)                                              // ADD A,n
      OP(0xC7) RST(0x00)                                                        // RST 00h
      OP(0xC8) RET_IF(F & FLAG_Z)                                               // RET Z
      OP(0xC9) POP16(PC) CY(11)                                                 // RET
      OP(0xCA) JP_IF(F & FLAG_Z)                                                // JP Z,nn
      OP(0xCB) {                                                                // CB: shifts, BIT, RES, SET
        INC_R();
        const unsigned op2 = FETCH();
        const unsigned reg = op2 & 7;
        if (reg == 6) {                                                         // op (HL)
          const unsigned a = HL;
          const unsigned nv = cb_op(op2, RD(a), F);
          if ((op2 & 0xC0) == 0x40) CY(14)                                      // BIT n,(HL)
          WR(a, nv);
          CY(17)
        }
        unsigned v = 0;
#define GET(r) v = r
#define SET(r) r = v
        REG8(reg, GET)
        v = cb_op(op2, v, F);
        REG8(reg, SET)
        CY(10)
      }
      OP(0xCC) CALL_IF(F & FLAG_Z)                                              // CALL Z,nn
      OP(0xCD) CALL_IF(true)                                                    // CALL nn
      OP(0xCE) ADC8(FETCH()) CY(8)                                              // ADC A,n
      OP(0xCF) RST(0x08)                                                        // RST 08h
      OP(0xD0) RET_IF(!(F & FLAG_C))                                            // RET NC
      OP(0xD1) { unsigned t; POP16(t); SETDE(t); CY(11) }                       // POP DE
      OP(0xD2) JP_IF(!(F & FLAG_C))                                             // JP NC,nn
      OP(0xD3) { unsigned n = FETCH(); PORT_OUT((A << 8) | n, A) CY(12) }       // OUT (n),A
      OP(0xD4) CALL_IF(!(F & FLAG_C))                                           // CALL NC,nn
      OP(0xD5) PUSH16(DE) CY(12)                                                // PUSH DE
      OP(0xD6) SUB8(FETCH()) CY(8)                                              // SUB n
      OP(0xD7) RST(0x10)                                                        // RST 10h
      OP(0xD8) RET_IF(F & FLAG_C)                                               // RET C
      OP(0xD9) {                                                                // EXX
        unsigned t = emulator_registers[REG_BC2] & 0xFFFF;
        emulator_registers[REG_BC2] = (int32_t)BC; SETBC(t);
        t = emulator_registers[REG_DE2] & 0xFFFF;
        emulator_registers[REG_DE2] = (int32_t)DE; SETDE(t);
        t = emulator_registers[REG_HL2] & 0xFFFF;
        emulator_registers[REG_HL2] = (int32_t)HL; SETHL(t);
        effects++;
        CY(5)
      }
      OP(0xDA) JP_IF(F & FLAG_C)                                                // JP C,nn
      OP(0xDB) { unsigned n = FETCH(); PORT_IN((A << 8) | n, A) CY(12) }        // IN A,(n)
      OP(0xDC) CALL_IF(F & FLAG_C)                                              // CALL C,nn
      OP(0xDD)                                                                  // DD: IX forms
      OP(0xFD) {                                                                // FD: IY forms
        INC_R();
        unsigned xy = op == 0xDD ? IX : IY;
        const unsigned op2 = FETCH();
#define XH (xy >> 8)
#define XL (xy & 0xFF)
#define SETXH(v) (xy = (xy & 0x00FF) | (((v) & 0xFF) << 8))
#define SETXL(v) (xy = (xy & 0xFF00) | ((v) & 0xFF))
#define EA() ((xy + (unsigned)(int)(int8_t)FETCH()) & 0xFFFF)
        // Here an instruction's end is the write-back of IX or IY below.
#undef CY
#define CY(n) { budget -= (n); break; }
        switch (op2) {
          case 0x09: ADD16(xy, BC) budget -= 17; break;                         // ADD IX,BC
          case 0x19: ADD16(xy, DE) budget -= 17; break;                         // ADD IX,DE
          case 0x29: ADD16(xy, xy) budget -= 17; break;                         // ADD IX,IX
          case 0x39: ADD16(xy, SP) budget -= 17; break;                         // ADD IX,SP
          case 0x21: { unsigned lo = FETCH(); xy = lo | (FETCH() << 8); CY(16) }  // LD IX,nn
          case 0x22: { unsigned lo = FETCH(); unsigned a = lo | (FETCH() << 8);   // LD (nn),IX
            WR(a, XL); WR((a + 1) & 0xFFFF, XH); CY(22) }
          case 0x2A: { unsigned lo = FETCH(); unsigned a = lo | (FETCH() << 8);   // LD IX,(nn)
            xy = RD(a) | (RD((a + 1) & 0xFFFF) << 8); CY(22) }
          case 0x23: xy = (xy + 1) & 0xFFFF; CY(12)                             // INC IX
          case 0x2B: xy = (xy - 1) & 0xFFFF; CY(12)                             // DEC IX
          case 0x24: { unsigned v = XH; INC8(v) SETXH(v); CY(11) }              // INC IXH
          case 0x25: { unsigned v = XH; DEC8(v) SETXH(v); CY(11) }              // DEC IXH
          case 0x2C: { unsigned v = XL; INC8(v) SETXL(v); CY(11) }              // INC IXL
          case 0x2D: { unsigned v = XL; DEC8(v) SETXL(v); CY(11) }              // DEC IXL
          case 0x26: { unsigned v = FETCH(); SETXH(v); CY(13) }                 // LD IXH,n
          case 0x2E: { unsigned v = FETCH(); SETXL(v); CY(13) }                 // LD IXL,n
          case 0x34: { unsigned a = EA(), v = RD(a); INC8(v) WR(a, v); CY(25) } // INC (IX+d)
          case 0x35: { unsigned a = EA(), v = RD(a); DEC8(v) WR(a, v); CY(25) } // DEC (IX+d)
          case 0x36: { unsigned a = EA(); unsigned v = FETCH(); WR(a, v); CY(21) }  // LD (IX+d),n
          case 0x44: B = XH; CY(11)                                             // LD B,IXH
          case 0x45: B = XL; CY(11)                                             // LD B,IXL
          case 0x4C: C = XH; CY(11)                                             // LD C,IXH
          case 0x4D: C = XL; CY(11)                                             // LD C,IXL
          case 0x54: D = XH; CY(11)                                             // LD D,IXH
          case 0x55: D = XL; CY(11)                                             // LD D,IXL
          case 0x5C: E = XH; CY(11)                                             // LD E,IXH
          case 0x5D: E = XL; CY(11)                                             // LD E,IXL
          case 0x7C: A = XH; CY(11)                                             // LD A,IXH
          case 0x7D: A = XL; CY(11)                                             // LD A,IXL
          case 0x60: SETXH(B); CY(11)                                           // LD IXH,B
          case 0x61: SETXH(C); CY(11)                                           // LD IXH,C
          case 0x62: SETXH(D); CY(11)                                           // LD IXH,D
          case 0x63: SETXH(E); CY(11)                                           // LD IXH,E
          case 0x64: CY(11)                                                     // LD IXH,IXH
          case 0x65: SETXH(XL); CY(11)                                          // LD IXH,IXL
          case 0x67: SETXH(A); CY(11)                                           // LD IXH,A
          case 0x68: SETXL(B); CY(11)                                           // LD IXL,B
          case 0x69: SETXL(C); CY(11)                                           // LD IXL,C
          case 0x6A: SETXL(D); CY(11)                                           // LD IXL,D
          case 0x6B: SETXL(E); CY(11)                                           // LD IXL,E
          case 0x6C: SETXL(XH); CY(11)                                          // LD IXL,IXH
          case 0x6D: CY(11)                                                     // LD IXL,IXL
          case 0x6F: SETXL(A); CY(11)                                           // LD IXL,A
          case 0x46: B = RD(EA()); CY(21)                                       // LD B,(IX+d)
          case 0x4E: C = RD(EA()); CY(21)                                       // LD C,(IX+d)
          case 0x56: D = RD(EA()); CY(21)                                       // LD D,(IX+d)
          case 0x5E: E = RD(EA()); CY(21)                                       // LD E,(IX+d)
          case 0x66: H = RD(EA()); CY(21)                                       // LD H,(IX+d)
          case 0x6E: L = RD(EA()); CY(21)                                       // LD L,(IX+d)
          case 0x7E: A = RD(EA()); CY(21)                                       // LD A,(IX+d)
          case 0x70: WR(EA(), B); CY(21)                                        // LD (IX+d),B
          case 0x71: WR(EA(), C); CY(21)                                        // LD (IX+d),C
          case 0x72: WR(EA(), D); CY(21)                                        // LD (IX+d),D
          case 0x73: WR(EA(), E); CY(21)                                        // LD (IX+d),E
          case 0x74: WR(EA(), H); CY(21)                                        // LD (IX+d),H
          case 0x75: WR(EA(), L); CY(21)                                        // LD (IX+d),L
          case 0x77: WR(EA(), A); CY(21)                                        // LD (IX+d),A
#define XALU(base, OP)                                                  \
          case base + 4: OP(XH) CY(11) case base + 5: OP(XL) CY(11)     \
          case base + 6: OP(RD(EA())) CY(21)
          XALU(0x80, ADD8)                                                      // ADD A,IXH/IXL/(IX+d)
          XALU(0x88, ADC8)                                                      // ADC A,...
          XALU(0x90, SUB8)                                                      // SUB ...
          XALU(0x98, SBC8)                                                      // SBC A,...
          XALU(0xA0, AND8)                                                      // AND ...
          XALU(0xA8, XOR8)                                                      // XOR ...
          XALU(0xB0, OR8)                                                       // OR ...
          XALU(0xB8, CP8)                                                       // CP ...
          case 0xE1: POP16(xy) CY(16)                                           // POP IX
          case 0xE5: PUSH16(xy) CY(17)                                          // PUSH IX
          case 0xE3: {                                                          // EX (SP),IX
            const unsigned lo = RD(SP), hi = RD((SP + 1) & 0xFFFF);
            WR((SP + 1) & 0xFFFF, XH); WR(SP, XL);
            xy = lo | (hi << 8);
            CY(25)
          }
          case 0xE9: PC = xy; CY(10)                                            // JP (IX)
          case 0xF9: SP = xy; CY(12)                                            // LD SP,IX
          case 0xCB: {                                                          // DD CB d op
            const unsigned a = EA();
            const unsigned op3 = FETCH();
            unsigned v = cb_op(op3, RD(a), F);
            if ((op3 & 0xC0) == 0x40) CY(22)                                    // BIT n,(IX+d)
            WR(a, v);
            if ((op3 & 7) != 6) { REG8(op3 & 7, SET) }                          // and the copy into r
            CY(25)
          }
          default:
            // The prefix acts alone; the byte runs as the next step.
            PC = (PC - 1) & 0xFFFF;
            CY(6)
        }
        emulator_registers[op == 0xDD ? REG_IX : REG_IY] = (int32_t)xy;
#undef CY
#define CY(n) { budget -= (n); NEXT_OP() }
#undef XH
#undef XL
#undef SETXH
#undef SETXL
#undef EA
#undef XALU
        NEXT_OP()
      }
      OP(0xDE) SBC8(FETCH()) CY(8)                                              // SBC A,n
      OP(0xDF) RST(0x18)                                                        // RST 18h
      OP(0xE0) RET_IF(!(F & FLAG_PV))                                           // RET PO
      OP(0xE1) { unsigned t; POP16(t); SETHL(t); CY(11) }                       // POP HL
      OP(0xE2) JP_IF(!(F & FLAG_PV))                                            // JP PO,nn
      OP(0xE3) {                                                                // EX (SP),HL
        const unsigned lo = RD(SP), hi = RD((SP + 1) & 0xFFFF);
        WR((SP + 1) & 0xFFFF, H); WR(SP, L);
        L = lo; H = hi;
        CY(20)
      }
      OP(0xE4) CALL_IF(!(F & FLAG_PV))                                          // CALL PO,nn
      OP(0xE5) PUSH16(HL) CY(12)                                                // PUSH HL
      OP(0xE6) AND8(FETCH()) CY(8)                                              // AND n
      OP(0xE7) RST(0x20)                                                        // RST 20h
      OP(0xE8) RET_IF(F & FLAG_PV)                                              // RET PE
      OP(0xE9) PC = HL; CY(5)                                                   // JP (HL)
      OP(0xEA) JP_IF(F & FLAG_PV)                                               // JP PE,nn
      OP(0xEB) { const uint16_t t = rDE.w; rDE.w = rHL.w; rHL.w = t; CY(5) }    // EX DE,HL
      OP(0xEC) CALL_IF(F & FLAG_PV)                                             // CALL PE,nn
      OP(0xED) {                                                                // ED: extended set
        INC_R();
        const unsigned op2 = FETCH();
        switch (op2) {
#define IN_C(X) { unsigned v; PORT_IN(BC, v) F = flags.parity[v] | (F & FLAG_C); X; CY(14) }
          case 0x40: IN_C(B = v)                                                // IN B,(C)
          case 0x48: IN_C(C = v)                                                // IN C,(C)
          case 0x50: IN_C(D = v)                                                // IN D,(C)
          case 0x58: IN_C(E = v)                                                // IN E,(C)
          case 0x60: IN_C(H = v)                                                // IN H,(C)
          case 0x68: IN_C(L = v)                                                // IN L,(C)
          case 0x70: IN_C((void)v)                                              // IN F,(C)
          case 0x78: IN_C(A = v)                                                // IN A,(C)
          case 0x41: PORT_OUT(BC, B) CY(14)                                     // OUT (C),B
          case 0x49: PORT_OUT(BC, C) CY(14)                                     // OUT (C),C
          case 0x51: PORT_OUT(BC, D) CY(14)                                     // OUT (C),D
          case 0x59: PORT_OUT(BC, E) CY(14)                                     // OUT (C),E
          case 0x61: PORT_OUT(BC, H) CY(14)                                     // OUT (C),H
          case 0x69: PORT_OUT(BC, L) CY(14)                                     // OUT (C),L
          case 0x71: PORT_OUT(BC, 0) CY(14)                                     // OUT (C),0
          case 0x79: PORT_OUT(BC, A) CY(14)                                     // OUT (C),A
          case 0x42: case 0x52: case 0x62: case 0x72: {                         // SBC HL,rr
            const unsigned rr = op2 == 0x42 ? BC : op2 == 0x52 ? DE : op2 == 0x62 ? HL : SP;
            const unsigned hl = HL, c = F & FLAG_C, diff = hl - rr - c, res = diff & 0xFFFF;
            F = ((res >> 8) & FLAG_S) | (res ? 0 : FLAG_Z) |
                ((((hl & 0xFFF) - (rr & 0xFFF) - c) >> 8) & FLAG_H) |
                (((hl ^ rr) & (hl ^ res) & 0x8000) >> 13) | FLAG_N | ((diff >> 16) & FLAG_C);
            SETHL(res);
            CY(17)
          }
          case 0x4A: case 0x5A: case 0x6A: case 0x7A: {                         // ADC HL,rr
            const unsigned rr = op2 == 0x4A ? BC : op2 == 0x5A ? DE : op2 == 0x6A ? HL : SP;
            const unsigned hl = HL, c = F & FLAG_C, sum = hl + rr + c, res = sum & 0xFFFF;
            F = ((res >> 8) & FLAG_S) | (res ? 0 : FLAG_Z) |
                ((((hl & 0xFFF) + (rr & 0xFFF) + c) >> 8) & FLAG_H) |
                ((~(hl ^ rr) & (hl ^ res) & 0x8000) >> 13) | (sum >> 16);
            SETHL(res);
            CY(17)
          }
          case 0x43: case 0x53: case 0x63: case 0x73: {                         // LD (nn),rr
            const unsigned rr = op2 == 0x43 ? BC : op2 == 0x53 ? DE : op2 == 0x63 ? HL : SP;
            unsigned lo = FETCH(); unsigned a = lo | (FETCH() << 8);
            WR(a, rr & 0xFF); WR((a + 1) & 0xFFFF, rr >> 8);
            CY(22)
          }
          case 0x4B: case 0x5B: case 0x6B: case 0x7B: {                         // LD rr,(nn)
            unsigned lo = FETCH(); unsigned a = lo | (FETCH() << 8);
            const unsigned v = RD(a) | (RD((a + 1) & 0xFFFF) << 8);
            if (op2 == 0x4B) SETBC(v); else if (op2 == 0x5B) SETDE(v);
            else if (op2 == 0x6B) SETHL(v); else SP = v;
            CY(22)
          }
          case 0x44: case 0x4C: case 0x54: case 0x5C:                           // NEG
          case 0x64: case 0x6C: case 0x74: case 0x7C: {
            unsigned v = A; A = 0; SUB8(v) CY(10)
          }
          case 0x45: case 0x55: case 0x65: case 0x75:                           // RETN
          case 0x4D: case 0x5D: case 0x6D: case 0x7D:                           // RETI
            restore_interrupt();
            IRQ_WORK(true);
            effects++;
            POP16(PC)
            CY(16)
          case 0x46: case 0x4E: case 0x66: case 0x6E: interrupt_mode = 0; effects++; CY(10)  // IM 0
          case 0x56: case 0x76: interrupt_mode = 1; effects++; CY(10)                      // IM 1
          case 0x5E: case 0x7E: interrupt_mode = 2; effects++; CY(10)                      // IM 2
          case 0x47: IR7 = (A << 8) | (IR7 & 0x80); CY(11)                      // LD I,A
          case 0x4F: R = A & 0x7F; IR7 = (IR7 & 0xFF00) | (A & 0x80); effects++; CY(11)    // LD R,A
          case 0x57: A = IR7 >> 8;                                              // LD A,I
            F = flags.basic[A] | (interrupt_mask_2 ? FLAG_PV : 0) | (F & FLAG_C); CY(11)
          case 0x5F: A = (IR7 & 0x80) | (R & 0x7F);                             // LD A,R
            F = flags.basic[A] | (interrupt_mask_2 ? FLAG_PV : 0) | (F & FLAG_C); CY(11)
          case 0x67: {                                                          // RRD
            const unsigned a = HL, v = RD(a);
            WR(a, (((A & 0x0F) << 4) | (v >> 4)) & 0xFF);
            A = (A & 0xF0) | (v & 0x0F);
            F = flags.parity[A] | (F & FLAG_C);
            CY(20)
          }
          case 0x6F: {                                                          // RLD
            const unsigned a = HL, v = RD(a);
            WR(a, ((v << 4) | (A & 0x0F)) & 0xFF);
            A = (A & 0xF0) | (v >> 4);
            F = flags.parity[A] | (F & FLAG_C);
            CY(20)
          }
          // Block instructions: bit 3 of the opcode steps down, bit 4
          // repeats by moving PC back onto the instruction.
          case 0xA0: case 0xA8: case 0xB0: case 0xB8: {                         // LDI LDD LDIR LDDR
            const unsigned step = (op2 & 0x08) ? 0xFFFF : 1;
            WR(DE, RD(HL));
            unsigned t = (HL + step) & 0xFFFF; SETHL(t);
            t = (DE + step) & 0xFFFF; SETDE(t);
            t = (BC - 1) & 0xFFFF; SETBC(t);
            F = (F & KEEP_SZ53C) | (t ? FLAG_PV : 0);
            if ((op2 & 0x10) && t) { PC = (PC - 2) & 0xFFFF; CY(23) }
            CY(18)
          }
          case 0xA1: case 0xA9: case 0xB1: case 0xB9: {                         // CPI CPD CPIR CPDR
            const unsigned step = (op2 & 0x08) ? 0xFFFF : 1;
            const unsigned v = RD(HL), diff = (A - v) & 0xFF;
            unsigned t = (HL + step) & 0xFFFF; SETHL(t);
            t = (BC - 1) & 0xFFFF; SETBC(t);
            F = flags.basic2[diff] | (((A & 0xF) - (v & 0xF)) & FLAG_H) | (t ? FLAG_PV : 0) |
                (F & KEEP_53C);
            if ((op2 & 0x10) && t && diff) { PC = (PC - 2) & 0xFFFF; CY(23) }
            CY(18)
          }
          case 0xA2: case 0xAA: case 0xB2: case 0xBA: {                         // INI IND INIR INDR
            const unsigned step = (op2 & 0x08) ? 0xFFFF : 1;
            bool repeat = false;
            B = (B - 1) & 0xFF;
            if ((op2 & 0x10) && B != 0) { PC = (PC - 2) & 0xFFFF; repeat = true; }
            unsigned v;
            PORT_IN(BC, v)
            WR(HL, v);
            const unsigned t = (HL + step) & 0xFFFF; SETHL(t);
            F = ((v >> 6) & FLAG_N) | ((op2 & 0x10) || B == 0 ? FLAG_Z : 0);
            if (repeat) CY(23)
            CY(18)
          }
          case 0xA3: case 0xAB: case 0xB3: case 0xBB: {                         // OUTI OUTD OTIR OTDR
            const unsigned step = (op2 & 0x08) ? 0xFFFF : 1;
            const unsigned nb = (B - 1) & 0xFF;
            bool repeat = false;
            // PC moves back before the write, so an interrupt the write
            // takes returns to the instruction itself.
            if ((op2 & 0x10) && nb != 0) { PC = (PC - 2) & 0xFFFF; repeat = true; }
            const unsigned v = RD(HL);
            PORT_OUT(BC, v)
            const unsigned t = (HL + step) & 0xFFFF; SETHL(t);
            B = nb;
            F = ((v >> 6) & FLAG_N) | ((op2 & 0x10) || B == 0 ? FLAG_Z : 0);
            if (repeat) CY(23)
            CY(18)
          }
          case 0xED:                                                            // ED ED x: return
            // One more fetch, the byte ignored, then RET.
            INC_R();
            PC = (PC + 1) & 0xFFFF;
            (void)RD((PC - 1) & 0xFFFF);
            POP16(PC)
            CY(25)
          default:                                                              // undefined: a NOP
            if (z80_error == 0) z80_error = 1;
            CY(10)
#undef IN_C
        }
        NEXT_OP()
      }
      OP(0xEE) XOR8(FETCH()) CY(8)                                              // XOR n
      OP(0xEF) RST(0x28)                                                        // RST 28h
      OP(0xF0) RET_IF(!(F & FLAG_S))                                            // RET P
      OP(0xF1) { unsigned t; POP16(t); A = t >> 8; F = t & 0xFF; CY(11) }       // POP AF
      OP(0xF2) JP_IF(!(F & FLAG_S))                                             // JP P,nn
      OP(0xF3) disable_interrupts(); effects++; CY(5)                           // DI
      OP(0xF4) CALL_IF(!(F & FLAG_S))                                           // CALL P,nn
      OP(0xF5) PUSH16((A << 8) | F) CY(12)                                      // PUSH AF
      OP(0xF6) OR8(FETCH()) CY(8)                                               // OR n
      OP(0xF7) RST(0x30)                                                        // RST 30h
      OP(0xF8) RET_IF(F & FLAG_S)                                               // RET M
      OP(0xF9) SP = HL; CY(7)                                                   // LD SP,HL
      OP(0xFA) JP_IF(F & FLAG_S)                                                // JP M,nn
      OP(0xFB) enable_interrupts(); IRQ_WORK(true); effects++; CY(5)       // EI
      OP(0xFC) CALL_IF(F & FLAG_S)                                              // CALL M,nn
      OP(0xFE) CP8(FETCH()) CY(8)                                               // CP n
      OP(0xFF) RST(0x38)                                                        // RST 38h
    }
  op_done:;
  } while (!ONE_STEP && budget >= 0);
  // A mark with nothing done since it was taken may be kept.
  if (effects != idle.effects || idle.pc == NO_MARK) {
    idle.pc = NO_MARK;
  } else {
    idle.budget -= budget;
  }
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
#undef NEXT_OP
#undef OP
#undef OP_ROW
#undef PUSH16
#undef POP16
#undef INC_R
#undef REG8
#undef GET
#undef SET
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
#undef DJNZ_SPIN
#undef JR_IF
#undef JP_IF
#undef CALL_IF
#undef RET_IF
#undef RST
#undef PORT_IN
#undef PORT_OUT
#undef PORT_DONE
#undef IRQ_WORK
#undef LD_ROW
#undef ALU_ROW
#undef LOOP_BACK
#undef IDLE_CHECK
#undef IX
#undef IY
#undef B
#undef C
#undef D
#undef E
#undef H
#undef L
}

int z80_execute(uint8_t **read_table, uint8_t **write_table, int budget) {
  return run<false>(read_table, write_table, budget);
}

int z80_step(void) { return -run<true>(map1, map2, 0); }

int z80_run(int cycles) { return cycles - 1 - run<false>(map1, map2, cycles - 1); }
