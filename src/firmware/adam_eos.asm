; Tervox Adam operating system (first cut).
        org 0E000h
        di
        halt
        org 0FFFFh
        db 0FFh
