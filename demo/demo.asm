; Tervox demo cartridge, bank 0 (fixed at 8000h-BFFFh).
;
; A 64 KB cartridge with an EEPROM: bank 0 holds the start-up, the NMI, the
; page switcher and the routines every page shares; banks 1-3 (switched in
; at C000h) hold the pages. Everything on screen and in the speaker goes
; through the BIOS the way cartridges of the console use it: its title
; screen, its sound system (PLAY_SONGS, SOUND_MAN), POLLER for the
; controllers and its VDP helpers.
;
; Pages: 0 title, 1 sprites, 2 bitmap, 3 multicolour, 4 text, 5 sound,
; 6 Super Game Module, 7 controllers, 8 game. Keypad 0-8 picks a page,
; # and * step, and on most pages the joystick steps left and right.

        include "defs.inc"
        include "notes.inc"

; Every symbol the upper banks call is public (see demo/CMakeLists.txt).
        PUBLIC wait_frame, vdp_write_addr, vdp_read_addr, vram_write, vram_fill
        PUBLIC print_at, print_block, print_num, num_str, hex_str, g1_setup
        PUBLIC set_sprite, hide_sprites, load_sprites, rand, sine, footer
        PUBLIC ay_write, ay_start, ay_mute, ay_set_shape, note_periods, period_of
        PUBLIC song_table, hs_load, hs_save, goto_page
        PUBLIC S_BURST, S_LASER, S_CATCH, S_MISS, S_OVER, S_START, S_BOUNCE

        org 8000h
        db 0AAh,55h             ; show the BIOS title screen, then START_GAME
        dw LOCAL_SPR            ; the BIOS's local sprite table
        dw SPR_ORDER            ; its sprite order list
        dw WORK_BUF             ; its work buffer
        dw CTRL_MAP             ; POLLER's controller map
        dw start
        ds 18,0C9h              ; RST 08h-30h: unused
        jp irq                  ; the roller's interrupt
        jp nmi                  ; vertical blank
        db "DEMO CARTRIDGE/TERVOX PRESENTS/2026"

; ======================================================================
; Start-up
; ======================================================================
start:
        ld sp,STACK_TOP
        im 1
        call sgm_init
        xor a
        ld (nmi_flags),a
        ld (status_acc),a
        ld (page),a
        ld (hold_count),a
        ld hl,0
        ld (frames),hl
        ld hl,CTRL_MAP          ; both players, every input
        ld (hl),9Fh
        inc hl
        ld (hl),9Fh
        ld a,0Fh
        ld (KEY1),a
        ld (KEY2),a
        ld (last_key),a
        ld (last_key+1),a
        xor a
        ld (last_joy),a
        ld (last_joy+1),a
        ld b,SONG_AREAS
        ld hl,song_table
        call SOUND_INIT
        call ay_init
        call hs_load
        call hide_sprites
        ei                      ; only the roller interrupts
        xor a
        call goto_page
main_loop:
        call wait_frame
        ld a,(nav_flags)
        and NAV_SPRITES
        ld a,32
        call nz,WR_SPR_NM_TBL   ; the local table, in SPRITE_ORDER order
        ld hl,(frame_vec)
        call call_hl
        call navigate
        jr main_loop

call_hl:
        jp (hl)

; The Super Game Module's 24 KB (2000h-7FFFh) replace the console's 1 KB,
; so the 1 KB (BIOS variables and stack included) is carried over through
; video memory. Nothing may touch the stack between the switch and the end
; of the copy back. Without the module the port does nothing and the copy
; puts back what was there.
sgm_init:
        ld hl,3C00h
        call vdp_write_addr
        ld hl,7000h
        ld c,VDP_DATA
        ld d,4
_save:  ld b,0
        otir
        dec d
        jr nz,_save
        ld a,1
        out (SGM_RAM),a
        xor a
        out (VDP_CTRL),a
        ld a,3Ch
        out (VDP_CTRL),a
        ld hl,7000h
        ld d,4
_back:  ld b,0
        inir
        dec d
        jr nz,_back
        ld hl,2000h             ; does the upper RAM answer?
        ld (hl),5Ah
        ld a,(hl)
        cp 5Ah
        ld a,0
        jr nz,_none
        inc a
_none:  ld (sgm_ram),a
        ret

; ======================================================================
; Interrupts
; ======================================================================
nmi:
        push af
        push bc
        push de
        push hl
        push ix
        push iy
        call READ_REGISTER      ; also clears the interrupt
        ld (last_status),a
        ld (VDP_STATUS_BYTE),a
        and 60h                 ; fifth sprite, coincidence
        ld hl,status_acc
        or (hl)
        ld (hl),a
        call PLAY_SONGS
        call SOUND_MAN
        ld a,(nmi_flags)
        and 2
        call nz,ay_tick
        call POLLER
        ld hl,(frames)
        inc hl
        ld (frames),hl
        pop iy
        pop ix
        pop hl
        pop de
        pop bc
        pop af
        retn

irq:
        push af
        push hl
        call UPDATE_SPINNER     ; counts the roller's step
        pop hl
        pop af
        ei
        reti

; Waits for the next NMI (at once if the NMI is off).
wait_frame:
        ld a,(VDP_MODE_WORD+1)
        and 20h
        ret z
        ld hl,frames
        ld a,(hl)
_wait:  cp (hl)
        jr z,_wait
        ret

; ======================================================================
; Pages
; ======================================================================
; bank, navigation flags, enter routine, frame routine. The upper banks
; start with a jump table: C000h enter and C003h frame of their first
; page, C006h and C009h of the second, and so on.
page_dir:
        db 0, NAV_JOY OR NAV_SPRITES
        dw title_enter, title_frame
        db 1, NAV_JOY OR NAV_SPRITES            ; sprites
        dw 0C000h, 0C003h
        db 1, NAV_JOY OR NAV_SPRITES            ; graphics II
        dw 0C006h, 0C009h
        db 1, NAV_JOY OR NAV_SPRITES            ; multicolour
        dw 0C00Ch, 0C00Fh
        db 1, NAV_JOY                           ; text
        dw 0C012h, 0C015h
        db 2, NAV_JOY OR NAV_SPRITES            ; sound
        dw 0C000h, 0C003h
        db 2, NAV_JOY OR NAV_SPRITES            ; Super Game Module
        dw 0C006h, 0C009h
        db 2, NAV_HOLD OR NAV_SPRITES           ; controllers
        dw 0C00Ch, 0C00Fh
        db 3, NAV_SPRITES                       ; game
        dw 0C000h, 0C003h

; A = page. The screen goes dark while the page draws itself.
goto_page:
        ld (page),a
        call wait_frame         ; so that no NMI splits the register write
        ld a,(VDP_MODE_WORD+1)
        and 9Fh                 ; display and NMI off
        ld c,a
        ld b,1
        call WRITE_REGISTER
        xor a
        ld (nmi_flags),a
        call silence
        call hide_sprites
        ld a,(page)
        ld l,a
        ld h,0
        add hl,hl
        ld e,l
        ld d,h
        add hl,hl
        add hl,de               ; 6 bytes an entry
        ld de,page_dir
        add hl,de
        ld a,(hl)
        or a
        call nz,select_bank
        inc hl
        ld a,(hl)
        ld (nav_flags),a
        inc hl
        ld e,(hl)
        inc hl
        ld d,(hl)
        inc hl
        ld c,(hl)
        inc hl
        ld b,(hl)
        ld (frame_vec),bc
        ex de,hl
        call call_hl            ; the page sets up video memory and page_r1
        xor a
        ld (hold_count),a
        ld (status_acc),a
        call READ_REGISTER      ; no stale frame flag: the NMI starts clean
        ld a,(page_r1)
        or 0E0h                 ; 16 KB, display, NMI
        ld c,a
        ld b,1
        jp WRITE_REGISTER

; A = bank 1-3 at C000h: a write to FF90h, FFA0h or FFB0h.
select_bank:
        push hl
        add a,a
        add a,a
        add a,a
        add a,a
        add a,80h
        ld l,a
        ld h,0FFh
        ld (hl),a
        pop hl
        ret

silence:
        ld b,SONG_AREAS
        ld hl,song_table
        call SOUND_INIT         ; every area idle, the chip silent
        jp ay_mute

; Keypad: 0-8 a page, * back, # on (on a NAV_HOLD page only * and # held
; for 40 frames). Joystick left and right step where the page allows it.
navigate:
        ld a,0FFh
        ld (nav_act),a
        ld a,(KEY1)
        ld c,0
        call key_nav
        ld a,(KEY2)
        ld c,1
        call key_nav
        ld a,(JOY1)
        ld c,0
        call joy_nav
        ld a,(JOY2)
        ld c,1
        call joy_nav
        ld a,(nav_act)
        cp 0FFh
        ret z
        cp 80h
        jr z,prev_page
        cp 81h
        jr z,next_page
        jp goto_page
prev_page:
        ld a,(page)
        or a
        jr nz,_dec
        ld a,NPAGES
_dec:   dec a
        jp goto_page
next_page:
        ld a,(page)
        inc a
        cp NPAGES
        jr c,_go
        xor a
_go:    jp goto_page

; A = key (0Fh none), C = controller.
key_nav:
        ld hl,last_key
        ld b,0
        add hl,bc
        ld b,(hl)
        ld (hl),a
        ld e,a
        ld a,(nav_flags)
        and NAV_HOLD
        jr nz,kn_hold
        ld a,e
        cp b
        ret z                   ; only a new key counts
        cp NPAGES
        jr c,set_act
        cp 0Ah
        ld a,80h
        jr z,set_act
        ld a,e
        cp 0Bh
        ret nz
        ld a,81h
set_act:
        ld (nav_act),a
        ret
kn_hold:  ld a,e
        cp b
        jr z,kn_same
        xor a
        ld (hold_count),a
        ret
kn_same:  cp 0Ah
        jr z,kn_count
        cp 0Bh
        ret nz
kn_count: ld hl,hold_count
        inc (hl)
        ld a,(hl)
        cp 40
        ret nz
        ld a,e
        cp 0Ah
        ld a,80h
        jr z,set_act
        inc a
        jr set_act

; A = joystick directions, C = controller.
joy_nav:
        ld hl,last_joy
        ld b,0
        add hl,bc
        ld b,(hl)
        ld (hl),a
        ld e,a
        ld a,(nav_flags)
        and NAV_JOY
        ret z
        ld a,b
        cpl
        and e                   ; pressed now, not last frame
        bit 1,a
        ld e,81h
        jr nz,_set
        bit 3,a
        ret z
        ld e,80h
_set:   ld a,e
        jr set_act

; ======================================================================
; Video helpers
; ======================================================================
; HL = VRAM address for writing / reading.
vdp_write_addr:
        ld a,l
        out (VDP_CTRL),a
        ld a,h
        or 40h
        out (VDP_CTRL),a
        ret
vdp_read_addr:
        ld a,l
        out (VDP_CTRL),a
        ld a,h
        and 3Fh
        out (VDP_CTRL),a
        ret

; HL = source, DE = VRAM address, BC = count (exact, unlike WRITE_VRAM's
; count rule).
vram_write:
        ex de,hl
        call vdp_write_addr
        ex de,hl
_loop:  ld a,(hl)
        out (VDP_DATA),a
        inc hl
        dec bc
        ld a,b
        or c
        jr nz,_loop
        ret

; HL = VRAM address, DE = count, A = value.
vram_fill:
        jp FILL_VRAM

; D = row, E = column, HL = text ended by 0, C = added to every code.
; HL is left on the 0.
print_at:
        push hl
        call CALC_OFFSET        ; DE = row * 32 + column
        ld hl,(VRAM_ADDR_TABLE+4)
        add hl,de
        call vdp_write_addr
        pop hl
_loop:  ld a,(hl)
        or a
        ret z
        add a,c
        out (VDP_DATA),a
        inc hl
        jr _loop

; HL = {row (+HI for the highlight colour), column, text, 0}..., 0FFh.
print_block:
        ld a,(hl)
        cp 0FFh
        ret z
        ld c,0
        bit 7,a
        jr z,_plain
        ld c,80h
        and 7Fh
_plain: ld d,a
        inc hl
        ld e,(hl)
        inc hl
        call print_at
        inc hl
        jr print_block

; HL = number, D = row, E = column, C = colour offset: five places.
print_num:
        push bc
        push de
        call num_str
        pop de
        pop bc
        jp print_at

; HL = number -> numbuf, five characters with blanks in front; HL = numbuf.
num_str:
        ld de,numbuf
        ld bc,-10000
        call _digit
        ld bc,-1000
        call _digit
        ld bc,-100
        call _digit
        ld bc,-10
        call _digit
        ld a,l
        add a,'0'
        ld (de),a
        inc de
        xor a
        ld (de),a
        ld hl,numbuf
        ld b,4
_blank: ld a,(hl)
        cp '0'
        jr nz,_done
        ld (hl),' '
        inc hl
        djnz _blank
_done:  ld hl,numbuf
        ret
_digit: ld a,'0'-1
_count: inc a
        add hl,bc
        jr c,_count
        sbc hl,bc
        ld (de),a
        inc de
        ret

; A -> two hex digits at numbuf; HL = numbuf.
hex_str:
        ld hl,numbuf
        push af
        rrca
        rrca
        rrca
        rrca
        call _nib
        pop af
        call _nib
        ld (hl),0
        ld hl,numbuf
        ret
_nib:   and 0Fh
        add a,'0'
        cp '9'+1
        jr c,_put
        add a,7
_put:   ld (hl),a
        inc hl
        ret

; Graphics I for a text page, A = backdrop colour. Codes 20h-7Ch are the
; BIOS font in white, A0h-FCh the same font in yellow; 00h-1Fh and
; 80h-9Fh are left to the page. Display off, sprites ended.
g1_setup:
        push af
        ld hl,0
        ld de,4000h
        xor a
        call FILL_VRAM
        call MODE_1
        call LOAD_ASCII
        ld hl,0400h             ; the font again, 80h codes further on
        ld (VRAM_ADDR_TABLE+6),hl
        call LOAD_ASCII
        ld hl,0
        ld (VRAM_ADDR_TABLE+6),hl
        ld hl,2000h
        ld de,32
        ld a,0F0h
        call FILL_VRAM
        ld hl,2014h
        ld de,12
        ld a,0B0h
        call FILL_VRAM
        ld hl,1B00h
        call vdp_write_addr
        ld a,0D0h               ; no sprites
        out (VDP_DATA),a
        pop af
        ld c,a
        ld b,7
        call WRITE_REGISTER
        xor a
        ld (page_r1),a
        ret

; The footer every page ends with, HL = its text (row 23).
footer:
        ld de,23*256+0
        ld c,0
        jp print_at

; Every sprite picture to the sprite pattern table at 3800h.
load_sprites:
        ld hl,spr_ball16
        ld de,3800h
        ld bc,spr_end-spr_ball16
        jp vram_write

; A = sprite, D = Y, E = X, B = pattern, C = colour: into the local table.
set_sprite:
        push hl
        ld l,a
        ld h,0
        add hl,hl
        add hl,hl
        push de
        ld de,LOCAL_SPR
        add hl,de
        pop de
        ld (hl),d
        inc hl
        ld (hl),e
        inc hl
        ld (hl),b
        inc hl
        ld (hl),c
        pop hl
        ret

hide_sprites:
        ld hl,LOCAL_SPR
        ld b,32
_loop:  ld (hl),HIDDEN_Y
        inc hl
        ld (hl),0
        inc hl
        ld (hl),0
        inc hl
        ld (hl),0
        inc hl
        djnz _loop
        ld a,32
        jp INIT_SPR_ORDER

; A = a random byte: eight steps of the BIOS's one-bit generator.
rand:
        push hl
        push bc
        ld b,8
_step:  call RAND_GEN
        djnz _step
        pop bc
        pop hl
        ret

; ======================================================================
; Title page
; ======================================================================
title_enter:
        ld a,1
        call g1_setup
        call load_sprites
        call big_tiles
        ld hl,title_colours
        ld de,2000h
        ld bc,4
        call vram_write
        ld hl,title_colours+4
        ld de,2010h
        ld bc,4
        call vram_write
        ld hl,title_word
        ld de,1*256+7
        call big_text
        ld hl,title_text
        call print_block
        ld a,2                  ; 16x16 sprites
        ld (page_r1),a
        ld b,1
        call PLAY_IT
        ld b,2
        call PLAY_IT
        ld b,3
        call PLAY_IT
        ld b,4
        jp PLAY_IT

title_colours:
        db 0B0h,0B0h,0A0h,0A0h  ; rows 0-1 of the big letters: yellow
        db 090h,090h,080h,080h  ; rows 2-3: red
title_word:
        db "TERVOX",0
title_text:
        db HI+6,9,"DEMO CARTRIDGE",0
        db HI+12,2,"1",0, 12,4,"Sprites",0
        db HI+12,17,"5",0, 12,19,"Sound chip",0
        db HI+13,2,"2",0, 13,4,"Bitmap",0
        db HI+13,17,"6",0, 13,19,"Super module",0
        db HI+14,2,"3",0, 14,4,"Multicolour",0
        db HI+14,17,"7",0, 14,19,"Controllers",0
        db HI+15,2,"4",0, 15,4,"Text mode",0
        db HI+15,17,"8",0, 15,19,"Game",0
        db 17,1,"Arrows or keys 0-8 pick a page;",0
        db 18,1,"Space fires, P is # and O is *.",0
        db HI+20,0,"To play a cartridge of your own,",0
        db HI+21,1,"drop it on the window, or give",0
        db HI+22,1,"its path: tervox GAME.rom",0
        db 0FFh

; Four balls riding a wave across the middle of the screen (four, so that
; no line ever has a fifth sprite to drop).
title_frame:
        ld b,0
_ball:  push bc
        ld a,(frames)
        add a,a
        ld c,a
        ld a,b
        rrca
        rrca                    ; 64 pixels apart
        add a,c
        ld e,a                  ; X
        ld a,(frames)
        add a,a
        add a,a
        add a,e
        ld l,a
        ld h,0
        ld bc,sine
        add hl,bc
        ld a,(hl)
        sra a
        sra a
        sra a
        sra a
        add a,68
        ld d,a                  ; Y
        pop bc
        push bc
        ld a,b
        ld hl,ball_colours
        ld c,b
        ld b,0
        add hl,bc
        ld c,(hl)
        ld b,P_BALL
        call set_sprite
        pop bc
        inc b
        ld a,b
        cp 4
        jr nz,_ball
        ret

ball_colours:
        db 9, 11, 3, 7

; Big letters: each character cell shows 2x2 pixels of a BIOS glyph as 4x4
; dots, so a glyph becomes 3 cells by 4. The 16 dot tiles exist four
; times, one set per row of a letter (codes 00h, 10h, 80h, 90h), so that
; each row can have its own colour.
big_tiles:
        ld hl,scratch
        ld c,0
_tile:  ld a,c
        rrca
        rrca
        call _half
        ld a,c
        call _half
        inc c
        ld a,c
        cp 16
        jr nz,_tile
        ld hl,big_set_addr
        ld b,4
_set:   ld e,(hl)
        inc hl
        ld d,(hl)
        inc hl
        push bc
        push hl
        ld hl,scratch
        ld bc,128
        call vram_write
        pop hl
        pop bc
        djnz _set
        ret
; bit 1 of A = left dot, bit 0 = right dot: three rows of dots, one blank
_half:  ld b,0
        bit 1,a
        jr z,_nol
        ld b,0E0h
_nol:   bit 0,a
        jr z,_nor
        ld e,a
        ld a,b
        or 0Eh
        ld b,a
        ld a,e
_nor:   ld (hl),b
        inc hl
        ld (hl),b
        inc hl
        ld (hl),b
        inc hl
        ld (hl),0
        inc hl
        ret
big_set_addr:                           ; patterns of codes 00h, 10h, 80h, 90h
        dw 0000h, 0080h, 0400h, 0480h

; HL = text, D = top row, E = column: the text in big letters.
big_text:
        ld (scratch+80h),hl
        ld (scratch+82h),de
        xor a
        ld (scratch+84h),a
_row:   ld de,(scratch+82h)
        ld a,(scratch+84h)
        add a,d
        ld d,a
        call CALC_OFFSET
        ld hl,1800h
        add hl,de
        call vdp_write_addr
        ld a,(scratch+84h)
        ld e,a
        ld d,0
        ld hl,big_bases
        add hl,de
        ld a,(hl)
        ld (scratch+85h),a
        ld hl,(scratch+80h)
_char:  ld a,(hl)
        or a
        jr z,_next
        push hl
        ld l,a
        ld h,0
        add hl,hl
        add hl,hl
        add hl,hl
        ld de,FONT_BASE
        add hl,de
        ld a,(scratch+84h)
        add a,a
        ld e,a
        ld d,0
        add hl,de
        ld d,(hl)               ; upper glyph row of the pair
        inc hl
        ld e,(hl)               ; lower one
        ld b,3
_cell:  xor a
        rl d
        rla
        rl d
        rla
        rl e
        rla
        rl e
        rla                     ; upper left, upper right, lower left, lower right
        ld c,a
        ld a,(scratch+85h)
        add a,c
        out (VDP_DATA),a
        djnz _cell
        pop hl
        inc hl
        jr _char
_next:  ld hl,scratch+84h
        inc (hl)
        ld a,(hl)
        cp 4
        jr nz,_row
        ret
big_bases:
        db 00h, 10h, 80h, 90h

; ======================================================================
; The Super Game Module's sound chip: a three-channel player run by the
; NMI. A song is three streams of {note, frames} (note 0 rests, 0FFh
; loops): channel A plays its notes through the chip's envelope, channel
; B fades in software, channel C plays noise drums (1 kick, 2 snare,
; 3 hat).
; ======================================================================
ay_init:
        xor a
        out (AY_ADDR),a
        ld a,5Ah
        out (AY_DATA),a
        in a,(AY_READ)
        sub 5Ah
        ld a,0
        jr nz,_none
        inc a
_none:  ld (ay_present),a
        xor a
        ld (ay_shape),a
        jp ay_mute

; A = register, C = value. The copy in ay_regs is for the page's display.
ay_write:
        out (AY_ADDR),a
        push hl
        ld hl,ay_regs
        add a,l
        ld l,a
        ld (hl),c
        pop hl
        ld a,c
        out (AY_DATA),a
        ret

ay_mute:
        ld hl,nmi_flags
        res 1,(hl)
        ld c,0
        ld a,8
        call ay_write
        ld a,9
        call ay_write
        ld a,10
        call ay_write
        ld c,0BFh               ; every tone and noise off
        ld a,7
        jp ay_write

; A = envelope shape for channel A. The repeating shapes get a short
; period (a tremolo), the single ones a long fade.
ay_set_shape:
        ld (ay_shape),a
        cp 8
        ld hl,3000
        jr c,_long
        ld hl,380
_long:  ld c,l
        ld a,11
        call ay_write
        ld c,h
        ld a,12
        jp ay_write

; HL = song (three stream pointers).
ay_start:
        ld (ay_song),hl
        ld ix,ay_chan
        ld b,0
_chan:  ld e,(hl)
        inc hl
        ld d,(hl)
        inc hl
        ld (ix+0),e
        ld (ix+1),d
        ld (ix+2),1
        ld (ix+3),0
        ld (ix+6),b
        ld de,AYCH
        add ix,de
        inc b
        ld a,b
        cp 3
        jr nz,_chan
        ld a,(ay_shape)
        call ay_set_shape
        ld c,9Ch                ; tones A and B, noise on C
        ld a,7
        call ay_write
        ld hl,nmi_flags
        set 1,(hl)
        ret

ay_tick:
        ld hl,ay_beat
        inc (hl)
        ld ix,ay_chan
        ld b,3
_chan:  push bc
        dec (ix+2)
        jr nz,_hold
        ld l,(ix+0)
        ld h,(ix+1)
        ld a,(hl)
        cp 0FFh
        jr nz,_event
        ld a,(ix+6)             ; loop: back to the stream's start
        add a,a
        ld e,a
        ld d,0
        ld hl,(ay_song)
        add hl,de
        ld a,(hl)
        inc hl
        ld h,(hl)
        ld l,a
        ld a,(hl)
_event: inc hl
        ld b,(hl)
        inc hl
        ld (ix+0),l
        ld (ix+1),h
        ld (ix+2),b
        ld (ix+5),a
        call ay_note_on
        jr _next
_hold:  call ay_decay
_next:  ld de,AYCH
        add ix,de
        pop bc
        djnz _chan
        ret

; A = note, IX = channel.
ay_note_on:
        ld b,a
        ld a,(ix+6)
        or a
        jr z,_lead
        dec a
        jr z,_bass
        ld a,b                  ; drums on C
        or a
        jr z,_cquiet
        dec a
        ld l,a
        add a,a
        add a,l
        ld e,a
        ld d,0
        ld hl,drum_table
        add hl,de
        ld c,(hl)
        ld a,6
        call ay_write           ; noise period
        inc hl
        ld a,(hl)
        ld (ix+3),a
        inc hl
        ld a,(hl)
        ld (ix+4),a
        ld c,(ix+3)
        ld a,10
        jp ay_write
_cquiet:
        ld (ix+3),0
        ld c,0
        ld a,10
        jp ay_write
_lead:  ld a,b
        or a
        jr z,_aoff
        call period_of
        ld c,e
        xor a
        call ay_write
        ld c,d
        ld a,1
        call ay_write
        ld c,10h                ; volume from the envelope
        ld a,8
        call ay_write
        ld a,(ay_shape)
        ld c,a
        ld a,13
        jp ay_write             ; writing the shape restarts the envelope
_aoff:  ld c,0
        ld a,8
        jp ay_write
_bass:  ld a,b
        or a
        jr z,_boff
        call period_of
        ld c,e
        ld a,2
        call ay_write
        ld c,d
        ld a,3
        call ay_write
        ld (ix+3),13
        ld c,13
        ld a,9
        jp ay_write
_boff:  ld (ix+3),0
        ld c,0
        ld a,9
        jp ay_write

; one frame of fading, IX = channel
ay_decay:
        ld a,(ix+6)
        or a
        ret z                   ; channel A fades by the chip's envelope
        dec a
        jr z,_bass
        ld a,(ix+3)
        sub (ix+4)
        jr nc,_keep
        xor a
_keep:  ld (ix+3),a
        ld c,a
        ld a,10
        jp ay_write
_bass:  ld a,(ay_beat)
        and 3
        ret nz
        ld a,(ix+3)
        cp 7
        ret c
        dec a
        ld (ix+3),a
        ld c,a
        ld a,9
        jp ay_write

; noise period, starting volume, fade a frame
drum_table:
        db 28, 15, 2            ; kick
        db 9, 14, 1             ; snare
        db 1, 10, 3             ; hat

; A = note index -> DE = period.
period_of:
        ld l,a
        ld h,0
        add hl,hl
        ld de,note_periods
        add hl,de
        ld e,(hl)
        inc hl
        ld d,(hl)
        ret

; ======================================================================
; EEPROM (24C256 on the two-wire bus): byte/page write ended by a stop
; and acknowledge polling; reading sets the address with a dummy write,
; then reads sequentially from it.
; ======================================================================
i2c_start:
        SDA1
        SCL1
        SDA0
        SCL0
        ret

i2c_stop:
        SCL0
        SDA0
        SCL1
        SDA1
        ret

; A = byte out, most significant bit first. Carry set = not acknowledged.
i2c_tx:
        ld c,a
        ld b,8
_bit:   rl c
        jr c,_one
        SDA0
        jr _clock
_one:   SDA1
_clock: SCL1
        SCL0
        djnz _bit
        SDA1                    ; let the chip drive the acknowledge
        SCL1
        ld a,(EE_DATA_IN)
        SCL0
        rra
        ret

; Carry set = last byte (answered with no acknowledge). A = byte in.
i2c_rx:
        ld e,0
        jr nc,_more
        inc e
_more:  SDA1
        ld b,8
        ld c,0
_bit:   SCL1
        ld a,(EE_DATA_IN)
        rra
        rl c
        SCL0
        djnz _bit
        ld a,e
        or a
        jr nz,_nack
        SDA0
        jr _clock
_nack:  SDA1
_clock: SCL1
        SCL0
        SDA1
        ld a,c
        ret

; HL = bytes, DE = EEPROM address, B = count (within one 64-byte page).
ee_write:
        push bc
        call i2c_start
        ld a,0A0h
        call i2c_tx
        ld a,d
        call i2c_tx
        ld a,e
        call i2c_tx
        pop bc
_byte:  push bc
        ld a,(hl)
        call i2c_tx
        pop bc
        inc hl
        djnz _byte
        call i2c_stop
        ld b,200                ; the chip acknowledges once it has written
_poll:  push bc
        call i2c_start
        ld a,0A0h
        call i2c_tx
        push af
        call i2c_stop
        pop af
        pop bc
        ret nc
        djnz _poll
        ret

; HL = destination, DE = EEPROM address, B = count.
ee_read:
        push bc
        call i2c_start
        ld a,0A0h
        call i2c_tx
        ld a,d
        call i2c_tx
        ld a,e
        call i2c_tx
        call i2c_stop
        call i2c_start
        ld a,0A1h
        call i2c_tx
        pop bc
_byte:  push bc
        ld a,1
        cp b
        ccf                     ; carry on the last byte
        call i2c_rx
        ld (hl),a
        inc hl
        pop bc
        djnz _byte
        jp i2c_stop

; The high-score table: "TVX1", five entries of three letters and a score
; word, and a byte that makes the sum of all 30 bytes zero.
EE_BYTES        equ 4+HS_SIZE+1

hs_load:
        ld hl,ee_buf
        ld de,0
        ld b,EE_BYTES
        call ee_read
        ld hl,ee_buf
        ld de,hs_magic
        ld b,4
_magic: ld a,(de)
        cp (hl)
        jr nz,_default
        inc hl
        inc de
        djnz _magic
        call ee_sum
        jr nz,_default
        ld hl,ee_buf+4
        jr _copy
_default:
        ld hl,hs_defaults
_copy:  ld de,hiscores
        ld bc,HS_SIZE
        ldir
        ret

hs_save:
        ld hl,hs_magic
        ld de,ee_buf
        ld bc,4
        ldir
        ld hl,hiscores
        ld bc,HS_SIZE
        ldir
        xor a
        ld (de),a
        call ee_sum
        neg
        ld (ee_buf+EE_BYTES-1),a
        ld hl,ee_buf
        ld de,0
        ld b,EE_BYTES
        jp ee_write

; A = sum of the 30 bytes of ee_buf (Z when it is 0).
ee_sum:
        ld hl,ee_buf
        ld b,EE_BYTES
        xor a
_add:   add a,(hl)
        inc hl
        djnz _add
        or a
        ret

hs_magic:
        db "TVX1"
hs_defaults:
        db "ADA"
        dw 300
        db "BOB"
        dw 200
        db "CPU"
        dw 150
        db "VDP"
        dw 100
        db "PSG"
        dw 50

        include "music.inc"
        ds (100h-($ AND 0FFh)) AND 0FFh,0FFh   ; sine on a page boundary: H is fixed
        include "tables.inc"
        include "sprites.inc"
spr_end:

        if $ > 0C000h
        .error bank 0 is full
        endif
        ds 0C000h-$,0FFh
