; Timers and signals, the random generator and the nibble helpers.
        include "cartridge.inc"
        retn                  ; 8021h: NMI
        include "phase.inc"

; TEST_SIGNAL for signals 0-2 into (IX), (IX+1), (IX+2).
test3:
        ld a,(7180h)
        call 1FD0h
        ld (ix+0),a
        ld a,(7181h)
        call 1FD0h
        ld (ix+1),a
        ld a,(7182h)
        call 1FD0h
        ld (ix+2),a
        ret

start:
        ; 1: three signals, eight ticks logged
        ld hl,7100h
        ld de,7140h
        call 1FC7h
        ld hl,3
        xor a
        call 1FCDh              ; one-shot, 3 ticks
        ld (7180h),a
        ld hl,2
        ld a,1
        call 1FCDh              ; repeating, every 2 ticks
        ld (7181h),a
        ld hl,300
        xor a
        call 1FCDh              ; long one-shot
        ld (7182h),a
        ld ix,7200h
        ld b,8
ticks:
        push bc
        call 1FD3h
        call test3
        inc ix
        inc ix
        inc ix
        pop bc
        djnz ticks
        ld a,1
        call phase

        ; 2: free the repeating one, then tick until the long one expires
        ld a,(7181h)
        call 1FCAh
        ld hl,8
        ld (7190h),hl           ; ticks so far
        xor a
        ld (7192h),a            ; anything from the freed signal
long:
        call 1FD3h
        ld hl,(7190h)
        inc hl
        ld (7190h),hl
        ld a,(7181h)
        call 1FD0h
        ld hl,7192h
        or (hl)
        ld (hl),a
        ld a,(7182h)
        call 1FD0h
        jr z,long
        ld a,40                 ; a signal past the table's end
        call 1FD0h
        ld (7193h),a
        ld hl,5
        xor a
        call 1FCDh              ; the freed entry is taken again
        ld (7194h),a
        ld hl,1000
        xor a
        call 1FCDh              ; a long one takes the entry with a block
        ld (7195h),a
        ld a,2
        call phase

        ; 3: random numbers from the start-up seed
        ld hl,0033h
        ld (73C8h),hl
        ld ix,7200h
        ld b,4
rand:
        push bc
        call 1FFDh
        ld (ix+0),l
        ld (ix+1),h
        ld (ix+2),a
        inc ix
        inc ix
        inc ix
        pop bc
        djnz rand
        ld a,3
        call phase

        ; 4: DECLSN, DECMSN, MSNTOLSN, ADD816
        ld hl,7300h
        ld (hl),52h
        call 0190h              ; -> 51h, NZ
        push af
        pop de
        ld (7310h),de
        ld (hl),51h
        call 0190h              ; -> 50h, Z
        push af
        pop de
        ld (7312h),de
        ld hl,7301h
        ld (hl),13h
        call 019Bh              ; -> 03h, Z
        push af
        pop de
        ld (7314h),de
        ld hl,7302h
        ld (hl),0A5h
        call 01A6h              ; -> AAh
        ld hl,7304h
        ld (hl),0F0h
        inc hl
        ld (hl),01h
        dec hl
        ld a,20h
        call 01B1h              ; 01F0h + 20h = 0210h
        ld hl,7306h
        ld (hl),05h
        inc hl
        ld (hl),01h
        dec hl
        ld a,0F0h
        call 01B1h              ; 0105h - 10h = 00F5h
        ld a,4
        call phase
        jr $
