; Activision cartridge that plays a script of EEPROM bus writes, so the
; fuzzer drives the two-wire bus directly. Each byte of the script (from
; the label script on, ended by 00h) names an address FF80h + (byte & 7Fh)
; to write to: 40h clock low, 50h clock high, 60h data low, 70h data high,
; 10h-30h a bank. The data output at FF80h is read after every write. The
; fuzz targets' seed maker appends the scripts to this code.
        org 8000h
        db 55h,0AAh             ; started at once, no title screen
        dw 0,0,0,0
        dw start
        ds 18,0C9h              ; RST 08h-30h
        reti                    ; 801Eh
        nop
        retn                    ; 8021h: NMI
start:
        di
        ld sp,7400h
        ld hl,script
        ld de,7000h             ; what the data output answered
play:
        ld a,(hl)
        or a
        jr z,done
        or 80h
        ld c,a
        ld b,0FFh
        ld (bc),a               ; the address is what counts
        ld a,(0FF80h)
        ld (de),a
        inc e
        inc hl
        jr play
done:
        jr done
script:
