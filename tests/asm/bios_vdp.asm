; Calls the BIOS's video entry points one phase at a time; the test checks
; video memory, registers and RAM between phases.
        include "cartridge.inc"
        retn                  ; 8021h: NMI
        include "phase.inc"

start:
        ; 1: WRITE_REGISTER, READ_REGISTER
        ld bc,071Fh
        call 1FD9h
        ld bc,0002h
        call 1FD9h
        ld bc,01C2h
        call 1FD9h
        call 1FDCh
        call 1FDCh
        ld (7100h),a
        ld a,1
        call phase

        ; 2: MODE_1, FILL_VRAM, WRITE_VRAM with its count quirk, READ_VRAM
        call 1F85h
        ld hl,3000h
        ld de,0105h
        ld a,5Ah
        call 1F82h
        ld hl,ramp
        ld de,2800h
        ld bc,0105h             ; 5 bytes move
        call 1FDFh
        ld hl,ramp
        ld de,2A00h
        ld bc,0100h             ; 256
        call 1FDFh
        ld hl,ramp
        ld de,2C00h
        ld bc,0003h             ; 3
        call 1FDFh
        ld hl,ramp
        ld de,3400h
        ld bc,0205h             ; 261
        call 1FDFh
        ld hl,7110h
        ld de,3000h
        ld bc,0010h
        call 1FE2h
        ld a,11h
        ld (7124h),a
        ld hl,7120h
        ld de,3100h
        ld bc,0104h             ; 4 bytes: 3100h-3103h, then 3104h is 00
        call 1FE2h
        ld a,2
        call phase

        ; 3: INIT_TABLE in graphics I and II
        ld a,2
        ld hl,1C00h
        call 1FB8h
        xor a
        ld hl,1F80h
        call 1FB8h
        ld a,4
        ld hl,2040h
        call 1FB8h
        ld a,1
        ld hl,1000h
        call 1FB8h
        ld a,3
        ld hl,0800h
        call 1FB8h
        ld a,3
        call phase
        ld bc,0002h             ; graphics II
        call 1FD9h
        ld a,3
        ld hl,2000h
        call 1FB8h
        ld a,4
        ld hl,0000h
        call 1FB8h
        ld a,4
        call phase

        ; 5: LOAD_ASCII after MODE_1, with pattern 0 dirty first
        call 1F85h
        ld hl,0000h
        ld de,8
        ld a,0FFh
        call 1F82h
        call 1F7Fh
        ld a,5
        call phase

        ; 6: PUT_VRAM / GET_VRAM for each kind of table, the local sprite table
        ld a,2
        ld de,5
        ld hl,bytes
        ld iy,3
        call 1FBEh
        ld a,3
        ld de,80h
        ld hl,bytes
        ld iy,2
        call 1FBEh
        xor a
        ld de,1
        ld hl,bytes
        ld iy,2
        call 1FBEh
        ld a,4
        ld de,2
        ld hl,bytes
        ld iy,3
        call 1FBEh
        ld a,1
        ld (73C7h),a
        xor a
        ld de,1
        ld hl,bytes+8
        ld iy,1
        call 1FBEh
        xor a
        ld (73C7h),a
        ld a,3
        ld de,80h
        ld hl,7140h
        ld iy,2
        call 1FBBh
        ld a,6
        call phase

        ; 7: sprite order and the name table writer
        ld a,4
        call 1FC1h
        ld hl,sprites
        ld de,7300h
        ld bc,16
        ldir
        ld hl,7330h             ; keep the first order, then reverse it
        ld de,7320h
        ex de,hl
        ld bc,4
        ldir
        ld a,3
        ld (7320h),a
        ld a,2
        ld (7321h),a
        ld a,1
        ld (7322h),a
        xor a
        ld (7323h),a
        ld a,4
        call 1FC4h
        ld a,7
        call phase

        ; 8: GAME_OPT
        call 1F7Ch
        ld a,8
        call phase
        jr $

bytes:
        db 11h,22h,33h,44h,55h,66h,77h,88h,99h,0AAh,0BBh,0CCh,0DDh,0EEh,0F0h,01h
sprites:
        db 10h,20h,01h,0Fh, 30h,40h,02h,0Eh, 50h,60h,03h,0Dh, 70h,80h,04h,0Ch
ramp:
        ; 0, 1, 2, ... 255, 0, 1, ... (768 bytes)
        rept 3
        irp n,0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15
        db n*16+0,n*16+1,n*16+2,n*16+3,n*16+4,n*16+5,n*16+6,n*16+7
        db n*16+8,n*16+9,n*16+10,n*16+11,n*16+12,n*16+13,n*16+14,n*16+15
        endm
        endm
