; Boot block that calls the operating system's services and leaves what
; they answered at RESULTS for the test to check.
FIND_DCB        equ 0FC54h
REQUEST_STATUS  equ 0FC7Eh
RD_DEV_DEP_STAT equ 0FCE4h
READ_BLOCK      equ 0FCF3h
WRITE_BLOCK     equ 0FCF6h
START_RD_1_BLOCK equ 0FCA2h
END_RD_1_BLOCK  equ 0FC45h
RD_KBD          equ 0FC6Ch
PR_CH           equ 0FC66h
RELOC_PCB       equ 0FC7Bh
WRITE_VRAM      equ 0FD1Ah
READ_VRAM       equ 0FD1Dh
FILL_VRAM       equ 0FD26h
WRITE_REGISTER  equ 0FD20h
READ_REGISTER   equ 0FD23h
PUT_VRAM        equ 0FD2Ch
GET_VRAM        equ 0FD2Fh
DECLSN          equ 0FD44h
ADD816          equ 0FD4Dh

RESULTS         equ 0C000h
SOURCE          equ 9000h
TARGET          equ 9400h
VRAM_COPY       equ 9800h

        org 0C800h
        ld a,b
        ld (device),a

        ld a,3                      ; no DCB for device 3
        call FIND_DCB
        ld (RESULTS + 0),a
        call zflag
        ld (RESULTS + 1),a
        ld a,4
        call FIND_DCB
        ld (RESULTS + 2),iy

        ld a,4
        call REQUEST_STATUS
        ld (RESULTS + 4),a
        ld a,5
        call RD_DEV_DEP_STAT
        ld (RESULTS + 5),a
        ld a,8
        call RD_DEV_DEP_STAT
        ld (RESULTS + 6),a

        ld hl,SOURCE                ; a pattern written to block 10, read back
        ld b,0
        ld c,0
fill:
        ld (hl),c
        inc hl
        inc c
        inc c
        inc c
        ld a,h
        cp high TARGET
        jr nz,fill
        ld a,4
        ld bc,0
        ld de,10
        ld hl,SOURCE
        call WRITE_BLOCK
        ld (RESULTS + 7),a
        ld a,4
        ld bc,0
        ld de,10
        ld hl,TARGET
        call READ_BLOCK
        ld (RESULTS + 8),a

        ld a,4                      ; one block by start and end calls
        ld bc,0
        ld de,2
        ld hl,TARGET
        call START_RD_1_BLOCK
        ld (RESULTS + 9),a
        ld hl,0
poll:
        inc hl
        ld a,4
        call END_RD_1_BLOCK
        jr nc,poll
        ld (RESULTS + 10),a
        ld (RESULTS + 11),hl

        ld a,4
        ld bc,0
        ld de,200                   ; beyond the disk
        ld hl,TARGET + 1024
        call READ_BLOCK
        ld (RESULTS + 13),a
        call zflag
        ld (RESULTS + 14),a
        ld a,8                      ; no tape in the drive
        ld bc,0
        ld de,0
        ld hl,TARGET + 1024
        call READ_BLOCK
        ld (RESULTS + 15),a

        call RD_KBD
        ld (RESULTS + 16),a
        call zflag
        ld (RESULTS + 17),a
        ld a,'Z'
        call PR_CH
        ld (RESULTS + 18),a

        ld hl,3000h
        ld de,16
        ld a,5Ah
        call FILL_VRAM
        ld hl,text
        ld de,3004h
        ld bc,4
        call WRITE_VRAM
        ld hl,VRAM_COPY
        ld de,3000h
        ld bc,16
        call READ_VRAM
        ld b,7
        ld c,1Eh
        call WRITE_REGISTER
        call READ_REGISTER

        ld a,3                      ; pattern 41h through the table calls
        ld de,41h
        ld hl,glyph
        ld iy,1
        call PUT_VRAM
        ld a,3
        ld de,41h
        ld hl,RESULTS + 32
        ld iy,1
        call GET_VRAM
        ld hl,word
        ld a,-2
        call ADD816
        ld hl,nibbles
        call DECLSN
        call zflag
        ld (RESULTS + 22),a

        ld hl,0D800h
        call RELOC_PCB
        ld (RESULTS + 20),a
        ld a,2
        call REQUEST_STATUS
        ld (RESULTS + 21),a

        ld a,0AAh
        ld (RESULTS + 31),a
done:
        jr done

; A = 1 if the Z flag was set, else 0.
zflag:
        ld a,0
        ret nz
        inc a
        ret

device:
        db 0
text:
        db "Adam"
glyph:
        db 1, 2, 3, 4, 5, 6, 7, 8
word:
        dw 1000h
nibbles:
        db 31h
