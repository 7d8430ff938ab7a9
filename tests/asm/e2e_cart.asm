; End-to-end test cartridge: needs no BIOS routine. Graphics I with a
; checkerboard of two colours, a dark-blue backdrop (the window border),
; a steady tone on channel 0, and an NMI handler that reads the status.

        include "cartridge.inc"
        jp nmi                  ; 8021h: NMI
        db "TEST/E2E/2026"

start:
        ld sp,7400h
        ; registers 0-7: Graphics I, 16 KB, display on with NMI
        ld hl,regs
        ld b,8
        ld c,80h
reg_loop:
        ld a,(hl)
        out (VDP_CTRL),a
        ld a,c
        out (VDP_CTRL),a
        inc hl
        inc c
        djnz reg_loop
        ; pattern table 0x0000: pattern 0 solid, pattern 1 empty
        ld hl,0000h
        call set_write
        ld b,8
        ld a,0FFh
p0:     out (VDP_DATA),a
        djnz p0
        ld b,8
        xor a
p1:     out (VDP_DATA),a
        djnz p1
        ; name table 0x1800: alternate 0 and 1 in a checkerboard
        ld hl,1800h
        call set_write
        ld d,24
row:    ld e,32
        ld a,d
        and 1
col:    out (VDP_DATA),a
        xor 1
        dec e
        jr nz,col
        dec d
        jr nz,row
        ; colour table 0x2000: white on dark red for every group
        ld hl,2000h
        call set_write
        ld b,32
        ld a,0F6h
ct:     out (VDP_DATA),a
        djnz ct
        ; sprites off
        ld hl,1B00h
        call set_write
        ld a,0D0h
        out (VDP_DATA),a
        ; tone on channel 0: period 0x0FE, volume 0
        ld a,8Eh
        out (PSG_PORT),a
        ld a,0Fh
        out (PSG_PORT),a
        ld a,90h
        out (PSG_PORT),a
        ld a,0E0h
        out (VDP_CTRL),a        ; display and NMI on last
        ld a,81h
        out (VDP_CTRL),a
        in a,(VDP_CTRL)
idle:   jr idle

set_write:
        ld a,l
        out (VDP_CTRL),a
        ld a,h
        or 40h
        out (VDP_CTRL),a
        ret

nmi:    push af
        in a,(VDP_CTRL)
        ld a,(frames)
        inc a
        ld (frames),a
        pop af
        retn

regs:   db 00h, 0A0h, 06h, 80h, 00h, 36h, 07h, 04h

frames  equ 7000h
