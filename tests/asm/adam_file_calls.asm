; Boot block that makes the operating-system calls the test has listed and
; leaves each call's answer for it to check.
;
; The list (at SCRIPT) has 9-byte records: the call's address (0 ends the
; list), then A, C, B, E, D, L, H. Each answer is 6 bytes at RESULTS: A,
; F, C, B, E, D. DONE is set to 0AAh after the last.
SCRIPT          equ 0A000h
RESULTS         equ 0C000h
DONE            equ 0C7FFh

        org 0C800h
        ld hl,SCRIPT
        ld (script),hl
        ld hl,RESULTS
        ld (result),hl
next:
        ld hl,(script)
        ld e,(hl)
        inc hl
        ld d,(hl)
        inc hl
        ld a,d
        or e
        jr z,done
        ld (target),de
        ld a,(hl)
        ld (a_in),a
        inc hl
        ld c,(hl)
        inc hl
        ld b,(hl)
        inc hl
        ld e,(hl)
        inc hl
        ld d,(hl)
        inc hl
        push de
        ld e,(hl)
        inc hl
        ld d,(hl)
        inc hl
        ld (script),hl
        ex de,hl
        pop de
        ld a,(a_in)
        call call_target
        ld (bc_out),bc
        push af
        pop bc
        ld hl,(result)
        ld (hl),b
        inc hl
        ld (hl),c
        inc hl
        ld bc,(bc_out)
        ld (hl),c
        inc hl
        ld (hl),b
        inc hl
        ld (hl),e
        inc hl
        ld (hl),d
        inc hl
        ld (result),hl
        jr next
done:
        ld a,0AAh
        ld (DONE),a
        jr $

call_target:
        push hl
        ld hl,(target)
        ex (sp),hl
        ret

script:         dw 0
result:         dw 0
target:         dw 0
bc_out:         dw 0
a_in:           db 0
