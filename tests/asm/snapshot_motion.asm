; Snapshot test cartridge: a picture and sound that change every frame
; without any input. The main loop keeps the CPU registers busy with a
; 16-bit shift generator; the NMI handler changes video memory, the SN76489
; tone and the Super Game Module's AY-3-8910 tone from a frame counter.

frames  equ 7000h
pos     equ 7002h
seed    equ 7004h

        include "cartridge.inc"
        jp nmi                  ; 8021h: NMI

start:
        ld sp,7400h
        xor a
        ld (frames),a
        ld hl,0
        ld (pos),hl
        ld hl,0ACE1h
        ld (seed),hl
        ld hl,regs              ; Graphics I, 16 KB, display off for now
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
        ld hl,0000h             ; pattern 0 solid, pattern 1 stripes
        call set_write
        ld b,8
        ld a,0FFh
p0:     out (VDP_DATA),a
        djnz p0
        ld b,4
p1:     ld a,0AAh
        out (VDP_DATA),a
        ld a,55h
        out (VDP_DATA),a
        djnz p1
        ld hl,1800h             ; name table: checkerboard of 0 and 1
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
        ld hl,2000h             ; colours: white on dark red
        call set_write
        ld b,32
        ld a,0F6h
ct:     out (VDP_DATA),a
        djnz ct
        ld hl,1B00h             ; no sprites
        call set_write
        ld a,0D0h
        out (VDP_DATA),a
        ld hl,sn_init           ; SN76489: two tones and white noise
        ld b,sn_end - sn_init
        ld c,PSG_PORT
        otir
        ld a,7                  ; AY: tone A only, volume 12, period 0x180
        out (AY_ADDR),a
        ld a,3Eh
        out (AY_DATA),a
        ld a,8
        out (AY_ADDR),a
        ld a,0Ch
        out (AY_DATA),a
        ld a,1
        out (AY_ADDR),a
        out (AY_DATA),a
        ld a,0E0h               ; display and NMI on last
        out (VDP_CTRL),a
        ld a,81h
        out (VDP_CTRL),a
        in a,(VDP_CTRL)
loop:   ld hl,(seed)            ; busy registers between interrupts
        add hl,hl
        jr nc,no_tap
        ld a,l
        xor 2Dh
        ld l,a
no_tap: ld (seed),hl
        ex de,hl
        ld bc,(pos)
        add hl,bc
        jr loop

set_write:
        ld a,l
        out (VDP_CTRL),a
        ld a,h
        or 40h
        out (VDP_CTRL),a
        ret

nmi:    push af
        push bc
        push hl
        in a,(VDP_CTRL)
        ld a,(frames)
        inc a
        ld (frames),a
        ld hl,(pos)             ; one more name-table cell per frame
        inc hl
        ld (pos),hl
        ld bc,1800h
        add hl,bc
        call set_write
        ld a,(frames)
        rra
        and 1
        out (VDP_DATA),a
        ld a,(frames)           ; a colour group changes
        and 1Fh
        ld l,a
        ld h,20h
        call set_write
        ld a,(frames)
        out (VDP_DATA),a
        ld a,(frames)           ; SN tone 1 period low bits
        and 0Fh
        or 80h
        out (PSG_PORT),a
        xor a                   ; AY tone A period low byte
        out (AY_ADDR),a
        ld a,(frames)
        add a,a
        out (AY_DATA),a
        pop hl
        pop bc
        pop af
        retn

regs:   db 00h, 0A0h, 06h, 80h, 00h, 36h, 07h, 04h
sn_init:
        db 8Eh, 0Fh, 90h        ; tone 1: period 0x0FE, loudest
        db 0A5h, 0Ah, 0B2h      ; tone 2: period 0x0A5, attenuation 2
        db 0E5h, 0F4h           ; white noise, rate 1, attenuation 4
sn_end:
