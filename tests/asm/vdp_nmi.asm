; Video interrupt through the CPU: lets the frame flag rise with the
; interrupt disabled in register 1, then enables it, which must take the
; NMI right after that OUT. The handler counts NMIs at 7000h, keeps the
; first return address at 7002h and acknowledges by reading the status.

        include "cartridge.inc"
        jp nmi                  ; 8021h: NMI
        dw after_out            ; 8024h: where the first NMI must return

start:
        ld sp,7400h
        xor a
        ld (7000h),a
        ld hl,0
        ld (7002h),hl
        ld a,40h                ; display on, interrupt off
        out (VDP_CTRL),a
        ld a,81h
        out (VDP_CTRL),a
        ld bc,5000              ; about 2.5 frames, status never read
wait:
        dec bc
        ld a,b
        or c
        jr nz,wait
        ld a,60h                ; interrupt on: the line rises now
        out (VDP_CTRL),a
        ld a,81h
        out (VDP_CTRL),a
after_out:
        nop
idle:
        jr idle

nmi:
        push af
        push hl
        ld hl,(7002h)
        ld a,h
        or l
        jr nz,counted
        ld hl,4
        add hl,sp
        ld a,(hl)
        inc hl
        ld h,(hl)
        ld l,a
        ld (7002h),hl
counted:
        ld hl,7000h
        inc (hl)
        in a,(VDP_CTRL)
        pop hl
        pop af
        retn
