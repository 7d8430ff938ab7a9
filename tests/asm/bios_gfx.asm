; Generator transforms, graphics objects, the deferred writer, Pascal
; twins, the cell helpers and the sound-effect exits.
        include "cartridge.inc"
        retn                  ; 8021h: NMI
        include "phase.inc"

glyph:
        db 0F8h,80h,80h,0F0h,80h,80h,80h,00h
glyph2:
        db 01h,03h,07h,0Fh,1Fh,3Fh,7Fh,0FFh
colours:
        db 11h,22h,33h,44h,55h,66h,77h,88h

; A semi-mobile object and a sprite object.
semi:
        dw semi_gfx, 7390h
semi_gfx:
        db 0, 90h, 2
        dw glyph, semi_col, semi_frames
semi_col:
        db 0E4h
semi_frames:
        dw frame0, frame1
frame0:
        db 2, 1, 90h, 91h
frame1:
        db 1, 2, 91h, 90h
sprite:
        dw sprite_gfx, 7398h
        db 3
sprite_gfx:
        db 2, 4, 1
        dw glyph2, sprite_frames
sprite_frames:
        db 0Ah, 0

; Sound: an effect that hands over after three frames, and one that ends
; its song at once.
songs:
        dw song1, 7200h
        dw song2, 720Ah
song1:
        db 44h
        dw effect1
        db 40h, 55h, 10h, 2
        db 50h
song2:
        db 84h
        dw effect2
        db 90h
effect1:
        ld hl,7110h
        inc (hl)
        ld (ix+3),77h
        ld (ix+4),31h
        ld a,(hl)
        cp 3
        ret nz
        jp 01D5h                ; LEAVE_EFFECT
effect2:
        jp 02EEh                ; EFXOVER

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

start:
        ; 1: transforms in graphics I, patterns and sprite patterns
        call 1F85h
        ld a,3
        ld de,1
        ld hl,glyph
        ld iy,1
        call 1FBEh
        ld a,3
        ld de,2
        ld hl,glyph2
        ld iy,1
        call 1FBEh
        ld a,3
        ld de,1
        ld hl,10
        ld bc,1
        call 1F6Ah              ; REFLECT_VERTICAL
        ld a,3
        ld de,1
        ld hl,11
        ld bc,1
        call 1F6Dh              ; REFLECT_HORIZONTAL
        ld a,3
        ld de,1
        ld hl,12
        ld bc,1
        call 1F70h              ; ROTATE_90
        ld a,3
        ld de,1
        ld hl,16
        ld bc,1
        call 1F73h              ; ENLARGE
        ld a,3
        ld de,1
        ld hl,20
        ld bc,2
        call 1F6Dh              ; two at once
        ld a,1
        ld de,1
        ld hl,glyph
        ld iy,1
        call 1FBEh
        ld a,1
        ld de,1
        ld hl,2
        ld bc,1
        call 1F6Ah
        ld a,1
        call phase

        ; 2: graphics II, where colours follow the patterns
        ld bc,0002h
        call 1FD9h
        ld a,3
        ld hl,0000h
        call 1FB8h
        ld a,4
        ld hl,2000h
        call 1FB8h
        ld a,4
        ld de,1
        ld hl,colours
        ld iy,1
        call 1FBEh
        ld a,3
        ld de,1
        ld hl,30
        ld bc,1
        call 1F6Dh
        ld a,3
        ld de,1
        ld hl,40
        ld bc,1
        call 1F73h
        ld hl,semi
        or a
        call 1FF7h              ; ACTIVATE in graphics II
        ld a,2
        call phase

        ; 3: objects
        call 1F85h
        ld hl,semi
        or a
        call 1FF7h              ; ACTIVATE, loading generators
        ld hl,sprite
        or a
        call 1FF7h
        ld hl,7390h
        ld b,0
        ld de,16
        ld iy,24
        call set_status
        ld ix,semi
        ld b,0
        call 1FFAh              ; PUTOBJ
        ld hl,7390h
        ld b,1
        ld de,248
        ld iy,176
        call set_status
        ld ix,semi
        call 1FFAh
        ld hl,7390h
        ld b,0
        ld de,-8
        ld iy,80
        call set_status
        ld ix,semi
        call 1FFAh              ; half off the left edge
        ld hl,7398h
        ld b,0
        ld de,100
        ld iy,50
        call set_status
        ld ix,sprite
        call 1FFAh
        ld a,3
        call phase

        ; 4: the sprite left of the screen; deferred drawing
        ld hl,7398h
        ld b,0
        ld de,-5
        ld iy,50
        call set_status
        ld ix,sprite
        call 1FFAh
        ld a,4
        ld hl,7380h
        call 1FE5h              ; INIT_WRITER
        ld a,1
        ld (73C6h),a
        ld hl,7390h
        ld b,0
        ld de,0
        ld iy,0
        call set_status
        ld ix,semi
        ld b,0
        call 1FFAh
        ld a,4
        call phase
        call 1FE8h              ; WRITER
        xor a
        ld (73C6h),a
        ld a,5
        call phase

        ; 6: Pascal twins; SP must come back where it was
        ld (7120h),sp
        ld hl,7
        push hl
        ld hl,15h
        push hl
        call 1FA6h              ; WRITE_REGISTERP(7, 15h)
        ld hl,2
        push hl
        ld hl,1C00h
        push hl
        call 1F8Bh              ; INIT_TABLEP(2, 1C00h)
        ld hl,2
        push hl
        ld hl,10
        push hl
        ld hl,glyph
        push hl
        ld hl,2
        push hl
        call 1F91h              ; PUT_VRAMP(2, 10, glyph, 2)
        ld (7122h),sp
        ld a,6
        call phase

        ; 7: cell helpers
        ld hl,1234h
        ld de,0305h
        call 08C0h              ; CALC_OFFSET
        ld (7130h),de
        ld (7132h),hl
        ld de,50F0h
        call 07E8h              ; PX_TO_PTRN_POS
        ld (7134h),de
        ld a,7
        call phase

        ; 8: effect notes
        xor a
        ld (7110h),a
        ld b,2
        ld hl,songs
        call 1FEEh
        ld b,1
        call 1FF1h
        ld b,2
        call 1FF1h
        ld b,4
effects:
        push bc
        call 1F61h
        call 1FF4h
        pop bc
        djnz effects
        call 1F61h
        ld a,8
        call phase

        ; 9: a mobile object merged with the background, then moved
        call 1F85h
        ld hl,1800h+5*32
        ld de,3*32
        ld a,2
        call 1F82h              ; rows 5-7 of name 2
        ld hl,mobile
        or a
        call 1FF7h
        ld hl,7260h
        ld b,0
        ld de,35
        ld iy,42
        call set_status
        ld ix,mobile
        ld b,1
        call 1FFAh
        ld a,9
        call phase
        ld hl,7260h
        ld b,0
        ld de,43
        ld iy,42
        call set_status
        ld ix,mobile
        ld b,1
        call 1FFAh
        ld a,10
        call phase

        ; 11: a complex object of the semi-mobile and the sprite
        ld hl,7268h
        ld b,0
        ld de,64
        ld iy,96
        call set_status
        ld hl,complex
        or a
        call 1FF7h
        ld ix,complex
        ld b,0
        call 1FFAh
        ld a,11
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
complex:
        dw complex_gfx, 7268h
complex_gfx:
        db 4, 2
        dw semi
        db 0, 0
        dw sprite
        db 16, 8
