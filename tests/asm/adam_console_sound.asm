; Boot block: fills the 32 x 24 name table with 'X', opens a full-screen
; console window with CONS_INIT(31, 23), then plays song 1 (a fixed note
; on tone channel 1, divider 254: 440 Hz) through the operating system's
; sound calls, SOUNDS run from the video interrupt. RESULTS + 0 becomes
; 0AAh once the window is open, RESULTS + 1 counts interrupts.
CONS_INIT       equ 0FC36h
WRITE_REGISTER  equ 0FD20h
READ_REGISTER   equ 0FD23h
FILL_VRAM       equ 0FD26h
SOUND_INIT      equ 0FD50h
PLAY_IT         equ 0FD56h
SOUNDS          equ 0FD59h

RESULTS         equ 0C000h
NMI_VECTOR      equ 0066h

        org 0C800h
        ld hl,1800h
        ld de,32 * 24
        ld a,'X'
        call FILL_VRAM
        ld b,31
        ld c,23
        ld de,0
        ld hl,1800h
        call CONS_INIT
        ld a,0AAh
        ld (RESULTS),a

        ld a,0C3h                   ; jp nmi at the interrupt vector
        ld (NMI_VECTOR),a
        ld hl,nmi
        ld (NMI_VECTOR + 1),hl
        ld b,1
        ld hl,song_table
        call SOUND_INIT
        ld b,1
        call PLAY_IT
        ld b,1
        ld c,0E0h                   ; display and frame interrupt on
        call WRITE_REGISTER
idle:
        jr idle

nmi:
        push af
        push bc
        push de
        push hl
        push ix
        push iy
        call READ_REGISTER
        call SOUNDS
        ld hl,RESULTS + 1
        inc (hl)
        pop iy
        pop ix
        pop hl
        pop de
        pop bc
        pop af
        retn

song_table:
        dw note_list, data_area
note_list:
        db 40h, 0FEh, 00h, 120      ; tone 1, divider 254, loudest, 120 frames
        db 10h                      ; end
data_area:
        ds 11
