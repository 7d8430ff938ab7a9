; Tervox demo cartridge, bank 3: the game. Its high-score table lives in
; the cartridge's EEPROM (bank 0 reads it at start-up and writes it
; here when a score gets in).

        include "defs.inc"
        include "demo0.sym"

        org 0C000h
        jp game_enter           ; page 8
        jp game_frame

        include "page_game.inc"

        if $ > 0FF7Fh
        .error bank 3 is full
        endif
        ds 0FF7Fh-$,0FFh
        db 0C0h                 ; the large EEPROM (two address bytes)
        db 01h                  ; with 00h at the same place of bank 2: the EEPROM cartridge
        ds 10000h-$,0FFh
