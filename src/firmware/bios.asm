; Tervox console BIOS (first cut): starts a cartridge through 0x800A.
        org 0
        di
        ld sp,73B9h
        jp start
        org 08h
        jp 8008h+0       ; placeholder vectors into the cartridge jump slots
        org 10h
        jp 800Fh
        org 18h
        jp 8012h
        org 20h
        jp 8015h
        org 28h
        jp 8018h
        org 30h
        jp 801Bh
        org 38h
        jp 801Eh
        org 66h
        jp 8021h
        org 69h
        db 60
start:
        ld hl,(8000h)
        ld a,l
        cp 0AAh
        jr z,go
        cp 55h
        jr z,go
halt_loop:
        halt
        jr halt_loop
go:
        ld hl,(800Ah)
        jp (hl)
        org 196Ah
        db 0
        org 1FFFh
        db 0FFh
