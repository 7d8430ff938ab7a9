; Controller entry points: CONTROLLER_SCAN, DECODER, UPDATE_SPINNER,
; CONTROLLER_INIT and POLLER from the NMI. Phases at 7000h/7001h.
        include "cartridge.inc"
        jp nmi                  ; 8021h: NMI
        include "phase.inc"

nmi:
        push af
        push bc
        push de
        push hl
        call 1FEBh              ; POLLER
        ld hl,7010h
        inc (hl)                ; NMIs seen
        call 1FDCh
        pop hl
        pop de
        pop bc
        pop af
        retn

start:
        ; 1: raw scan
        call 1F76h
        ld a,1
        call phase

        ; 2: DECODER, both segments, both controllers
        ld a,3
        ld (73EBh),a
        ld hl,0000h
        call 1F79h
        ld (7100h),hl
        ld a,e
        ld (7102h),a
        ld hl,0001h
        call 1F79h
        ld (7103h),hl
        ld hl,0100h
        call 1F79h
        ld (7105h),hl
        ld hl,0101h
        call 1F79h
        ld (7107h),hl
        ld a,(73EBh)
        ld (7109h),a
        ld a,2
        call phase

        ; 3: UPDATE_SPINNER until told to stop
        xor a
        ld (73EBh),a
        ld (73ECh),a
        ld a,3
        ld (7000h),a
spin:
        call 1F88h
        ld a,(7001h)
        cp 3
        jr nz,spin

        ; 4: POLLER from the NMI with a map whose players are enabled
        ld a,9Fh                ; player 0: everything
        ld (7340h),a
        ld a,83h                ; player 1: fire and joystick
        ld (7341h),a
        ld hl,7342h
        ld b,10
fill:
        ld (hl),0EEh            ; CONTROLLER_INIT must clear these
        inc hl
        djnz fill
        call 1105h
        xor a
        ld (7010h),a
        ld bc,01A0h             ; NMI on
        call 1FD9h
        ld a,4
        call phase
        jr $
