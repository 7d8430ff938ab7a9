; Tervox demo cartridge, bank 1: the video pages (sprites, graphics II,
; multicolour, text). Shown at C000h-FFFFh while one of them is up.

        include "defs.inc"
        include "demo0.sym"

        org 0C000h
        jp spr_enter            ; page 1
        jp spr_frame
        jp bmp_enter            ; page 2
        jp bmp_frame
        jp mc_enter             ; page 3
        jp mc_frame
        jp txt_enter            ; page 4
        jp txt_frame

        include "page_sprites.inc"
        include "page_bitmap.inc"
        include "page_multi.inc"
        include "page_text.inc"

; C000h-FF7Fh is the bank's; FF80h-FFFFh are the cartridge's control
; addresses, and FF80h is where the EEPROM's data output appears.
        if $ > 0FF80h
        .error bank 1 is full
        endif
        ds 10000h-$,0FFh
