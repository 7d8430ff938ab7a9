; CONT_READ, PUT_FRAME, GET_BKGRND, and a mobile object in graphics II
; crossing from the first third of the screen into the second, then into
; the third. Phases at 7000h/7001h.
        include "cartridge.inc"
        retn                  ; 8021h: NMI
        include "phase.inc"

set_status:                     ; HL = status, B = frame, DE = X, then Y in IY
        ld (hl),b
        inc hl
        ld (hl),e
        inc hl
        ld (hl),d
        inc hl
        push iy
        pop de
        ld (hl),e
        inc hl
        ld (hl),d
        ret

names:
        db 41h,42h,43h, 44h,45h,46h

start:
        ld hl,0
        ld de,4000h
        xor a
        call 1F82h

        ; 1: CONT_READ, each controller in each segment
        ld hl,0000h
        call 113Dh
        ld (7100h),a
        ld hl,0001h
        call 113Dh
        ld (7101h),a
        ld hl,0100h
        call 113Dh
        ld (7102h),a
        ld hl,0101h
        call 113Dh
        ld (7103h),a
        in a,(0FCh)             ; the joystick segment is selected again
        ld (7104h),a
        ld a,1
        call phase

        ; 2: PUT_FRAME
        call 1F85h
        ld hl,1800h
        ld de,768
        ld a,20h
        call 1F82h
        ld ix,1234h
        ld iy,5678h
        ld hl,names
        ld de,021Eh             ; row 2, column 30: the third column is off
        ld bc,0302h
        call 080Bh
        ld hl,names
        ld de,0FFFFh            ; row -1, column -1
        ld bc,0302h
        call 080Bh
        ld hl,names
        ld de,0A0Ah
        ld bc,0002h             ; no width: nothing
        call 080Bh
        ld (7110h),ix
        ld (7112h),iy
        ld a,2
        call phase

        ; 3: GET_BKGRND
        ld hl,7120h
        ld b,24
fill:
        ld (hl),0EEh
        inc hl
        djnz fill
        ld hl,7120h
        ld de,021Dh             ; row 2, column 29, 4 x 3
        ld bc,0403h
        call 0898h
        ld hl,7130h
        ld de,0FF00h            ; row -1, column 0, 2 x 2
        ld bc,0202h
        call 0898h
        ld a,3
        call phase

        ; 4: graphics II; the mobile object over rows 7-9, merged with
        ; name 2, whose pattern differs in each third
        ld hl,0
        ld de,4000h
        xor a
        call 1F82h
        call 1F85h
        ld bc,0002h
        call 1FD9h
        ld a,3
        ld hl,0000h
        call 1FB8h
        ld a,4
        ld hl,2000h
        call 1FB8h
        ld hl,0*800h+2*8
        ld de,8
        ld a,01h
        call 1F82h
        ld hl,1*800h+2*8
        ld de,8
        ld a,02h
        call 1F82h
        ld hl,2*800h+2*8
        ld de,8
        ld a,04h
        call 1F82h
        ld hl,1800h
        ld de,768
        ld a,2
        call 1F82h
        ld hl,7180h             ; first-third colours of generators A0h-A8h
        ld b,72
        ld a,10h
colours:
        ld (hl),a
        inc a
        inc hl
        djnz colours
        ld hl,7180h
        ld de,2000h+0A0h*8
        ld bc,72
        call 1FDFh
        ld hl,mobile
        or a
        call 1FF7h
        ld hl,7260h
        ld b,0
        ld de,35
        ld iy,58
        call set_status
        ld ix,mobile
        ld b,1
        call 1FFAh
        ld a,4
        call phase

        ; 5: moved down into the last third
        ld hl,7260h
        ld b,0
        ld de,35
        ld iy,130
        call set_status
        ld ix,mobile
        ld b,1
        call 1FFAh
        ld a,5
        call phase
        jr $

mobile:
        dw mobile_gfx, 7260h, 7240h     ; graphics, status, buffer (28 bytes)
mobile_gfx:
        db 1, 0A0h, 0
        dw mobile_frames
mobile_frames:
        dw image
image:
        db 81h,42h,24h,18h,0FFh,01h,80h,55h, 0AAh,33h,0CCh,0Fh,0F0h,3Ch,0C3h,99h
        db 11h,22h,44h,88h,0EEh,77h,0BBh,0DDh, 01h,02h,04h,08h,10h,20h,40h,80h
