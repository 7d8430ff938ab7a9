; Program file loaded by adam_file_boot: its message lies past the first
; 1 KB block, so it shows only when the whole file was read.
CONS_OUT        equ 0FC39h

        org 1000h
        ld hl,message
show:
        ld a,(hl)
        or a
        jr z,$
        call CONS_OUT
        inc hl
        jr show

        ds 1500
message:        db 13, "Loaded PROGRAM by name", 0
