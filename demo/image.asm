; The 64 KB cartridge image: the four banks in order (built by
; demo/CMakeLists.txt from demo.asm and bank1-3.asm).
        org 0
        incbin "bank0.bin"
        incbin "bank1.bin"
        incbin "bank2.bin"
        incbin "bank3.bin"
