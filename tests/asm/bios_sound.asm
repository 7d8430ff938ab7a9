; Sound system: two songs started with SOUND_INIT and PLAY_IT, played by
; PLAY_SONGS and SOUND_MAN from the NMI. 7010h counts NMIs.
        include "cartridge.inc"
        jp nmi                  ; 8021h: NMI
        include "phase.inc"

nmi:
        push af
        push bc
        push de
        push hl
        push ix
        call 1F61h              ; PLAY_SONGS
        call 1FF4h              ; SOUND_MAN
        ld hl,7010h
        inc (hl)
        call 1FDCh
        pop ix
        pop hl
        pop de
        pop bc
        pop af
        retn

songs:
        dw song1, 7200h
        dw song2, 720Ah
song1:
        db 40h, 0ABh, 11h, 3            ; tone 1: 1ABh, attenuation 1, 3 frames
        db 63h                          ; rest, 3 frames
        db 41h, 00h, 21h, 3, 2, 10h     ; sweep from 100h, 3 steps of +10h every 2 frames
        db 50h                          ; end
song2:
        db 00h, 00h, 35h, 4             ; noise control 5, attenuation 3, 4 frames
        db 02h, 00h, 04h, 6, 23h, 1     ; control 4, attenuation 0 rising by 2 three times
        db 10h                          ; end

start:
        xor a
        ld (7010h),a
        ld b,2
        ld hl,songs
        call 1FEEh              ; SOUND_INIT
        ld a,(7214h)            ; the byte after the two areas
        ld (7100h),a
        ld b,1
        call 1FF1h              ; PLAY_IT
        ld b,2
        call 1FF1h
        ld b,1
        call 1FF1h              ; already playing: no restart
        ld bc,01A0h
        call 1FD9h
        ld a,1
        call phase
        jr $
