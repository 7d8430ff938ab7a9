; Tervox demo cartridge, bank 2: the sound chip, the Super Game Module and
; the controllers.

        include "defs.inc"
        include "notes.inc"
        include "demo0.sym"

        org 0C000h
        jp snd_enter            ; page 5
        jp snd_frame
        jp sgm_enter            ; page 6
        jp sgm_frame
        jp ctl_enter            ; page 7
        jp ctl_frame

; Tiles shared by these pages: a bar block in four colours (codes 80h,
; 88h, 90h, 98h), an empty bar place (0Fh) and, at 01h-07h, pieces of
; drawn waves.
b2_tiles:
        ld hl,b2_block
        ld de,80h*8
        ld bc,8
        call vram_write
        ld hl,b2_block
        ld de,88h*8
        ld bc,8
        call vram_write
        ld hl,b2_block
        ld de,90h*8
        ld bc,8
        call vram_write
        ld hl,b2_block
        ld de,98h*8
        ld bc,8
        call vram_write
        ld hl,b2_empty
        ld de,0Fh*8
        ld bc,8
        call vram_write
        ld hl,b2_waves
        ld de,01h*8
        ld bc,7*8
        call vram_write
        ld hl,b2_colours
        ld de,2000h
        ld bc,2
        call vram_write
        ld hl,b2_colours+2
        ld de,2010h
        ld bc,4
        jp vram_write

b2_block:
        db 00h,7Eh,7Eh,7Eh,7Eh,7Eh,7Eh,00h
b2_empty:
        db 00h,00h,00h,18h,18h,00h,00h,00h
b2_waves:
        db 80h,40h,20h,10h,08h,04h,02h,01h     ; 01h falling
        db 01h,02h,04h,08h,10h,20h,40h,80h     ; 02h rising
        db 00h,00h,00h,00h,00h,00h,00h,0FFh    ; 03h low
        db 0FFh,00h,00h,00h,00h,00h,00h,00h    ; 04h high
        db 01h,01h,01h,01h,01h,01h,01h,01h     ; 05h edge
        db 81h,41h,21h,11h,09h,05h,03h,01h     ; 06h falling, then up
        db 01h,03h,05h,09h,11h,21h,41h,81h     ; 07h rising, then down
b2_colours:
        db 0B0h, 050h           ; waves yellow, empty places light blue
        db 090h, 030h, 070h, 0F0h ; bars: red, green, cyan, white

; D = row, E = column, A = length 0-16, C = block code: a bar of 16 places.
b2_bar:
        push af
        call CALC_OFFSET
        ld hl,1800h
        add hl,de
        call vdp_write_addr
        pop af
        ld b,16
        ld e,a
_place: ld a,e
        or a
        ld a,0Fh
        jr z,_empty
        dec e
        ld a,c
_empty: out (VDP_DATA),a
        djnz _place
        ret

; New presses of fire (bit 6) and arm (bit 5) on either controller, with
; the state kept at HL.
b2_buttons:
        ld a,(FIRE1)
        ld b,a
        ld a,(FIRE2)
        or b
        and 40h
        ld b,a
        ld a,(ARM1)
        ld c,a
        ld a,(ARM2)
        or c
        and 40h
        rrca
        or b
        ld c,a
        ld a,(hl)
        cpl
        and c
        ld (hl),c
        ret

        include "page_sound.inc"
        include "page_sgm.inc"
        include "page_ctrl.inc"

        if $ > 0FF80h
        .error bank 2 is full
        endif
        ds 0FF80h-$,0FFh
        db 00h                  ; with 01h at the same place of bank 3: the EEPROM cartridge
        ds 10000h-$,0FFh
