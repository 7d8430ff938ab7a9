; Tervox console BIOS: our own firmware for the console's 8 KB ROM.
;
; Cartridges written for the console reach this ROM through fixed places
; only: the restart and interrupt vectors, a few data bytes and tables at
; the bottom, the font, a handful of helper routines and the jump table at
; 1F61h-1FFFh. Everything else here is laid out as we like. docs/bios.md
; lists every entry point with its registers.
;
; Register use: entry points change AF, BC, DE, HL as documented; IX and
; IY are kept unless they are inputs (C compilers keep their frame in IX).

; ---- RAM used by the BIOS (fixed names and places cartridges rely on)
SONG_TABLE      equ 7020h   ; song table pointer
SOUND_PTRS      equ 7022h   ; active data area for noise, tone 1, 2, 3
SAVE_CTRL       equ 702Ah   ; last noise control byte sent
STACK           equ 73B9h
PARAM_AREA      equ 73BAh   ; Pascal-convention parameter block
TIMER_LENGTH    equ 73C0h
TEST_SIG_NUM    equ 73C2h
VDP_MODE_WORD   equ 73C3h   ; copies of VDP registers 0 and 1
VDP_STATUS_BYTE equ 73C5h
DEFER_WRITES    equ 73C6h
MUX_SPRITES     equ 73C7h
RAND_NUM        equ 73C8h
QUEUE_SIZE      equ 73CAh
QUEUE_HEAD      equ 73CBh
QUEUE_TAIL      equ 73CCh
HEAD_ADDRESS    equ 73CDh
TAIL_ADDRESS    equ 73CFh
BUFFER          equ 73D1h
TIMER_TABLE_BASE equ 73D3h
NEXT_TIMER_DATA_BYTE equ 73D5h
DBNCE_BUFF      equ 73D7h   ; 2 players x 5 inputs x {last sample, state}
SPIN_SW0_CT     equ 73EBh
SPIN_SW1_CT     equ 73ECh
S0_C0           equ 73EEh   ; raw reads, 1 = pressed: joystick segment
S0_C1           equ 73EFh
S1_C0           equ 73F0h   ; keypad segment
S1_C1           equ 73F1h
VRAM_ADDR_TABLE equ 73F2h   ; bases: sprite attributes, sprite patterns,
                            ; names, patterns, colours
SAVE_TEMP       equ 73FCh
SAVED_COUNT     equ 73FEh

; ---- cartridge header
CARTRIDGE       equ 8000h
LOCAL_SPR_TBL   equ 8002h
SPRITE_ORDER    equ 8004h
WORK_BUFFER     equ 8006h
CONTROLLER_MAP  equ 8008h
START_GAME      equ 800Ah
GAME_NAME       equ 8024h

        include "ports.inc"

; Fills with FF up to a fixed address and stops the build if code ran past it.
MACRO PADTO,addr
        if $ > addr
        .error fixed address overrun
        endif
        ds addr-$,0FFh
ENDM

; ======================================================================
; Vectors and fixed data
; ======================================================================
        org 0
BOOT_UP:
        ld sp,STACK
        jp POWER_UP

        PADTO 08h
        jp 800Ch
        PADTO 10h
        jp 800Fh
        PADTO 18h
        jp 8012h
        PADTO 20h
        jp 8015h
        PADTO 28h
        jp 8018h
        PADTO 30h
        jp 801Bh
        PADTO 38h
        jp 801Eh

        PADTO 3Bh
RAND_GEN:
        jp rand_gen
; Programs ported from another machine call its system routines at 0041h,
; 0044h and 0047h; here every byte up to the NMI vector is a RET, so such
; calls come straight back instead of landing inside a routine.
        ds 66h-$,0C9h

        PADTO 66h
        jp 8021h                ; the cartridge owns the NMI

        PADTO 69h
AMERICA:        db 60           ; frames a second; the emulator writes 50 for PAL
ASCII_TABLE:    dw FONT_A
NUMBER_TABLE:   dw FONT_0

; ======================================================================
; Power-up
; ======================================================================
POWER_UP:
        ld hl,(CARTRIDGE)
        ld a,l
        cp 55h
        jr nz,pu_not_test
        ld a,h
        cp 0AAh
        jr nz,pu_not_test
        ; 55 AA: a test cartridge wants no set-up at all
        ld hl,(START_GAME)
        jp (hl)
pu_not_test:
        call TURN_OFF_SOUND
        ld a,l
        cp 0AAh
        jr nz,pu_no_cart
        ld a,h
        cp 55h
        jr nz,pu_no_cart
        ld hl,0033h
        ld (RAND_NUM),hl
        call CONTROLLER_INIT
        xor a
        ld (DEFER_WRITES),a
        ld (MUX_SPRITES),a
        call screen_init
        call TITLE_SCREEN
        jp TITLE_HOLD
pu_no_cart:
        call screen_init
        call NO_CART_SCREEN
        call TURN_OFF_SOUND
pu_wait:
        jr pu_wait              ; nothing to run: wait for the power switch

; Clears video memory, sets graphics I, loads the font and draws the logo.
screen_init:
        ld hl,0
        ld de,4000h
        xor a
        call FILL_VRAM
        call MODE_1
        call LOAD_ASCII
        jp draw_logo

; RAND_GEN: one step of the 16-bit shift register in RAND_NUM.
; Out: HL = new value (also in RAND_NUM), A = L.
rand_gen:
        ld hl,(RAND_NUM)
        ld a,h
        rlca                    ; bit 0 = old bit 7 of H
        xor h                   ; bit 0 = bit 7 xor bit 0 of H
        rrca                    ; into the carry
        rr l
        rr h
        ld (RAND_NUM),hl
        ld a,l
        ret

; ======================================================================
; Sound effect helpers at their fixed addresses
; ======================================================================
        PADTO 0FCh
FREQ_SWEEP:     jp freq_sweep
        PADTO 12Fh
ATN_SWEEP:      jp atn_sweep
        PADTO 190h
DECLSN:         jp declsn
        PADTO 19Bh
DECMSN:         jp decmsn
        PADTO 1A6h
MSNTOLSN:       jp msntolsn
        PADTO 1B1h
ADD816:         jp add816
        PADTO 1D5h
LEAVE_EFFECT:   jp leave_effect
        PADTO 2EEh
EFXOVER:        jp efxover

; ======================================================================
; VDP access
; ======================================================================

; WRITE_REGISTER: B = register, C = value. Keeps copies of R0 and R1.
WRITE_REGISTER:
        ld a,c
        out (VDP_CTRL),a
        ld a,b
        or 80h
        out (VDP_CTRL),a
        ld a,b
        or a
        jr nz,wr_not0
        ld a,c
        ld (VDP_MODE_WORD),a
        ret
wr_not0:
        dec a
        ret nz
        ld a,c
        ld (VDP_MODE_WORD+1),a
        ret

; READ_REGISTER: A = VDP status (the read clears the frame flag).
READ_REGISTER:
        in a,(VDP_CTRL)
        ret

; Sets the VDP address to HL for writing / reading.
set_write_hl:
        ld a,l
        out (VDP_CTRL),a
        ld a,h
        and 3Fh
        or 40h
        out (VDP_CTRL),a
        ret
set_read_hl:
        ld a,l
        out (VDP_CTRL),a
        ld a,h
        and 3Fh
        out (VDP_CTRL),a
        ret

; FILL_VRAM: HL = VRAM address, DE = count, A = value. Ends with a status read.
FILL_VRAM:
        ld c,a
        call set_write_hl
        ld a,d
        or e
        jr z,fv_done
        ld b,e
        dec de
        inc d                   ; D = passes of the inner loop
        ld a,c
fv_loop:
        out (VDP_DATA),a
        djnz fv_loop
        dec d
        jr nz,fv_loop
fv_done:
        in a,(VDP_CTRL)
        ret

; WRITE_VRAM: HL = source, DE = VRAM address, BC = count.
; Known quirk kept on purpose: the count's low byte is moved first, then
; whole 256-byte blocks while the high byte counts down to zero, so when
; both bytes are non-zero 256 bytes fewer than asked are moved. Software
; written for the console allows for this, so we do the same. A count
; of zero moves nothing.
WRITE_VRAM:
        ex de,hl
        call set_write_hl
        ex de,hl
        call quirk_blocks
        ret z
wv_loop:
        outi
        jr nz,wv_loop
        dec d
        jr nz,wv_loop
        ret

; READ_VRAM: HL = destination, DE = VRAM address, BC = count; the same
; count quirk as WRITE_VRAM.
READ_VRAM:
        ex de,hl
        call set_read_hl
        ex de,hl
        call quirk_blocks
        ret z
rv_loop:
        ini
        jr nz,rv_loop
        dec d
        jr nz,rv_loop
        ret

; BC = count -> D = blocks, B = first block's length (0 = 256), C = data
; port; Z when there is nothing to move.
quirk_blocks:
        ld a,b
        or c
        ret z
        ld d,b
        ld b,c
        ld c,VDP_DATA
        ld a,d
        or a
        jr nz,qb_done
        inc d                   ; under 256: one short block
qb_done:
        or 1                    ; NZ
        ret

; Exact-count copies for our own use. HL = RAM, DE = VRAM, BC = count.
vram_write:
        ex de,hl
        call set_write_hl
        ex de,hl
vram_write_here:
        call exact_blocks
        ret z
vwx_loop:
        outi
        jr nz,vwx_loop
        dec d
        jr nz,vwx_loop
        ret
vram_read:
        ex de,hl
        call set_read_hl
        ex de,hl
        call exact_blocks
        ret z
vrx_loop:
        ini
        jr nz,vrx_loop
        dec d
        jr nz,vrx_loop
        ret
exact_blocks:
        ld a,b
        or c
        ret z
        ld d,b
        ld a,c
        or a
        jr z,eb_even
        inc d
eb_even:
        ld b,c
        ld c,VDP_DATA
        or 1
        ret

; INIT_TABLE: A = table (0 sprite attributes, 1 sprite patterns, 2 names,
; 3 patterns, 4 colours), HL = VRAM base. Records the base and sets the
; VDP register that holds it.
INIT_TABLE:
        cp 5
        ret nc
        push hl
        ld c,a
        ld b,0
        ld hl,VRAM_ADDR_TABLE
        add hl,bc
        add hl,bc
        pop de
        ld (hl),e
        inc hl
        ld (hl),d
        ex de,hl                ; HL = base
        or a
        jr z,it_sprite_attr
        dec a
        jr z,it_sprite_pat
        dec a
        jr z,it_names
        dec a
        jr z,it_patterns
        ; colours: base / 64, or 7F/FF in graphics II
        ld a,(VDP_MODE_WORD)
        and 2
        jr z,it_col1
        ld c,7Fh
        bit 5,h
        jr z,it_col2
        ld c,0FFh
it_col2:
        ld b,3
        jp WRITE_REGISTER
it_col1:
        add hl,hl
        add hl,hl
        ld c,h
        ld b,3
        jp WRITE_REGISTER
it_sprite_attr:
        add hl,hl
        ld c,h
        ld b,5
        jp WRITE_REGISTER
it_sprite_pat:
        ld b,6
        jr it_div2048
it_names:
        ld a,h
        rrca
        rrca
        and 3Fh
        ld c,a
        ld b,2
        jp WRITE_REGISTER
it_patterns:
        ld b,4
        ld a,(VDP_MODE_WORD)
        and 2
        jr z,it_div2048
        ld c,3
        bit 5,h
        jp z,WRITE_REGISTER
        ld c,7
        jp WRITE_REGISTER
it_div2048:
        ld a,h
        rrca
        rrca
        rrca
        and 1Fh
        ld c,a
        jp WRITE_REGISTER

; MODE_1: graphics I with the standard table layout, display off, no NMI.
MODE_1:
        ld bc,0000h
        call WRITE_REGISTER
        ld bc,0180h
        call WRITE_REGISTER
        ld a,2
        ld hl,1800h
        call INIT_TABLE
        ld a,4
        ld hl,2000h
        call INIT_TABLE
        ld a,3
        ld hl,0000h
        call INIT_TABLE
        xor a
        ld hl,1B00h
        call INIT_TABLE
        ld a,1
        ld hl,3800h
        call INIT_TABLE
        ld bc,0700h
        jp WRITE_REGISTER

; LOAD_ASCII: the font's 96 glyphs for codes 1Dh-7Ch into the pattern
; table, and a blank glyph for code 0.
LOAD_ASCII:
        ld hl,(VRAM_ADDR_TABLE+6)
        call set_write_hl
        xor a
        ld b,8
la_blank:
        out (VDP_DATA),a
        djnz la_blank
        ld hl,(VRAM_ADDR_TABLE+6)
        ld de,1Dh*8
        add hl,de
        ex de,hl
        ld hl,FONT
        ld bc,96*8
        jp vram_write

; Byte size of one entry of table A as a shift count in B (1, 4 or 8 bytes).
entry_shift:
        ld b,2
        or a
        ret z
        ld b,0
        cp 2
        ret z
        ld b,3
        cp 4
        ret nz
        ld a,(VDP_MODE_WORD)
        and 2
        ret nz
        ld b,0                  ; colours: one byte per 8 codes in graphics I
        ret

; A = table (0-4), DE = first entry, IY = entries ->
; DE = VRAM address, BC = byte count. HL kept.
table_span:
        push hl
        ld c,a
        ld b,0
        ld hl,VRAM_ADDR_TABLE
        add hl,bc
        add hl,bc
        ld a,(hl)
        inc hl
        ld h,(hl)
        ld l,a
        push hl                 ; table base
        ld a,c
        call entry_shift
        ex de,hl                ; HL = first entry
        push iy
        pop de                  ; DE = entries
        ld a,b
        or a
        jr z,ts_scaled
ts_shift:
        add hl,hl
        ex de,hl
        add hl,hl
        ex de,hl
        djnz ts_shift
ts_scaled:
        ld b,d
        ld c,e
        pop de
        add hl,de
        ex de,hl
        pop hl
        ret

; PUT_VRAM: A = table, DE = first entry, HL = RAM data, IY = entries.
; Sprite attributes go to LOCAL_SPR_TBL instead while MUX_SPRITES is set.
PUT_VRAM:
        cp 5
        ret nc
        or a
        jr nz,pv_vram
        ld a,(MUX_SPRITES)
        or a
        ld a,0
        jr z,pv_vram
        push hl
        ld hl,(LOCAL_SPR_TBL)
        ex de,hl
        add hl,hl
        add hl,hl
        add hl,de
        ex de,hl                ; DE = place in the local table
        push iy
        pop hl
        add hl,hl
        add hl,hl
        ld b,h
        ld c,l
        pop hl
        ld a,b
        or c
        ret z
        ldir
        ret
pv_vram:
        call table_span
        jp vram_write

; GET_VRAM: A = table, DE = first entry, HL = RAM buffer, IY = entries.
GET_VRAM:
        cp 5
        ret nc
        call table_span
        jp vram_read

; INIT_SPR_ORDER: A = count; SPRITE_ORDER[i] = i.
INIT_SPR_ORDER:
        or a
        ret z
        ld b,a
        ld hl,(SPRITE_ORDER)
        xor a
iso_loop:
        ld (hl),a
        inc hl
        inc a
        djnz iso_loop
        ret

; WR_SPR_NM_TBL: A = count. Copies count entries of LOCAL_SPR_TBL, taken in
; SPRITE_ORDER order, to the sprite attribute table in VRAM.
WR_SPR_NM_TBL:
        or a
        ret z
        ld b,a
        ld hl,(VRAM_ADDR_TABLE)
        call set_write_hl
        ld de,(SPRITE_ORDER)
wsn_loop:
        push bc
        ld a,(de)
        inc de
        ld l,a
        ld h,0
        add hl,hl
        add hl,hl
        ld bc,(LOCAL_SPR_TBL)
        add hl,bc
        ld bc,0400h+VDP_DATA
        otir
        pop bc
        djnz wsn_loop
        ret

; ======================================================================
; Controllers
; ======================================================================

; CONTROLLER_SCAN: both controllers in both segments, inverted so that
; 1 = pressed, into S0_C0..S1_C1. Leaves the joystick segment selected.
CONTROLLER_SCAN:
        out (JOY_SEL),a
        in a,(CTRL_1)
        cpl
        ld (S0_C0),a
        in a,(CTRL_2)
        cpl
        ld (S0_C1),a
        out (KEYPAD_SEL),a
        in a,(CTRL_1)
        cpl
        ld (S1_C0),a
        in a,(CTRL_2)
        cpl
        ld (S1_C1),a
        out (JOY_SEL),a
        ret

; UPDATE_SPINNER: counts one spinner step per controller (from the RST 38h
; handler): bit 4 low marks a step, bit 5 gives its direction.
UPDATE_SPINNER:
        in a,(CTRL_1)
        ld hl,SPIN_SW0_CT
        call us_one
        in a,(CTRL_2)
        ld hl,SPIN_SW1_CT
us_one:
        bit 4,a
        ret nz
        bit 5,a
        jr nz,us_back
        inc (hl)
        ret
us_back:
        dec (hl)
        ret

; Keypad lines (inverted, low nibble of A) -> key 0-9, 0Ah '*', 0Bh '#',
; 0Fh none.
key_decode:
        push hl
        and 0Fh
        ld l,a
        ld h,0
        push de
        ld de,KEY_CODES
        add hl,de
        pop de
        ld a,(hl)
        pop hl
        ret
KEY_CODES:
        db 0Fh, 6, 1, 3, 9, 0, 0Ah, 0Fh, 2, 0Bh, 7, 0Fh, 5, 4, 8, 0Fh

; DECODER: H = controller (0/1), L = segment. Segment 0: H = fire (40h),
; L = directions (1 up, 2 right, 4 down, 8 left), E = spinner steps since
; the last call. Segment 1: L = key, H = arm button (40h). No debounce.
DECODER:
        call CONT_READ
        ld b,a
        ld a,l
        or a
        ld a,b
        jr nz,dc_keypad
        and 0Fh
        ld l,a
        ld a,b
        and 40h
        ld b,a                  ; fire
        ld a,h
        and 1
        ld de,SPIN_SW0_CT
        add a,e
        ld e,a
        ld a,(de)
        push af
        xor a
        ld (de),a
        pop af
        ld e,a
        ld h,b
        ret
dc_keypad:
        and 40h
        ld h,a
        ld a,b
        call key_decode
        ld l,a
        ret

; POLLER: CONTROLLER_SCAN, then every enabled input of both players into
; CONTROLLER_MAP once two samples in a row agree.
POLLER:
        call CONTROLLER_SCAN
        ld hl,(CONTROLLER_MAP)
        ld a,(hl)
        push hl
        inc hl
        inc hl
        ld de,DBNCE_BUFF
        ld b,0
        call poll_player
        pop hl
        inc hl
        ld a,(hl)
        ld de,6
        add hl,de
        ld de,DBNCE_BUFF+10
        ld b,1
; A = enable byte, B = player, HL = the player's five map bytes,
; DE = the player's debounce entries.
poll_player:
        bit 7,a
        ret z
        ld c,a
        push hl
        ld hl,S0_C0
        ld a,l
        add a,b
        ld l,a
        ld a,(hl)
        inc hl
        inc hl
        ld h,(hl)
        ld l,a
        ld (SAVE_TEMP),hl       ; L = joystick segment, H = keypad segment
        pop hl
        ld a,(SAVE_TEMP)
        and 40h
        bit 0,c
        call pp_item            ; fire
        ld a,(SAVE_TEMP)
        and 0Fh
        bit 1,c
        call pp_item            ; joystick
        bit 2,c
        jr z,pp_no_spin
        push hl
        ld hl,SPIN_SW0_CT
        ld a,l
        add a,b
        ld l,a
        ld a,(hl)
        ld (hl),0
        pop hl
        add a,(hl)
        ld (hl),a               ; spinner steps add up in the map
pp_no_spin:
        inc hl
        inc de
        inc de
        ld a,(SAVE_TEMP+1)
        and 40h
        bit 3,c
        call pp_item            ; arm
        ld a,(SAVE_TEMP+1)
        call key_decode
        bit 4,c
; Z = input not enabled. A = sample, HL = map byte, DE = debounce entry.
pp_item:
        jr z,pp_skip
        ex de,hl
        cp (hl)
        ld (hl),a               ; last sample
        inc hl
        jr nz,pp_unsettled
        cp (hl)
        jr z,pp_unsettled
        ld (hl),a               ; settled state
        ld (de),a               ; reaches the map
pp_unsettled:
        inc hl
        ex de,hl
        inc hl
        ret
pp_skip:
        inc de
        inc de
        inc hl
        ret

; ======================================================================
; Timers and signals
; ======================================================================
; Timer table entries are 3 bytes: status (7 done, 6 repeat, 5 free,
; 4 end of table, 3 long), then count and reload for short timers, or a
; pointer to a {count, reload} word pair for long ones.

; INIT_TIMER: HL = timer table, DE = room for long timers (4 bytes each).
INIT_TIMER:
        ld (TIMER_TABLE_BASE),hl
        ld (NEXT_TIMER_DATA_BYTE),de
        ld (hl),30h
        ret

; A = signal -> HL = its entry; carry when the table ends before it.
timer_entry:
        ld hl,(TIMER_TABLE_BASE)
        ld b,a
        inc b
        jr te_count
te_next:
        bit 4,(hl)
        scf
        ret nz
        inc hl
        inc hl
        inc hl
te_count:
        djnz te_next
        or a
        ret

; FREE_SIGNAL: A = signal.
FREE_SIGNAL:
        call timer_entry
        ret c
        ld a,(hl)
        and 18h                 ; the end mark, and whether it has a block
        or 20h
        ld (hl),a
        ret

; REQUEST_SIGNAL: HL = length in TIME_MGR ticks, A = 0 one-shot, else
; repeating. Out: A = signal number, FFh when the table has no free entry.
; A freed long timer keeps its 4-byte block for the next long timer, so
; asking and freeing again and again never runs past the room INIT_TIMER
; was given.
REQUEST_SIGNAL:
        ld c,0
        or a
        jr z,rs_kind
        ld c,40h
rs_kind:
        ld a,h
        or l
        jr nz,rs_len
        inc hl                  ; a zero length expires at the first tick
rs_len:
        ex de,hl
        ld a,d
        or a
        ld a,0
        jr z,rs_want
        ld a,08h
rs_want:
        call rs_search          ; the best kind of free entry first
        jr nc,rs_found
        ld a,0FFh
        call rs_search
        ld a,0FFh
        ret c
rs_found:
        bit 4,(hl)
        jr z,rs_set
        push hl                 ; the last entry is taken: the end moves on
        inc hl
        inc hl
        inc hl
        ld (hl),30h
        pop hl
rs_set:
        ld a,d
        or a
        jr nz,rs_long
        ld (hl),c
        inc hl
        ld (hl),e
        inc hl
        ld (hl),e
        ld a,b
        ret
rs_long:
        ld a,(hl)
        and 08h                 ; Z: this entry has no block yet
        set 3,c
        ld (hl),c
        inc hl
        push de
        jr z,rs_new_block
        ld e,(hl)
        inc hl
        ld d,(hl)
        jr rs_fill
rs_new_block:
        ld de,(NEXT_TIMER_DATA_BYTE)
        ld (hl),e
        inc hl
        ld (hl),d
        ld hl,4
        add hl,de
        ld (NEXT_TIMER_DATA_BYTE),hl
rs_fill:
        ex de,hl
        pop de
        ld (hl),e
        inc hl
        ld (hl),d
        inc hl
        ld (hl),e
        inc hl
        ld (hl),d
        ld a,b
        ret

; A = 08h: a free entry that keeps a long timer's block; 00h: one without;
; FFh: any free entry. -> HL = entry, B = its number; carry when none.
rs_search:
        ld (TEST_SIG_NUM),a
        ld hl,(TIMER_TABLE_BASE)
        ld b,0
rss_loop:
        bit 5,(hl)
        jr z,rss_next
        ld a,(TEST_SIG_NUM)
        cp 0FFh
        jr z,rss_found
        ld a,(hl)
        and 08h
        push hl
        ld hl,TEST_SIG_NUM
        cp (hl)
        pop hl
        jr z,rss_found
rss_next:
        bit 4,(hl)
        scf
        ret nz
        inc hl
        inc hl
        inc hl
        inc b
        jr nz,rss_loop
        scf
        ret
rss_found:
        or a
        ret

; TIME_MGR: one tick for every timer; once per NMI.
TIME_MGR:
        ld hl,(TIMER_TABLE_BASE)
tm_loop:
        ld a,(hl)
        bit 5,a
        jr nz,tm_next
        bit 6,a
        jr nz,tm_count
        bit 7,a
        jr nz,tm_next           ; a one-shot that has run out stays put
tm_count:
        push hl
        bit 3,a
        inc hl
        jr nz,tm_long
        dec (hl)
        jr nz,tm_running
        inc hl
        ld a,(hl)
        dec hl
        ld (hl),a               ; reload
        jr tm_expired
tm_long:
        ld e,(hl)
        inc hl
        ld d,(hl)
        ex de,hl
        ld e,(hl)
        inc hl
        ld d,(hl)
        dec de
        ld a,d
        or e
        jr z,tm_long_out
        ld (hl),d
        dec hl
        ld (hl),e
        jr tm_running
tm_long_out:
        inc hl
        ld e,(hl)
        inc hl
        ld d,(hl)
        dec hl
        dec hl
        ld (hl),d
        dec hl
        ld (hl),e
tm_expired:
        pop hl
        set 7,(hl)
        jr tm_next
tm_running:
        pop hl
tm_next:
        bit 4,(hl)
        ret nz
        inc hl
        inc hl
        inc hl
        jr tm_loop

; TEST_SIGNAL: A = signal. Out: A = 1 and NZ when it has run out (a
; one-shot is then freed), else A = 0 and Z.
TEST_SIGNAL:
        call timer_entry
        jr c,tsg_no
        ld a,(hl)
        bit 5,a
        jr nz,tsg_no
        bit 7,a
        jr z,tsg_no
        res 7,a
        bit 6,a
        jr nz,tsg_keep
        and 18h
        or 20h
tsg_keep:
        ld (hl),a
        ld a,1
        or a
        ret
tsg_no:
        xor a
        ret

; ======================================================================
; Internal routines some cartridges call at their fixed addresses
; ======================================================================
        PADTO 07E8h
; PX_TO_PTRN_POS: D = y, E = x in pixels (signed) -> D, E in whole cells.
PX_TO_PTRN_POS:
        sra d
        sra d
        sra d
        sra e
        sra e
        sra e
        ret
        PADTO 080Bh
PUT_FRAME:      jp put_frame
        PADTO 0898h
GET_BKGRND:     jp get_bkgrnd
        PADTO 08C0h
; CALC_OFFSET: D = row, E = column -> DE = name-table offset; HL kept.
CALC_OFFSET:
        push hl
        ld l,d
        ld h,0
        add hl,hl
        add hl,hl
        add hl,hl
        add hl,hl
        add hl,hl
        ld d,0
        add hl,de
        ex de,hl
        pop hl
        ret

; ======================================================================
; Sound
; ======================================================================
        include "sound.inc"

; DECLSN: low nibble of (HL) minus one; Z when it reaches 0. A = nibble.
declsn:
        push bc
        ld a,(hl)
        and 0F0h
        ld b,a
        ld a,(hl)
        dec a
        and 0Fh
        push af
        or b
        ld (hl),a
        pop af
        pop bc
        ret

; DECMSN: high nibble of (HL) minus one; Z when it reaches 0.
decmsn:
        push bc
        ld a,(hl)
        and 0Fh
        ld b,a
        ld a,(hl)
        sub 10h
        and 0F0h
        push af
        or b
        ld (hl),a
        pop af
        pop bc
        ret

; MSNTOLSN: the high nibble of (HL) copied into its low nibble.
msntolsn:
        push bc
        ld a,(hl)
        and 0F0h
        ld b,a
        rrca
        rrca
        rrca
        rrca
        or b
        ld (hl),a
        pop bc
        ret

; ADD816: signed A added to the word at (HL).
add816:
        push de
        ld e,a
        ld d,0
        bit 7,a
        jr z,a816_add
        dec d
a816_add:
        ld a,(hl)
        add a,e
        ld (hl),a
        inc hl
        ld a,(hl)
        adc a,d
        ld (hl),a
        dec hl
        pop de
        ret

; ======================================================================
; Screens
; ======================================================================

; Logo: each letter of the name is its font glyph drawn twice as large,
; four patterns from code 60h on, each pair of letters in its own colour.
LOGO_TEXT:
        db "COLECOVISION"
LOGO_COLOURS:
        db 0F0h,0F0h,0F0h,0F0h,0F0h,0F0h,0F0h,0F0h,0F0h
        db 0D0h,80h,90h,0B0h,30h,40h
DOUBLE_BITS:
        db 00h,03h,0Ch,0Fh,30h,33h,3Ch,3Fh
        db 0C0h,0C3h,0CCh,0CFh,0F0h,0F3h,0FCh,0FFh

draw_logo:
        ld hl,(VRAM_ADDR_TABLE+6)
        ld de,60h*8
        add hl,de
        call set_write_hl
        ld hl,LOGO_TEXT
        ld b,12
dl_letter:
        push bc
        push hl
        ld a,(hl)
        call glyph_addr
        call enlarge_out
        pop hl
        inc hl
        pop bc
        djnz dl_letter
        ld hl,(VRAM_ADDR_TABLE+8)
        inc hl
        inc hl
        inc hl
        ex de,hl
        ld hl,LOGO_COLOURS
        ld bc,15
        call vram_write
        ld hl,(VRAM_ADDR_TABLE+4)
        ld de,4*32+4
        add hl,de
        ld c,60h
        call dl_row
        ld hl,(VRAM_ADDR_TABLE+4)
        ld de,5*32+4
        add hl,de
        ld c,61h
dl_row:
        call set_write_hl
        ld b,12
dl_cell:
        ld a,c
        out (VDP_DATA),a
        add a,2
        out (VDP_DATA),a
        add a,2
        ld c,a
        djnz dl_cell
        ret

; A = character code -> HL = its glyph in the font.
glyph_addr:
        ld l,a
        ld h,0
        add hl,hl
        add hl,hl
        add hl,hl
        ld de,FONT-1Dh*8
        add hl,de
        ret

; The 8x8 generator at HL, twice as large, to the VDP as four generators:
; top left, bottom left, top right, bottom right (16x16 sprite order).
enlarge_out:
        ld c,0
eo_half:
        push hl
        ld b,8
eo_row:
        ld a,(hl)
        inc hl
        bit 0,c
        jr nz,eo_right
        rrca
        rrca
        rrca
        rrca
eo_right:
        and 0Fh
        push hl
        ld e,a
        ld d,0
        ld hl,DOUBLE_BITS
        add hl,de
        ld a,(hl)
        pop hl
        out (VDP_DATA),a
        out (VDP_DATA),a
        djnz eo_row
        pop hl
        inc c
        bit 1,c
        jr z,eo_half
        ret

; Title screen: the cartridge's name lines, centred, and its year.
; GAME_NAME holds "A/B/YYYY": B goes on the upper line, A below it.
TITLE_SCREEN:
        ld hl,GAME_NAME
        push hl
        call measure
        ex (sp),hl
        ld de,10*32
        call print_centred
        pop hl
        push hl
        call measure
        ex (sp),hl
        ld de,8*32
        call print_centred
        ld hl,(VRAM_ADDR_TABLE+4)
        ld de,14*32+10
        add hl,de
        call set_write_hl
        ld a,1Dh
        out (VDP_DATA),a
        pop hl
        ld bc,0400h+VDP_DATA
        otir
        ld hl,COMPANY_TEXT
        ld b,7
        otir
        jr display_on
COMPANY_TEXT:
        db " COLECO"

; Text at HL up to "/" (at most 32 characters) -> C = length, HL = what
; follows the "/".
measure:
        ld c,0
ms_loop:
        ld a,(hl)
        inc hl
        cp '/'
        ret z
        ld a,c
        cp 32
        ret nc
        inc c
        jr ms_loop

; C characters at HL centred on the name-table row at offset DE.
print_centred:
        ld a,c
        or a
        ret z
        push hl
        srl a
        neg
        add a,16
        add a,e
        ld e,a
        ld hl,(VRAM_ADDR_TABLE+4)
        add hl,de
        call set_write_hl
        pop hl
        ld b,c
        ld c,VDP_DATA
        otir
        ret

display_on:
        ld bc,01C0h
        jp WRITE_REGISTER

NO_CART_SCREEN:
        ld hl,NO_CART_TEXT
        call print_list
        jr display_on

; Lines of text: {name-table offset, characters, 0}..., FFFFh.
print_list:
        ld e,(hl)
        inc hl
        ld d,(hl)
        inc hl
        ld a,d
        inc a
        ret z
        push hl
        ld hl,(VRAM_ADDR_TABLE+4)
        add hl,de
        call set_write_hl
        pop hl
pl_char:
        ld a,(hl)
        inc hl
        or a
        jr z,print_list
        out (VDP_DATA),a
        jr pl_char

NO_CART_TEXT:
        dw 9*32+5
        db "TURN POWER OFF BEFORE",0
        dw 11*32+4
        db "INSERTING A CARTRIDGE OR",0
        dw 13*32+7
        db "AN EXPANSION MODULE.",0
        dw 0FFFFh

; GAME_OPT: the menu of skill levels and players. Reading the keypad is
; up to the game.
GAME_OPT:
        ld hl,(VRAM_ADDR_TABLE+4)
        ld de,300h
        ld a,20h
        call FILL_VRAM
        ld hl,GAME_OPT_TEXT
        jr print_list

GAME_OPT_TEXT:
        dw 3*32+4
        db "CHOOSE A GAME ON THE",0
        dw 4*32+4
        db "KEYPAD:",0
        dw 7*32+4
        db "1 = SKILL 1  ONE PLAYER",0
        dw 8*32+4
        db "2 = SKILL 2  ONE PLAYER",0
        dw 9*32+4
        db "3 = SKILL 3  ONE PLAYER",0
        dw 10*32+4
        db "4 = SKILL 4  ONE PLAYER",0
        dw 12*32+4
        db "5 = SKILL 1  TWO PLAYERS",0
        dw 13*32+4
        db "6 = SKILL 2  TWO PLAYERS",0
        dw 14*32+4
        db "7 = SKILL 3  TWO PLAYERS",0
        dw 15*32+4
        db "8 = SKILL 4  TWO PLAYERS",0
        dw 0FFFFh

; ======================================================================
; Generator transforms
; ======================================================================
; A = table (1 sprite patterns, 3 patterns), DE = first source entry,
; HL = first destination entry, BC = count. Each generator is read into
; WORK_BUFFER (8 bytes), transformed into WORK_BUFFER+8 (8 bytes, 32 for
; ENLARGE) and written back. In graphics II the colours of table 3 go
; through the same transform.
XF_TABLE        equ SAVED_COUNT
XF_PASS         equ SAVED_COUNT+1       ; 0 patterns, 1 colours

REFLECT_VERTICAL:
        push hl
        ld hl,xf_mirror
        jr xf_go
REFLECT_HORIZONTAL:
        push hl
        ld hl,xf_flip
        jr xf_go
ROTATE_90:
        push hl
        ld hl,xf_rotate
        jr xf_go
ENLARGE:
        push hl
        ld hl,xf_enlarge
xf_go:
        ld (SAVE_TEMP),hl
        pop hl
        ld (PARAM_AREA),de
        ld (PARAM_AREA+2),hl
        ld (PARAM_AREA+4),bc
        ld (XF_TABLE),a
xf_next:
        ld hl,(PARAM_AREA+4)
        ld a,h
        or l
        ret z
        dec hl
        ld (PARAM_AREA+4),hl
        xor a
        ld (XF_PASS),a
        ld hl,(VRAM_ADDR_TABLE+6)
        ld a,(XF_TABLE)
        cp 1
        jr nz,xf_patterns
        ld hl,(VRAM_ADDR_TABLE+2)
xf_patterns:
        call xf_gen
        ld a,(XF_TABLE)
        cp 3
        jr nz,xf_step
        ld a,(VDP_MODE_WORD)
        and 2
        jr z,xf_step
        ld a,1
        ld (XF_PASS),a
        ld hl,(VRAM_ADDR_TABLE+8)
        call xf_gen
xf_step:
        ld hl,(PARAM_AREA)
        inc hl
        ld (PARAM_AREA),hl
        call xf_out_size        ; 8 or 32 bytes: 1 or 4 entries further
        ld b,e
        srl b
        srl b
        srl b
        ld hl,(PARAM_AREA+2)
xf_adv:
        inc hl
        djnz xf_adv
        ld (PARAM_AREA+2),hl
        jr xf_next

; DE = bytes the transform writes.
xf_out_size:
        ld hl,(SAVE_TEMP)
        ld de,xf_enlarge
        or a
        sbc hl,de
        ld de,8
        ret nz
        ld e,32
        ret

; One generator of the table at HL through the transform.
xf_gen:
        push hl
        ld de,(PARAM_AREA)
        call add_entry8
        ex de,hl
        ld hl,(WORK_BUFFER)
        ld bc,8
        call vram_read
        ld hl,(WORK_BUFFER)
        ld d,h
        ld e,l
        ld bc,8
        ex de,hl
        add hl,bc
        ex de,hl
        call xf_dispatch
        pop hl
        ld de,(PARAM_AREA+2)
        call add_entry8
        push hl
        call xf_out_size
        ld b,d
        ld c,e
        ld hl,(WORK_BUFFER)
        add hl,de
        sbc hl,de               ; carry is clear after the add
        ld de,8
        add hl,de
        pop de
        jp vram_write
xf_dispatch:
        push hl
        ld hl,(SAVE_TEMP)
        ex (sp),hl
        ret

; HL + 8 * DE -> HL.
add_entry8:
        ex de,hl
        add hl,hl
        add hl,hl
        add hl,hl
        add hl,de
        ret

; Transforms: HL = 8 source bytes, DE = output.
xf_mirror:
        ld a,(XF_PASS)
        or a
        jr nz,xf_copy
        ld c,8
xm_row:
        ld a,(hl)
        inc hl
        push hl
        ld b,8
xm_bit:
        rrca
        rl l
        djnz xm_bit
        ld a,l
        pop hl
        ld (de),a
        inc de
        dec c
        jr nz,xm_row
        ret
xf_copy:
        ld bc,8
        ldir
        ret

xf_flip:
        ld bc,7
        add hl,bc
        ld b,8
xfl_row:
        ld a,(hl)
        dec hl
        ld (de),a
        inc de
        djnz xfl_row
        ret

; Quarter turn clockwise: output row r, column c = input row 7-c, column r.
xf_rotate:
        ld a,(XF_PASS)
        or a
        jr nz,xf_copy
        ld bc,7
        add hl,bc
        ld c,8
xr_col:
        push de
        ld b,8
xr_row:
        sla (hl)
        ex de,hl
        rl (hl)
        inc hl
        ex de,hl
        djnz xr_row
        pop de
        dec hl
        dec c
        jr nz,xr_col
        ret

; Twice as large into four generators in 16x16 sprite order; colours
; have their rows doubled.
xf_enlarge:
        ld c,0
xe_half:
        push hl
        ld b,8
xe_row:
        ld a,(XF_PASS)
        or a
        ld a,(hl)
        inc hl
        jr nz,xe_store
        bit 0,c
        jr nz,xe_right
        rrca
        rrca
        rrca
        rrca
xe_right:
        and 0Fh
        push hl
        push de
        ld e,a
        ld d,0
        ld hl,DOUBLE_BITS
        add hl,de
        ld a,(hl)
        pop de
        pop hl
xe_store:
        ld (de),a
        inc de
        ld (de),a
        inc de
        djnz xe_row
        pop hl
        inc c
        bit 1,c
        jr z,xe_half
        ret

; ======================================================================
; Deferred writes and graphics objects
; ======================================================================

; INIT_WRITER: A = queue length in entries, HL = queue (3 bytes each).
INIT_WRITER:
        ld (QUEUE_SIZE),a
        xor a
        ld (QUEUE_HEAD),a
        ld (QUEUE_TAIL),a
        ld (HEAD_ADDRESS),hl
        ld (TAIL_ADDRESS),hl
        ld (BUFFER),hl
        ret

; WRITER: runs the PUTOBJ calls queued while DEFER_WRITES was set.
WRITER:
        push ix
wrt_loop:
        ld a,(QUEUE_HEAD)
        ld b,a
        ld a,(QUEUE_TAIL)
        cp b
        jr z,wrt_done
        ld hl,(HEAD_ADDRESS)
        ld e,(hl)
        inc hl
        ld d,(hl)
        inc hl
        ld a,(hl)
        inc hl
        push de
        pop ix
        ld b,a
        ld a,(QUEUE_HEAD)
        call queue_advance
        ld (QUEUE_HEAD),a
        ld (HEAD_ADDRESS),hl
        call putobj_now
        jr wrt_loop
wrt_done:
        pop ix
        ret

; A = index of the entry ending at HL -> next index in A and its
; address in HL, back to the start after the last entry.
queue_advance:
        inc a
        ld c,a
        ld a,(QUEUE_SIZE)
        cp c
        ld a,c
        ret nz
        xor a
        ld hl,(BUFFER)
        ret

; PUTOBJ: IX = object, B = background mode; queued while DEFER_WRITES
; is set (drawn at once when the queue is full).
PUTOBJ:
        ld a,(DEFER_WRITES)
        or a
        jp z,putobj_now
        ld a,(QUEUE_TAIL)
        ld hl,(TAIL_ADDRESS)
        push hl
        call queue_advance
        ld c,a
        ld a,(QUEUE_HEAD)
        cp c
        pop de
        jp z,putobj_now
        ld a,c
        ld (QUEUE_TAIL),a
        ld (TAIL_ADDRESS),hl
        ex de,hl
        push ix
        pop de
        ld (hl),e
        inc hl
        ld (hl),d
        inc hl
        ld (hl),b
        ret


; ======================================================================
; Pascal-convention twins: the caller pushes each parameter as a word,
; first parameter first (bytes in the low half), and calls; the twin
; takes them off the stack and runs the register version.
; ======================================================================
INIT_TABLEP:
        pop af
        pop hl
        pop bc
        push af
        ld a,c
        jp INIT_TABLE
GET_VRAMP:
        pop af
        pop iy
        pop hl
        pop de
        pop bc
        push af
        ld a,c
        jp GET_VRAM
PUT_VRAMP:
        pop af
        pop iy
        pop hl
        pop de
        pop bc
        push af
        ld a,c
        jp PUT_VRAM
INIT_SPR_ORDERP:
        pop af
        pop bc
        push af
        ld a,c
        jp INIT_SPR_ORDER
WR_SPR_NM_TBLP:
        pop af
        pop bc
        push af
        ld a,c
        jp WR_SPR_NM_TBL
INIT_TIMERP:
        pop af
        pop de
        pop hl
        push af
        jp INIT_TIMER
FREE_SIGNALP:
        pop af
        pop bc
        push af
        ld a,c
        jp FREE_SIGNAL
REQUEST_SIGNALP:
        pop af
        pop bc
        pop hl
        push af
        ld a,c
        jp REQUEST_SIGNAL
TEST_SIGNALP:
        pop af
        pop bc
        push af
        ld a,c
        jp TEST_SIGNAL
WRITE_REGISTERP:
        pop af
        pop de
        pop bc
        push af
        ld b,c
        ld c,e
        jp WRITE_REGISTER
WRITE_VRAMP:
        pop af
        pop bc
        pop de
        pop hl
        push af
        jp WRITE_VRAM
READ_VRAMP:
        pop af
        pop bc
        pop de
        pop hl
        push af
        jp READ_VRAM
INIT_WRITERP:
        pop af
        pop hl
        pop bc
        push af
        ld a,c
        jp INIT_WRITER
SOUND_INITP:
        pop af
        pop hl
        pop bc
        push af
        ld b,c
        jp SOUND_INIT
PLAY_ITP:
        pop af
        pop bc
        push af
        ld b,c
        jp PLAY_IT
ACTIVATEP:
        pop af
        pop bc
        pop hl
        push af
        ld a,c
        or a
        jp z,ACTIVATE
        scf
        jp ACTIVATE
PUTOBJP:
        pop af
        pop bc
        pop ix
        push af
        ld b,c
        jp PUTOBJ

        PADTO 1105h
; Start-up state of the controller variables.
CONTROLLER_INIT:
        out (JOY_SEL),a
        ld hl,(CONTROLLER_MAP)
        inc hl
        inc hl
        ld b,10
        xor a
ci_map:
        ld (hl),a
        inc hl
        djnz ci_map
        ld hl,DBNCE_BUFF
        ld b,20
ci_dbn:
        ld (hl),a
        inc hl
        djnz ci_dbn
        ld (SPIN_SW0_CT),a
        ld (SPIN_SW1_CT),a
        ld hl,S0_C0
        ld b,4
ci_raw:
        ld (hl),a
        inc hl
        djnz ci_raw
        ret

        PADTO 113Dh
; CONT_READ: H = controller (0/1), L = segment (0 joystick, 1 keypad) ->
; A = that port's byte inverted (1 = pressed). Changes C; the joystick
; segment is selected afterwards.
CONT_READ:
        ld c,CTRL_1
        bit 0,h
        jr z,cr_port
        ld c,CTRL_2
cr_port:
        ld a,l
        or a
        jr nz,cr_keypad
        out (JOY_SEL),a
        in a,(c)
        cpl
        ret
cr_keypad:
        out (KEYPAD_SEL),a
        in a,(c)
        out (JOY_SEL),a
        cpl
        ret

; ======================================================================
; Graphics objects
; ======================================================================
; Object: +0 graphics, +2 status (words); +4 sprite number (sprites).
; Status: +0 frame, +1 X, +3 Y (signed words, pixels).
; Semi-mobile graphics (type 0): +0 type, +1 first generator name,
;   +2 number of generators, +3 patterns (8 bytes each) or 0, +5 colours
;   (graphics I: a byte per 8 names; graphics II: 8 bytes per generator)
;   or 0, +7 frame table: frame pointers; a frame is {width, height,
;   names row by row}.
; Sprite graphics (types 2, 3): +0 type, +1 first pattern name, +2 number
;   of patterns, +3 pattern data, +5 frame table of {colour, pattern
;   offset} pairs.
; Mobile (1) and complex (4) objects: see po_mobile and po_complex.

; ACTIVATE: HL = object; carry clear loads its generators into VRAM,
; carry set leaves VRAM alone.
ACTIVATE:
        ret c
        push ix
        push iy
        ld e,(hl)
        inc hl
        ld d,(hl)
        push de
        pop ix                  ; graphics
        ld a,(ix+0)
        and 0Fh
        jr z,act_semi
        cp 1
        jp z,act_mobile
        cp 4
        jp z,act_complex
        cp 2
        jr z,act_sprite
        cp 3
        jr nz,act_done
act_sprite:
        ld a,1
        call act_put
        jr act_done
act_semi:
        ld a,(VDP_MODE_WORD)
        and 2
        jr nz,act_semi2
        ld a,3
        call act_put
        ld l,(ix+5)
        ld h,(ix+6)
        ld a,h
        or l
        jr z,act_done
        ld e,(ix+1)
        ld d,0
        ld c,(ix+2)
        ld b,d
        ld a,(VDP_MODE_WORD)
        and 2
        jr nz,act_colours
        srl e                   ; graphics I: one colour byte per 8 names
        srl e
        srl e
        ld a,c
        add a,7
        rra
        srl a
        srl a
        ld c,a
act_colours:
        push bc
        pop iy
        ld a,4
        call PUT_VRAM
act_done:
        pop iy
        pop ix
        ret
; Graphics II: patterns and colours (8 bytes a generator) into each third
; of the screen, so the names show the same wherever they are put.
act_semi2:
        ld d,0
as2_bank:
        push de
        ld l,(ix+3)
        ld h,(ix+4)
        ld a,3
        call act_put_at
        pop de
        push de
        ld l,(ix+5)
        ld h,(ix+6)
        ld a,4
        call act_put_at
        pop de
        inc d
        ld a,d
        cp 3
        jr c,as2_bank
        jr act_done
; The generators at graphics +3 into table A from name +1, +2 of them.
act_put:
        ld l,(ix+3)
        ld h,(ix+4)
        ld d,0
; A = table, HL = data (none when 0), D = bank of 256 names.
act_put_at:
        ld e,a
        ld a,h
        or l
        ret z
        ld a,e
        ld e,(ix+1)
        ld c,(ix+2)
        ld b,0
        push bc
        pop iy
        jp PUT_VRAM

; Draws the object at IX now.
putobj_now:
        push iy
        push ix
        ld l,(ix+2)
        ld h,(ix+3)
        push hl
        pop iy                  ; status
        ld a,(ix+4)
        ld (SAVE_TEMP),a        ; sprite number, or the mobile object's buffer
        ld a,(ix+5)
        ld (SAVE_TEMP+1),a
        ld l,(ix+0)
        ld h,(ix+1)
        push hl
        pop ix                  ; graphics
        ld a,(ix+0)
        and 0Fh
        jr z,po_semi
        cp 1
        jp z,po_mobile
        cp 4
        jp z,po_complex
        cp 2
        jr z,po_sprite
        cp 3
        jr z,po_sprite
po_done:
        pop ix
        pop iy
        ret
po_sprite:
        ld l,(ix+5)
        ld h,(ix+6)
        ld e,(iy+0)
        ld d,0
        add hl,de
        add hl,de
        ld c,(hl)               ; colour
        inc hl
        ld a,(hl)
        add a,(ix+1)
        ld b,a                  ; pattern name
        ld hl,(WORK_BUFFER)
        ld a,(iy+3)
        dec a                   ; the chip draws a sprite one line below its Y
        ld (hl),a
        inc hl
        ld a,(iy+1)
        bit 7,(iy+2)
        jr z,po_x
        add a,32                ; left of the screen: early clock
        set 7,c
po_x:
        ld (hl),a
        inc hl
        ld (hl),b
        inc hl
        ld (hl),c
        ld hl,(WORK_BUFFER)
        ld a,(SAVE_TEMP)
        ld e,a
        ld d,0
        ld iy,1
        xor a
        call PUT_VRAM
        jr po_done
po_semi:
        ld l,(ix+7)
        ld h,(ix+8)
        ld e,(iy+0)
        ld d,0
        add hl,de
        add hl,de
        ld a,(hl)
        inc hl
        ld h,(hl)
        ld l,a                  ; the frame
        ld e,(iy+1)
        ld d,(iy+2)
        call cells8
        ld c,a                  ; column
        ld e,(iy+3)
        ld d,(iy+4)
        call cells8
        ld d,a                  ; row
        ld e,c                  ; column
        ld b,(hl)               ; width
        inc hl
        ld c,(hl)               ; height
        inc hl
        call put_frame
        jp po_done

; Signed pixel word DE -> A = DE / 8 as a signed byte, held to -128..127.
cells8:
        sra d
        rr e
        sra d
        rr e
        sra d
        rr e
        ld a,d
        or a
        jr z,c8_pos
        inc a
        jr z,c8_neg
        bit 7,d
        ld a,80h
        ret nz
        ld a,7Fh
        ret
c8_pos:
        ld a,e
        bit 7,a
        ret z
        ld a,7Fh
        ret
c8_neg:
        ld a,e
        bit 7,a
        ret nz
        ld a,80h
        ret
        PADTO 1319h
DISPLAY_LOGO:
        jp draw_logo

; Mobile objects (type 1): graphics +1 first of nine working generators,
; +3 frame table of pointers to 16x16 images (32 bytes in sprite order:
; top left, bottom left, top right, bottom right). The image is drawn at
; any pixel position into the 3x3 block of working generators; the names
; it covers are kept in the object's buffer (object +4, 28 bytes) and put
; back before it is drawn again. B = 0 draws the image alone, otherwise it
; is merged with the patterns underneath. In graphics II each working
; generator is written into the third of the screen its cell is in.
; Buffer: +0 names saved, +1 row, +2 column, +3 nine names, +12 dx,
; +13 dy, +14 image, +16 first generator, +17 mode, +18 and +27 scratch,
; +19 eight pattern rows.
act_mobile:
        inc hl
        inc hl
        inc hl
        ld a,(hl)
        inc hl
        ld h,(hl)
        ld l,a
        ld (hl),0               ; nothing under it yet
        jp act_done

po_mobile:
        ld hl,(SAVE_TEMP)
        push hl
        ld l,(ix+3)
        ld h,(ix+4)
        ld e,(iy+0)
        ld d,0
        add hl,de
        add hl,de
        ld e,(hl)
        inc hl
        ld d,(hl)
        ld c,(ix+1)
        pop ix                  ; the buffer
        ld (ix+14),e
        ld (ix+15),d
        ld (ix+16),c
        ld (ix+17),b
        ld a,(ix+0)
        or a
        call nz,mob_restore
        ld a,(iy+1)
        and 7
        ld (ix+12),a
        ld a,(iy+3)
        and 7
        ld (ix+13),a
        ld e,(iy+1)
        ld d,(iy+2)
        call cells8
        ld (ix+2),a
        ld e,(iy+3)
        ld d,(iy+4)
        call cells8
        ld (ix+1),a
        call mob_save
        call mob_patterns
        call mob_names
        ld (ix+0),1
        jp po_done

; C = cell 0-8 of the block -> B = its row, A = its column in the block.
mob_rc:
        ld a,c
        ld b,0
mrc_loop:
        cp 3
        ret c
        sub 3
        inc b
        jr mrc_loop

; C = cell -> HL = its name-table address; carry when off the screen.
mob_cell:
        call mob_rc
        add a,(ix+2)
        cp 32
        ccf
        ret c
        ld e,a
        ld a,b
        add a,(ix+1)
        cp 24
        ccf
        ret c
        ld d,a
        call CALC_OFFSET
        ld hl,(VRAM_ADDR_TABLE+4)
        add hl,de
        or a
        ret

; C = cell -> HL = its byte among the saved names.
mob_saved:
        push ix
        pop hl
        ld de,3
        add hl,de
        ld e,c
        add hl,de
        ret

; The nine names under the object: put back, or saved.
mob_restore:
        ld hl,put_frame
        jr mob_block
mob_save:
        ld hl,get_bkgrnd
mob_block:
        push hl
        push ix
        pop hl
        ld de,3
        add hl,de
        ld d,(ix+1)
        ld e,(ix+2)
        ld bc,0303h
        ret                     ; into the routine pushed above

mob_names:
        ld c,0
mn_cell:
        call mob_cell
        jr c,mn_next
        call set_write_hl
        ld a,(ix+16)
        add a,c
        out (VDP_DATA),a
mn_next:
        inc c
        ld a,c
        cp 9
        jr c,mn_cell
        ret

; The nine working generators: each row is the image shifted right by dx
; (and down by dy), merged with the pattern underneath if asked.
mob_patterns:
        ld c,0
mp_gen:
        push bc
        call mob_rc
        ld (ix+18),a            ; column in the block
        ld a,b
        add a,a
        add a,a
        add a,a
        sub (ix+13)
        ld (ix+27),a            ; image row for the generator's top row
        push ix
        pop hl
        ld de,19
        add hl,de
        ld b,8
mp_row:
        push bc
        push hl
        ld a,(ix+27)
        ld c,0
        ld d,0
        cp 16
        jr nc,mp_shift          ; above or below the image
        ld l,(ix+14)
        ld h,(ix+15)
        ld e,a
        add hl,de
        ld c,(hl)
        ld e,16
        add hl,de
        ld d,(hl)
mp_shift:
        ld e,0
        ld a,(ix+12)
        or a
        jr z,mp_pick
        ld b,a
mp_bit:
        srl c
        rr d
        rr e
        djnz mp_bit
mp_pick:
        ld a,(ix+18)
        or a
        ld a,c
        jr z,mp_have
        ld a,(ix+18)
        dec a
        ld a,d
        jr z,mp_have
        ld a,e
mp_have:
        pop hl
        ld (hl),a
        inc hl
        inc (ix+27)
        pop bc
        djnz mp_row
        pop bc
        push bc
        ld a,(ix+17)
        or a
        jr z,mp_write
        call mob_saved          ; merge: OR the pattern of the name underneath
        ld l,(hl)
        ld h,0
        add hl,hl
        add hl,hl
        add hl,hl
        ld de,(VRAM_ADDR_TABLE+6)
        add hl,de
        call mob_third
        add hl,de
        call set_read_hl
        push ix
        pop hl
        ld de,19
        add hl,de
        ld b,8
mp_merge:
        in a,(VDP_DATA)
        or (hl)
        ld (hl),a
        inc hl
        djnz mp_merge
mp_write:
        pop bc
        push bc
        ld a,(ix+16)
        add a,c
        ld l,a
        ld h,0
        add hl,hl
        add hl,hl
        add hl,hl
        push hl                 ; the generator's offset in a table
        ld de,(VRAM_ADDR_TABLE+6)
        add hl,de
        call mob_third
        add hl,de
        call set_write_hl
        call mob_rows
        otir
        pop hl
        pop bc
        push bc
        call mob_colours
        pop bc
        inc c
        ld a,c
        cp 9
        jp c,mp_gen
        ret

; HL = the eight pattern rows in the buffer, BC ready for OTIR/INIR.
mob_rows:
        push ix
        pop hl
        ld de,19
        add hl,de
        ld bc,0800h+VDP_DATA
        ret

; C = cell -> DE = where its third of the screen starts in the pattern
; and colour tables: 0 in graphics I, and for cells off the screen.
; Keeps HL and BC.
mob_third:
        ld de,0
        ld a,(VDP_MODE_WORD)
        and 2
        ret z
        push bc
        call mob_rc
        ld a,b
        pop bc
        add a,(ix+1)
        cp 24
        ret nc
        and 18h                 ; row / 8 * 8: the third's high byte
        ld d,a
        ret

; HL = generator offset, C = cell. Graphics II below the first third: the
; working generator takes the colours it has in the first third, so the
; object keeps them wherever it goes.
mob_colours:
        call mob_third
        ld a,d
        or a
        ret z
        push de
        ld de,(VRAM_ADDR_TABLE+8)
        add hl,de
        call set_read_hl
        push hl
        call mob_rows
        inir
        pop hl
        pop de
        add hl,de
        call set_write_hl
        call mob_rows
        otir
        ret

; Complex objects (type 4): graphics +1 number of parts, then for each
; part {object, dx, dy}. Each part takes the complex object's frame and
; its position moved by (dx, dy), and is activated or drawn in turn.
act_complex:
        ld b,(ix+1)
        push ix
        pop hl
        inc hl
        inc hl
ac_loop:
        ld a,b
        or a
        jp z,act_done
        push bc
        push hl
        ld a,(hl)
        inc hl
        ld h,(hl)
        ld l,a
        or a                    ; carry clear: load
        call ACTIVATE
        pop hl
        pop bc
        inc hl
        inc hl
        inc hl
        inc hl
        dec b
        jr ac_loop

po_complex:
        ld c,(ix+1)
        push ix
        pop hl
        inc hl
        inc hl
pc_loop:
        ld a,c
        or a
        jp z,po_done
        push bc
        push hl
        ld e,(hl)
        inc hl
        ld d,(hl)
        inc hl
        ld a,(hl)               ; dx
        inc hl
        ld c,(hl)               ; dy
        push de
        pop ix                  ; the part
        ld l,(ix+2)
        ld h,(ix+3)             ; its status
        ld b,a
        ld a,(iy+0)
        ld (hl),a
        inc hl
        ld a,b
        ld e,(iy+1)
        ld d,(iy+2)
        call pc_word
        ld a,c
        ld e,(iy+3)
        ld d,(iy+4)
        call pc_word
        pop hl
        pop bc
        push bc
        push hl
        call putobj_now
        pop hl
        pop bc
        inc hl
        inc hl
        inc hl
        inc hl
        dec c
        jr pc_loop

; (HL) = DE + signed A; HL moves past the word.
pc_word:
        push bc
        ld c,a
        ld b,0
        bit 7,a
        jr z,pw_add
        dec b
pw_add:
        ex de,hl
        add hl,bc
        ex de,hl
        ld (hl),e
        inc hl
        ld (hl),d
        inc hl
        pop bc
        ret


; ======================================================================
; Font: code c at 14A3h + 8c
; ======================================================================
        PADTO 158Bh
FONT:
FONT_0  equ FONT+(30h-1Dh)*8
FONT_A  equ FONT+(41h-1Dh)*8
; Our own 8x8 font for codes 1Dh-7Fh, ASCII order, 8 bytes per glyph, top
; row first. Glyphs are five pixels wide in bits 6-2, so a six-pixel cell
; (bits 7-2) still shows them whole with a one-pixel gap.
; Generated from pixel art: '#' set, '.' clear.
; code 1Dh
        db 00111000b       ; .###.
        db 01000100b       ; #...#
        db 01011100b       ; #.###
        db 01100100b       ; ##..#
        db 01011100b       ; #.###
        db 01000100b       ; #...#
        db 00111000b       ; .###.
        db 00000000b       ; .....
; code 1Eh
        db 01111100b       ; #####
        db 00010000b       ; ..#..
        db 00010000b       ; ..#..
        db 00010000b       ; ..#..
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 00000000b       ; .....
; code 1Fh
        db 01000100b       ; #...#
        db 01101100b       ; ##.##
        db 01010100b       ; #.#.#
        db 01000100b       ; #...#
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 00000000b       ; .....
; code 20h ' '
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 00000000b       ; .....
; code 21h '!'
        db 00010000b       ; ..#..
        db 00010000b       ; ..#..
        db 00010000b       ; ..#..
        db 00010000b       ; ..#..
        db 00010000b       ; ..#..
        db 00000000b       ; .....
        db 00010000b       ; ..#..
        db 00000000b       ; .....
; code 22h '"'
        db 00101000b       ; .#.#.
        db 00101000b       ; .#.#.
        db 00101000b       ; .#.#.
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 00000000b       ; .....
; code 23h '#'
        db 00101000b       ; .#.#.
        db 00101000b       ; .#.#.
        db 01111100b       ; #####
        db 00101000b       ; .#.#.
        db 01111100b       ; #####
        db 00101000b       ; .#.#.
        db 00101000b       ; .#.#.
        db 00000000b       ; .....
; code 24h '$'
        db 00010000b       ; ..#..
        db 00111100b       ; .####
        db 01010000b       ; #.#..
        db 00111000b       ; .###.
        db 00010100b       ; ..#.#
        db 01111000b       ; ####.
        db 00010000b       ; ..#..
        db 00000000b       ; .....
; code 25h '%'
        db 01100000b       ; ##...
        db 01100100b       ; ##..#
        db 00001000b       ; ...#.
        db 00010000b       ; ..#..
        db 00100000b       ; .#...
        db 01001100b       ; #..##
        db 00001100b       ; ...##
        db 00000000b       ; .....
; code 26h '&'
        db 00110000b       ; .##..
        db 01001000b       ; #..#.
        db 01010000b       ; #.#..
        db 00100000b       ; .#...
        db 01010100b       ; #.#.#
        db 01001000b       ; #..#.
        db 00110100b       ; .##.#
        db 00000000b       ; .....
; code 27h '''
        db 00010000b       ; ..#..
        db 00010000b       ; ..#..
        db 00100000b       ; .#...
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 00000000b       ; .....
; code 28h '('
        db 00001000b       ; ...#.
        db 00010000b       ; ..#..
        db 00100000b       ; .#...
        db 00100000b       ; .#...
        db 00100000b       ; .#...
        db 00010000b       ; ..#..
        db 00001000b       ; ...#.
        db 00000000b       ; .....
; code 29h ')'
        db 00100000b       ; .#...
        db 00010000b       ; ..#..
        db 00001000b       ; ...#.
        db 00001000b       ; ...#.
        db 00001000b       ; ...#.
        db 00010000b       ; ..#..
        db 00100000b       ; .#...
        db 00000000b       ; .....
; code 2Ah '*'
        db 00000000b       ; .....
        db 00010000b       ; ..#..
        db 01010100b       ; #.#.#
        db 00111000b       ; .###.
        db 01010100b       ; #.#.#
        db 00010000b       ; ..#..
        db 00000000b       ; .....
        db 00000000b       ; .....
; code 2Bh '+'
        db 00000000b       ; .....
        db 00010000b       ; ..#..
        db 00010000b       ; ..#..
        db 01111100b       ; #####
        db 00010000b       ; ..#..
        db 00010000b       ; ..#..
        db 00000000b       ; .....
        db 00000000b       ; .....
; code 2Ch ','
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 00110000b       ; .##..
        db 00110000b       ; .##..
        db 00010000b       ; ..#..
        db 00100000b       ; .#...
; code 2Dh '-'
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 01111100b       ; #####
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 00000000b       ; .....
; code 2Eh '.'
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 00110000b       ; .##..
        db 00110000b       ; .##..
        db 00000000b       ; .....
; code 2Fh '/'
        db 00000000b       ; .....
        db 00000100b       ; ....#
        db 00001000b       ; ...#.
        db 00010000b       ; ..#..
        db 00100000b       ; .#...
        db 01000000b       ; #....
        db 00000000b       ; .....
        db 00000000b       ; .....
; code 30h '0'
        db 00111000b       ; .###.
        db 01000100b       ; #...#
        db 01001100b       ; #..##
        db 01010100b       ; #.#.#
        db 01100100b       ; ##..#
        db 01000100b       ; #...#
        db 00111000b       ; .###.
        db 00000000b       ; .....
; code 31h '1'
        db 00010000b       ; ..#..
        db 00110000b       ; .##..
        db 00010000b       ; ..#..
        db 00010000b       ; ..#..
        db 00010000b       ; ..#..
        db 00010000b       ; ..#..
        db 00111000b       ; .###.
        db 00000000b       ; .....
; code 32h '2'
        db 00111000b       ; .###.
        db 01000100b       ; #...#
        db 00000100b       ; ....#
        db 00011000b       ; ..##.
        db 00100000b       ; .#...
        db 01000000b       ; #....
        db 01111100b       ; #####
        db 00000000b       ; .....
; code 33h '3'
        db 01111100b       ; #####
        db 00001000b       ; ...#.
        db 00010000b       ; ..#..
        db 00001000b       ; ...#.
        db 00000100b       ; ....#
        db 01000100b       ; #...#
        db 00111000b       ; .###.
        db 00000000b       ; .....
; code 34h '4'
        db 00001000b       ; ...#.
        db 00011000b       ; ..##.
        db 00101000b       ; .#.#.
        db 01001000b       ; #..#.
        db 01111100b       ; #####
        db 00001000b       ; ...#.
        db 00001000b       ; ...#.
        db 00000000b       ; .....
; code 35h '5'
        db 01111100b       ; #####
        db 01000000b       ; #....
        db 01111000b       ; ####.
        db 00000100b       ; ....#
        db 00000100b       ; ....#
        db 01000100b       ; #...#
        db 00111000b       ; .###.
        db 00000000b       ; .....
; code 36h '6'
        db 00011000b       ; ..##.
        db 00100000b       ; .#...
        db 01000000b       ; #....
        db 01111000b       ; ####.
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 00111000b       ; .###.
        db 00000000b       ; .....
; code 37h '7'
        db 01111100b       ; #####
        db 00000100b       ; ....#
        db 00001000b       ; ...#.
        db 00010000b       ; ..#..
        db 00100000b       ; .#...
        db 00100000b       ; .#...
        db 00100000b       ; .#...
        db 00000000b       ; .....
; code 38h '8'
        db 00111000b       ; .###.
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 00111000b       ; .###.
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 00111000b       ; .###.
        db 00000000b       ; .....
; code 39h '9'
        db 00111000b       ; .###.
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 00111100b       ; .####
        db 00000100b       ; ....#
        db 00001000b       ; ...#.
        db 00110000b       ; .##..
        db 00000000b       ; .....
; code 3Ah ':'
        db 00000000b       ; .....
        db 00110000b       ; .##..
        db 00110000b       ; .##..
        db 00000000b       ; .....
        db 00110000b       ; .##..
        db 00110000b       ; .##..
        db 00000000b       ; .....
        db 00000000b       ; .....
; code 3Bh ';'
        db 00000000b       ; .....
        db 00110000b       ; .##..
        db 00110000b       ; .##..
        db 00000000b       ; .....
        db 00110000b       ; .##..
        db 00110000b       ; .##..
        db 00010000b       ; ..#..
        db 00100000b       ; .#...
; code 3Ch '<'
        db 00001000b       ; ...#.
        db 00010000b       ; ..#..
        db 00100000b       ; .#...
        db 01000000b       ; #....
        db 00100000b       ; .#...
        db 00010000b       ; ..#..
        db 00001000b       ; ...#.
        db 00000000b       ; .....
; code 3Dh '='
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 01111100b       ; #####
        db 00000000b       ; .....
        db 01111100b       ; #####
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 00000000b       ; .....
; code 3Eh '>'
        db 00100000b       ; .#...
        db 00010000b       ; ..#..
        db 00001000b       ; ...#.
        db 00000100b       ; ....#
        db 00001000b       ; ...#.
        db 00010000b       ; ..#..
        db 00100000b       ; .#...
        db 00000000b       ; .....
; code 3Fh '?'
        db 00111000b       ; .###.
        db 01000100b       ; #...#
        db 00000100b       ; ....#
        db 00001000b       ; ...#.
        db 00010000b       ; ..#..
        db 00000000b       ; .....
        db 00010000b       ; ..#..
        db 00000000b       ; .....
; code 40h '@'
        db 00111000b       ; .###.
        db 01000100b       ; #...#
        db 01011100b       ; #.###
        db 01010100b       ; #.#.#
        db 01011100b       ; #.###
        db 01000000b       ; #....
        db 00111000b       ; .###.
        db 00000000b       ; .....
; code 41h 'A'
        db 00111000b       ; .###.
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 01111100b       ; #####
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 00000000b       ; .....
; code 42h 'B'
        db 01111000b       ; ####.
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 01111000b       ; ####.
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 01111000b       ; ####.
        db 00000000b       ; .....
; code 43h 'C'
        db 00111000b       ; .###.
        db 01000100b       ; #...#
        db 01000000b       ; #....
        db 01000000b       ; #....
        db 01000000b       ; #....
        db 01000100b       ; #...#
        db 00111000b       ; .###.
        db 00000000b       ; .....
; code 44h 'D'
        db 01110000b       ; ###..
        db 01001000b       ; #..#.
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 01001000b       ; #..#.
        db 01110000b       ; ###..
        db 00000000b       ; .....
; code 45h 'E'
        db 01111100b       ; #####
        db 01000000b       ; #....
        db 01000000b       ; #....
        db 01111000b       ; ####.
        db 01000000b       ; #....
        db 01000000b       ; #....
        db 01111100b       ; #####
        db 00000000b       ; .....
; code 46h 'F'
        db 01111100b       ; #####
        db 01000000b       ; #....
        db 01000000b       ; #....
        db 01111000b       ; ####.
        db 01000000b       ; #....
        db 01000000b       ; #....
        db 01000000b       ; #....
        db 00000000b       ; .....
; code 47h 'G'
        db 00111000b       ; .###.
        db 01000100b       ; #...#
        db 01000000b       ; #....
        db 01011100b       ; #.###
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 00111100b       ; .####
        db 00000000b       ; .....
; code 48h 'H'
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 01111100b       ; #####
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 00000000b       ; .....
; code 49h 'I'
        db 00111000b       ; .###.
        db 00010000b       ; ..#..
        db 00010000b       ; ..#..
        db 00010000b       ; ..#..
        db 00010000b       ; ..#..
        db 00010000b       ; ..#..
        db 00111000b       ; .###.
        db 00000000b       ; .....
; code 4Ah 'J'
        db 00011100b       ; ..###
        db 00001000b       ; ...#.
        db 00001000b       ; ...#.
        db 00001000b       ; ...#.
        db 00001000b       ; ...#.
        db 01001000b       ; #..#.
        db 00110000b       ; .##..
        db 00000000b       ; .....
; code 4Bh 'K'
        db 01000100b       ; #...#
        db 01001000b       ; #..#.
        db 01010000b       ; #.#..
        db 01100000b       ; ##...
        db 01010000b       ; #.#..
        db 01001000b       ; #..#.
        db 01000100b       ; #...#
        db 00000000b       ; .....
; code 4Ch 'L'
        db 01000000b       ; #....
        db 01000000b       ; #....
        db 01000000b       ; #....
        db 01000000b       ; #....
        db 01000000b       ; #....
        db 01000000b       ; #....
        db 01111100b       ; #####
        db 00000000b       ; .....
; code 4Dh 'M'
        db 01000100b       ; #...#
        db 01101100b       ; ##.##
        db 01010100b       ; #.#.#
        db 01010100b       ; #.#.#
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 00000000b       ; .....
; code 4Eh 'N'
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 01100100b       ; ##..#
        db 01010100b       ; #.#.#
        db 01001100b       ; #..##
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 00000000b       ; .....
; code 4Fh 'O'
        db 00111000b       ; .###.
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 00111000b       ; .###.
        db 00000000b       ; .....
; code 50h 'P'
        db 01111000b       ; ####.
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 01111000b       ; ####.
        db 01000000b       ; #....
        db 01000000b       ; #....
        db 01000000b       ; #....
        db 00000000b       ; .....
; code 51h 'Q'
        db 00111000b       ; .###.
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 01010100b       ; #.#.#
        db 01001000b       ; #..#.
        db 00110100b       ; .##.#
        db 00000000b       ; .....
; code 52h 'R'
        db 01111000b       ; ####.
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 01111000b       ; ####.
        db 01010000b       ; #.#..
        db 01001000b       ; #..#.
        db 01000100b       ; #...#
        db 00000000b       ; .....
; code 53h 'S'
        db 00111100b       ; .####
        db 01000000b       ; #....
        db 01000000b       ; #....
        db 00111000b       ; .###.
        db 00000100b       ; ....#
        db 00000100b       ; ....#
        db 01111000b       ; ####.
        db 00000000b       ; .....
; code 54h 'T'
        db 01111100b       ; #####
        db 00010000b       ; ..#..
        db 00010000b       ; ..#..
        db 00010000b       ; ..#..
        db 00010000b       ; ..#..
        db 00010000b       ; ..#..
        db 00010000b       ; ..#..
        db 00000000b       ; .....
; code 55h 'U'
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 00111000b       ; .###.
        db 00000000b       ; .....
; code 56h 'V'
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 00101000b       ; .#.#.
        db 00010000b       ; ..#..
        db 00000000b       ; .....
; code 57h 'W'
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 01010100b       ; #.#.#
        db 01010100b       ; #.#.#
        db 01010100b       ; #.#.#
        db 00101000b       ; .#.#.
        db 00000000b       ; .....
; code 58h 'X'
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 00101000b       ; .#.#.
        db 00010000b       ; ..#..
        db 00101000b       ; .#.#.
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 00000000b       ; .....
; code 59h 'Y'
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 00101000b       ; .#.#.
        db 00010000b       ; ..#..
        db 00010000b       ; ..#..
        db 00010000b       ; ..#..
        db 00010000b       ; ..#..
        db 00000000b       ; .....
; code 5Ah 'Z'
        db 01111100b       ; #####
        db 00000100b       ; ....#
        db 00001000b       ; ...#.
        db 00010000b       ; ..#..
        db 00100000b       ; .#...
        db 01000000b       ; #....
        db 01111100b       ; #####
        db 00000000b       ; .....
; code 5Bh '['
        db 00111000b       ; .###.
        db 00100000b       ; .#...
        db 00100000b       ; .#...
        db 00100000b       ; .#...
        db 00100000b       ; .#...
        db 00100000b       ; .#...
        db 00111000b       ; .###.
        db 00000000b       ; .....
; code 5Ch '\'
        db 00000000b       ; .....
        db 01000000b       ; #....
        db 00100000b       ; .#...
        db 00010000b       ; ..#..
        db 00001000b       ; ...#.
        db 00000100b       ; ....#
        db 00000000b       ; .....
        db 00000000b       ; .....
; code 5Dh ']'
        db 00111000b       ; .###.
        db 00001000b       ; ...#.
        db 00001000b       ; ...#.
        db 00001000b       ; ...#.
        db 00001000b       ; ...#.
        db 00001000b       ; ...#.
        db 00111000b       ; .###.
        db 00000000b       ; .....
; code 5Eh '^'
        db 00010000b       ; ..#..
        db 00101000b       ; .#.#.
        db 01000100b       ; #...#
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 00000000b       ; .....
; code 5Fh '_'
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 01111100b       ; #####
; code 60h '`'
        db 00100000b       ; .#...
        db 00010000b       ; ..#..
        db 00001000b       ; ...#.
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 00000000b       ; .....
; code 61h 'a'
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 00111000b       ; .###.
        db 00000100b       ; ....#
        db 00111100b       ; .####
        db 01000100b       ; #...#
        db 00111100b       ; .####
        db 00000000b       ; .....
; code 62h 'b'
        db 01000000b       ; #....
        db 01000000b       ; #....
        db 01111000b       ; ####.
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 01111000b       ; ####.
        db 00000000b       ; .....
; code 63h 'c'
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 00111000b       ; .###.
        db 01000000b       ; #....
        db 01000000b       ; #....
        db 01000100b       ; #...#
        db 00111000b       ; .###.
        db 00000000b       ; .....
; code 64h 'd'
        db 00000100b       ; ....#
        db 00000100b       ; ....#
        db 00111100b       ; .####
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 00111100b       ; .####
        db 00000000b       ; .....
; code 65h 'e'
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 00111000b       ; .###.
        db 01000100b       ; #...#
        db 01111100b       ; #####
        db 01000000b       ; #....
        db 00111000b       ; .###.
        db 00000000b       ; .....
; code 66h 'f'
        db 00011000b       ; ..##.
        db 00100100b       ; .#..#
        db 00100000b       ; .#...
        db 01110000b       ; ###..
        db 00100000b       ; .#...
        db 00100000b       ; .#...
        db 00100000b       ; .#...
        db 00000000b       ; .....
; code 67h 'g'
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 00111100b       ; .####
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 00111100b       ; .####
        db 00000100b       ; ....#
        db 00111000b       ; .###.
; code 68h 'h'
        db 01000000b       ; #....
        db 01000000b       ; #....
        db 01011000b       ; #.##.
        db 01100100b       ; ##..#
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 00000000b       ; .....
; code 69h 'i'
        db 00010000b       ; ..#..
        db 00000000b       ; .....
        db 00110000b       ; .##..
        db 00010000b       ; ..#..
        db 00010000b       ; ..#..
        db 00010000b       ; ..#..
        db 00111000b       ; .###.
        db 00000000b       ; .....
; code 6Ah 'j'
        db 00001000b       ; ...#.
        db 00000000b       ; .....
        db 00011000b       ; ..##.
        db 00001000b       ; ...#.
        db 00001000b       ; ...#.
        db 00001000b       ; ...#.
        db 01001000b       ; #..#.
        db 00110000b       ; .##..
; code 6Bh 'k'
        db 01000000b       ; #....
        db 01000000b       ; #....
        db 01001000b       ; #..#.
        db 01010000b       ; #.#..
        db 01100000b       ; ##...
        db 01010000b       ; #.#..
        db 01001000b       ; #..#.
        db 00000000b       ; .....
; code 6Ch 'l'
        db 00110000b       ; .##..
        db 00010000b       ; ..#..
        db 00010000b       ; ..#..
        db 00010000b       ; ..#..
        db 00010000b       ; ..#..
        db 00010000b       ; ..#..
        db 00111000b       ; .###.
        db 00000000b       ; .....
; code 6Dh 'm'
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 01101000b       ; ##.#.
        db 01010100b       ; #.#.#
        db 01010100b       ; #.#.#
        db 01010100b       ; #.#.#
        db 01010100b       ; #.#.#
        db 00000000b       ; .....
; code 6Eh 'n'
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 01011000b       ; #.##.
        db 01100100b       ; ##..#
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 00000000b       ; .....
; code 6Fh 'o'
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 00111000b       ; .###.
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 00111000b       ; .###.
        db 00000000b       ; .....
; code 70h 'p'
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 01111000b       ; ####.
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 01111000b       ; ####.
        db 01000000b       ; #....
        db 01000000b       ; #....
; code 71h 'q'
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 00111100b       ; .####
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 00111100b       ; .####
        db 00000100b       ; ....#
        db 00000100b       ; ....#
; code 72h 'r'
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 01011000b       ; #.##.
        db 01100100b       ; ##..#
        db 01000000b       ; #....
        db 01000000b       ; #....
        db 01000000b       ; #....
        db 00000000b       ; .....
; code 73h 's'
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 00111100b       ; .####
        db 01000000b       ; #....
        db 00111000b       ; .###.
        db 00000100b       ; ....#
        db 01111000b       ; ####.
        db 00000000b       ; .....
; code 74h 't'
        db 00100000b       ; .#...
        db 00100000b       ; .#...
        db 01110000b       ; ###..
        db 00100000b       ; .#...
        db 00100000b       ; .#...
        db 00100100b       ; .#..#
        db 00011000b       ; ..##.
        db 00000000b       ; .....
; code 75h 'u'
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 01001100b       ; #..##
        db 00110100b       ; .##.#
        db 00000000b       ; .....
; code 76h 'v'
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 00101000b       ; .#.#.
        db 00010000b       ; ..#..
        db 00000000b       ; .....
; code 77h 'w'
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 01010100b       ; #.#.#
        db 01010100b       ; #.#.#
        db 00101000b       ; .#.#.
        db 00000000b       ; .....
; code 78h 'x'
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 01000100b       ; #...#
        db 00101000b       ; .#.#.
        db 00010000b       ; ..#..
        db 00101000b       ; .#.#.
        db 01000100b       ; #...#
        db 00000000b       ; .....
; code 79h 'y'
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 01000100b       ; #...#
        db 00111100b       ; .####
        db 00000100b       ; ....#
        db 00111000b       ; .###.
; code 7Ah 'z'
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 01111100b       ; #####
        db 00001000b       ; ...#.
        db 00010000b       ; ..#..
        db 00100000b       ; .#...
        db 01111100b       ; #####
        db 00000000b       ; .....
; code 7Bh '{'
        db 00001000b       ; ...#.
        db 00010000b       ; ..#..
        db 00010000b       ; ..#..
        db 00100000b       ; .#...
        db 00010000b       ; ..#..
        db 00010000b       ; ..#..
        db 00001000b       ; ...#.
        db 00000000b       ; .....
; code 7Ch '|'
        db 00010000b       ; ..#..
        db 00010000b       ; ..#..
        db 00010000b       ; ..#..
        db 00000000b       ; .....
        db 00010000b       ; ..#..
        db 00010000b       ; ..#..
        db 00010000b       ; ..#..
        db 00000000b       ; .....
; code 7Dh '}'
        db 00100000b       ; .#...
        db 00010000b       ; ..#..
        db 00010000b       ; ..#..
        db 00001000b       ; ...#.
        db 00010000b       ; ..#..
        db 00010000b       ; ..#..
        db 00100000b       ; .#...
        db 00000000b       ; .....
; code 7Eh '~'
        db 00100000b       ; .#...
        db 01010100b       ; #.#.#
        db 00001000b       ; ...#.
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 00000000b       ; .....
        db 00000000b       ; .....
; code 7Fh
        db 01010100b       ; #.#.#
        db 00101000b       ; .#.#.
        db 01010100b       ; #.#.#
        db 00101000b       ; .#.#.
        db 01010100b       ; #.#.#
        db 00101000b       ; .#.#.
        db 01010100b       ; #.#.#
        db 00000000b       ; .....
FONT_END:
        if FONT_END - 18A3h
        .error font size
        endif

; ======================================================================
; Title hold: the high byte of the outer count sits at 196Ah, where the
; emulator patches a shorter wait (0Ah: about 2.5 s; ours: about 10 s).
; ======================================================================
        PADTO 1968h
TITLE_HOLD:
        ld hl,2800h
th_outer:
        ld b,250
th_inner:
        djnz th_inner
        dec hl
        ld a,h
        or l
        jr nz,th_outer
        jp start_game
        PADTO 1979h             ; keeps the next address free for a routine
start_game:
        ld sp,STACK
        ld hl,(START_GAME)
        jp (hl)

; ======================================================================
; Blocks of names
; ======================================================================
; PUT_FRAME: HL = names row by row, D = row, E = column (signed cells),
; B = width, C = height: the block into the name table. Cells off the
; screen are left out.
put_frame:
        call frame_size
        ret z
pf_row:
        push bc
        push de
pf_cell:
        push hl
        push de
        call frame_cell
        jr c,pf_skip
        call set_write_hl
        pop de
        pop hl
        ld a,(hl)
        out (VDP_DATA),a
        jr pf_next
pf_skip:
        pop de
        pop hl
pf_next:
        inc hl
        inc e
        djnz pf_cell
        pop de
        pop bc
        inc d
        dec c
        jr nz,pf_row
        ret

; GET_BKGRND: HL = RAM buffer, D = row, E = column (signed cells),
; B = width, C = height: the names of the block, row by row, into the
; buffer; a cell off the screen gives 0.
get_bkgrnd:
        call frame_size
        ret z
gb_row:
        push bc
        push de
gb_cell:
        push hl
        push de
        call frame_cell
        ld a,0
        jr c,gb_store
        call set_read_hl
        in a,(VDP_DATA)
gb_store:
        pop de
        pop hl
        ld (hl),a
        inc hl
        inc e
        djnz gb_cell
        pop de
        pop bc
        inc d
        dec c
        jr nz,gb_row
        ret

; Z when the block of B x C cells is empty.
frame_size:
        ld a,b
        or a
        ret z
        ld a,c
        or a
        ret

; D = row, E = column -> HL = the cell's name-table address; carry when
; off the screen. Changes A, DE.
frame_cell:
        ld a,d
        cp 24
        ccf
        ret c
        ld a,e
        cp 32
        ccf
        ret c
        call CALC_OFFSET
        ld hl,(VRAM_ADDR_TABLE+4)
        add hl,de
        ret

; Libraries read the VDP's port numbers from these two bytes.
        PADTO 1D43h
        db VDP_CTRL
        PADTO 1D47h
        db VDP_DATA

; ======================================================================
; Jump table
; ======================================================================
        PADTO 1F61h
        jp PLAY_SONGS           ; 1F61
        jp ACTIVATEP            ; 1F64
        jp PUTOBJP              ; 1F67
        jp REFLECT_VERTICAL     ; 1F6A
        jp REFLECT_HORIZONTAL   ; 1F6D
        jp ROTATE_90            ; 1F70
        jp ENLARGE              ; 1F73
        jp CONTROLLER_SCAN      ; 1F76
        jp DECODER              ; 1F79
        jp GAME_OPT             ; 1F7C
        jp LOAD_ASCII           ; 1F7F
        jp FILL_VRAM            ; 1F82
        jp MODE_1               ; 1F85
        jp UPDATE_SPINNER       ; 1F88
        jp INIT_TABLEP          ; 1F8B
        jp GET_VRAMP            ; 1F8E
        jp PUT_VRAMP            ; 1F91
        jp INIT_SPR_ORDERP      ; 1F94
        jp WR_SPR_NM_TBLP       ; 1F97
        jp INIT_TIMERP          ; 1F9A
        jp FREE_SIGNALP         ; 1F9D
        jp REQUEST_SIGNALP      ; 1FA0
        jp TEST_SIGNALP         ; 1FA3
        jp WRITE_REGISTERP      ; 1FA6
        jp WRITE_VRAMP          ; 1FA9
        jp READ_VRAMP           ; 1FAC
        jp INIT_WRITERP         ; 1FAF
        jp SOUND_INITP          ; 1FB2
        jp PLAY_ITP             ; 1FB5
        jp INIT_TABLE           ; 1FB8
        jp GET_VRAM             ; 1FBB
        jp PUT_VRAM             ; 1FBE
        jp INIT_SPR_ORDER       ; 1FC1
        jp WR_SPR_NM_TBL        ; 1FC4
        jp INIT_TIMER           ; 1FC7
        jp FREE_SIGNAL          ; 1FCA
        jp REQUEST_SIGNAL       ; 1FCD
        jp TEST_SIGNAL          ; 1FD0
        jp TIME_MGR             ; 1FD3
        jp TURN_OFF_SOUND       ; 1FD6
        jp WRITE_REGISTER       ; 1FD9
        jp READ_REGISTER        ; 1FDC
        jp WRITE_VRAM           ; 1FDF
        jp READ_VRAM            ; 1FE2
        jp INIT_WRITER          ; 1FE5
        jp WRITER               ; 1FE8
        jp POLLER               ; 1FEB
        jp SOUND_INIT           ; 1FEE
        jp PLAY_IT              ; 1FF1
        jp SOUND_MAN            ; 1FF4
        jp ACTIVATE             ; 1FF7
        jp PUTOBJ               ; 1FFA
        jp RAND_GEN             ; 1FFD
        if $ - 2000h
        .error jump table
        endif
