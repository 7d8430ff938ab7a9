; Boot block for the Adam boot tests: loads blocks 1 and 2 through the
; operating system's READ_BLOCK and shows their text with CONS_OUT, followed
; by the device number it was booted from.
READ_BLOCK      equ 0FCF3h
CONS_OUT        equ 0FC39h

        org 0C800h
        ld a,b
        ld (device),a
        ld hl,9000h
        ld bc,0
        ld de,1
        call READ_BLOCK
        jr nz,failed
        ld a,(device)
        ld hl,9400h
        ld bc,0
        ld de,2
        call READ_BLOCK
        jr nz,failed
        ld a,0Dh
        call CONS_OUT
        ld hl,9000h
        call show
        ld hl,9400h
        call show
        ld a,(device)
        add a,'0'
        call CONS_OUT
        jr done
failed:
        ld hl,failure
        call show
done:
        jr done

show:
        ld a,(hl)
        or a
        ret z
        call CONS_OUT
        inc hl
        jr show

failure:
        db "READ FAILED", 0
device:
        db 0
