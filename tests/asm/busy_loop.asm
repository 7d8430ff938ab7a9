; Busy cartridge for speed measurements: Graphics I with the display on,
; then a tight loop that rewrites register 7 (backdrop and text colour) and
; writes a byte through the data port on every pass, so every line drawn
; differs and the video chip's ports are hammered. No interrupts.

        include "cartridge.inc"
        retn                    ; 8021h: NMI (never enabled)
        nop
        nop

start:
        di
        ld sp,7400h
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
        ; name table 1800h: names 0-255 three times, so the patterns the
        ; loop writes show up on screen
        xor a
        out (VDP_CTRL),a
        ld a,58h
        out (VDP_CTRL),a
        ld de,768
        xor a
names:
        out (VDP_DATA),a
        inc a
        dec de
        ld c,a
        ld a,d
        or e
        ld a,c
        jr nz,names
        ld hl,0
        ld de,0137h
        ld b,0
loop:
        inc b
        ld a,b
        out (VDP_CTRL),a
        ld a,87h
        out (VDP_CTRL),a
        ld a,l
        out (VDP_DATA),a
        add hl,de
        ex de,hl
        jr loop

regs:   db 00h,0C0h,06h,80h,00h,36h,07h,0F4h
