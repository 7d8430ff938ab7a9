; Sound for the Adam operating system: the console BIOS's engine and song
; format (sound.inc), with its state here in the OS's RAM image.
;
; SOUND_INIT (B = data areas, HL = song table), TURN_OFF_SOUND, PLAY_IT
; (B = song), SOUNDS (one frame: the channels to the chip, then every
; playing area a step on; a program calls it from its video interrupt) and
; EFFECT_OVER (IX = data area: its song ends).

; Until SOUND_INIT names a song table, SOUNDS finds no areas and does nothing.
SONG_TABLE:     dw no_songs
SOUND_PTRS:     dw IDLE_AREA, IDLE_AREA, IDLE_AREA, IDLE_AREA
SAVE_CTRL:      db 0FFh
no_songs:       dw 0, no_areas
no_areas:       db 0

        include "sound.inc"

sounds:
        call PLAY_SONGS
        jp SOUND_MAN
