; Boot block in the manner of the Adam's CP/M console: switches the
; word-processor ROM in, takes the font address from ROM address 0102h and
; copies 8 bytes for each of 256 characters into the pattern table (cleared
; first, so every glyph shown came from the ROM). It shows sample lines,
; then issues one keyboard read straight through the keyboard's DCB and
; waits for it, and shows the key and the completion code.
FIND_DCB        equ 0FC54h
WRITE_VRAM      equ 0FD1Ah
FILL_VRAM       equ 0FD26h

ADAM_MEM        equ 7Fh
ROM_FONT_PTR    equ 0102h
FONT_COPY       equ 9000h
NAMES           equ 1800h

        org 0C800h
        ld hl,0
        ld de,800h
        xor a
        call FILL_VRAM              ; no patterns at all
        ld hl,NAMES
        ld de,32 * 24
        ld a,20h
        call FILL_VRAM

        di
        xor a
        out (ADAM_MEM),a            ; word-processor ROM low, RAM high
        ld hl,(ROM_FONT_PTR)
        ld de,FONT_COPY
        ld bc,256 * 8
        ldir
        ld a,1
        out (ADAM_MEM),a            ; all RAM again
        ld hl,FONT_COPY
        ld de,0
        ld bc,256 * 8
        call WRITE_VRAM

        ld hl,lines
        ld de,NAMES + 32
show:
        ld a,(hl)
        or a
        jr z,shown
        ld c,a                      ; length, then the text
        ld b,0
        inc hl
        push de
        push bc
        call WRITE_VRAM
        pop bc
        add hl,bc
        pop de
        ex de,hl
        ld bc,64                    ; every other row
        add hl,bc
        ex de,hl
        jr show
shown:
        ld a,1
        call FIND_DCB
        ld hl,key
        ld (iy+1),l
        ld (iy+2),h
        ld (iy+3),1
        ld (iy+4),0
        ld (iy+0),4                 ; one read
wait:
        ld a,(iy+0)
        bit 7,a
        jr z,wait
        call hex
        ld (reply + 13),de
        ld a,(key)
        ld (reply + 5),a
        ld hl,reply
        ld de,NAMES + 32 * 20
        ld bc,reply_end - reply
        call WRITE_VRAM
done:
        jr done

; A -> DE = its two hex digits, high one in E.
hex:
        push af
        rrca
        rrca
        rrca
        rrca
        call digit
        ld e,a
        pop af
        call digit
        ld d,a
        ret
digit:
        and 0Fh
        add a,'0'
        cp '9' + 1
        ret c
        add a,7
        ret

key:    db 0
reply:  db "Key: ?  code ??"
reply_end:

lines:
        db 26, "ABCDEFGHIJKLMNOPQRSTUVWXYZ"
        db 26, "abcdefghijklmnopqrstuvwxyz"
        db 31, "0123456789 !\"#$%&'()*+,-./:;<=>"
        db 23, "?@[\\]^_`{|}~ A>B CP/M 2"
        db 12, 0C8h, 0E5h, 0ECh, 0ECh, 0EFh, 0A0h, 0D7h, 0EFh, 0F2h, 0ECh, 0E4h, 0A1h
        db 0
